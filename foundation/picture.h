// PNG and JPEG readers, PNG, BMP and JPEG writers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "foundation/file.h"
#include "foundation/surface.h"

// Pictures wider or taller than this are refused before any pixel store exists.
constexpr int kMaxPictureSide = 16384;

// Read from the file's current position; a new surface in the file's pixel
// format, or null. The caller keeps its reference to the file. ReadPng leaves
// the position unchanged when the file is not a PNG. ReadJpeg reads to the end
// of the file and refuses files over 1 GiB or whose size cannot be told.
OxSurface* ReadPng(OxFile* file);
OxSurface* ReadJpeg(OxFile* file);
OxSurface* DecodeJpegMemory(const uint8_t* bytes, int byteCount);

// The PNG or JPEG in the file (read from its current position) decoded straight to a
// new PF_RGBA surface with rows width * 4 bytes apart, the same pixels ReadPng or
// ReadJpeg and a conversion to PF_RGBA give; its store is not zeroed first. Only for
// files that decode without a warning: anything else (another format, a palette PNG, a
// damaged or refused file) gives null without a log line, for ReadPng and ReadJpeg to
// report. The file's position is then unspecified.
OxSurface* ReadRgbaQuietly(OxFile* file);

// What went wrong in a read: why it gave no picture or, for PICTURE_TRUNCATED
// after a JPEG that was read all the same, what is missing from the picture.
enum PictureProblem {
    PICTURE_FINE = 0,
    PICTURE_NOT_RECOGNISED,  // not of the reader's kind (an empty file included)
    PICTURE_TRUNCATED,       // the data ends early
    PICTURE_TOO_LARGE,       // a side past kMaxPictureSide: see width and height
    PICTURE_DAMAGED,         // the codec found an error in the data
    PICTURE_UNSUPPORTED,     // a kind of picture the reader does not give (CMYK JPEG)
    PICTURE_NO_MEMORY,
    PICTURE_UNREADABLE,      // the file could not be read or its size told
};

struct PictureReport {
    PictureProblem problem;
    uint32_t width;   // the sizes of a PICTURE_TOO_LARGE picture, else 0
    uint32_t height;
};

// The report of the last ReadPng, ReadJpeg, ReadRgbaQuietly or DecodeJpegMemory of the calling
// thread; the first problem met is the one reported.
PictureReport LastPictureReport();

// pixels: RGB rows, top row first; WritePng takes packed rows, the others rows
// `pitch` bytes apart (<= 0: packed). 0 on success, -1 on failure (null
// stream, null pixels of a non-empty picture, sizes past 32 bits, a write or
// library error). WriteBmp refuses a pitch shorter than a row; WriteJpeg
// copies min(pitch, width * 3) bytes of each row and refuses empty pictures.
int WritePng(int width, int height, const uint8_t* pixels, std::FILE* stream);
int WriteBmp(std::FILE* stream, int width, int height, const uint8_t* pixels, int pitch);
int WriteJpeg(int width, int height, const uint8_t* pixels, int pitch, std::FILE* stream);
