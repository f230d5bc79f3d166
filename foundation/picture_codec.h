// What the picture codecs share: the report of one read, its limits, and the two
// ways a decoder runs. Private to foundation/picture*.cpp.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "foundation/file.h"
#include "foundation/log.h"
#include "foundation/picture.h"
#include "foundation/surface.h"

// A picture file larger than this is not read into memory.
constexpr int kMaxPictureFileBytes = 1 << 30;

// How a decoder runs. Quiet: straight to packed PF_RGBA in a store that is not zeroed,
// no log line, and any warning fails the decode (the caller then decodes again,
// reporting). Reporting: the picture in the file's own pixel format, every problem
// logged and noted in the report.
enum class DecodeMode { Quiet, Reporting };

// The report of one read and the header hook, carried by the decoder of that read.
class ReadContext {
public:
    ReadContext(DecodeMode mode, const PictureHeaderHook* hook) : mode_(mode), hook_(hook) {}

    bool Quiet() const { return mode_ == DecodeMode::Quiet; }
    // After a quiet decode that failed: the same read again, reporting, with a fresh
    // report (the hook still runs only once).
    void StartReporting()
    {
        mode_ = DecodeMode::Reporting;
        report_ = PictureReport{PICTURE_FINE, 0, 0};
    }
    const PictureReport& Report() const { return report_; }

    // The EXIF orientation the picture is turned upright by (1: as stored); it holds for
    // both decodes of a read.
    void SetOrientation(int orientation) { orientation_ = orientation; }
    int Orientation() const { return orientation_; }

    // Notes a problem unless an earlier one of this read is noted already.
    void Note(PictureProblem problem, uint32_t width = 0, uint32_t height = 0,
              uint32_t maxSide = 0);
    // Notes the problem and, reporting, logs the line "<text>".
    void Fail(PictureProblem problem, const char* text);
    // The limits, checked on the stored sides of the header before anything is allocated:
    // false, noted and logged, when a side is past kMaxPictureSide or the RGBA store of the
    // picture would be larger than kMaxPictureBytes.
    bool SidesAccepted(uint32_t width, uint32_t height);
    // Notes and logs a picture with a side past maxSide; given the stored sides, it tells
    // the upright ones.
    void TooLarge(uint32_t width, uint32_t height, uint32_t maxSide = kMaxPictureSide);
    // Notes and logs a picture whose store would be too large to be held; stored sides, as
    // TooLarge.
    void TooLargeToHold(uint32_t width, uint32_t height);
    // Notes and logs a picture whose pixel store could not be allocated (its upright sides).
    void NoMemory(uint32_t width, uint32_t height);
    // Runs the caller's hook once per read, the first time a header is accepted; it is
    // given the stored sides and passes on the upright ones.
    void HeaderAccepted(int width, int height);
    // The caller asked the read to stop: true, and the read is noted as cancelled.
    bool Cancelled();
    // A preview is wanted for a JPEG of this decoding cost (pixels, progressive counted
    // twice), and none was given yet in this read.
    bool WantsPreview(int64_t cost) const;
    // Lends the preview to the caller's hook; at most once per read.
    void GivePreview(OxSurface* preview);
    // Back to a fine report, unless the caller stopped the read.
    void ForgetProblemsUnlessCancelled()
    {
        if (report_.problem != PICTURE_CANCELLED)
            report_ = PictureReport{PICTURE_FINE, 0, 0};
    }
    // The picture is the first frame of an animation of several.
    void NoteFirstFrameOnly() { report_.firstFrameOnly = true; }

private:
    DecodeMode mode_;
    const PictureHeaderHook* hook_;
    bool headerSeen_ = false;
    bool previewGiven_ = false;
    int orientation_ = 1;
    PictureReport report_ = {PICTURE_FINE, 0, 0};
};

// rows * rowBytes when it fits an int (a surface's byte size), else -1.
int StoreSize(int64_t rows, int64_t rowBytes);

// Sizes a buffer to count entries without letting bad_alloc escape; a failure is noted.
template <class Entry>
bool ResizeBuffer(std::vector<Entry>& buffer, size_t count, ReadContext* context)
{
    try {
        buffer.resize(count);
        return true;
    } catch (const std::bad_alloc&) {
        if (context != nullptr)
            context->Fail(PICTURE_NO_MEMORY, "OUT_OF_MEMORY");
        else
            LogMessage(__LINE__, "", LOG_ERROR, "OUT_OF_MEMORY");
        return false;
    }
}

// The pixel store of a decode: not zeroed when quiet (every byte is written over).
OxSurface* CreateDecodeSurface(ReadContext& context, int byteSize, int width, int height,
                               int format, int pitch);

// Turning a picture upright (picture_orient.cpp). PlaceStoredRows writes `count` rows
// of a stored picture `storedWidth` pixels wide, beginning at its row `first`, from `rows`
// (`rowPitch` bytes apart, in the upright picture's pixel format) to their upright place
// in `upright`, whose sides are the upright ones. OrientSurface gives a new upright copy
// of a whole stored picture (the context's store kind, palette and key kept), or null,
// noted in the context; the stored one is released either way.
void PlaceStoredRows(const uint8_t* rows, int rowPitch, int first, int count, int storedWidth,
                     int orientation, OxSurface* upright);
OxSurface* OrientSurface(ReadContext& context, OxSurface* stored);

// The decoders. Bytes read from a file (PNG) or held in memory (both); null on failure,
// with the reason in the context.
OxSurface* DecodePngFile(OxFile* file, ReadContext& context);
OxSurface* DecodePngBytes(const uint8_t* bytes, int byteCount, ReadContext& context);
OxSurface* DecodeJpegBytes(const uint8_t* bytes, int byteCount, ReadContext& context);
// A quiet decode at an eighth of the sides, given to the context's preview hook when the
// JPEG is slow enough to decode to want one; nothing happens otherwise.
void PreviewJpegBytes(const uint8_t* bytes, int byteCount, ReadContext& context);
OxSurface* DecodeWebpBytes(const uint8_t* bytes, int byteCount, ReadContext& context);

// Signatures.
bool IsPngSignature(const uint8_t* bytes, int byteCount);
bool IsJpegSignature(const uint8_t* bytes, int byteCount);
// "RIFF", the RIFF size, "WEBP": 12 bytes.
bool IsWebpSignature(const uint8_t* bytes, int byteCount);
