// The one road for a picture: the format recognised from the first bytes, the file read
// into memory once, a quiet decode straight to RGBA and, where it meets a problem, the
// reporting decode of the same bytes.
#include "foundation/picture.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "foundation/exif.h"
#include "foundation/log.h"
#include "foundation/picture_codec.h"

void ReadContext::Note(PictureProblem problem, uint32_t width, uint32_t height,
                       uint32_t maxSide)
{
    if (report_.problem != PICTURE_FINE)
        return;
    report_.problem = problem;
    report_.width = width;
    report_.height = height;
    report_.maxSide = maxSide;
}

void ReadContext::Fail(PictureProblem problem, const char* text)
{
    Note(problem);
    if (!Quiet())
        LogMessage(__LINE__, "", LOG_ERROR, "%s", text);
}

void ReadContext::TooLarge(uint32_t width, uint32_t height, uint32_t maxSide)
{
    if (OrientationSwapsSides(orientation_))
        std::swap(width, height);
    Note(PICTURE_TOO_LARGE, width, height, maxSide);
    if (!Quiet())
        LogMessage(__LINE__, "", LOG_ERROR, "PICTURE_TOO_LARGE: %u x %u", unsigned(width),
                   unsigned(height));
}

void ReadContext::TooLargeToHold(uint32_t width, uint32_t height)
{
    if (OrientationSwapsSides(orientation_))
        std::swap(width, height);
    Note(PICTURE_TOO_LARGE_TO_HOLD, width, height);
    if (!Quiet())
        LogMessage(__LINE__, "", LOG_ERROR, "PICTURE_TOO_LARGE_TO_HOLD: %u x %u",
                   unsigned(width), unsigned(height));
}

void ReadContext::NoMemory(uint32_t width, uint32_t height)
{
    Note(PICTURE_NO_MEMORY, width, height);
    if (!Quiet())
        LogMessage(__LINE__, "", LOG_ERROR, "%s", "OUT_OF_MEMORY");
}

bool ReadContext::SidesAccepted(uint32_t width, uint32_t height)
{
    if (width > uint32_t(kMaxPictureSide) || height > uint32_t(kMaxPictureSide)) {
        TooLarge(width, height);
        return false;
    }
    // The picture is shown from an RGBA copy, whatever format it is decoded in.
    if (uint64_t(width) * height * 4 > uint64_t(kMaxPictureBytes)) {
        TooLargeToHold(width, height);
        return false;
    }
    return true;
}

void ReadContext::HeaderAccepted(int width, int height)
{
    if (headerSeen_)
        return;
    headerSeen_ = true;
    if (hook_ == nullptr || hook_->accepted == nullptr)
        return;
    if (OrientationSwapsSides(orientation_))
        hook_->accepted(hook_->context, height, width);
    else
        hook_->accepted(hook_->context, width, height);
}

bool ReadContext::Cancelled()
{
    if (hook_ == nullptr || hook_->cancelled == nullptr || !hook_->cancelled(hook_->context))
        return false;
    Note(PICTURE_CANCELLED);
    return true;
}

bool ReadContext::WantsPreview(int64_t cost) const
{
    return hook_ != nullptr && hook_->preview != nullptr && hook_->previewPixels > 0 &&
           cost >= hook_->previewPixels && !previewGiven_;
}

void ReadContext::GivePreview(OxSurface* preview)
{
    if (previewGiven_ || hook_ == nullptr || hook_->preview == nullptr)
        return;
    previewGiven_ = true;
    hook_->preview(hook_->context, preview);
}

int StoreSize(int64_t rows, int64_t rowBytes)
{
    if (rows < 0 || rowBytes < 0)
        return -1;
    if (rowBytes != 0 && rows > int64_t(INT_MAX) / rowBytes)
        return -1;
    return int(rows * rowBytes);
}

OxSurface* CreateDecodeSurface(ReadContext& context, int byteSize, int width, int height,
                               int format, int pitch)
{
    OxSurface* surface = context.Quiet()
                             ? CreateSurfaceForOverwrite(byteSize, width, height, format, pitch)
                             : CreateSurface(byteSize, width, height, format, pitch);
    if (surface == nullptr)
        context.NoMemory(uint32_t(width), uint32_t(height));
    return surface;
}

namespace {

enum class PictureFormat { Unknown, Png, Jpeg, Webp };

// Enough of a file's start to tell its format; a RIFF file names its kind in 4 more.
constexpr int kSignatureBytes = 8;
constexpr int kRiffSignatureBytes = 12;

PictureFormat RecogniseFormat(const uint8_t* bytes, int byteCount)
{
    if (IsPngSignature(bytes, byteCount))
        return PictureFormat::Png;
    if (IsJpegSignature(bytes, byteCount))
        return PictureFormat::Jpeg;
    if (IsWebpSignature(bytes, byteCount))
        return PictureFormat::Webp;
    return PictureFormat::Unknown;
}

// Reads the signature into `bytes` (kRiffSignatureBytes long): the bytes got, or -1.
int ReadSignature(OxFile* file, uint8_t* bytes)
{
    const int got = file->Read(bytes, kSignatureBytes);
    if (got != kSignatureBytes || std::memcmp(bytes, "RIFF", 4) != 0)
        return got;
    const int more = file->Read(bytes + got, kRiffSignatureBytes - kSignatureBytes);
    return more < 0 ? -1 : got + more;
}

// The file's bytes from `start` to its end, in a block of their own (not zeroed: every
// byte is read over); null, noted in the context, when they cannot be had. The first
// `headCount` of them are in `head` already and are not read again.
std::unique_ptr<uint8_t[]> ReadRest(OxFile* file, int start, const uint8_t* head, int headCount,
                                    int* byteCount, ReadContext& context)
{
    const int end = file->Seek(0, SEEK_END) == 0 ? file->Tell() : -1;
    if (end < start + headCount || file->Seek(start + headCount, SEEK_SET) != 0) {
        context.Fail(PICTURE_UNREADABLE, "FILE_SIZE_UNKNOWN");
        return nullptr;
    }
    *byteCount = end - start;
    if (*byteCount > kMaxPictureFileBytes) {
        context.Note(PICTURE_UNREADABLE);
        if (!context.Quiet())
            LogMessage(__LINE__, "", LOG_ERROR, "FILE_TOO_LARGE: %d", *byteCount);
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size_t(*byteCount) + 1]);
    if (!bytes) {
        context.Fail(PICTURE_NO_MEMORY, "OUT_OF_MEMORY");
        return nullptr;
    }
    if (headCount > 0)
        std::memcpy(bytes.get(), head, size_t(headCount));
    const int left = *byteCount - headCount;
    const int got = left > 0 ? file->Read(bytes.get() + headCount, left) : 0;
    if (got < 0) {
        context.Note(PICTURE_UNREADABLE);
        return nullptr;
    }
    // Only what arrived is decoded, never the unread tail of the block.
    *byteCount = headCount + got;
    return bytes;
}

// The EXIF orientation the picture is turned upright by.
int StoredOrientation(PictureFormat format, const uint8_t* bytes, int byteCount)
{
    switch (format) {
    case PictureFormat::Png: return PngExifOrientation(bytes, size_t(byteCount));
    case PictureFormat::Jpeg: return JpegExifOrientation(bytes, size_t(byteCount));
    case PictureFormat::Webp:  // its EXIF chunk is not looked into
    case PictureFormat::Unknown: break;
    }
    return kOrientationUpright;
}

OxSurface* DecodeBytes(PictureFormat format, const uint8_t* bytes, int byteCount,
                       ReadContext& context)
{
    switch (format) {
    case PictureFormat::Png: return DecodePngBytes(bytes, byteCount, context);
    case PictureFormat::Jpeg:
        PreviewJpegBytes(bytes, byteCount, context);
        return DecodeJpegBytes(bytes, byteCount, context);
    case PictureFormat::Webp: return DecodeWebpBytes(bytes, byteCount, context);
    case PictureFormat::Unknown: break;
    }
    context.Note(PICTURE_NOT_RECOGNISED);
    return nullptr;
}

// The road of ReadPicture; quietOnly stops after the quiet decode.
PictureRead ReadPictureFrom(OxFile* file, const PictureHeaderHook* hook, bool quietOnly)
{
    ReadContext context(DecodeMode::Quiet, hook);
    PictureRead result = {nullptr, {PICTURE_FINE, 0, 0}};
    const int start = file != nullptr ? file->Tell() : -1;
    uint8_t signature[kRiffSignatureBytes] = {};
    const int got = start >= 0 ? ReadSignature(file, signature) : -1;
    if (got < 0) {
        result.report.problem = PICTURE_UNREADABLE;
        return result;
    }
    const PictureFormat format = RecogniseFormat(signature, got);
    if (format == PictureFormat::Unknown) {
        result.report.problem = PICTURE_NOT_RECOGNISED;
        return result;
    }
    int byteCount = 0;
    // Why the bytes cannot be had is said at once, except by the quiet read alone.
    ReadContext reading(quietOnly ? DecodeMode::Quiet : DecodeMode::Reporting, nullptr);
    std::unique_ptr<uint8_t[]> bytes =
        ReadRest(file, start, signature, got, &byteCount, reading);
    if (!bytes) {
        result.report = reading.Report();
        return result;
    }
    context.SetOrientation(StoredOrientation(format, bytes.get(), byteCount));
    result.picture = DecodeBytes(format, bytes.get(), byteCount, context);
    if (result.picture == nullptr && !quietOnly &&
        context.Report().problem != PICTURE_CANCELLED) {
        // The same bytes again, reporting: the picture in its own format, or why not.
        context.StartReporting();
        result.picture = DecodeBytes(format, bytes.get(), byteCount, context);
    }
    result.report = context.Report();
    return result;
}

}  // namespace

PictureRead ReadPicture(OxFile* file, const PictureHeaderHook* hook)
{
    return ReadPictureFrom(file, hook, false);
}

OxSurface* ReadRgbaQuietly(OxFile* file)
{
    return ReadPictureFrom(file, nullptr, true).picture;
}

OxSurface* ReadJpeg(OxFile* file, PictureReport* report)
{
    ReadContext context(DecodeMode::Reporting, nullptr);
    OxSurface* surface = nullptr;
    int byteCount = 0;
    const int start = file != nullptr ? file->Tell() : -1;
    if (file == nullptr) {
        context.Note(PICTURE_UNREADABLE);
    } else if (start < 0) {
        context.Fail(PICTURE_UNREADABLE, "FILE_SIZE_UNKNOWN");
    } else if (std::unique_ptr<uint8_t[]> bytes =
                   ReadRest(file, start, nullptr, 0, &byteCount, context)) {
        surface = DecodeJpegBytes(bytes.get(), byteCount, context);
    }
    if (report != nullptr)
        *report = context.Report();
    return surface;
}
