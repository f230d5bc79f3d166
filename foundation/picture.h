// The picture reader (PNG, JPEG, WebP), and the PNG, BMP and JPEG writers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "foundation/file.h"
#include "foundation/surface.h"

// Pictures wider or taller than this are refused before any pixel store exists, and so
// are pictures whose RGBA store would be larger than a surface holds (kMaxPictureBytes,
// about 536 megapixels). JPEG's own limit is lower: 65500 pixels a side.
constexpr int kMaxPictureSide = 65535;
constexpr int64_t kMaxPictureBytes = INT32_MAX;

// What went wrong in a read: why it gave no picture or, for PICTURE_TRUNCATED
// after a JPEG that was read all the same, what is missing from the picture.
enum PictureProblem {
    PICTURE_FINE = 0,
    PICTURE_NOT_RECOGNISED,  // not of the reader's kind (an empty file included)
    PICTURE_TRUNCATED,       // the data ends early
    PICTURE_TOO_LARGE,       // a side past the limit: see width, height and maxSide
    PICTURE_DAMAGED,         // the codec found an error in the data
    PICTURE_UNSUPPORTED,     // a kind of picture the reader does not give (a JPEG of
                             // an unknown colour space)
    PICTURE_NO_MEMORY,       // no memory for the picture: see width and height when known
    PICTURE_UNREADABLE,      // the file could not be read or its size told
    PICTURE_CANCELLED,       // the caller's hook asked the read to stop
    PICTURE_TOO_LARGE_TO_HOLD,  // its RGBA store would pass kMaxPictureBytes: see width, height
};

struct PictureReport {
    PictureProblem problem;
    // The sizes of a PICTURE_TOO_LARGE or PICTURE_TOO_LARGE_TO_HOLD picture, and of a
    // PICTURE_NO_MEMORY one whose pixel store could not be had; else 0.
    uint32_t width;
    uint32_t height;
    // The side limit a PICTURE_TOO_LARGE picture passed: kMaxPictureSide, or the lower
    // one of its format's decoder; else 0.
    uint32_t maxSide = 0;
    bool firstFrameOnly = false;  // the picture is the first frame of an animation
};

// The caller's part in a read, each member optional. `accepted` is called once the read has
// accepted a picture's header (its sides within the limits), before its pixel store is
// made: the caller can make room for the picture there. The others serve a read that runs
// beside the caller's own work: `cancelled` is asked between rows, and true stops the read
// (PICTURE_CANCELLED, no log line); a JPEG whose decode is expected to be slow (its pixels,
// progressive files counted twice, at least previewPixels) is first decoded at an eighth of
// its sides and lent to `preview` as PF_RGBA, before the picture itself is decoded.
struct PictureHeaderHook {
    void (*accepted)(void* context, int width, int height);
    void* context;
    bool (*cancelled)(void* context) = nullptr;
    void (*preview)(void* context, OxSurface* preview) = nullptr;
    int64_t previewPixels = 0;
};

// What a read gives: a new surface (the caller's reference) or null, and the report.
struct PictureRead {
    OxSurface* picture;
    PictureReport report;
};

// The one road for a picture: reads from the file's current position, recognises the
// format from its first bytes (PNG, JPEG, or WebP, whose animations give their first
// frame and say so in the report; nothing more is read of a file that is no picture),
// reads the rest into memory once and decodes it. A clean file comes straight as
// packed PF_RGBA (rows width * 4 bytes apart, the store not zeroed first); a file
// with warnings or errors is decoded again from the same bytes, reporting, and comes
// in its own pixel format with its log lines. A truncated JPEG is read as far as it
// goes, with PICTURE_TRUNCATED in the report. A picture with an EXIF orientation (a JPEG's
// APP1 Exif block, a PNG's eXIf chunk) comes turned upright, in both decodes; its sizes, in
// the hook and in the report, are the upright ones. The hook, when given, runs at most once.
PictureRead ReadPicture(OxFile* file, const PictureHeaderHook* hook = nullptr);

// The reporting reads of one format, in the file's pixel format, as stored (no EXIF
// orientation is applied), or null; `report`
// (when given) says why or what is missing. Read from the file's current position;
// ReadPng leaves the position unchanged when the file is not a PNG. ReadJpeg reads
// to the end of the file and refuses files over 1 GiB or whose size cannot be told.
OxSurface* ReadPng(OxFile* file, PictureReport* report = nullptr);
OxSurface* ReadJpeg(OxFile* file, PictureReport* report = nullptr);
OxSurface* DecodeJpegMemory(const uint8_t* bytes, int byteCount, PictureReport* report = nullptr);

// The quiet decode alone: the PNG, JPEG or WebP in the file decoded straight to a new PF_RGBA
// surface, only for files that decode without a warning; anything else (another
// format, a palette PNG, a damaged or refused file) gives null without a log line.
// The file's position is then unspecified.
OxSurface* ReadRgbaQuietly(OxFile* file);

// pixels: RGB rows, top row first; WritePng takes packed rows, the others rows
// `pitch` bytes apart (<= 0: packed). 0 on success, -1 on failure (null
// stream, null pixels of a non-empty picture, sizes past 32 bits, a write or
// library error). WriteBmp refuses a pitch shorter than a row; WriteJpeg
// copies min(pitch, width * 3) bytes of each row and refuses empty pictures.
int WritePng(int width, int height, const uint8_t* pixels, std::FILE* stream);
int WriteBmp(std::FILE* stream, int width, int height, const uint8_t* pixels, int pitch);
int WriteJpeg(int width, int height, const uint8_t* pixels, int pitch, std::FILE* stream);
