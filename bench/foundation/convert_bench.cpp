// Pixel conversion speed for the conversions a picture load makes.
#include <benchmark/benchmark.h>

#include <vector>

#include "foundation/surface.h"

namespace {

void BM_ConvertToRgba(benchmark::State& state, int format)
{
    const int side = int(state.range(0));
    const int pitch = side * BytesPerPixel(format);
    OxHolder<OxSurface> source(CreateSurface(pitch * side, side, side, format, pitch));
    for (size_t i = 0; i < source->pixelStore.size(); ++i)
        source->pixelStore[i] = uint8_t(i * 31);
    std::vector<uint8_t> destination(size_t(side) * size_t(side) * 4);
    for (auto _ : state) {
        ConvertPixels(side * 4, destination.data(), PF_RGBA, source.get());
        benchmark::DoNotOptimize(destination.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * side * side * 4);
}

BENCHMARK_CAPTURE(BM_ConvertToRgba, rgb, PF_RGB)->Arg(2048);
BENCHMARK_CAPTURE(BM_ConvertToRgba, indexed, PF_INDEXED)->Arg(2048);
BENCHMARK_CAPTURE(BM_ConvertToRgba, grey, PF_GREY)->Arg(2048);

}  // namespace
