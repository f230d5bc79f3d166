// The loader's worker: the newest request wins, a read no longer wanted is stopped between
// rows, and what a read gives comes in its order, for the newest request only.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "foundation/surface.h"
#include "src/picture_loader.h"

namespace {

// A read that the test steers: it gives its header, waits at its "rows" until let go or
// stopped, then gives a 2 x 1 picture (or, for "missing", no file).
struct FakeReads {
    std::atomic<bool> letGo{false};
    std::atomic<int> started{0};
    std::atomic<int> stopped{0};
    std::atomic<int> wakes{0};
};
FakeReads* s_reads = nullptr;

PictureRead FakeRead(const char* path, const PictureHeaderHook* hook, OpenProblem* opened)
{
    ++s_reads->started;
    if (std::string(path) == "missing") {
        *opened = OPEN_NO_SUCH_FILE;
        return PictureRead{nullptr, {PICTURE_UNREADABLE, 0, 0}};
    }
    if (hook->accepted != nullptr)
        hook->accepted(hook->context, 2, 1);
    while (!s_reads->letGo) {
        if (hook->cancelled != nullptr && hook->cancelled(hook->context)) {
            ++s_reads->stopped;
            return PictureRead{nullptr, {PICTURE_CANCELLED, 0, 0}};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (hook->preview != nullptr) {
        OxHolder<OxSurface> preview(CreateSurface(4, 1, 1, PF_RGBA, 4));
        hook->preview(hook->context, preview.get());
    }
    return PictureRead{CreateSurface(8, 2, 1, PF_RGBA, 8), {PICTURE_FINE, 0, 0}};
}

void CountWake()
{
    ++s_reads->wakes;
}

// Every event until the loader is idle, as kinds and paths.
std::vector<std::string> TakeAll(CPictureLoader& loader)
{
    std::vector<std::string> taken;
    for (;;) {
        LoaderEvent event;
        while (loader.Take(&event)) {
            const char* kind = event.kind == LoaderEvent::HEADER    ? "header "
                               : event.kind == LoaderEvent::PREVIEW ? "preview "
                                                                    : "done ";
            const bool failed = event.kind == LoaderEvent::DONE && !event.picture;
            taken.push_back(kind + event.path + (failed ? " (none)" : ""));
        }
        if (loader.Idle())
            return taken;
        loader.WaitForEvent(1.0);
    }
}

class PictureLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { s_reads = &reads; }
    void TearDown() override { s_reads = nullptr; }
    FakeReads reads;
};

}  // namespace

TEST_F(PictureLoaderTest, TheNewestRequestWinsAndAnOlderReadIsStopped)
{
    CPictureLoader loader(FakeRead, CountWake, 0);
    loader.Request("first.png");
    while (reads.started == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    loader.Request("second.png");
    while (reads.stopped == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    reads.letGo = true;
    EXPECT_EQ(TakeAll(loader), (std::vector<std::string>{"header second.png", "done second.png"}));
    EXPECT_EQ(reads.started, 2);
    EXPECT_GT(reads.wakes, 0) << "the window's loop is woken for what waits";
}

TEST_F(PictureLoaderTest, EventsComeInTheirOrderWithAFailureAsDone)
{
    reads.letGo = true;
    CPictureLoader loader(FakeRead, nullptr, 1);
    loader.Request("photo.jpg");
    EXPECT_EQ(TakeAll(loader), (std::vector<std::string>{"header photo.jpg", "preview photo.jpg",
                                                         "done photo.jpg"}));
    loader.Request("missing");
    EXPECT_EQ(TakeAll(loader), (std::vector<std::string>{"done missing (none)"}));
}

TEST_F(PictureLoaderTest, CancellingOrEndingStopsTheReadInProgress)
{
    {
        CPictureLoader loader(FakeRead, nullptr, 0);
        loader.Request("big.jpg");
        while (reads.started == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        loader.CancelAll();
        EXPECT_EQ(TakeAll(loader), std::vector<std::string>{}) << "nothing of it is taken";
        EXPECT_EQ(reads.stopped, 1);
        loader.Request("big.jpg");
        while (reads.started < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }  // the read never let go: the loader's end stops it, or this never returns
    EXPECT_EQ(reads.stopped, 2);
}
