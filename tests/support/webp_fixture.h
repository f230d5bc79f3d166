// WebP files made in the tests with libwebp's encoder and muxer, and libwebp's own decode
// of them to compare the reader against.
#pragma once

#include <cstdint>
#include <vector>

// A width x height RGBA picture with smooth colours, fine detail and, when asked, an alpha
// ramp with fully transparent and fully opaque parts.
std::vector<uint8_t> PatternRgba(int width, int height, bool alpha, int seed = 0);

// The packed RGBA pixels as a WebP file: lossless, or lossy at quality 80 (with an ALPH
// chunk when some pixel is not opaque). Empty when libwebp refuses.
std::vector<uint8_t> EncodeWebp(const std::vector<uint8_t>& rgba, int width, int height,
                                bool lossless);

// One frame of an animation: a lossless picture placed at (x, y) on the canvas (even).
struct WebpFrame {
    std::vector<uint8_t> rgba;
    int width;
    int height;
    int x;
    int y;
};
// The frames as an animated WebP over a canvas of the given size; empty on failure.
std::vector<uint8_t> AssembleAnimatedWebp(int canvasWidth, int canvasHeight,
                                          const std::vector<WebpFrame>& frames);

// libwebp's own decode to packed RGBA: a still picture with WebPDecodeRGBA, an animation's
// first frame with WebPAnimDecoder. Empty when libwebp cannot decode the bytes.
std::vector<uint8_t> ReferenceWebpRgba(const std::vector<uint8_t>& bytes, int* width,
                                       int* height);
