// What the picture fuzz targets do with a decoded surface: convert it to RGBA as the viewer does.
#pragma once

#include <cstdlib>
#include <vector>

#include "foundation/picture.h"
#include "foundation/surface.h"

// Converts a decoder's surface to RGBA and aborts when a promise of the
// decoders is broken (sizes, pitch, store, format).
inline void CheckDecodedSurface(OxSurface* surface)
{
    if (surface == nullptr)
        return;
    const int bytes = BytesPerPixel(surface->format);
    if (bytes == 0 || surface->width <= 0 || surface->height <= 0 ||
        surface->width > kMaxPictureSide || surface->height > kMaxPictureSide ||
        surface->pitch < surface->width * bytes ||
        surface->pixelStore.size() < size_t(surface->height) * size_t(surface->pitch) ||
        surface->readPixels != surface->pixelStore.data())
        std::abort();
    // The conversion is tried on pictures up to this many pixels: past it the
    // time goes to moving pixels under the sanitizers, not to finding faults.
    constexpr size_t kMaxConvertedPixels = size_t(1) << 22;
    const size_t pixels = size_t(surface->width) * size_t(surface->height);
    if (pixels <= kMaxConvertedPixels) {
        std::vector<uint8_t> rgba(pixels * 4);
        if (ConvertPixels(0, rgba.data(), PF_RGBA, surface) != 0)
            std::abort();
    }
    OxRelease(surface);
}
