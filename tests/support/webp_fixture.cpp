// WebP files made with libwebp's encoder and muxer, and libwebp's reference decode.
#include "webp_fixture.h"

#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};
struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

Bytes TakeWebpBuffer(uint8_t* output, size_t size)
{
    Bytes bytes;
    if (output != nullptr && size > 0)
        bytes.assign(output, output + size);
    WebPFree(output);
    return bytes;
}

}  // namespace

Bytes PatternRgba(int width, int height, bool alpha, int seed)
{
    Bytes rgba(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
            pixel[0] = uint8_t(x * 255 / (width > 1 ? width - 1 : 1) + seed * 40);
            pixel[1] = uint8_t(y * 255 / (height > 1 ? height - 1 : 1));
            pixel[2] = uint8_t(((x / 3) ^ (y / 2)) * 37 + seed * 11);
            pixel[3] = alpha ? uint8_t(x < width / 4 ? 0 : x > width * 3 / 4 ? 255 : x * 5 + y)
                             : uint8_t(255);
        }
    }
    return rgba;
}

Bytes EncodeWebp(const Bytes& rgba, int width, int height, bool lossless)
{
    uint8_t* output = nullptr;
    const size_t size = lossless
                            ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &output)
                            : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 80, &output);
    return TakeWebpBuffer(output, size);
}

Bytes AssembleAnimatedWebp(int canvasWidth, int canvasHeight, const std::vector<WebpFrame>& frames)
{
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    if (!mux || WebPMuxSetCanvasSize(mux.get(), canvasWidth, canvasHeight) != WEBP_MUX_OK)
        return {};
    const WebPMuxAnimParams params = {0x00000000, 0};  // transparent background, loop forever
    if (WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK)
        return {};
    for (const WebpFrame& frame : frames) {
        const Bytes still = EncodeWebp(frame.rgba, frame.width, frame.height, true);
        WebPMuxFrameInfo info;
        std::memset(&info, 0, sizeof info);
        info.bitstream = {still.data(), still.size()};
        info.x_offset = frame.x;
        info.y_offset = frame.y;
        info.duration = 100;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = WEBP_MUX_BLEND;
        if (still.empty() || WebPMuxPushFrame(mux.get(), &info, 1) != WEBP_MUX_OK)
            return {};
    }
    WebPData assembled = {nullptr, 0};
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK)
        return {};
    Bytes bytes(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return bytes;
}

Bytes ReferenceWebpRgba(const Bytes& bytes, int* width, int* height)
{
    *width = *height = 0;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return {};
    if (!features.has_animation) {
        uint8_t* pixels = WebPDecodeRGBA(bytes.data(), bytes.size(), width, height);
        return TakeWebpBuffer(pixels, size_t(*width) * size_t(*height) * 4);
    }
    const WebPData data = {bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return {};
    options.color_mode = MODE_RGBA;
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(
        WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) ||
        !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        return {};
    *width = int(info.canvas_width);
    *height = int(info.canvas_height);
    return Bytes(canvas, canvas + size_t(*width) * size_t(*height) * 4);
}
