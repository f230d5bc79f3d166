// Fuzz target: ConvertPixels with a source surface whose every field comes from
// the input, and CreateSurfaceFromRows over the same rows. Header (little-endian): source format, target format, width,
// height, pitch, target pitch, palette count, colour key (16 bits each after
// the two format bytes), key colour (3 bytes), palette entries stored (1 byte);
// then the palette store, then the pixel store.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "foundation/surface.h"

namespace {

constexpr size_t kHeaderSize = 2 + 6 * 2 + 3 + 1;
// Targets larger than this are not tried: the fuzzer's memory bound is not the subject.
constexpr size_t kMaxTargetBytes = size_t(4) << 20;

int Signed16(const uint8_t* at)
{
    return int(int16_t(uint16_t(at[0] | at[1] << 8)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderSize)
        return 0;
    OxHolder<OxSurface> source(new OxSurface);
    source->format = data[0] % 8;
    const int targetFormat = data[1] % 8;
    source->width = Signed16(data + 2);
    source->height = Signed16(data + 4);
    source->pitch = Signed16(data + 6);
    const int targetPitch = Signed16(data + 8);
    source->paletteCount = Signed16(data + 10);
    source->colorKey = Signed16(data + 12);
    for (int i = 0; i < 3; ++i)
        source->keyColor[i] = data[14 + i];
    const uint8_t* rest = data + kHeaderSize;
    size_t left = size - kHeaderSize;
    const size_t paletteBytes = std::min(size_t(data[17]) * 3, left);
    source->paletteStore.assign(rest, rest + paletteBytes);
    source->pixelStore.assign(rest + paletteBytes, rest + left);
    source->readPixels = source->pixelStore.empty() ? nullptr : source->pixelStore.data();

    // The target as a careful caller sizes it: height rows of the target pitch,
    // or of packed pixels when that is <= 0.
    const size_t rows = size_t(std::max(source->height, 0));
    const size_t packed = size_t(std::max(source->width, 0)) * size_t(BytesPerPixel(targetFormat));
    const size_t stride = targetPitch > 0 ? size_t(targetPitch) : packed;
    if (rows * stride > kMaxTargetBytes)
        return 0;
    std::vector<uint8_t> target(std::max<size_t>(rows * stride, 1));
    const int result = ConvertPixels(targetPitch, target.data(), targetFormat, source.get());
    if (result != 0 && result != -1)
        std::abort();

    // The same rows copied into a new RGB surface, when the store holds them all as a
    // caller's block would.
    const size_t rgbStride = source->pitch > 0 ? size_t(source->pitch)
                                               : size_t(std::max(source->width, 0)) * 3;
    if (rows * rgbStride <= source->pixelStore.size() && rows * rgbStride <= kMaxTargetBytes) {
        OxHolder<OxSurface> copy(CreateSurfaceFromRows(source->pitch, source->width,
                                                       source->height, source->readPixels));
        if (copy && (copy->width != source->width || copy->height != source->height))
            std::abort();
    }
    return 0;
}
