// Speed of the processor-side glow pass, which runs once after a load and after each key burst,
// against the one-pixel-at-a-time pass it replaced.
#include <benchmark/benchmark.h>

#include <thread>

#include "tests/glow/glow_reference.h"
#include "bench/support/photo.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/globals.h"
#include "src/glow.h"

namespace {

const OxSurface* Photo()
{
    static OxHolder<OxSurface> photo(CreateSyntheticPhoto(kPhotoWidth, kPhotoHeight));
    return photo.get();
}

// Arguments: weights as R G B bits (4 red, 2 green, 1 blue), the power.
void SetGlow(const benchmark::State& state)
{
    const int weights = int(state.range(0));
    g_weightR = float(weights >> 2 & 1);
    g_weightG = float(weights >> 1 & 1);
    g_weightB = float(weights & 1);
    g_power = float(state.range(1));
}

void BM_GlowReference(benchmark::State& state)
{
    SetGlow(state);
    Photo();  // made before the clock starts
    for (auto _ : state) {
        OxHolder<OxSurface> copy(CreateGlowCopyReference(Photo()));
        benchmark::DoNotOptimize(copy->readPixels);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * Photo()->width * Photo()->height);
}

// Third argument: threads.
void BM_Glow(benchmark::State& state)
{
    SetGlow(state);
    Photo();  // made before the clock starts
    const int threads = int(state.range(2));
    for (auto _ : state) {
        OxHolder<OxSurface> copy(CreateGlowCopyOnThreads(Photo(), threads));
        benchmark::DoNotOptimize(copy->readPixels);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * Photo()->width * Photo()->height);
}

void WeightsAndPowers(benchmark::internal::Benchmark* bench, bool threads)
{
    for (int power : {1, 10, 100}) {
        for (int weights = 0; weights < 8; ++weights) {
            if (threads) {
                bench->Args({weights, power, 1});
                bench->Args({weights, power, 2});
            } else {
                bench->Args({weights, power});
            }
        }
    }
}

BENCHMARK(BM_GlowReference)
    ->Apply([](benchmark::internal::Benchmark* b) { WeightsAndPowers(b, false); })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Glow)
    ->Apply([](benchmark::internal::Benchmark* b) { WeightsAndPowers(b, true); })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
