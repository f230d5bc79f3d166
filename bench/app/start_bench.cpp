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
#include <unistd.h>

#include "bench/support/photo.h"
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

// The frame loop's part that serves the loader and draws what changed, until the picture at
// `path` is the one shown (or, with preview, its preview is), with its frame drawn and
// finished.
bool ServeUntilShown(const std::string& path, bool preview)
{
    for (int turns = 0; turns < 100000; ++turns) {
        g_loader->WaitForEvent(0.05);
        g_app->ServeLoads();
        if (g_app->needsRedraw && !g_app->windowHidden)
            g_window->OnPaint();
        // A preview not yet served when the picture itself came is passed over: what the
        // user sees first is then the picture.
        const bool shown = (preview && g_app->previewShown) || path == g_app->path;
        if (shown && !g_app->windowHidden) {
            glFinish();
            return true;
        }
        if (g_loader->Idle() && !shown)
            return false;
    }
    return false;
}

// Program start-up up to its first frame on the screen: empty, or with the file given (read
// beside the start-up, the window shown with the picture in it).
bool StartProgram(const char* file)
{
    StartLoader();
    if (file != nullptr)
        g_loader->Request(file);
    WindowHandle handle = CreateAppWindow();
    if (!handle || !StartApplication(handle, false, file != nullptr))
        return false;
    if (file == nullptr) {
        g_window->OnPaint();
        glFinish();
        return true;
    }
    return ServeUntilShown(file, false);
}

void EndProgram()
{
    WindowHandle handle = g_app->hwnd;
    StopApplication(handle);
    ResetAppGlobals();
    DestroyAppWindow(handle);
}

// Start-up to the first frame, and tear-down out of the time; file: null for an empty start.
void BM_Start(benchmark::State& state, const std::string* file)
{
    for (auto _ : state) {
        if (!StartProgram(file ? file->c_str() : nullptr)) {
            state.SkipWithError(file ? "the photo was not shown" : "no window");
            break;
        }
        state.PauseTiming();
        EndProgram();
        state.ResumeTiming();
    }
}

// From the drop to the picture (or, with preview, its preview) on the screen, on a window
// started empty just before. With preview the picture is still decoding when the program
// ends: the time that end takes, as Escape would start it, is escape_ms.
void BM_Drop(benchmark::State& state, const std::string* path, bool preview)
{
    double escapeSeconds = 0;
    int escapes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!StartProgram(nullptr)) {
            state.SkipWithError("no window");
            break;
        }
        state.ResumeTiming();
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
    g_photoPath = std::string(directory) + "/photo.jpg";
    g_largePath = std::string(directory) + "/large.jpg";
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
    each(benchmark::RegisterBenchmark("BM_LargePreviewAndEscape", BM_Drop, &g_largePath, true)
             ->Iterations(3));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(g_photoPath.c_str());
    std::remove(g_largePath.c_str());
    rmdir(directory);
    return 0;
}
