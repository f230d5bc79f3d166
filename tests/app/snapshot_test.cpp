// Tests of snapshots: the whole picture drawn off screen in bands, and files written whole on a thread.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "device/device_state.h"
#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/glow.h"
#include "src/run.h"
#include "src/snapshot.h"
#include "picture_fixtures.h"
#include "test_support.h"
#include "app/app_fixture.h"
#include "app/picture_fixture.h"

namespace {

// A width x height PNG of gradients and a pattern that differs in every neighbour.
bool WritePicture(const std::string& file, int width, int height)
{
    return WriteTestPng(file, width, height, [width, height](int x, int y, uint8_t* p) {
        p[0] = uint8_t(x * 255 / std::max(1, width - 1));
        p[1] = uint8_t(y * 255 / std::max(1, height - 1));
        p[2] = uint8_t((x * 37 + y * 91) & 0xFF);
    });
}

// The PF_RGB picture of a PNG file, or null.
OxSurface* ReadRgb(const std::string& file)
{
    std::FILE* stream = OpenRegularFile(file.c_str());
    if (!stream)
        return nullptr;
    OxHolder<OxFile> handle(new OxAnsiFile(stream));
    OxHolder<OxSurface> picture(ReadPng(handle.get()));
    if (!picture)
        return nullptr;
    const int pitch = picture->width * 3;
    OxHolder<OxSurface> rgb(CreateSurface(pitch * picture->height, picture->width,
                                          picture->height, PF_RGB, pitch));
    if (!rgb || ConvertPixels(pitch, rgb->writePixels, PF_RGB, picture.get()) != 0)
        return nullptr;
    return rgb.Detach();
}

// Pixels of two PF_RGB surfaces that differ; -1 when their sizes differ.
long DifferentPixels(const OxSurface* a, const OxSurface* b)
{
    if (!a || !b || a->width != b->width || a->height != b->height)
        return -1;
    long different = 0;
    for (int y = 0; y < a->height; ++y) {
        for (int x = 0; x < a->width; ++x) {
            different += std::memcmp(a->readPixels + size_t(y) * a->pitch + size_t(x) * 3,
                                     b->readPixels + size_t(y) * b->pitch + size_t(x) * 3, 3) != 0;
        }
    }
    return different;
}

class SnapshotTest : public AppStartUpTest {
protected:
    void TearDown() override
    {
        HideFramebufferObjects(false);
        AppStartUpTest::TearDown();
    }

    TempDir dir;
    ScopedCurrentDir inDir{dir.path()};
};

using SnapshotFixedFunctionTest = FixedFunctionFixture<SnapshotTest>;

}  // namespace

TEST_F(SnapshotTest, BandsOfEveryShapeGiveTheSamePictureWithOrWithoutRenderTargets)
{
    // Larger than the 640 x 480 window both ways, and no multiple of the 64-pixel tiles.
    ASSERT_TRUE(WritePicture(dir.File("big.png"), 701, 523));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_app->LoadPicture("big.png");
    ASSERT_NE(g_app->wall.get(), nullptr);
    LockGuard lock(g_appLock);
    OxHolder<OxSurface> whole(RenderWholePicture(g_app->wall.get(), 701, 523));
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->format, PF_RGB);
    EXPECT_EQ(whole->width, 701);
    EXPECT_EQ(whole->height, 523);
    // Black turns white under the start glow; the top left pixel is black, the top
    // right one red and the bottom left one green: nothing of them is the clear colour.
    const uint8_t* topLeft = whole->readPixels;
    EXPECT_EQ(topLeft[0], 255);
    const uint8_t* topRight = whole->readPixels + 700 * 3;
    EXPECT_EQ(topRight[0], 255);
    EXPECT_LT(topRight[1], 10);
    const uint8_t* bottomLeft = whole->readPixels + size_t(522) * whole->pitch;
    EXPECT_LT(bottomLeft[0], 10);
    EXPECT_EQ(bottomLeft[1], 255);

    for (int band : {64, 100, 333}) {
        SCOPED_TRACE(band);
        OxHolder<OxSurface> banded(RenderWholePicture(g_app->wall.get(), 701, 523, band));
        EXPECT_EQ(DifferentPixels(whole.get(), banded.get()), 0);
    }
    HideFramebufferObjects(true);
    OxHolder<OxSurface> fromBackBuffer(RenderWholePicture(g_app->wall.get(), 701, 523));
    EXPECT_EQ(DifferentPixels(whole.get(), fromBackBuffer.get()), 0)
        << "bands of the 640 x 480 back buffer";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A picture of the widest side: bands of at most 4096 columns and a narrower last, rows of
// 196605 bytes, and the file written from them holds the same pixels.
TEST_F(SnapshotTest, ThePictureOfTheWidestSideIsSavedWhole)
{
    const int width = kMaxPictureSide, height = 3;
    ASSERT_TRUE(WritePicture(dir.File("wide.png"), width, height));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(g_app->LoadPicture("wide.png"));
    LockGuard lock(g_appLock);
    OxHolder<OxSurface> whole(RenderWholePicture(g_app->wall.get(), width, height));
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->width, width);
    EXPECT_EQ(whole->height, height);
    // Black turns white under the start glow, full red stays: neither is the clear colour.
    EXPECT_EQ(whole->readPixels[0], 255);
    EXPECT_EQ(whole->readPixels[size_t(width - 1) * 3], 255);
    OxHolder<OxSurface> banded(RenderWholePicture(g_app->wall.get(), width, height, 1000));
    EXPECT_EQ(DifferentPixels(whole.get(), banded.get()), 0);

    std::string name, error;
    ASSERT_TRUE(WriteSnapshotFile(whole.get(), &name, &error)) << error;
    OxHolder<OxSurface> saved(ReadRgb(name));
    EXPECT_EQ(DifferentPixels(whole.get(), saved.get()), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SnapshotFixedFunctionTest, WithoutGlslTheSnapshotIsTheProcessedCopy)
{
    ASSERT_TRUE(WritePicture(dir.File("odd.png"), 131, 67));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_FALSE(g_hasShaders);
    g_app->LoadPicture("odd.png");
    g_app->Update();  // the pass runs in the first update after a load
    LockGuard lock(g_appLock);
    OxHolder<OxSurface> snapshot(RenderWholePicture(g_app->wall.get(), 131, 67));
    OxHolder<OxSurface> processed(CreateGlowCopy(g_app->source.get()));
    ASSERT_TRUE(processed);
    const int pitch = 131 * 3;
    OxHolder<OxSurface> expected(CreateSurface(pitch * 67, 131, 67, PF_RGB, pitch));
    ASSERT_EQ(ConvertPixels(pitch, expected->writePixels, PF_RGB, processed.get()), 0);
    EXPECT_EQ(DifferentPixels(snapshot.get(), expected.get()), 0);
}

TEST_F(SnapshotTest, ARequestWritesTheWholePictureWhateverTheViewShows)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 301, 199));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_app->LoadPicture("pic.png");
    LockGuard lock(g_appLock);
    OxHolder<OxSurface> whole(RenderWholePicture(g_app->wall.get(), 301, 199));
    struct Case {
        const char* what;
        int viewWidth, viewHeight;
        bool fit;
        float zoom;
    };
    const Case cases[] = {{"picture size", 301, 199, false, 1},
                          {"centred in a larger window", 640, 480, false, 1},
                          {"panned in a smaller window", 100, 80, false, 1},
                          {"fitted in a smaller window", 100, 80, true, 1},
                          {"zoomed in", 100, 80, false, 3},
                          {"zoomed out", 640, 480, false, 1.0f / 3}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_app->viewWidth = c.viewWidth;
        g_app->viewHeight = c.viewHeight;
        g_app->fitToWindow = c.fit;
        g_app->zoom = c.zoom;
        g_app->panX = 50;
        g_app->panY = 30;
        g_snapshotRequested = true;
        g_app->DrawFrame();
        g_app->snapshots->Finish();
        const std::string name = "snapshot" + std::to_string(n++) + ".png";
        OxHolder<OxSurface> written(ReadRgb(dir.File(name)));
        EXPECT_EQ(DifferentPixels(whole.get(), written.get()), 0) << name;
    }
}

// A picture stored on its side and tagged to be turned (EXIF orientation 6) is shown and
// saved standing: the wall and the snapshot have the upright sides, and each pixel is the
// stored picture's pixel turned a quarter clockwise, with the same glow.
namespace {

// A width x height JPEG of the same pattern as WritePicture.
bool WriteJpegPicture(const std::string& file, int width, int height)
{
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(x * 255 / std::max(1, width - 1));
            p[1] = uint8_t(y * 255 / std::max(1, height - 1));
            p[2] = uint8_t((x * 37 + y * 91) & 0xFF);
        }
    }
    std::FILE* stream = std::fopen(file.c_str(), "wb");
    if (!stream)
        return false;
    const bool written = WriteJpeg(width, height, rgb.data(), 0, stream) == 0;
    return std::fclose(stream) == 0 && written;
}

}  // namespace

TEST_F(SnapshotTest, ATaggedPictureIsShownAndSavedUpright)
{
    struct Row {
        const char* what;
        const char* name;
        bool jpeg;
        int width, height;  // as stored
    };
    const Row rows[] = {
        {"a PNG with an eXIf chunk", "pic.png", false, 301, 199},
        {"a camera-sized JPEG with an Exif block", "photo.jpg", true, 4000, 3000},
    };
    ASSERT_NO_FATAL_FAILURE(StartUp());
    StartLoader();
    int snapshot = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string stored = dir.File(row.name);
        const std::string tagged = dir.File(std::string("tagged-") + row.name);
        ASSERT_TRUE(row.jpeg ? WriteJpegPicture(stored, row.width, row.height)
                             : WritePicture(stored, row.width, row.height));
        TestTiff tiff;
        tiff.value = 6;
        const std::vector<uint8_t> bytes = ReadWholeFile(stored);
        ASSERT_TRUE(WriteWholeFile(tagged, row.jpeg ? WithJpegExif(bytes, tiff.Build())
                                                    : WithPngExif(bytes, tiff.Build())));
        ASSERT_TRUE(g_app->LoadPicture(stored.c_str()));
        OxHolder<OxSurface> render;
        {
            LockGuard lock(g_appLock);
            render.Reset(RenderWholePicture(g_app->wall.get(), row.width, row.height));
        }
        ASSERT_TRUE(render);
        // The tagged file as the program takes it: read beside the window, then shown.
        g_window->OnDropFile(tagged.c_str());
        ServeLoadsUntilIdle();
        LockGuard lock(g_appLock);
        ASSERT_EQ(g_app->path, tagged);
        ASSERT_EQ(g_app->wall->width, row.height);
        ASSERT_EQ(g_app->wall->height, row.width);
        g_snapshotRequested = true;
        g_app->DrawFrame();
        g_app->snapshots->Finish();
        OxHolder<OxSurface> written(
            ReadRgb(dir.File("snapshot" + std::to_string(snapshot++) + ".png")));
        ASSERT_TRUE(written);
        ASSERT_EQ(written->width, row.height);
        ASSERT_EQ(written->height, row.width);
        // Turned a quarter clockwise: stored (x, y) is upright (height - 1 - y, x).
        long wrong = 0;
        for (int y = 0; y < row.height; ++y) {
            for (int x = 0; x < row.width; ++x) {
                wrong += std::memcmp(render->readPixels + size_t(y) * render->pitch + size_t(x) * 3,
                                     written->readPixels + size_t(x) * written->pitch +
                                         size_t(row.height - 1 - y) * 3,
                                     3) != 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(SnapshotTest, FilesAreWrittenInOrderAndReportedWhenTheFrameLoopHasMovedOn)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(WriteWholeFile(dir.File("snapshot1.png"), {'x'}));
    const uint8_t pixels[2 * 3 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    testing::internal::CaptureStdout();
    {
        CSnapshotWriter writer;
        for (int i = 0; i < 3; ++i)
            writer.Save(CreateSurfaceFromRows(9, 3, 2, pixels));
        writer.Finish();
        writer.Save(CreateSurfaceFromRows(9, 3, 2, pixels));
        // Destroyed with a snapshot still queued: it is written first.
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "glowview: saved snapshot0.png (3 x 2)\n"
              "glowview: saved snapshot2.png (3 x 2)\n"
              "glowview: saved snapshot3.png (3 x 2)\n"
              "glowview: saved snapshot4.png (3 x 2)\n");
    OxHolder<OxSurface> read(ReadRgb(dir.File("snapshot4.png")));
    ASSERT_TRUE(read);
    EXPECT_EQ(std::memcmp(read->readPixels, pixels, sizeof(pixels)), 0);
    // Nothing but the snapshots is left in the directory.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
        EXPECT_EQ(entry.path().filename().string().rfind("snapshot", 0), 0u) << entry.path();
    }
    EXPECT_EQ(files, 5);
}

TEST_F(SnapshotTest, AFailedSaveLeavesNothingAndSaysWhy)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps a process's working directory from being removed, which is "
                    "how this test makes the save fail";
#endif
    const uint8_t pixels[3] = {1, 2, 3};
    OxHolder<OxSurface> picture(CreateSurfaceFromRows(3, 1, 1, pixels));
    std::string name, error;
    // The working directory removed under the program.
    const std::string gone = dir.File("gone");
    std::filesystem::create_directory(gone);
    {
        ScopedCurrentDir inGone(gone);
        std::filesystem::remove(gone);
        EXPECT_FALSE(WriteSnapshotFile(picture.get(), &name, &error));
        EXPECT_EQ(name, "snapshot0.png");
        EXPECT_NE(error, "");
    }
    EXPECT_FALSE(WriteSnapshotFile(nullptr, &name, &error));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    testing::internal::CaptureStderr();
    {
        CSnapshotWriter writer;
        std::filesystem::create_directory(gone);
        ScopedCurrentDir again(gone);
        std::filesystem::remove(gone);
        writer.Save(picture.Detach());
        writer.Finish();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("glowview: cannot save snapshot0.png: ", 0), 0u) << err;
}

TEST_F(PictureTest, SnapshotsTakeTheLowestFreeNumberOnceAPictureIsLoaded)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 64, 64));
    ASSERT_TRUE(WriteWholeFile(dir.File("snapshot0.png"), {'x'}));
    ASSERT_TRUE(WriteWholeFile(dir.File("snapshot2.png"), {'x'}));
    std::filesystem::create_directory(dir.File("snapshot3.png"));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    LockGuard lock(g_appLock);

    g_snapshotRequested = true;
    g_app->DrawFrame();
    EXPECT_TRUE(g_snapshotRequested) << "no picture yet: the request waits";
    EXPECT_FALSE(std::filesystem::exists(dir.File("snapshot1.png")));

    g_app->LoadPicture("pic.png");
    g_app->DrawFrame();
    EXPECT_FALSE(g_snapshotRequested);
    g_app->snapshots->Finish();
    const std::vector<uint8_t> first = ReadWholeFile(dir.File("snapshot1.png"));
    ASSERT_GT(first.size(), 24u);
    EXPECT_EQ(first[1], 'P');
    // The PNG header's size: the whole picture, not the 640 x 480 window.
    EXPECT_EQ((first[18] << 8) | first[19], 64);
    EXPECT_EQ((first[22] << 8) | first[23], 64);

    g_snapshotRequested = true;
    g_app->DrawFrame();
    g_app->snapshots->Finish();
    EXPECT_TRUE(std::filesystem::exists(dir.File("snapshot4.png")))
        << "snapshot2.png and the directory snapshot3.png are taken";
    EXPECT_EQ(ReadWholeFile(dir.File("snapshot2.png")).size(), 1u);
}
