// Surface creation and the converter between pixel formats.
#include "foundation/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

int BytesPerPixel(int format)
{
    switch (format) {
    case PF_RGBA: return 4;
    case PF_RGB: return 3;
    case PF_LUMINANCE: return 1;
    case PF_GREY: return 1;
    case PF_INDEXED: return 1;
    default: return 0;
    }
}

OxSurface* CreateSurface(int byteSize, int width, int height, int format, int pitch)
{
    OxHolder<OxSurface> surface(new (std::nothrow) OxSurface);
    if (!surface)
        return nullptr;
    surface->width = width;
    surface->height = height;
    surface->format = format;
    surface->pitch = pitch;
    try {
        if (byteSize > 0) {
            surface->pixelStore.assign(size_t(byteSize), 0);
            surface->writePixels = surface->pixelStore.data();
            surface->readPixels = surface->pixelStore.data();
        }
        if (format == PF_INDEXED) {
            surface->paletteCount = 256;
            surface->paletteStore.assign(256 * 3, 0);
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return surface.Detach();
}

namespace {

// Stores from this size on are aligned to and advised for huge pages.
constexpr size_t kHugePage = size_t(2) << 20;

}  // namespace

uint8_t* AllocateStore(size_t byteSize)
{
#if defined(__linux__)
    if (byteSize >= 2 * kHugePage) {
        void* store = nullptr;
        if (posix_memalign(&store, kHugePage, byteSize) != 0)
            return nullptr;
        madvise(store, byteSize, MADV_HUGEPAGE);  // a refusal only costs speed
        return static_cast<uint8_t*>(store);
    }
#endif
    return static_cast<uint8_t*>(std::malloc(byteSize));
}

void OxStoreRelease::operator()(uint8_t* store) const
{
    std::free(store);
}

OxSurface* CreateSurfaceForOverwrite(int byteSize, int width, int height, int format, int pitch)
{
    OxHolder<OxSurface> surface(CreateSurface(0, width, height, format, pitch));
    if (!surface || byteSize <= 0)
        return surface.Detach();
    surface->rawStore.reset(AllocateStore(size_t(byteSize)));
    if (!surface->rawStore)
        return nullptr;
    surface->writePixels = surface->rawStore.get();
    surface->readPixels = surface->rawStore.get();
    return surface.Detach();
}

OxSurface* CreateSurfaceFromRows(int rowStride, int width, int height, const uint8_t* source)
{
    if (width < 0 || height < 0 || (height > 0 && source == nullptr))
        return nullptr;
    if (rowStride <= 0) {
        if (width > INT32_MAX / 3)
            return nullptr;
        rowStride = width * 3;
    }
    if (height > 0 && rowStride > INT32_MAX / height)
        return nullptr;
    OxSurface* surface = CreateSurface(height * rowStride, width, height, PF_RGB, rowStride);
    if (surface == nullptr)
        return nullptr;
    const size_t rowBytes = size_t(std::min(rowStride, surface->pitch));
    // Rows of no bytes (a picture of width 0) have no store to copy into.
    if (rowBytes == 0)
        return surface;
    for (int i = 0; i < height; ++i)
        std::memcpy(surface->writePixels + size_t(i) * size_t(surface->pitch),
                    source + size_t(i) * size_t(rowStride), rowBytes);
    return surface;
}

namespace {

using PixelConverter = void (*)(const OxSurface& source, const uint8_t* s, uint8_t* d);
using RowConverter = void (*)(const OxSurface& source, const uint8_t* s, uint8_t* d, int width);

void RgbaToRgb(const OxSurface&, const uint8_t* s, uint8_t* d)
{
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}

void FirstByte(const OxSurface&, const uint8_t* s, uint8_t* d) { d[0] = s[0]; }

void RgbToRgba(const OxSurface& source, const uint8_t* s, uint8_t* d)
{
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    const bool keyed = source.colorKey >= 0 && std::memcmp(s, source.keyColor, 3) == 0;
    d[3] = keyed ? 0 : 255;
}

void GreyToRgba(const OxSurface&, const uint8_t* s, uint8_t* d)
{
    d[0] = d[1] = d[2] = s[0];
    d[3] = 255;
}

void GreyToRgb(const OxSurface&, const uint8_t* s, uint8_t* d) { d[0] = d[1] = d[2] = s[0]; }

// Indexes past the picture's palette have no colour of their own: black.
void PaletteColour(const OxSurface& source, uint8_t index, uint8_t* d)
{
    const size_t entries = std::min(size_t(std::max(source.paletteCount, 0)),
                                    source.paletteStore.size() / 3);
    if (index < entries) {
        std::memcpy(d, &source.paletteStore[size_t(index) * 3], 3);
    } else {
        d[0] = d[1] = d[2] = 0;
    }
}

void IndexedToRgb(const OxSurface& source, const uint8_t* s, uint8_t* d)
{
    PaletteColour(source, s[0], d);
}

void IndexedToRgba(const OxSurface& source, const uint8_t* s, uint8_t* d)
{
    PaletteColour(source, s[0], d);
    d[3] = s[0] == source.colorKey ? 0 : 255;
}

// One row at a time, so that the pixel step inlines and the choice of
// converter is made once per call.
template <PixelConverter Convert, size_t SrcBytes, size_t DstBytes>
void ConvertRow(const OxSurface& source, const uint8_t* s, uint8_t* d, int width)
{
    for (int x = 0; x < width; ++x, s += SrcBytes, d += DstBytes)
        Convert(source, s, d);
}

RowConverter FindConverter(int from, int to)
{
    switch (from) {
    case PF_RGBA:
        if (to == PF_RGB) return ConvertRow<RgbaToRgb, 4, 3>;
        if (to == PF_LUMINANCE) return ConvertRow<FirstByte, 4, 1>;
        break;
    case PF_RGB:
        if (to == PF_RGBA) return ConvertRow<RgbToRgba, 3, 4>;
        if (to == PF_LUMINANCE) return ConvertRow<FirstByte, 3, 1>;
        break;
    case PF_LUMINANCE:
    case PF_GREY:
        if (to == PF_RGBA) return ConvertRow<GreyToRgba, 1, 4>;
        if (to == PF_RGB) return ConvertRow<GreyToRgb, 1, 3>;
        break;
    case PF_INDEXED:
        if (to == PF_RGB) return ConvertRow<IndexedToRgb, 1, 3>;
        if (to == PF_RGBA) return ConvertRow<IndexedToRgba, 1, 4>;
        break;
    }
    return nullptr;
}

// Copies each row's pixels, never the source's padding; a shorter target
// pitch keeps the start of each row.
void CopyRows(size_t dstStride, uint8_t* dst, const OxSurface& source, size_t packedBytes)
{
    const size_t rowBytes = std::min(dstStride, packedBytes);
    for (int row = 0; row < source.height; ++row)
        std::memmove(dst + size_t(row) * dstStride,
                     source.readPixels + size_t(row) * size_t(source.pitch), rowBytes);
}

// The source promises of the header: a format, sizes >= 0, rows that hold
// their pixels, and a store that holds every row when it is the surface's own.
bool SourceKeepsContract(const OxSurface& source)
{
    const int64_t bytes = BytesPerPixel(source.format);
    if (bytes == 0 || source.width < 0 || source.height < 0)
        return false;
    if (source.width == 0 || source.height == 0)
        return true;
    const int64_t rowBytes = int64_t(source.width) * bytes;
    if (source.readPixels == nullptr || source.pitch < rowBytes)
        return false;
    const uint8_t* store = source.pixelStore.data();
    const size_t storeSize = source.pixelStore.size();
    if (storeSize == 0 || source.readPixels < store || source.readPixels >= store + storeSize)
        return true;  // pixels the surface does not own: the caller answers for them
    const int64_t needed = int64_t(source.height - 1) * source.pitch + rowBytes;
    return needed <= int64_t(store + storeSize - source.readPixels);
}

}  // namespace

int ConvertPixels(int dstPitch, uint8_t* dstPixels, int dstFormat, const OxSurface* source)
{
    if (source == nullptr || dstPixels == nullptr || !SourceKeepsContract(*source))
        return -1;
    if (source->width == 0 || source->height == 0)
        return dstFormat == source->format || FindConverter(source->format, dstFormat) ? 0 : -1;
    const size_t width = size_t(source->width);
    if (dstFormat == source->format) {
        const size_t packed = width * size_t(BytesPerPixel(dstFormat));
        CopyRows(dstPitch > 0 ? size_t(dstPitch) : packed, dstPixels, *source, packed);
        return 0;
    }
    const RowConverter convertRow = FindConverter(source->format, dstFormat);
    if (convertRow == nullptr)
        return -1;
    const size_t packed = width * size_t(BytesPerPixel(dstFormat));
    // Rows shorter than their pixels would overlap and run past the target.
    if (dstPitch > 0 && size_t(dstPitch) < packed)
        return -1;
    const size_t dstStride = dstPitch > 0 ? size_t(dstPitch) : packed;
    for (int row = 0; row < source->height; ++row) {
        convertRow(*source, source->readPixels + size_t(row) * size_t(source->pitch),
                   dstPixels + size_t(row) * dstStride, source->width);
    }
    return 0;
}
