// Speed of the processor-side glow pass, which runs once after a load and after each key burst.
#include <benchmark/benchmark.h>

#include "foundation/surface.h"
#include "src/app.h"

namespace {

void BM_GlowCopy(benchmark::State& state)
{
    const int side = int(state.range(0));
    OxHolder<OxSurface> picture(CreateSurface(side * side * 4, side, side, PF_RGBA, side * 4));
    for (size_t i = 0; i < picture->pixelStore.size(); ++i)
        picture->pixelStore[i] = uint8_t(i * 131 + i / 7);
    for (auto _ : state) {
        OxHolder<OxSurface> copy(CreateGlowCopy(picture.get()));
        benchmark::DoNotOptimize(copy->readPixels);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * side * side);
}

BENCHMARK(BM_GlowCopy)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace
