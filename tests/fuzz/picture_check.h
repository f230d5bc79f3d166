// What the picture fuzz targets do with a decoded surface: convert it to RGBA as the viewer does.
#pragma once

#include <cstdlib>
#include <vector>

#include "foundation/picture.h"
#include "foundation/surface.h"

// Converts a decoder's surface to RGBA and aborts when a promise of the
// decoders is broken (sizes, pitch, store, format).
// True for an arithmetic-coded JPEG that claims more pixels than this. Such a
// picture costs its full size in a few hundred bytes (the coder spends far
// below a bit on a flat block), which is the format and not a fault; the kept
// inputs cover it, and the fuzzer spends its time on smaller pictures.
inline bool IsLargeArithmeticJpeg(const uint8_t* data, size_t size)
{
    constexpr uint64_t kMaxPixels = uint64_t(1) << 22;
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t marker = data[i + 1];
        if (data[i] != 0xFF || marker < 0xC9 || marker > 0xCF || marker == 0xCC)
            continue;
        const uint64_t height = uint64_t(data[i + 5]) << 8 | data[i + 6];
        const uint64_t width = uint64_t(data[i + 7]) << 8 | data[i + 8];
        if (width * height > kMaxPixels)
            return true;
    }
    return false;
}

// The quiet RGBA reader's store (rawStore) has no size to check here: the conversion
// below reads every byte of it instead.
inline bool StoreHoldsRows(const OxSurface& surface)
{
    if (surface.rawStore)
        return surface.readPixels == surface.rawStore.get();
    return surface.pixelStore.size() >= size_t(surface.height) * size_t(surface.pitch) &&
           surface.readPixels == surface.pixelStore.data();
}

inline void CheckDecodedSurface(OxSurface* surface)
{
    if (surface == nullptr)
        return;
    const int bytes = BytesPerPixel(surface->format);
    if (bytes == 0 || surface->width <= 0 || surface->height <= 0 ||
        surface->width > kMaxPictureSide || surface->height > kMaxPictureSide ||
        surface->pitch < surface->width * bytes ||
        !StoreHoldsRows(*surface))
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
