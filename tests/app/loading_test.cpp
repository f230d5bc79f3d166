// Loading a picture through the application: what a load keeps or replaces, F5, a failed
// drop, one open and one read of the file per load, and the one line that says why a load
// failed.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>
#include <unistd.h>
#define GLOWVIEW_LIMITS_ADDRESS_SPACE 1
#endif

#include "foundation/assets.h"
#include "foundation/picture.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/loading.h"
#include "src/picture_loader.h"
#include "src/run.h"
#include "src/wallpaper.h"
#include "src/snapshot.h"
#include "app/app_fixture.h"
#include "app/picture_fixture.h"
#include "counting_file.h"
#include "test_support.h"
#include "webp_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The opens of a load, and the last file opened, held for the test after the load let it go.
struct OpenCount {
    int opens = 0;
    OxHolder<CountingFile> last;
};
OpenCount s_count;

OxFile* CountingOpen(const char* name, OpenProblem* why)
{
    ++s_count.opens;
    OxFile* file = OpenAssetFile(name, why);
    if (file == nullptr)
        return nullptr;
    s_count.last.Reset(new CountingFile(file));
    ++s_count.last->refCount;  // the load's reference
    return s_count.last.get();
}

#ifdef GLOWVIEW_LIMITS_ADDRESS_SPACE
// Keeps the process's address space within what it uses now and `more` bytes for its
// lifetime, so that a large allocation fails as it would on a machine without the memory.
class ScopedAddressSpaceLimit {
public:
    explicit ScopedAddressSpaceLimit(rlim_t more)
    {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        set_ = pages > 0 && getrlimit(RLIMIT_AS, &old_) == 0;
        rlimit limited = old_;
        limited.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + more;
        set_ = set_ && limited.rlim_cur < old_.rlim_cur && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~ScopedAddressSpaceLimit()
    {
        if (set_)
            setrlimit(RLIMIT_AS, &old_);
    }
    ScopedAddressSpaceLimit(const ScopedAddressSpaceLimit&) = delete;
    ScopedAddressSpaceLimit& operator=(const ScopedAddressSpaceLimit&) = delete;

    bool Set() const { return set_; }

private:
    rlimit old_ = {};
    bool set_ = false;
};
#endif

class LoadingTest : public AppStartUpTest {
protected:
    void TearDown() override
    {
        SetPictureOpener(nullptr);
        s_count.last.Reset();
        AppStartUpTest::TearDown();
    }
};

}  // namespace

TEST_F(LoadingTest, EachLoadOpensTheFileOnceAndReadsItOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    TempDir dir;
    const Bytes png = ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"));
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    const Bytes warned = WithBadTextChunk(png);
    const Bytes webp = EncodeWebp(PatternRgba(47, 33, true), 47, 33, false);
    const Bytes animation = AssembleAnimatedWebp(
        40, 30, {{PatternRgba(21, 13, true, 1), 21, 13, 4, 6},
                 {PatternRgba(40, 30, false, 2), 40, 30, 0, 0}});
    ASSERT_FALSE(webp.empty());
    ASSERT_FALSE(animation.empty());
    struct Row {
        const char* what;
        const char* name;
        Bytes bytes;
        bool loads;
        long bytesRead;   // -1: the whole file
        const char* said; // the line on standard error after "glowview: <path>: "
    };
    const Row rows[] = {
        {"a clean PNG", "clean.png", png, true, -1, ""},
        {"a clean JPEG", "clean.jpg", jpeg, true, -1, ""},
        {"a PNG with a libpng warning", "warned.png", warned, true, -1, ""},
        {"a WebP named .png: known by its content", "webp.png", webp, true, -1, ""},
        {"a PNG named .webp", "png.webp", png, true, -1, ""},
        {"an animated WebP", "anim.webp", animation, true, -1,
         "animated, only the first frame is shown"},
        {"a truncated WebP", "cut.webp", Head(webp, webp.size() / 2), false, -1, "truncated"},
        {"a truncated JPEG", "cut.jpg", Head(jpeg, jpeg.size() / 2), true,
         -1, "truncated, shown as far as it goes"},
        {"a damaged PNG", "damaged.png", ReadWholeFile(TestdataPath("pngsuite/xhdn0g08.png")),
         false, -1, "damaged"},
        {"a text file", "notes.txt", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'},
         false, 8, "not a PNG, JPEG or WebP picture"},
        {"a missing file", "missing.png", {}, false, 0, "no such file"},
        {"a directory", "folder", {}, false, 0, "is a directory"},
    };
    std::filesystem::create_directory(dir.File("folder"));
    SetPictureOpener(CountingOpen);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path = dir.File(row.name);
        if (!row.bytes.empty()) {
            ASSERT_TRUE(WriteWholeFile(path, row.bytes));
        }
        s_count.opens = 0;
        s_count.last.Reset();
        testing::internal::CaptureStderr();
        StdoutOf([&] { EXPECT_EQ(g_app->LoadPicture(path.c_str()), row.loads); });
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(s_count.opens, 1);
        const long bytesRead = s_count.last ? s_count.last->bytesRead : 0;
        EXPECT_EQ(bytesRead, row.bytesRead < 0 ? long(row.bytes.size()) : row.bytesRead);
        if (s_count.last) {
            EXPECT_EQ(s_count.last->refCount, 1) << "the load let its file go";
        }
        EXPECT_EQ(said, row.said[0] == '\0' ? "" : "glowview: " + path + ": " + row.said + "\n");
    }
}

TEST_F(PictureTest, LoadsKeepOrLeaveTheCurrentPicture)
{
    std::filesystem::create_directories(dir.File("paid/assets"));
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("paid/assets/inner.png"), 100, 70));
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("other.png"), 65, 1));
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
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("past.png"), 65536, 1));
    ASSERT_TRUE(WriteWholeFile(dir.File("hold.png"),
                               WithPngSize(ReadWholeFile(dir.File("other.png")), 65535, 32768)));
    ASSERT_TRUE(WriteWholeFile(
        dir.File("side.jpg"),
        WithJpegSize(ReadWholeFile(TestdataPath("jpeg/testorig.jpg")), 65535, 65535)));
    std::filesystem::create_directory(dir.File("folder.png"));
    const std::string longPath = dir.path() + "/" + std::string(300 - dir.path().size() - 1, 'x');
    const struct {
        std::string name;
        std::string reason;
    } failures[] = {
        {"notes.txt", "not a PNG, JPEG or WebP picture"},
        {"empty.png", "not a PNG, JPEG or WebP picture"},
        {"past.png", "65536 x 1 is larger than 65535 x 65535"},
        {"hold.png", "65535 x 32768 is too large to hold (more than 536 megapixels)"},
        {"side.jpg", "65535 x 65535 is larger than 65500 x 65500"},
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
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 130, 64));
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

TEST_F(PictureTest, AFailedDropBringsTheWallBackAsItWas)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 130, 70));
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

// A picture within the limits whose memory cannot be had is refused with one line that
// names it and its size; the picture shown stays as it was.
TEST_F(PictureTest, APictureWithoutMemoryIsRefusedAndThePictureStays)
{
#ifndef GLOWVIEW_LIMITS_ADDRESS_SPACE
    GTEST_SKIP() << "the address space is limited with setrlimit, which Linux alone has and "
                    "which the address sanitizer's shadow memory does not fit in";
#else
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 130, 70));
    // A header that claims 23000 x 23000 pixels (within the limits), and bytes after the
    // image data enough for that much data: the read goes as far as the pixel store.
    Bytes claim = WithPngSize(ReadWholeFile(dir.File("pic.png")), 23000, 23000);
    claim.resize(claim.size() + (2 << 20), 0);
    ASSERT_TRUE(WriteWholeFile(dir.File("huge.png"), claim));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_TRUE(g_app->LoadPicture("pic.png"));
    const OxSurface* picture = g_app->source.get();
    const std::vector<uint8_t> pixels(picture->readPixels,
                                      picture->readPixels + picture->pitch * picture->height);

    std::string said;
    {
        ScopedAddressSpaceLimit limit(256 << 20);
        ASSERT_TRUE(limit.Set());
        testing::internal::CaptureStderr();
        StdoutOf([] { EXPECT_FALSE(g_app->LoadPicture("huge.png")); });
        said = testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(said, "glowview: huge.png: not enough memory for 23000 x 23000\n");
    EXPECT_STREQ(g_app->path, "pic.png");
    EXPECT_EQ(g_app->pictureWidth, 130);
    EXPECT_EQ(g_app->pictureHeight, 70);
    ASSERT_NE(g_app->source.get(), nullptr);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), g_app->source.get()->readPixels))
        << "the picture is the same, pixel for pixel";
    ExpectWallShows(g_app->wall.get(), g_app->source.get());
#endif
}

TEST_F(PictureTest, F5SizesTheWindowToAPictureThatChangedSize)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 130, 64));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_window->OnDropFile("pic.png");
    ASSERT_TRUE(WaitForClientSize(handle, 130, 64));
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 90, 45));
    g_app->QueueKey({VK_F5, 0, false});
    g_app->Update();
    EXPECT_EQ(g_app->pictureWidth, 90);
    EXPECT_TRUE(WaitForClientSize(handle, 90, 45));
}

TEST_F(PictureTest, ADropSizesTheViewAndTheDeviceBeforeTheNextFrame)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("odd.png"), 301, 199));
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

namespace {

// Opens as a load does, but holds the read of "slow.png" at its open until let go.
std::atomic<bool> s_slowOpened{false};
std::atomic<bool> s_letSlowGo{false};

OxFile* HoldingOpen(const char* name, OpenProblem* why)
{
    if (std::string(name).find("slow.png") != std::string::npos) {
        s_slowOpened = true;
        while (!s_letSlowGo)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return OpenAssetFile(name, why);
}

// Holds the loader's thread in its wake call after its s_holdAt-th event (2: the preview),
// until let go: the test sees the window between that event and the next.
std::atomic<int> s_wakes{0};
std::atomic<int> s_holdAt{2};
std::atomic<bool> s_letPictureGo{false};

void HoldAfterPreview()
{
    if (++s_wakes == s_holdAt) {
        while (!s_letPictureGo)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class LoaderTest : public PictureTest {
protected:
    void TearDown() override
    {
        s_letSlowGo = true;
        s_letPictureGo = true;
        StopLoader();
        SetPictureOpener(nullptr);
        PictureTest::TearDown();
    }
};

}  // namespace

TEST_F(LoaderTest, DropsAreReadBesideTheWindowAndANewerOneReplacesTheOneInProgress)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("slow.png"), 30, 20));
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("quick.png"), 50, 40));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    StartLoader();
    SetPictureOpener(HoldingOpen);
    s_slowOpened = false;
    s_letSlowGo = false;
    g_window->OnDropFile(dir.File("slow.png").c_str());
    while (!s_slowOpened)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The window goes on while the read waits: a frame is drawn, the old (empty) view kept.
    g_app->ServeLoads();
    g_window->OnPaint();
    EXPECT_STREQ(g_app->path, "");
    g_window->OnDropFile(dir.File("quick.png").c_str());
    s_letSlowGo = true;
    ServeLoadsUntilIdle();
    EXPECT_EQ(g_app->path, dir.File("quick.png"));
    EXPECT_EQ(g_app->pictureWidth, 50);
    EXPECT_EQ(g_app->pictureHeight, 40);
    ASSERT_TRUE(WaitForClientSize(handle, 50, 40)) << "the window takes the picture's size";
}

TEST_F(LoaderTest, ASlowJpegIsShownReducedFirstAndASnapshotWaitsForThePicture)
{
    const std::string photo = dir.File("photo.jpg");
    ASSERT_TRUE(WriteWholeFile(photo, ReadWholeFile(TestdataPath("jpeg/testorig.jpg"))));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    // Every JPEG is slow enough for a preview here.
    g_loader = new CPictureLoader(ReadPictureAt, HoldAfterPreview, 1);
    s_wakes = 0;
    s_holdAt = 2;
    s_letPictureGo = false;
    g_window->OnDropFile(photo.c_str());
    while (s_wakes < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_app->ServeLoads();
    ASSERT_TRUE(g_app->previewShown);
    ASSERT_NE(g_app->wall, nullptr);
    EXPECT_EQ(g_app->wall->width, (227 + 7) / 8);
    EXPECT_FLOAT_EQ(g_app->wall->unitsPerTexelX * g_app->wall->width, 227.0f)
        << "the preview is stretched to the picture's size";
    EXPECT_EQ(g_app->pictureWidth, 227);
    EXPECT_EQ(g_app->pictureHeight, 149);
    EXPECT_TRUE(WaitForClientSize(handle, 227, 149)) << "the window has the picture's size";
    g_snapshotRequested = true;
    g_window->OnPaint();
    EXPECT_TRUE(g_snapshotRequested) << "no snapshot of a preview";

    s_letPictureGo = true;
    ServeLoadsUntilIdle();
    EXPECT_FALSE(g_app->previewShown);
    EXPECT_EQ(g_app->previousWall, nullptr);
    EXPECT_EQ(g_app->wall->width, 227);
    EXPECT_EQ(g_app->wall->unitsPerTexelX, 1.0f);
    g_window->OnPaint();
    EXPECT_FALSE(g_snapshotRequested) << "the picture itself is saved";
    g_app->snapshots.reset();
    EXPECT_TRUE(std::filesystem::exists("snapshot0.png"));
}

TEST_F(LoaderTest, TheWindowTakesTheSizeOfAHeaderAndGetsItsOwnBackWhenTheReadFails)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("shown.png"), 50, 40));
    // A good header, then pixel data that fails its check.
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("bad.png"), 300, 200));
    std::vector<unsigned char> bad = ReadWholeFile(dir.File("bad.png"));
    const char kData[] = "IDAT";
    const auto data = std::search(bad.begin(), bad.end(), kData, kData + 4);
    ASSERT_NE(data, bad.end());
    data[10] ^= 0x5a;
    ASSERT_TRUE(WriteWholeFile(dir.File("bad.png"), bad));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_loader = new CPictureLoader(ReadPictureAt, HoldAfterPreview, 0);
    s_wakes = 0;
    s_holdAt = -1;
    g_window->OnDropFile(dir.File("shown.png").c_str());
    ServeLoadsUntilIdle();
    ASSERT_TRUE(WaitForClientSize(handle, 50, 40));

    s_wakes = 0;
    s_holdAt = 1;
    s_letPictureGo = false;
    g_window->OnDropFile(dir.File("bad.png").c_str());
    while (s_wakes < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_app->ServeLoads();
    EXPECT_TRUE(WaitForClientSize(handle, 300, 200))
        << "the window is sized from the header while the pixels decode";
    s_letPictureGo = true;
    testing::internal::CaptureStderr();
    ServeLoadsUntilIdle();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("bad.png: "), std::string::npos) << errors;
    EXPECT_EQ(g_app->path, dir.File("shown.png"));
    EXPECT_TRUE(WaitForClientSize(handle, 50, 40)) << "the size from before the read";
}

TEST_F(LoaderTest, AtStartTheWindowWaitsHiddenForItsPictureAndOpensAtItsSize)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("start.png"), 300, 200));
    handle = CreateAppWindow();
    ASSERT_NE(handle, nullptr);
    StartLoader();
    g_loader->Request(dir.File("start.png"));
    StdoutOf([&] { ASSERT_TRUE(StartApplication(handle, false, true)); });
    EXPECT_TRUE(g_app->windowHidden);
    ServeLoadsUntilIdle();
    EXPECT_FALSE(g_app->windowHidden);
    EXPECT_EQ(g_app->path, dir.File("start.png"));
    ASSERT_TRUE(WaitForClientSize(handle, 300, 200));
}

TEST_F(LoaderTest, ANewPictureFillsTheTexturesOfTheWallItReplaces)
{
    // Each in a folder of its own: no neighbour is read ahead, every wall comes from a drop.
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("a")));
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("b")));
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("a/small.png"), 130, 64));   // 3 x 1 tiles
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("b/large.png"), 200, 130));  // 4 x 3 tiles
    ASSERT_NO_FATAL_FAILURE(StartUp());
    StartLoader();
    const auto drop = [&](const char* name) {
        return StdoutOf([&] {
            g_window->OnDropFile(dir.File(name).c_str());
            ServeLoadsUntilIdle();
        });
    };
    std::string log = drop("a/small.png");
    EXPECT_EQ(CountOf(log, "Create texture for wall: "), 3);
    ExpectWallShows(g_app->wall.get(), g_app->source.get());
    const std::vector<uint32_t> smallTiles = g_app->wall->textures;

    log = drop("b/large.png");
    EXPECT_EQ(CountOf(log, "Create texture for wall: "), 9) << "only the tiles beyond the 3";
    ExpectWallShows(g_app->wall.get(), g_app->source.get());
    int reused = 0;
    for (uint32_t name : g_app->wall->textures)
        reused += std::count(smallTiles.begin(), smallTiles.end(), name) > 0 ? 1 : 0;
    EXPECT_EQ(reused, 3);
    const std::vector<uint32_t> largeTiles = g_app->wall->textures;

    log = drop("a/small.png");
    EXPECT_EQ(CountOf(log, "Create texture for wall: "), 0);
    ExpectWallShows(g_app->wall.get(), g_app->source.get());
    int left = 0;
    for (uint32_t name : largeTiles)
        left += glIsTexture(name) ? 1 : 0;
    EXPECT_EQ(left, 3) << "the tiles the small wall did not take are deleted";
}
