// Paging through a folder (run under a display): the next picture read ahead against the
// least frame of it, the next one not read ahead against its bare decode and a frame, the
// first picture of a folder of 10 000 files against the same picture alone, and the memory
// while paging through 100 photos.
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/support/photo.h"
#include "bench/support/program.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/controls.h"
#include "src/globals.h"
#include "src/picture_loader.h"
#include "src/wallpaper.h"
#include "src/window_handlers.h"

namespace {

std::string g_root;  // the run's folder; the photo is linked into folders below it
std::string g_photo;

std::string Make(const std::string& folder)
{
    const std::string path = g_root + "/" + folder;
    mkdir(path.c_str(), 0700);
    return path;
}

// The photo under another name, as a hard link: the same file, no copy on the disk.
bool LinkPhoto(const std::string& path)
{
    return link(g_photo.c_str(), path.c_str()) == 0;
}

// Presses a key as the frame loop takes it: queued, then applied in the next frame.
void Press(int virtualKey)
{
    g_app->QueueKey(KeyPress{virtualKey, 0, false});
    g_window->OnPaint();
}

// Serves until the pictures beside the one shown are read ahead (or their reads ended).
void WaitForReadsAhead()
{
    for (int turns = 0; turns < 2000; ++turns) {
        g_app->ServeLoads();
        if (g_app->needsRedraw)
            g_window->OnPaint();
        if (g_ahead == nullptr || (!g_app->readAheadDue && g_ahead->Idle() && g_app->aheadAsked.empty()))
            return;
        g_ahead->WaitForEvent(0.01);
    }
}

// `glowview FOLDER/photo.jpg` to the photo on the screen; the folder holds it alone or
// with 9 999 other files.
void BM_OpenInFolder(benchmark::State& state, const std::string* path)
{
    for (auto _ : state) {
        if (!StartProgram({*path}, *path)) {
            state.SkipWithError("the photo was not shown");
            break;
        }
        state.PauseTiming();
        EndProgram();
        state.ResumeTiming();
    }
}

// Page Down from a.jpg to b.jpg in a folder of three photos and back, timed one way: with
// the next picture read ahead (ahead) or read after the key.
void BM_Next(benchmark::State& state, bool ahead)
{
    const std::string folder = g_root + "/three";
    if (!StartProgram({folder + "/a.jpg"}, folder + "/a.jpg")) {
        state.SkipWithError("no window");
        return;
    }
    if (!ahead) {
        // No reads ahead: the pictures are read when asked for.
        delete g_ahead;
        g_ahead = nullptr;
        g_app->ahead.clear();
        g_app->aheadAsked.clear();
    }
    OxHolder<OxSurface> photo(CreateSyntheticPhoto(kPhotoWidth, kPhotoHeight));
    double quadSeconds = 0, wallSeconds = 0;
    int frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        WaitForReadsAhead();
        // The references, in the same state: the least frame of the photo, and the wall's.
        {
            COneQuadFrame quad(photo.get());
            quad.Draw();
            auto start = std::chrono::steady_clock::now();
            quad.Draw();
            quadSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            start = std::chrono::steady_clock::now();
            g_app->Invalidate();
            g_window->OnPaint();
            glFinish();
            wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ++frames;
        }
        state.ResumeTiming();
        Press(VK_NEXT);
        const bool shown = ServeUntilShown(folder + "/b.jpg", false);
        state.PauseTiming();
        Press(VK_PRIOR);
        const bool back = ServeUntilShown(folder + "/a.jpg", false);
        state.ResumeTiming();
        if (!shown || !back) {
            state.SkipWithError("the next photo was not shown");
            break;
        }
    }
    state.counters["one_quad_ms"] = frames > 0 ? 1000 * quadSeconds / frames : -1;
    state.counters["wall_frame_ms"] = frames > 0 ? 1000 * wallSeconds / frames : -1;
    EndProgram();
}

// libjpeg-turbo alone: the photo's file decoded to RGB rows in memory.
void BM_DecodeBare(benchmark::State& state)
{
    for (auto _ : state) {
        if (!DecodeJpegFileBare(g_photo)) {
            state.SkipWithError("cannot read the photo");
            break;
        }
    }
}

// Resident memory while paging through 100 photos with Page Down, each shown and its
// neighbours read ahead, above the empty window of the photo's size, as multiples of
// the photo's RGBA size.
void BM_BrowseMemory(benchmark::State& state)
{
    const double rgbaKilobytes = double(kPhotoWidth) * kPhotoHeight * 4 / 1024;
    const std::string folder = g_root + "/hundred";
    for (auto _ : state) {
        if (!StartProgram({}, std::string())) {
            state.SkipWithError("no window");
            break;
        }
        // Counted, as the figure it is held against is, from the empty window of the size
        // the photo gives it.
        ShowEmptyWindowFor(kPhotoWidth, kPhotoHeight);
        const long empty = StatusKilobytes("VmRSS");
        {
            LockGuard lock(g_appLock);
            g_app->BrowseFiles({folder + "/p1.jpg"}, false);
        }
        bool shown = ServeUntilShown(folder + "/p1.jpg", false);
        for (int n = 2; n <= 100 && shown; ++n) {
            WaitForReadsAhead();
            Press(VK_NEXT);
            shown = ServeUntilShown(folder + "/p" + std::to_string(n) + ".jpg", false);
            WaitForReadsAhead();
            g_app->Rest();  // as the frame loop does before it waits for the next event
            if (n == 10 || n == 50 || n == 100)
                state.counters["after_" + std::to_string(n)] =
                    (StatusKilobytes("VmRSS") - empty) / rgbaKilobytes;
        }
        EndProgram();
        if (!shown) {
            state.SkipWithError("a photo was not shown");
            break;
        }
    }
}

bool MakeFolders()
{
    if (!LinkPhoto(Make("alone") + "/photo.jpg") || !LinkPhoto(Make("many") + "/photo.jpg"))
        return false;
    // 9 999 other names around the photo's (tiny files that are no pictures).
    for (int i = 0; i < 9999; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "/many/f%04d.jpg", i);
        std::FILE* file = std::fopen((g_root + name).c_str(), "w");
        if (!file)
            return false;
        std::fclose(file);
    }
    const std::string three = Make("three");
    if (!LinkPhoto(three + "/a.jpg") || !LinkPhoto(three + "/b.jpg") || !LinkPhoto(three + "/c.jpg"))
        return false;
    const std::string hundred = Make("hundred");
    for (int n = 1; n <= 100; ++n) {
        if (!LinkPhoto(hundred + "/p" + std::to_string(n) + ".jpg"))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    SetLogThreshold(LOG_NONE);
    char directory[] = "/tmp/glowview-browse-bench-XXXXXX";
    if (!mkdtemp(directory)) {
        std::fprintf(stderr, "browse_bench: no temporary directory\n");
        return 1;
    }
    g_root = directory;
    g_photo = g_root + "/photo.jpg";
    OxHolder<OxSurface> photo(CreateSyntheticPhoto(kPhotoWidth, kPhotoHeight));
    if (!photo || !WritePhotoJpeg(photo.get(), g_photo) || !MakeFolders()) {
        std::fprintf(stderr, "browse_bench: cannot write the photos\n");
        return 1;
    }
    photo.Reset();
    static const std::string alone = g_root + "/alone/photo.jpg";
    static const std::string many = g_root + "/many/photo.jpg";
    const auto each = [](benchmark::internal::Benchmark* bench) {
        bench->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    each(benchmark::RegisterBenchmark("BM_DecodeBare/photo", BM_DecodeBare));
    each(benchmark::RegisterBenchmark("BM_OpenInFolder/alone", BM_OpenInFolder, &alone));
    each(benchmark::RegisterBenchmark("BM_OpenInFolder/10000", BM_OpenInFolder, &many));
    each(benchmark::RegisterBenchmark("BM_Next/ahead", BM_Next, true));
    each(benchmark::RegisterBenchmark("BM_Next/not_ahead", BM_Next, false));
    each(benchmark::RegisterBenchmark("BM_BrowseMemory", BM_BrowseMemory)->Iterations(1));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const std::string remove = "rm -rf '" + g_root + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
