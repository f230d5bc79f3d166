// Tests of the application spine: start-up pieces, size and drop routing, capture, and the
// processor-side pass that the countdown runs.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/snapshot.h"
#include "test_support.h"
#include "app/app_fixture.h"
#include "app/key_press.h"
#include "app/picture_fixture.h"
#include "src/glow.h"

namespace {

// The start-up sequence of the program, up to the loop.
class AppTest : public AppStartUpTest {
protected:
    void StartUp()
    {
        AppStartUpTest::StartUp();
        if (!HasFatalFailure())
            PumpMessages();
    }
    int DeviceSize(int index)
    {
        int size[2] = {0, 0};
        LockGuard lock(g_deviceLock);
        g_device->GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
        return size[index];
    }
};

using AppFixedFunctionTest = FixedFunctionFixture<AppTest>;

}  // namespace

TEST_F(AppTest, StartUpLogsTheDriverAndSizesViewAndDevice)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    EXPECT_NE(startLog.find("]: GL_VENDOR: "), std::string::npos) << startLog;
    EXPECT_NE(startLog.find("]: GL_EXTENSIONS: GL_"), std::string::npos);
    EXPECT_EQ(g_app->viewWidth, 640);
    EXPECT_EQ(g_app->viewHeight, 480);
    EXPECT_EQ(DeviceSize(0), 640);
    EXPECT_EQ(DeviceSize(1), 480);
    EXPECT_TRUE(g_hasShaders) << "Mesa offers GLSL";
    EXPECT_EQ(g_app->countdown, -1);
}

TEST_F(AppTest, OddSizesGiveTheWholeDrawableToViewAndDevice)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_app->Reload(641, 481);
    EXPECT_EQ(g_app->viewWidth, 641);
    EXPECT_EQ(g_app->viewHeight, 481);
    SetClientSize(handle, 301, 199);
    ASSERT_TRUE(WaitForClientSize(handle, 301, 199));
    PumpMessages();
    EXPECT_EQ(g_app->viewWidth, 301);
    EXPECT_EQ(g_app->viewHeight, 199);
    EXPECT_EQ(DeviceSize(0), 301);
    EXPECT_EQ(DeviceSize(1), 199);
}

TEST_F(AppTest, AFailedDropKeepsTheClientAreaAndSaysWhy)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    TempDir dir;
    const std::string file = dir.File("notes.txt");
    ASSERT_TRUE(WriteWholeFile(file, {'h', 'i'}));
    const std::string missing = dir.File("missing.png");
    const char* const files[] = {file.c_str(), missing.c_str()};
    testing::internal::CaptureStderr();
    g_window->OnDropFiles(files, 2);
    const std::string said = testing::internal::GetCapturedStderr();
    // Each file that cannot be shown is passed over with its line.
    EXPECT_EQ(said, "glowview: " + file + ": not a PNG, JPEG or WebP picture\nglowview: " +
                        missing + ": no such file\n");
    PumpMessages();
    int width = 0, height = 0;
    GetClientSize(handle, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(g_app->path[0], '\0') << "nothing was loaded";
}

TEST_F(AppTest, HandlersDoNothingWhileReloadingOrBeforeReady)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    SizeRecord record = {100, 50, 0, 0};
    g_reloadDepth = 1;
    g_window->OnSize(&record);
    g_window->OnDropFile("/nonexistent");
    g_window->OnPaint();
    g_reloadDepth = 0;
    g_ready = false;
    g_window->OnSize(&record);
    g_ready = true;
    EXPECT_EQ(g_app->viewWidth, 640);
    EXPECT_EQ(DeviceSize(0), 640);
    PumpMessages();
    int w = 0, h = 0;
    GetClientSize(handle, &w, &h);
    EXPECT_EQ(w, 640) << "the drop was ignored";
}

TEST_F(AppTest, AFrameIsGreyAndCapturedTopDown)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_window->OnPaint();  // one whole frame, presented
    {
        LockGuard lock(g_appLock);
        g_app->DrawFrame();
        // A white block at the top-left corner of the frame just drawn.
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 480 - 4, 6, 4);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);

        int width = 0, height = 0;
        EXPECT_EQ(ReadWindowPixels(&width, nullptr, 0, &height), 640 * 480 * 3);
        EXPECT_EQ(width, 640);
        EXPECT_EQ(height, 480);

        OxHolder<OxSurface> capture(CaptureWindow());
        ASSERT_TRUE(capture);
        EXPECT_EQ(capture->format, PF_RGB);
        EXPECT_EQ(capture->width, 640);
        EXPECT_EQ(capture->height, 480);
        EXPECT_EQ(capture->pitch, 640 * 3);
        const uint8_t* top = capture->readPixels;
        EXPECT_EQ(top[0], 255) << "top-left block";
        EXPECT_EQ(top[5 * 3], 255);
        EXPECT_NEAR(top[6 * 3], 77, 1) << "grey right of the block";
        const uint8_t* row4 = capture->readPixels + 4 * capture->pitch;
        EXPECT_NEAR(row4[0], 77, 1) << "grey below the block";
        const uint8_t* last = capture->readPixels + 479 * capture->pitch + 639 * 3;
        EXPECT_NEAR(last[2], 77, 1);
    }
}

TEST_F(AppTest, SavePictureWritesAPngWhateverTheName)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    TempDir dir;
    LockGuard lock(g_appLock);
    g_app->DrawFrame();
    for (const char* name : {"shot.png", "shot.bmp", "shot.jpg"}) {
        SavePicture(dir.File(name).c_str());
        const std::vector<uint8_t> bytes = ReadWholeFile(dir.File(name));
        ASSERT_GT(bytes.size(), 8u) << name;
        EXPECT_EQ(bytes[0], 0x89) << name;
        EXPECT_EQ(bytes[1], 'P') << name;
        EXPECT_EQ(bytes[2], 'N') << name;
    }
    SavePicture(dir.File("no/such/folder/shot.png").c_str());  // nothing written, no failure
    SavePicture(nullptr);
}

TEST_F(AppFixedFunctionTest, WithoutGlslEntryPointsTheFixedFunctionPathIsChosen)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    EXPECT_FALSE(g_hasShaders);
    EXPECT_EQ(g_app->countdown, -1) << "nothing loaded, so no pass is due";
    int framebuffers = 0;
    LockGuard lock(g_deviceLock);
    g_device->GetValue(VALUE_HAS_FRAMEBUFFERS, nullptr, &framebuffers);
    EXPECT_EQ(framebuffers, 1) << "framebuffer objects stay available";
}

TEST_F(AppTest, SpacePausesAndStepsEnterResumesWithTheKeysPressedMeanwhile)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_weightR = 1;
    g_weightG = 1;
    g_weightB = 0;
    // A key typed before Space still acts; then the update step waits.
    ASSERT_TRUE(TypeKeys(handle, "1 space", 2));
    g_window->OnPaint();
    EXPECT_TRUE(g_paused);
    EXPECT_EQ(g_weightR, 0.0f);

    ASSERT_TRUE(TypeKeys(handle, "2", 1));
    g_window->OnPaint();
    EXPECT_TRUE(g_paused);
    EXPECT_EQ(g_weightG, 1.0f) << "held while paused";
    EXPECT_FALSE(g_app->NeedsFrame()) << "nothing to draw while the keys wait";

    ASSERT_TRUE(TypeKeys(handle, "space", 1));
    g_window->OnPaint();
    EXPECT_TRUE(g_paused) << "Space while paused steps once";
    EXPECT_EQ(g_weightG, 0.0f) << "the step took the waiting key";

    ASSERT_TRUE(TypeKeys(handle, "3 Return", 2));
    g_window->OnPaint();
    EXPECT_FALSE(g_paused) << "Enter resumes";
    EXPECT_EQ(g_weightB, 1.0f);
}

TEST_F(PictureFixedFunctionTest, WithoutGlslThePassRunsAfterALoadAndTwentyUpdatesAfterAKey)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 64, 64));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_FALSE(g_hasShaders);
    g_app->Update();
    EXPECT_EQ(g_app->countdown, -1) << "nothing loaded: no pass is due";

    g_app->LoadPicture("pic.png");
    EXPECT_EQ(g_app->countdown, 0);
    std::string log = StdoutOf([] { g_app->Update(); });
    EXPECT_EQ(CountOf(log, "Create texture for wall: "), 1) << "the pass uploads a processed wall";
    EXPECT_EQ(g_app->countdown, -1);
    // Pixel (0, 0) is black in the picture: white after the pass; source is unchanged.
    std::vector<uint8_t> texels(64 * 64 * 4);
    glBindTexture(GL_TEXTURE_2D, g_app->wall.get()->textures[0]);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(texels[0], 255);
    EXPECT_EQ(texels[1], 255);
    EXPECT_EQ(texels[2], 255);
    EXPECT_EQ(g_app->source.get()->readPixels[0], 0);

    // A key sets 20 and its own update lowers it to 19: the pass comes 20 updates later.
    g_app->countdown = 19;
    for (int update = 1; update <= 20; ++update) {
        log = StdoutOf([] { g_app->Update(); });
        EXPECT_EQ(CountOf(log, "Create texture for wall: "), update == 20 ? 1 : 0) << update;
    }
    EXPECT_EQ(g_app->countdown, -1);
    log = StdoutOf([] { g_app->Update(); });
    EXPECT_EQ(log, "") << "idle";
}

TEST_F(PictureFixedFunctionTest, TheGlowingWallIsMadeBandByBandAndComesBackAfterAFailedDrop)
{
    // Taller than one band of the pass, its last tile row cut short.
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("tall.png"), 70, 2100));
    ASSERT_TRUE(WriteBrokenPng(dir.File("broken.png")));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(g_app->LoadPicture("tall.png"));
    g_weightB = 1.0f;
    g_power = 3.0f;
    g_app->Update();
    OxHolder<OxSurface> glowing(CreateGlowCopy(g_app->source.get()));
    ASSERT_TRUE(glowing);
    {
        SCOPED_TRACE("after the pass");
        ExpectWallShows(g_app->wall.get(), glowing.get());
    }

    testing::internal::CaptureStderr();
    EXPECT_FALSE(g_app->LoadPicture("broken.png"));
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_STREQ(g_app->path, "tall.png");
    EXPECT_EQ(g_app->countdown, -1) << "no pass is due";
    SCOPED_TRACE("after the failed drop");
    ExpectWallShows(g_app->wall.get(), glowing.get());
}

TEST_F(PictureTest, WithGlslThePassNeverRuns)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 64, 64));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(g_hasShaders);
    g_app->LoadPicture("pic.png");
    EXPECT_EQ(g_app->countdown, -1);
    const std::string log = StdoutOf([] {
        for (int i = 0; i < 25; ++i)
            g_app->Update();
    });
    EXPECT_EQ(log, "");
}

TEST_F(PictureTest, F11GoesFullScreenAndEscapeLeavesItBeforeItQuits)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("small.png"), 130, 64));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    // The full screen holds at least the work area's client size (the whole screen, less
    // any frame: none on X alone, the one Win32 draws under Wine).
    int areaWidth = 0, areaHeight = 0;
    GetWorkAreaClientSize(handle, &areaWidth, &areaHeight);
    ASSERT_GT(areaWidth, 640);
    ASSERT_TRUE(TypeKeys(handle, "F11", 1));
    g_window->OnPaint();
    EXPECT_TRUE(IsFullScreen(handle));
    int screenWidth = 0, screenHeight = 0;
    for (int i = 0; i < 200 && (screenWidth < areaWidth || screenHeight < areaHeight); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        PumpMessages();
        GetClientSize(handle, &screenWidth, &screenHeight);
    }
    ASSERT_GE(screenWidth, areaWidth);
    ASSERT_GE(screenHeight, areaHeight);
    EXPECT_EQ(g_app->viewWidth, screenWidth);
    EXPECT_EQ(g_app->viewHeight, screenHeight);
    // A new picture is placed in the full screen, which keeps its size.
    g_window->OnDropFile("small.png");
    EXPECT_EQ(g_app->pictureWidth, 130);
    EXPECT_TRUE(IsFullScreen(handle));
    EXPECT_EQ(g_app->viewWidth, screenWidth);
    EXPECT_EQ(g_app->viewHeight, screenHeight);

    ASSERT_TRUE(TypeKeys(handle, "Escape", 1));
    g_window->OnPaint();
    EXPECT_FALSE(IsFullScreen(handle));
    EXPECT_TRUE(WaitForClientSize(handle, 640, 480)) << "the size before full screen";
    EXPECT_FALSE(PumpMessages()) << "the first Escape only leaves full screen";
    ASSERT_TRUE(TypeKeys(handle, "Escape", 1));
    g_window->OnPaint();
    EXPECT_TRUE(PumpMessages()) << "the second quits";
}
