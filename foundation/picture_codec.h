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

    // Notes a problem unless an earlier one of this read is noted already.
    void Note(PictureProblem problem, uint32_t width = 0, uint32_t height = 0,
              uint32_t maxSide = 0);
    // Notes the problem and, reporting, logs the line "<text>".
    void Fail(PictureProblem problem, const char* text);
    // The limits, checked on the header before anything is allocated: false, noted and
    // logged, when a side is past kMaxPictureSide or the RGBA store of the picture
    // would be larger than kMaxPictureBytes.
    bool SidesAccepted(uint32_t width, uint32_t height);
    // Notes and logs a picture with a side past maxSide.
    void TooLarge(uint32_t width, uint32_t height, uint32_t maxSide = kMaxPictureSide);
    // Notes and logs a picture whose store would be too large to be held.
    void TooLargeToHold(uint32_t width, uint32_t height);
    // Notes and logs a picture whose pixel store could not be allocated.
    void NoMemory(uint32_t width, uint32_t height);
    // Runs the caller's hook once per read, the first time a header is accepted.
    void HeaderAccepted(int width, int height);

private:
    DecodeMode mode_;
    const PictureHeaderHook* hook_;
    bool headerSeen_ = false;
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

// The decoders. Bytes read from a file (PNG) or held in memory (both); null on failure,
// with the reason in the context.
OxSurface* DecodePngFile(OxFile* file, ReadContext& context);
OxSurface* DecodePngBytes(const uint8_t* bytes, int byteCount, ReadContext& context);
OxSurface* DecodeJpegBytes(const uint8_t* bytes, int byteCount, ReadContext& context);

// Signatures.
bool IsPngSignature(const uint8_t* bytes, int byteCount);
bool IsJpegSignature(const uint8_t* bytes, int byteCount);
