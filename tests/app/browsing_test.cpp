// Paging through a folder in the application: the keys, the title's name and place, unreadable
// files passed over, the glow carried over, and the folder listed beside the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/folder_lister.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/picture_loader.h"
#include "src/run.h"
#include "src/wallpaper.h"
#include "src/window_handlers.h"
#include "test_support.h"
#include "app/app_fixture.h"
#include "app/picture_fixture.h"

namespace {

class BrowsingTest : public PictureTest {
protected:
    // A folder of three small pictures (sides 3, 4, 5 wide) with an unreadable one and a
    // text file among them.
    void MakeFolder()
    {
        std::filesystem::create_directories(dir.File("pics"));
        ASSERT_TRUE(WriteCoordinatePicture(dir.File("pics/img1.png"), 3, 2));
        ASSERT_TRUE(WriteCoordinatePicture(dir.File("pics/img10.png"), 5, 2));
        ASSERT_TRUE(WriteCoordinatePicture(dir.File("pics/img2.png"), 4, 2));
        ASSERT_TRUE(WriteWholeFile(dir.File("pics/img3.png"), {'n', 'o'}));
        ASSERT_TRUE(WriteWholeFile(dir.File("pics/notes.txt"), {'h', 'i'}));
    }
    // What WriteCoordinatePicture writes, as RGBA pixels.
    static OxHolder<OxSurface> CoordinateSurface(int width, int height)
    {
        OxHolder<OxSurface> surface(CreateSurface(width * height * 4, width, height, PF_RGBA,
                                                  width * 4));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* pixel = surface->writePixels + y * surface->pitch + x * 4;
                pixel[0] = uint8_t(x);
                pixel[1] = uint8_t(y);
                pixel[3] = 255;
            }
        }
        return surface;
    }
    // Presses the key as the update step sees it; the loaders' reads are served.
    void Press(int virtualKey)
    {
        g_app->QueueKey(KeyPress{virtualKey, 0, false});
        g_app->ApplyKeys();
        if (g_loader != nullptr)
            ServeAllUntilIdle();
    }
    // Serves the reads of the picture asked for and those ahead until both loaders rest.
    // What is served may ask for more (a listing, a picture to pass over): served until
    // nothing comes and nothing is asked.
    void ServeAllUntilIdle()
    {
        for (int i = 0; i < 200; ++i) {
            // As the frame loop: what changed is drawn, and then the reads ahead start.
            if (g_app->needsRedraw)
                g_window->OnPaint();
            const bool served = g_app->ServeLoads();
            if (!served && g_loader->Idle() && g_ahead->Idle())
                break;
            g_loader->WaitForEvent(0.05);
            g_ahead->WaitForEvent(0.05);
        }
    }
    // The pictures read ahead, sorted, "(unreadable)" after those that could not be read.
    std::string AheadPaths()
    {
        std::vector<std::string> paths;
        for (const CLumaApp::AheadPicture& kept : g_app->ahead)
            paths.push_back(kept.path + (kept.Readable() ? "" : "(unreadable)"));
        std::sort(paths.begin(), paths.end());
        std::string joined;
        for (const std::string& path : paths)
            joined += (joined.empty() ? "" : " ") + path;
        return joined;
    }
};

using BrowsingFixedFunctionTest = FixedFunctionFixture<BrowsingTest>;

std::string LowerCase(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

// Each picture shown is checked on the wall; the folder is named as users name it: as
// given, by its full path in the system's spelling (backslashes on Windows), and by its
// first picture's full path.
TEST_F(BrowsingTest, KeysPageThroughTheFolderAndPassOverWhatCannotBeRead)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_NO_FATAL_FAILURE(MakeFolder());
    const std::string folder = dir.File("pics");
    const struct Named {
        std::string path;
        std::string prefix;  // what the pictures' paths start with
        bool anyCase;        // the name shown may keep the case it was given in
    } namings[] = {
        {"pics", "pics/", false},
        {folder, folder + "/", false},
        {dir.File("pics/img1.png"), dir.File("pics/"), false},
#ifdef _WIN32
        // Windows' names ignore case: a picture named otherwise than it is listed is the
        // listed one, not a fifth picture.
        {dir.File("pics/IMG1.PNG"), dir.File("pics/"), true},
#endif
    };
    const struct Step {
        int key;
        const char* tail;
        int width;
    } steps[] = {
        {0, " - img1.png (1/4)", 3},          // the drop: the folder's first picture
        {VK_NEXT, " - img2.png (2/4)", 4},
        {VK_NEXT, " - img10.png (4/4)", 5},   // img3.png passed over
        {VK_NEXT, " - img10.png (4/4)", 5},   // the end: nothing moves, nothing wraps
        {VK_PRIOR, " - img2.png (2/4)", 4},   // img3.png passed over backwards
        {VK_HOME, " - img1.png (1/4)", 3},
        {VK_PRIOR, " - img1.png (1/4)", 3},
        {VK_END, " - img10.png (4/4)", 5},
    };
    for (const Named& named : namings) {
        SCOPED_TRACE(named.path);
        testing::internal::CaptureStderr();
        const char* const dropped[] = {named.path.c_str()};
        g_window->OnDropFiles(dropped, 1);
        g_power = 7.0f;  // the glow carries over from picture to picture
        for (const Step& step : steps) {
            if (step.key != 0)
                Press(step.key);
            const std::string tail = g_app->TitleTail();
            EXPECT_EQ(named.anyCase ? LowerCase(tail) : tail, step.tail) << step.key;
            EXPECT_EQ(g_app->pictureWidth, step.width) << step.key;
            ExpectWallShows(g_app->wall.get(), CoordinateSurface(step.width, 2).get());
            EXPECT_EQ(g_power, 7.0f);
        }
        const std::string said = testing::internal::GetCapturedStderr();
        const std::string line =
            "glowview: " + named.prefix + "img3.png: not a PNG, JPEG or WebP picture\n";
        EXPECT_EQ(said, line + line);
    }
}

TEST_F(BrowsingTest, FoldersWithoutPicturesSayItAndChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("shown.png"), 6, 3));
    std::filesystem::create_directories(dir.File("texts"));
    std::filesystem::create_directories(dir.File("empty"));
    ASSERT_TRUE(WriteWholeFile(dir.File("texts/notes.txt"), {'h', 'i'}));
    const char* const shown[] = {"shown.png"};
    g_window->OnDropFiles(shown, 1);
    ASSERT_EQ(g_app->TitleTail(), " - shown.png (1/1)");
    for (const char* folder : {"empty", "texts"}) {
        testing::internal::CaptureStderr();
        g_window->OnDropFiles(&folder, 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "glowview: " + std::string(folder) + ": no PNG, JPEG or WebP pictures\n");
        EXPECT_EQ(g_app->TitleTail(), " - shown.png (1/1)") << folder;
        EXPECT_EQ(g_app->pictureWidth, 6) << folder;
        Press(VK_NEXT);
        EXPECT_EQ(g_app->TitleTail(), " - shown.png (1/1)") << folder;
    }
}

TEST_F(BrowsingTest, BesideTheWindowNeighboursAreReadAheadAndKeysReplaceTheRequest)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_NO_FATAL_FAILURE(MakeFolder());
    StartLoader();
    const char* const file[] = {"pics/img2.png"};
    g_window->OnDropFiles(file, 1);
    ASSERT_TRUE(g_lister->WaitForListing(5.0));
    ServeAllUntilIdle();
    EXPECT_EQ(g_app->TitleTail(), " - img2.png (2/4)");
    EXPECT_EQ(AheadPaths(), "pics/img1.png pics/img3.png(unreadable)");
    // With the GLSL program a neighbour's wall is made ahead: the press shows it with no
    // read and no texture made, and the wall moved away from is kept as the new neighbour.
    // The one beyond goes.
    g_app->ZoomBy(1);
    const std::string keyLog = StdoutOf([] {
        g_app->QueueKey(KeyPress{VK_PRIOR, 0, false});
        g_app->ApplyKeys();
    });
    EXPECT_EQ(g_app->TitleTail(), " - img1.png (1/4)");
    EXPECT_EQ(g_app->zoom, 1.0f) << "a new picture starts at one texel per pixel";
    if (g_hasShaders) {
        EXPECT_EQ(CountOf(keyLog, "Create texture for wall: "), 0) << keyLog;
    }
    ExpectWallShows(g_app->wall.get(), CoordinateSurface(3, 2).get());
    ServeAllUntilIdle();
    EXPECT_EQ(AheadPaths(), "pics/img2.png");
    ASSERT_EQ(g_app->ahead.size(), 1u);
    if (g_hasShaders)
        ExpectWallShows(g_app->ahead[0].wall.get(), CoordinateSurface(4, 2).get());
    // Presses before any read is served: only the newest one's picture is read. img3.png
    // cannot be, and is passed over back to img2.png, read ahead.
    testing::internal::CaptureStderr();
    for (int key : {VK_END, VK_PRIOR}) {
        g_app->QueueKey(KeyPress{key, 0, false});
        g_app->ApplyKeys();
    }
    ServeAllUntilIdle();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "glowview: pics/img3.png: not a PNG, JPEG or WebP picture\n");
    EXPECT_EQ(g_app->TitleTail(), " - img2.png (2/4)");
    // A press past the end lists the folder again and moves on to a file added since.
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pics/img20.png"), 7, 2));
    Press(VK_END);
    Press(VK_NEXT);
    ASSERT_TRUE(g_lister->WaitForListing(5.0));
    ServeAllUntilIdle();
    EXPECT_EQ(g_app->TitleTail(), " - img20.png (5/5)");
    // With nothing added, the press at the end leaves the picture where it is.
    Press(VK_NEXT);
    ASSERT_TRUE(g_lister->WaitForListing(5.0));
    ServeAllUntilIdle();
    EXPECT_EQ(g_app->TitleTail(), " - img20.png (5/5)");
}

TEST_F(BrowsingFixedFunctionTest, EachNewPictureGetsTheProcessorPass)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_NO_FATAL_FAILURE(MakeFolder());
    const char* const folder[] = {"pics"};
    g_window->OnDropFiles(folder, 1);
    for (int key : {VK_NEXT, VK_PRIOR}) {
        g_app->Update();  // the pass of the picture shown
        EXPECT_TRUE(g_app->wallShowsGlow);
        Press(key);
        EXPECT_FALSE(g_app->wallShowsGlow) << "a new picture, not yet glowing";
        EXPECT_EQ(g_app->countdown, 0) << "its pass runs at the next update";
    }
}
