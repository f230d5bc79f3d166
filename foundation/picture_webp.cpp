// The WebP decoder: a still picture (lossy, lossless, with alpha) decoded straight into its
// pixel store, and of an animation the first frame, in one sequence for both decode modes.
#include <cstring>

#include <webp/decode.h>
#include <webp/demux.h>

#include "foundation/log.h"
#include "foundation/picture_codec.h"

namespace {

// What a libwebp status says of the data, and its name in the log.
PictureProblem ProblemOf(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OK: return PICTURE_FINE;
    case VP8_STATUS_NOT_ENOUGH_DATA:
    case VP8_STATUS_SUSPENDED: return PICTURE_TRUNCATED;
    case VP8_STATUS_UNSUPPORTED_FEATURE: return PICTURE_UNSUPPORTED;
    case VP8_STATUS_OUT_OF_MEMORY: return PICTURE_NO_MEMORY;
    case VP8_STATUS_INVALID_PARAM:
    case VP8_STATUS_BITSTREAM_ERROR:
    case VP8_STATUS_USER_ABORT: break;
    }
    return PICTURE_DAMAGED;
}

const char* StatusName(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OK: return "WEBP_OK";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "WEBP_NOT_ENOUGH_DATA";
    case VP8_STATUS_SUSPENDED: return "WEBP_SUSPENDED";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "WEBP_UNSUPPORTED_FEATURE";
    case VP8_STATUS_OUT_OF_MEMORY: return "WEBP_OUT_OF_MEMORY";
    case VP8_STATUS_INVALID_PARAM: return "WEBP_INVALID_PARAM";
    case VP8_STATUS_BITSTREAM_ERROR: return "WEBP_BITSTREAM_ERROR";
    case VP8_STATUS_USER_ABORT: return "WEBP_USER_ABORT";
    }
    return "WEBP_UNKNOWN_STATUS";
}

bool Succeeded(VP8StatusCode status, ReadContext& context)
{
    if (status == VP8_STATUS_OK)
        return true;
    context.Fail(ProblemOf(status), StatusName(status));
    return false;
}

// Everything one WebP decode owns, released on every way out.
struct WebpReader {
    WebPDemuxer* demuxer = nullptr;
    WebPIterator frame{};
    bool frameHeld = false;
    OxSurface* surface = nullptr;

    ~WebpReader()
    {
        if (frameHeld)
            WebPDemuxReleaseIterator(&frame);
        WebPDemuxDelete(demuxer);
        OxRelease(surface);
    }
};

// One WebP bitstream (a whole still file, or a frame's ALPH and VP8/VP8L chunks) decoded as
// RGBA into the rows at `pixels`, `pitch` bytes apart, of a store with `storeBytes` from there.
VP8StatusCode DecodeRgbaInto(const uint8_t* bytes, size_t byteCount, uint8_t* pixels, int pitch,
                             size_t storeBytes)
{
    // WebPDecodeRGBAInto's own steps, with the status that it keeps to itself.
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return VP8_STATUS_INVALID_PARAM;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = pitch;
    config.output.u.RGBA.size = storeBytes;
    const VP8StatusCode status = WebPDecode(bytes, byteCount, &config);
    WebPFreeDecBuffer(&config.output);
    return status;
}

// The limits, before anything of the picture is made: its byte size, or -1 (noted).
int AcceptedStoreSize(int width, int height, ReadContext& context)
{
    if (width <= 0 || height <= 0) {
        context.Fail(PICTURE_DAMAGED, "WEBP_BITSTREAM_ERROR");
        return -1;
    }
    if (!context.SidesAccepted(uint32_t(width), uint32_t(height)))
        return -1;
    const int byteSize = StoreSize(height, int64_t(width) * 4);
    if (byteSize < 0)
        context.TooLarge(uint32_t(width), uint32_t(height));
    return byteSize;
}

// The header accepted (the hook runs), then the packed RGBA store made.
bool MakeStore(WebpReader& reader, int width, int height, int byteSize, ReadContext& context)
{
    context.HeaderAccepted(width, height);
    reader.surface = CreateDecodeSurface(context, byteSize, width, height, PF_RGBA, width * 4);
    return reader.surface != nullptr;
}

bool DecodeStill(WebpReader& reader, const uint8_t* bytes, size_t byteCount,
                 const WebPBitstreamFeatures& features, ReadContext& context)
{
    const int byteSize = AcceptedStoreSize(features.width, features.height, context);
    if (byteSize < 0 || !MakeStore(reader, features.width, features.height, byteSize, context))
        return false;
    OxSurface& surface = *reader.surface;
    return Succeeded(DecodeRgbaInto(bytes, byteCount, surface.writePixels, surface.pitch,
                                    size_t(byteSize)),
                     context);
}

// The demuxer over the whole file, and its first frame within the canvas; false (noted)
// for a cut or damaged file.
bool FindFirstFrame(WebpReader& reader, const uint8_t* bytes, size_t byteCount, int width,
                    int height, ReadContext& context)
{
    const WebPData data = {bytes, byteCount};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    reader.demuxer = WebPDemuxPartial(&data, &state);
    if (reader.demuxer == nullptr || state != WEBP_DEMUX_DONE) {
        const bool damaged = state == WEBP_DEMUX_PARSE_ERROR;
        context.Fail(damaged ? PICTURE_DAMAGED : PICTURE_TRUNCATED,
                     damaged ? "WEBP_DEMUX_PARSE_ERROR" : "WEBP_NOT_ENOUGH_DATA");
        return false;
    }
    reader.frameHeld = WebPDemuxGetFrame(reader.demuxer, 1, &reader.frame) != 0;
    const WebPIterator& frame = reader.frame;
    if (reader.frameHeld && WebPDemuxGetI(reader.demuxer, WEBP_FF_CANVAS_WIDTH) == uint32_t(width) &&
        WebPDemuxGetI(reader.demuxer, WEBP_FF_CANVAS_HEIGHT) == uint32_t(height) &&
        frame.x_offset >= 0 && frame.y_offset >= 0 && frame.width > 0 && frame.height > 0 &&
        frame.width <= width - frame.x_offset && frame.height <= height - frame.y_offset)
        return true;
    context.Fail(PICTURE_DAMAGED, "WEBP_BAD_FRAME");
    return false;
}

// An animation's first frame over a transparent canvas, as a player shows it before the
// second: the first frame is a key frame, drawn without blending. The canvas is checked
// against the limits and the file read through before the store is made.
bool DecodeFirstFrame(WebpReader& reader, const uint8_t* bytes, size_t byteCount,
                      const WebPBitstreamFeatures& features, ReadContext& context)
{
    const int byteSize = AcceptedStoreSize(features.width, features.height, context);
    if (byteSize < 0 ||
        !FindFirstFrame(reader, bytes, byteCount, features.width, features.height, context) ||
        !MakeStore(reader, features.width, features.height, byteSize, context))
        return false;
    OxSurface& surface = *reader.surface;
    const WebPIterator& frame = reader.frame;
    if (frame.width != surface.width || frame.height != surface.height)
        std::memset(surface.writePixels, 0, size_t(byteSize));
    const size_t at = size_t(frame.y_offset) * size_t(surface.pitch) + size_t(frame.x_offset) * 4;
    if (!Succeeded(DecodeRgbaInto(frame.fragment.bytes, frame.fragment.size,
                                  surface.writePixels + at, surface.pitch, size_t(byteSize) - at),
                   context))
        return false;
    if (WebPDemuxGetI(reader.demuxer, WEBP_FF_FRAME_COUNT) > 1)
        context.NoteFirstFrameOnly();
    return true;
}

}  // namespace

bool IsWebpSignature(const uint8_t* bytes, int byteCount)
{
    return byteCount >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 &&
           std::memcmp(bytes + 8, "WEBP", 4) == 0;
}

OxSurface* DecodeWebpBytes(const uint8_t* bytes, int byteCount, ReadContext& context)
{
    if (bytes == nullptr || !IsWebpSignature(bytes, byteCount)) {
        context.Note(PICTURE_NOT_RECOGNISED);
        return nullptr;
    }
    WebPBitstreamFeatures features;
    if (!Succeeded(WebPGetFeatures(bytes, size_t(byteCount), &features), context))
        return nullptr;
    WebpReader reader;
    const bool decoded =
        features.has_animation
            ? DecodeFirstFrame(reader, bytes, size_t(byteCount), features, context)
            : DecodeStill(reader, bytes, size_t(byteCount), features, context);
    if (!decoded)
        return nullptr;
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    return surface;
}
