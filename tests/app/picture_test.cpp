// Tests of the picture document, the glow keys, the processor-side pass and snapshots.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/glow.h"
#include "src/snapshot.h"
#include "src/wallpaper.h"
#include "test_support.h"
#include "app/app_fixture.h"
#include "app/key_press.h"

namespace {

struct GlowSettings {
    float r, g, b, level;
};

void Apply(const GlowSettings& settings)
{
    g_weightR = settings.r;
    g_weightG = settings.g;
    g_weightB = settings.b;
    g_power = settings.level;
}

OxSurface* RgbaSurface(const std::vector<uint8_t>& bytes, int width, int height)
{
    OxSurface* surface = CreateSurface(int(bytes.size()), width, height, PF_RGBA, width * 4);
    std::copy(bytes.begin(), bytes.end(), surface->writePixels);
    return surface;
}

}  // namespace

TEST(GlowPassTest, KnownPixelCases)
{
    struct Case {
        GlowSettings settings;
        uint8_t in[4];
        uint8_t want[4];
    };
    const GlowSettings start = {1, 1, 0, 10};
    const Case cases[] = {
        {start, {255, 0, 0, 128}, {255, 0, 0, 128}},
        {start, {0, 0, 0, 255}, {255, 255, 255, 255}},
        {start, {0, 0, 255, 255}, {255, 255, 255, 255}},  // blue is not weighted
        {start, {128, 128, 128, 255}, {132, 132, 132, 255}},
        {{1, 1, 0, 1}, {255, 0, 0, 128}, {255, 127, 127, 128}},
        {{0, 0, 0, 10}, {12, 200, 99, 7}, {255, 255, 255, 7}},
        {{0, 0, 0, 100}, {255, 255, 255, 0}, {255, 255, 255, 0}},
        {{1, 1, 1, 100}, {255, 255, 255, 200}, {255, 255, 255, 200}},
    };
    for (const Case& c : cases) {
        Apply(c.settings);
        // The pixel sits in the middle of a 3 x 2 picture to catch row and pixel stepping.
        std::vector<uint8_t> bytes(3 * 2 * 4, 0);
        std::copy(c.in, c.in + 4, bytes.begin() + (1 * 3 + 1) * 4);
        OxHolder<OxSurface> source(RgbaSurface(bytes, 3, 2));
        OxHolder<OxSurface> copy(CreateGlowCopy(source.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->format, PF_RGBA);
        EXPECT_EQ(copy->pitch, 12);
        const uint8_t* got = copy->readPixels + (1 * 3 + 1) * 4;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(c.want, c.want + 4))
            << "in " << int(c.in[0]) << "," << int(c.in[1]) << "," << int(c.in[2]) << " R"
            << c.settings.r << " G" << c.settings.g << " B" << c.settings.b << " LEVEL="
            << c.settings.level;
        EXPECT_EQ(source->readPixels[(1 * 3 + 1) * 4], c.in[0]) << "the source is unchanged";
    }
    // Every alpha byte comes back unchanged.
    std::vector<uint8_t> alphas(256 * 4, 0);
    for (int a = 0; a < 256; ++a)
        alphas[size_t(a) * 4 + 3] = uint8_t(a);
    OxHolder<OxSurface> source(RgbaSurface(alphas, 256, 1));
    OxHolder<OxSurface> copy(CreateGlowCopy(source.get()));
    for (int a = 0; a < 256; ++a)
        ASSERT_EQ(copy->readPixels[a * 4 + 3], a);
    EXPECT_EQ(CreateGlowCopy(nullptr), nullptr);
}

namespace {

// Writes a width x height PNG whose pixel (x, y) is (x, y, 0) in bytes.
bool WritePicture(const std::string& file, int width, int height)
{
    return WriteTestPng(file, width, height, [](int x, int y, uint8_t* rgb) {
        rgb[0] = uint8_t(x);
        rgb[1] = uint8_t(y);
    });
}

// The program's start-up in a fresh working directory.
class PictureTest : public AppStartUpTest {
protected:
    // Holds the keys down while the window has the focus, which other tests'
    // windows on the display may take for a moment.
    bool HoldFocused(const std::string& names, const std::vector<int>& virtualKeys)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (HoldKeys(handle, names, virtualKeys) && IsForeground(handle))
                return true;
            ReleaseKeys(handle, names, virtualKeys);
        }
        return false;
    }

    TempDir dir;
    ScopedCurrentDir inDir{dir.path()};
};

using PictureFixedFunctionTest = FixedFunctionFixture<PictureTest>;

}  // namespace

TEST_F(PictureTest, LoadsKeepOrLeaveTheCurrentPicture)
{
    std::filesystem::create_directories(dir.File("paid/assets"));
    ASSERT_TRUE(WritePicture(dir.File("paid/assets/inner.png"), 100, 70));
    ASSERT_TRUE(WritePicture(dir.File("other.png"), 65, 1));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    EXPECT_EQ(g_app->source.get(), nullptr) << "the empty path finds nothing";
    EXPECT_EQ(g_app->wall.get(), nullptr);

    // A bare name found below a search root is kept as given.
    g_app->LoadPicture("inner.png");
    EXPECT_STREQ(g_app->path, "inner.png");
    ASSERT_NE(g_app->source.get(), nullptr);
    EXPECT_EQ(g_app->source.get()->format, PF_RGBA);
    EXPECT_EQ(g_app->pictureWidth, 100);
    EXPECT_EQ(g_app->pictureHeight, 70);
    ASSERT_NE(g_app->wall.get(), nullptr);
    EXPECT_EQ(g_app->wall.get()->columns, 2);
    EXPECT_EQ(g_app->wall.get()->rows, 2);
    EXPECT_EQ(g_app->countdown, -1);
    const OxSurface* source = g_app->source.get();
    const CWall* wall = g_app->wall.get();

    // Failed loads: nothing is read, or the path does not fit; all stays, and
    // one line on standard error says why.
    ASSERT_TRUE(WriteWholeFile(dir.File("notes.txt"), {'h', 'i'}));
    ASSERT_TRUE(WriteWholeFile(dir.File("empty.png"), {}));
    std::filesystem::create_directory(dir.File("folder.png"));
    const std::string longPath = dir.path() + "/" + std::string(300 - dir.path().size() - 1, 'x');
    const struct {
        std::string name;
        std::string reason;
    } failures[] = {
        {"notes.txt", "not a PNG or JPEG picture"},
        {"empty.png", "not a PNG or JPEG picture"},
        {"missing.png", "no such file"},
        {"folder.png", "is a directory"},
        {longPath, "the path of 300 characters is longer than 255"},
        {std::string(256, 'y'), "the path of 256 characters is longer than 255"},
    };
    for (const auto& failure : failures) {
        const std::string& bad = failure.name;
        testing::internal::CaptureStderr();
        const std::string log = StdoutOf([&] { EXPECT_FALSE(g_app->LoadPicture(bad.c_str())); });
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "glowview: " + bad + ": " + failure.reason + "\n");
        EXPECT_STREQ(g_app->path, "inner.png") << bad.size();
        EXPECT_EQ(g_app->source.get(), source);
        EXPECT_EQ(g_app->wall.get(), wall);
        EXPECT_EQ(g_app->pictureWidth, 100);
        EXPECT_EQ(g_app->pictureHeight, 70);
        if (bad.size() > 255) {
            EXPECT_EQ(CountOf(log, "\n"), 1) << log;
            EXPECT_EQ(log.rfind("src/app[", 0), 0u) << log;
        }
    }
    // A drop of a path that is too long is refused the same way; the client area stays.
    g_window->OnDropFile(longPath.c_str());
    PumpMessages();
    EXPECT_TRUE(WaitForClientSize(handle, 640, 480));
    EXPECT_STREQ(g_app->path, "inner.png");

    g_app->LoadPicture("other.png");
    EXPECT_STREQ(g_app->path, "other.png");
    EXPECT_EQ(g_app->pictureWidth, 65);
    EXPECT_EQ(g_app->pictureHeight, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PictureTest, ReloadRebuildsTheWallAndKeepsThePictureWhenTheFileIsGone)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 130, 64));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_app->LoadPicture("pic.png");
    ASSERT_NE(g_app->wall.get(), nullptr);
    const GLuint program = g_wallpaperProgram;

    const std::string log = StdoutOf([] { g_app->Reload(g_app->viewWidth, g_app->viewHeight); });
    EXPECT_EQ(CountOf(log, "Create texture for wall: "), 3) << "a new wall of 3 x 1 tiles";
    EXPECT_STREQ(g_app->path, "pic.png") << "reloaded from its own path";
    ASSERT_NE(g_app->wall.get(), nullptr);
    EXPECT_FALSE(glIsProgram(program)) << "one program at a time";
    EXPECT_TRUE(glIsProgram(g_wallpaperProgram));
    EXPECT_EQ(g_reloadDepth, 0);

    std::filesystem::remove(dir.File("pic.png"));
    const CWall* wall = g_app->wall.get();
    testing::internal::CaptureStderr();
    g_app->Reload(g_app->viewWidth, g_app->viewHeight);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "glowview: pic.png: no such file\n");
    EXPECT_EQ(g_app->wall.get(), wall) << "the picture stays shown";
    EXPECT_NE(g_app->source.get(), nullptr);
    EXPECT_STREQ(g_app->path, "pic.png");
    EXPECT_EQ(g_app->pictureWidth, 130);

    // The frame shows more than the clear colour.
    LockGuard lock(g_appLock);
    g_app->DrawFrame();
    OxHolder<OxSurface> capture(CaptureWindow());
    ASSERT_TRUE(capture);
    int notGrey = 0;
    for (int y = 0; y < capture->height; ++y) {
        const uint8_t* row = capture->readPixels + size_t(y) * capture->pitch;
        for (int x = 0; x < capture->width * 3; ++x)
            notGrey += (row[x] < 76 || row[x] > 77) ? 1 : 0;
    }
    EXPECT_GT(notGrey, 130 * 64);
}

TEST_F(PictureFixedFunctionTest, WithoutGlslThePassRunsAfterALoadAndTwentyUpdatesAfterAKey)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 64, 64));
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

namespace {

// Every tile of the wall holds the picture's pixels (alpha 255) and clear margin texels.
void ExpectWallShows(const CWall* wall, const OxSurface* pixels)
{
    ASSERT_NE(wall, nullptr);
    ASSERT_EQ(wall->width, pixels->width);
    ASSERT_EQ(wall->height, pixels->height);
    std::vector<uint8_t> texels(64 * 64 * 4);
    int wrongTiles = 0;
    for (int r = 0; r < wall->rows; ++r) {
        for (int c = 0; c < wall->columns; ++c) {
            glBindTexture(GL_TEXTURE_2D, wall->textures[size_t(r) * wall->columns + c]);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            bool same = true;
            for (int k = 0; k < 64 && same; ++k) {
                for (int m = 0; m < 64 && same; ++m) {
                    const int x = c * 64 + m, y = r * 64 + k;
                    uint8_t want[4] = {0, 0, 0, 0};
                    if (x < pixels->width && y < pixels->height) {
                        std::memcpy(want, pixels->readPixels + size_t(y) * pixels->pitch + x * 4, 3);
                        want[3] = 255;
                    }
                    same = std::memcmp(texels.data() + (k * 64 + m) * 4, want, 4) == 0;
                }
            }
            wrongTiles += same ? 0 : 1;
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(wrongTiles, 0);
}

// A file that starts as a PNG and goes on as nothing at all.
bool WriteBrokenPng(const std::string& file)
{
    const uint8_t bytes[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4, 5, 6, 7};
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(bytes, 1, sizeof(bytes), out) == sizeof(bytes);
    return std::fclose(out) == 0 && written;
}

}  // namespace

TEST_F(PictureFixedFunctionTest, TheGlowingWallIsMadeBandByBandAndComesBackAfterAFailedDrop)
{
    // Taller than one band of the pass, its last tile row cut short.
    ASSERT_TRUE(WritePicture(dir.File("tall.png"), 70, 2100));
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

TEST_F(PictureTest, AFailedDropBringsTheWallBackAsItWas)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 130, 70));
    ASSERT_TRUE(WriteBrokenPng(dir.File("broken.png")));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(g_app->LoadPicture("pic.png"));
    ASSERT_TRUE(g_hasShaders);
    const OxSurface* picture = g_app->source.get();
    const std::vector<uint8_t> pixels(picture->readPixels,
                                      picture->readPixels + picture->pitch * picture->height);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(g_app->LoadPicture("broken.png"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "glowview: broken.png: truncated\n");
    ASSERT_NE(g_app->source.get(), nullptr);
    EXPECT_EQ(g_app->source.get()->width, 130);
    EXPECT_EQ(g_app->source.get()->height, 70);
    EXPECT_EQ(g_app->source.get()->format, PF_RGBA);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), g_app->source.get()->readPixels))
        << "the picture is the same, pixel for pixel";
    ExpectWallShows(g_app->wall.get(), g_app->source.get());
}

TEST_F(PictureTest, WithGlslThePassNeverRuns)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 64, 64));
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

TEST_F(PictureTest, SnapshotsTakeTheLowestFreeNumberOnceAPictureIsLoaded)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 64, 64));
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

// Without GLSL, so that a key that changes the glow restarts the countdown.
TEST_F(PictureFixedFunctionTest, EachPressActsOnceInItsOrder)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    const KeyPress left{VK_LEFT, 0, false}, right{VK_RIGHT, 0, false}, one{0x31, 0, false};
    const KeyPress f5{VK_F5, 0, false};
    struct Case {
        const char* what;
        std::vector<KeyPress> presses;
        float power, wantPower, wantR;
        bool restarts, reloads;
    };
    const Case cases[] = {
        {"Left raises LEVEL", {left}, 10, 11, 1, true, false},
        {"Left at 100: the glow stays", {left}, 100, 100, 1, false, false},
        {"Right lowers LEVEL", {right}, 10, 9, 1, true, false},
        {"Right at 1: the glow stays", {right}, 1, 1, 1, false, false},
        {"Left held: every repeat acts", {left, {VK_LEFT, 0, true}, {VK_LEFT, 0, true}}, 10, 13, 1, true, false},
        {"1 held: the repeats do not", {one, {0x31, 0, true}, {0x31, 0, true}}, 10, 10, 0, true, false},
        {"1 twice: the glow is as it was", {one, one}, 10, 10, 1, false, false},
        {"F5 then 1: the reload first", {f5, one}, 10, 10, 0, true, true},
        {"F fits: the glow stays", {{0x46, 0, false}, {0x46, 0, false}}, 10, 10, 1, false, false},
        {"a key that does nothing", {{0x5A, 0, false}}, 10, 10, 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_weightR = 1;
        g_power = c.power;
        g_app->countdown = -1;
        for (const KeyPress& press : c.presses)
            g_app->QueueKey(press);
        const std::string log = StdoutOf([] { g_app->Update(); });
        EXPECT_EQ(g_power, c.wantPower);
        EXPECT_EQ(g_weightR, c.wantR);
        EXPECT_EQ(g_app->countdown, c.restarts ? 19 : -1)
            << "set to 20 by a key that changes the glow, lowered in the same update";
        EXPECT_EQ(log.find("GL_VENDOR: ") != std::string::npos, c.reloads) << log;
        EXPECT_TRUE(g_app->pendingKeys.empty());
    }
    // S before any picture: the request is set and waits.
    g_snapshotRequested = false;
    g_app->countdown = -1;
    g_app->QueueKey({0x53, 0, false});
    g_app->Update();
    EXPECT_TRUE(g_snapshotRequested);
    EXPECT_EQ(g_app->countdown, -1) << "a snapshot does not run the pass again";
    g_snapshotRequested = false;
    g_weightR = 1;
    g_power = 10;
}

TEST_F(PictureTest, F5SizesTheWindowToAPictureThatChangedSize)
{
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 130, 64));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_window->OnDropFile("pic.png");
    ASSERT_TRUE(WaitForClientSize(handle, 130, 64));
    ASSERT_TRUE(WritePicture(dir.File("pic.png"), 90, 45));
    g_app->QueueKey({VK_F5, 0, false});
    g_app->Update();
    EXPECT_EQ(g_app->pictureWidth, 90);
    EXPECT_TRUE(WaitForClientSize(handle, 90, 45));
}

TEST_F(PictureTest, ADropSizesTheViewAndTheDeviceBeforeTheNextFrame)
{
    ASSERT_TRUE(WritePicture(dir.File("odd.png"), 301, 199));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_window->OnDropFile(dir.File("odd.png").c_str());  // no events pumped since
    EXPECT_EQ(g_app->viewWidth, 301);
    EXPECT_EQ(g_app->viewHeight, 199);
    int size[2] = {0, 0};
    {
        LockGuard lock(g_deviceLock);
        g_device->GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
    }
    EXPECT_EQ(size[0], 301);
    EXPECT_EQ(size[1], 199);
}
