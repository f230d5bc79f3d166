// Frames and loading on a real GL context (run under a display): the wall against one quad of
// the same picture, and a drop against the bare decoders. The GLSL or the fixed-function path
// is whatever the driver offers; MESA_GL_VERSION_OVERRIDE=1.5 gives the latter.
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <string>
#include <unistd.h>
#include <thread>
#include <vector>

#include <png.h>

#include "bench/support/photo.h"
#include "bench/support/program.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/picture_loader.h"
#include "src/globals.h"
#include "src/run.h"
#include "src/wallpaper.h"
#include "src/window_handlers.h"

namespace {

struct Picture {
    int width, height;
};
const Picture kPictures[] = {{1920, 1080}, {kPhotoWidth, kPhotoHeight}};

// One frame of the wall as the program draws it.
void BM_FrameWall(benchmark::State& state, Picture picture)
{
    OxHolder<OxSurface> photo(CreateSyntheticPhoto(picture.width, picture.height));
    ViewPicture(picture.width, picture.height);
    g_app->UploadWall(photo.get());
    g_app->DrawScene();
    glFinish();
    for (auto _ : state) {
        g_app->DrawScene();
        glFinish();
    }
    g_app->UploadWall(nullptr);
}

// The least a frame of the tiles can cost on this driver: the view set up once, then per
// tile the wall draws only its texture and a draw of its four vertices. With oneTexture
// every tile is drawn with the first tile's texture: the same draws without a texture
// change between them, which tells the driver's cost of a change from that of a draw.
void BM_FrameTileFloor(benchmark::State& state, Picture picture, bool oneTexture)
{
    OxHolder<OxSurface> photo(CreateSyntheticPhoto(picture.width, picture.height));
    ViewPicture(picture.width, picture.height);
    g_app->UploadWall(photo.get());
    const CWall* wall = g_app->wall.get();
    int tilesDrawn = 0;
    const auto frame = [&] {
        std::unique_ptr<CWall> shown = std::move(g_app->wall);
        g_app->DrawScene();  // clears and sets the view
        g_app->wall = std::move(shown);
        PushMatrix();
        Translate(0.0f, float(wall->height), 0.0f);
        Scale(1.0f, -1.0f, 1.0f);
        if (!g_hasShaders)
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        const TileRange inView = VisibleTiles(wall);
        tilesDrawn = (inView.lastColumn - inView.firstColumn) * (inView.lastRow - inView.firstRow);
        CTileBatch batch;
        batch.SetVertices(wall->positions.data(), wall->textureCoordinates.data());
        for (int r = inView.firstRow; r < inView.lastRow; ++r) {
            for (int c = inView.firstColumn; c < inView.lastColumn; ++c) {
                const size_t tile = size_t(r) * wall->columns + c;
                glBindTexture(GL_TEXTURE_2D, wall->textures[oneTexture ? 0 : tile]);
                glDrawArrays(GL_TRIANGLE_STRIP, GLint(tile * 4), 4);
            }
        }
        batch.Finish();
        PopMatrix();
        glFinish();
    };
    frame();
    for (auto _ : state)
        frame();
    state.counters["tiles"] = tilesDrawn;
    state.counters["view_width"] = g_app->viewWidth;
    state.counters["view_height"] = g_app->viewHeight;
    g_app->UploadWall(nullptr);
}

// One quad of the picture's size, textured with the whole picture, through the same program.
void BM_FrameOneQuad(benchmark::State& state, Picture picture)
{
    OxHolder<OxSurface> photo(CreateSyntheticPhoto(picture.width, picture.height));
    ViewPicture(picture.width, picture.height);
    g_app->UploadWall(nullptr);
    COneQuadFrame quad(photo.get());
    quad.Draw();
    for (auto _ : state)
        quad.Draw();
}

// The photo's files, written once per run.
std::string g_jpegPath;
std::string g_pngPath;
std::string g_taggedPath;  // the JPEG tagged 6: stored on its side, shown upright

// A drop as the program takes it: read beside the window, then shown by the loop.
void Drop(const std::string& path)
{
    g_window->OnDropFile(path.c_str());
    do {
        g_loader->WaitForEvent(0.05);
        g_app->ServeLoads();
    } while (!g_loader->Idle());
    g_app->ServeLoads();
}

// A drop of the file on the window, up to the wall being ready on the card.
void BM_LoadDrop(benchmark::State& state, const std::string* path)
{
    Drop(*path);
    glFinish();
    for (auto _ : state) {
        Drop(*path);
        glFinish();
    }
    const int width = *path == g_taggedPath ? kPhotoHeight : kPhotoWidth;
    if (!g_app->wall.get() || g_app->pictureWidth != width)
        state.SkipWithError("the drop did not load the photo");
}

// libjpeg-turbo alone: the file decoded to RGB rows in memory.
void BM_DecodeBareJpeg(benchmark::State& state)
{
    for (auto _ : state) {
        if (!DecodeJpegFileBare(g_jpegPath)) {
            state.SkipWithError("cannot read the photo");
            break;
        }
    }
}

// libpng alone: the file decoded to RGB rows in memory.
void BM_DecodeBarePng(benchmark::State& state)
{
    for (auto _ : state) {
        std::FILE* file = std::fopen(g_pngPath.c_str(), "rb");
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            state.SkipWithError("libpng failed");
            break;
        }
        png_init_io(png, file);
        png_read_info(png, info);
        const size_t pitch = png_get_rowbytes(png, info);
        const size_t height = png_get_image_height(png, info);
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[pitch * height]);
        std::unique_ptr<png_bytep[]> rows(new png_bytep[height]);
        for (size_t i = 0; i < height; ++i)
            rows[i] = pixels.get() + pitch * i;
        png_read_image(png, rows.get());
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels.get());
    }
}

// Resident memory with the photo shown, above the empty window of the size a drop gives it
// (its colour, depth and stencil buffers already made), as multiples of the photo's RGBA size:
// after one drop, after ten, and the peak while loading. Run it in a process of its own.
void BM_Memory(benchmark::State& state)
{
    const double rgbaKilobytes = double(kPhotoWidth) * kPhotoHeight * 4 / 1024;
    for (auto _ : state) {
        ShowEmptyWindowFor(kPhotoWidth, kPhotoHeight);
        const long empty = StatusKilobytes("VmRSS");
        ResetPeak();
        double peak = 0;
        for (int drop = 1; drop <= 10; ++drop) {
            Drop(g_jpegPath);
            g_app->Update();  // as the frame loop does: on the fixed-function path, the glow pass
            g_app->DrawScene();
            glFinish();
            g_device->EndFrame();
            g_app->Rest();  // as the frame loop does before it waits for the next event
            const double shown = (StatusKilobytes("VmRSS") - empty) / rgbaKilobytes;
            peak = std::max(peak, (StatusKilobytes("VmHWM") - empty) / rgbaKilobytes);
            if (drop == 1)
                state.counters["after_1_drop"] = shown;
            if (drop == 10)
                state.counters["after_10_drops"] = shown;
        }
        state.counters["peak_while_loading"] = peak;
    }
}

std::string Size(Picture picture)
{
    return std::to_string(picture.width) + "x" + std::to_string(picture.height);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    WindowHandle window = CreateAppWindow();
    if (window)
        ShowAppWindow(window);  // a window that is not shown gets no pixels drawn
    if (!window || CreateDevice(window) != 0) {
        std::fprintf(stderr, "gl_bench: no window or GL context (is DISPLAY set?)\n");
        return 1;
    }
    g_window = new CWin(window);
    AttachWindowObject(window, g_window);
    g_app = new CLumaApp(window);
    g_app->Reload(640, 480);  // the renderer and the device state as at the program's start
    g_device->EndFrame();     // NOTE: llvmpipe draws nothing into a window before its first swap
    g_ready = true;
    StartLoader();
    const std::string path = g_hasShaders ? "glsl" : "fixed";

    char directory[] = "/tmp/glowview-bench-XXXXXX";
    if (!mkdtemp(directory)) {
        std::fprintf(stderr, "gl_bench: no temporary directory\n");
        return 1;
    }
    g_jpegPath = std::string(directory) + "/photo.jpg";
    g_pngPath = std::string(directory) + "/photo.png";
    g_taggedPath = std::string(directory) + "/photo-6.jpg";
    {
        OxHolder<OxSurface> photo(CreateSyntheticPhoto(kPhotoWidth, kPhotoHeight));
        if (!photo || !WritePhotoJpeg(photo.get(), g_jpegPath) ||
            !WritePhotoJpeg(photo.get(), g_taggedPath, 6) ||
            !WritePhotoPng(photo.get(), g_pngPath)) {
            std::fprintf(stderr, "gl_bench: cannot write the photo's files\n");
            return 1;
        }
    }
    benchmark::RegisterBenchmark("BM_DecodeBare/jpeg", BM_DecodeBareJpeg)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_LoadDrop/" + path + "/jpeg").c_str(), BM_LoadDrop,
                                 &g_jpegPath)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_LoadDrop/" + path + "/jpeg_tagged6").c_str(), BM_LoadDrop,
                                 &g_taggedPath)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_Memory/" + path).c_str(), BM_Memory)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_DecodeBare/png", BM_DecodeBarePng)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_LoadDrop/" + path + "/png").c_str(), BM_LoadDrop,
                                 &g_pngPath)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const Picture& picture : kPictures) {
        benchmark::RegisterBenchmark(("BM_FrameWall/" + path + "/" + Size(picture)).c_str(),
                                     BM_FrameWall, picture)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_FrameTileFloor/" + path + "/" + Size(picture)).c_str(),
                                     BM_FrameTileFloor, picture, false)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            ("BM_FrameTileOneTexture/" + path + "/" + Size(picture)).c_str(), BM_FrameTileFloor,
            picture, true)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_FrameOneQuad/" + path + "/" + Size(picture)).c_str(),
                                     BM_FrameOneQuad, picture)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    StopLoader();
    delete g_app;
    g_app = nullptr;
    DestroyAppWindow(window);
    delete g_window;
    g_window = nullptr;
    std::remove(g_jpegPath.c_str());
    std::remove(g_pngPath.c_str());
    std::remove(g_taggedPath.c_str());
    rmdir(directory);
    return 0;
}
