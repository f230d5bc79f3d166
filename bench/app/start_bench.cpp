// The way to the first picture, with pictures read beside the window (run under a display):
// a start with a file against an empty start, the first drop on a fresh window, a large
// photo's preview and Escape while it decodes, each against the bare decode of the same file.
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "bench/support/photo.h"
#include "bench/support/program.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/globals.h"
#include "src/picture_loader.h"
#include "src/run.h"
#include "src/wallpaper.h"
#include "src/window_handlers.h"

namespace {

using Clock = std::chrono::steady_clock;

// The photo (12 MP) and the large photo (50 MP), written once per run.
std::string g_photoPath;
std::string g_largePath;
constexpr int kLargeWidth = 8160;
constexpr int kLargeHeight = 6120;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Start-up to the first frame, and tear-down out of the time; file: null for an empty start.
void BM_Start(benchmark::State& state, const std::string* file)
{
    for (auto _ : state) {
        if (!StartProgram(file ? std::vector<std::string>{*file} : std::vector<std::string>(),
                          file ? *file : std::string())) {
            state.SkipWithError(file ? "the photo was not shown" : "no window");
            break;
        }
        state.PauseTiming();
        EndProgram();
        state.ResumeTiming();
    }
}

// An empty window started out of the time; false, and the benchmark skipped, when none.
bool StartEmptyOutOfTime(benchmark::State& state)
{
    state.PauseTiming();
    const bool started = StartProgram({}, std::string());
    state.ResumeTiming();
    if (!started)
        state.SkipWithError("no window");
    return started;
}

// From the drop to the picture (or, with preview, its preview) on the screen, on a window
// started empty just before. With preview the picture is still decoding when the program
// ends: the time that end takes, as Escape would start it, is escape_ms.
void BM_Drop(benchmark::State& state, const std::string* path, bool preview)
{
    double escapeSeconds = 0;
    int escapes = 0;
    for (auto _ : state) {
        if (!StartEmptyOutOfTime(state))
            break;
        g_window->OnDropFile(path->c_str());
        const bool shown = ServeUntilShown(*path, preview);
        state.PauseTiming();
        const bool stillDecoding = !g_loader->Idle();
        const Clock::time_point escape = Clock::now();
        EndProgram();
        if (stillDecoding) {
            escapeSeconds += SecondsSince(escape);
            ++escapes;
        }
        state.ResumeTiming();
        if (!shown) {
            state.SkipWithError("the photo was not shown");
            break;
        }
    }
    if (preview)
        state.counters["escape_ms"] = escapes > 0 ? 1000.0 * escapeSeconds / escapes : -1.0;
}

// What any drop that shows the photo whole costs the window, whatever the picture: from an
// empty window started just before to its frames at the photo's size (as large as the screen
// allows) drawn and shown, with no picture read. On a large screen this alone can outweigh
// the decode: the driver's buffers, and the display server's, are made at the new size.
void BM_EmptyWindowToPhotoSize(benchmark::State& state)
{
    for (auto _ : state) {
        if (!StartEmptyOutOfTime(state))
            break;
        ShowEmptyWindowFor(kPhotoWidth, kPhotoHeight);
        state.PauseTiming();
        EndProgram();
        state.ResumeTiming();
    }
}

// libjpeg-turbo alone: the file decoded to RGB rows in memory.
void BM_DecodeBare(benchmark::State& state, const std::string* path)
{
    for (auto _ : state) {
        if (!DecodeJpegFileBare(*path)) {
            state.SkipWithError("cannot read the photo");
            break;
        }
    }
}

bool WritePhoto(int width, int height, const std::string& path)
{
    OxHolder<OxSurface> photo(CreateSyntheticPhoto(width, height));
    return photo && WritePhotoJpeg(photo.get(), path);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    SetLogThreshold(LOG_NONE);
    char directory[] = "/tmp/glowview-start-bench-XXXXXX";
    if (!mkdtemp(directory)) {
        std::fprintf(stderr, "start_bench: no temporary directory\n");
        return 1;
    }
    // Each photo alone in its folder, as the program shows the pictures of a file's folder:
    // no neighbour is read ahead.
    const std::string photoFolder = std::string(directory) + "/photo";
    const std::string largeFolder = std::string(directory) + "/large";
    mkdir(photoFolder.c_str(), 0700);
    mkdir(largeFolder.c_str(), 0700);
    g_photoPath = photoFolder + "/photo.jpg";
    g_largePath = largeFolder + "/large.jpg";
    if (!WritePhoto(kPhotoWidth, kPhotoHeight, g_photoPath) ||
        !WritePhoto(kLargeWidth, kLargeHeight, g_largePath)) {
        std::fprintf(stderr, "start_bench: cannot write the photos\n");
        return 1;
    }
    const auto each = [](benchmark::internal::Benchmark* bench) {
        bench->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    each(benchmark::RegisterBenchmark("BM_DecodeBare/photo", BM_DecodeBare, &g_photoPath));
    each(benchmark::RegisterBenchmark("BM_DecodeBare/large", BM_DecodeBare, &g_largePath));
    each(benchmark::RegisterBenchmark("BM_StartEmpty", BM_Start, nullptr));
    each(benchmark::RegisterBenchmark("BM_StartWithPhoto", BM_Start, &g_photoPath));
    // The first drop is measured per screen size: the window's buffers grow with it.
    const char* screen = std::getenv("GLOWVIEW_SCREEN");
    const std::string firstDrop = std::string("BM_FirstDrop/") + (screen ? screen : "1280x1024");
    each(benchmark::RegisterBenchmark(firstDrop.c_str(), BM_Drop, &g_photoPath, false));
    const std::string emptyWindow =
        std::string("BM_EmptyWindowToPhotoSize/") + (screen ? screen : "1280x1024");
    each(benchmark::RegisterBenchmark(emptyWindow.c_str(), BM_EmptyWindowToPhotoSize));
    each(benchmark::RegisterBenchmark("BM_LargePreviewAndEscape", BM_Drop, &g_largePath, true)
             ->Iterations(3));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(g_photoPath.c_str());
    std::remove(g_largePath.c_str());
    rmdir(photoFolder.c_str());
    rmdir(largeFolder.c_str());
    rmdir(directory);
    return 0;
}
