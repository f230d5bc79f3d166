// The strip worker: a strip taken only when its thread is free, the others finished by the
// caller at once, and the thread's strip finished when it stops.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/strip_worker.h"

namespace {

// Strips beginning at row 0 are held until let go; each strip finished is noted with
// whether the caller's thread finished it.
struct Strips {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = true;
    bool firstStarted = false;
    std::vector<std::pair<int, bool>> finished;
    const std::thread::id caller = std::this_thread::get_id();

    static void Finish(void* owner, uint8_t* strip, int first, int count)
    {
        auto* strips = static_cast<Strips*>(owner);
        std::unique_lock<std::mutex> lock(strips->mutex);
        if (first == 0) {
            strips->firstStarted = true;
            strips->changed.notify_all();
            strips->changed.wait(lock, [strips] { return !strips->held; });
        }
        strip[0] = uint8_t(count);
        strips->finished.emplace_back(first, std::this_thread::get_id() == strips->caller);
    }

    void WaitForFirst()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return firstStarted; });
    }

    void LetGo()
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        changed.notify_all();
    }

    std::vector<std::pair<int, bool>> Finished()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }
};

using Finished = std::vector<std::pair<int, bool>>;

}  // namespace

// Without a thread every strip is finished at once by the caller.
TEST(StripWorkerTest, WithoutAThreadTheCallerFinishesEachStrip)
{
    Strips strips;
    strips.held = false;
    StripWorker worker(Strips::Finish, &strips);
    uint8_t strip[1] = {};
    EXPECT_FALSE(worker.Hand(strip, 0, 7));
    EXPECT_EQ(strip[0], 7);
    worker.Stop();
    EXPECT_EQ(strips.Finished(), (Finished{{0, true}}));
}

// A strip handed over while the thread is busy is finished by the caller without waiting
// for the thread; the thread's strip is finished by the time Stop returns.
TEST(StripWorkerTest, ABusyThreadLeavesTheStripToTheCaller)
{
    Strips strips;
    StripWorker worker(Strips::Finish, &strips);
    ASSERT_TRUE(worker.Start());
    uint8_t taken[1] = {};
    uint8_t left[1] = {};
    EXPECT_TRUE(worker.Hand(taken, 0, 3));
    strips.WaitForFirst();
    EXPECT_FALSE(worker.Hand(left, 3, 5));
    EXPECT_EQ(left[0], 5);
    EXPECT_EQ(strips.Finished(), (Finished{{3, true}}));
    strips.LetGo();
    worker.Stop();
    EXPECT_EQ(taken[0], 3);
    EXPECT_EQ(strips.Finished(), (Finished{{3, true}, {0, false}}));
}

// Stopping right after a strip is taken still finishes it, though the thread may not have
// looked at it yet.
TEST(StripWorkerTest, StoppingFinishesTheStripInHand)
{
    Strips strips;
    strips.held = false;
    StripWorker worker(Strips::Finish, &strips);
    ASSERT_TRUE(worker.Start());
    uint8_t strip[1] = {};
    EXPECT_TRUE(worker.Hand(strip, 0, 4));
    worker.Stop();
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(strip[0], 4);
    EXPECT_EQ(strips.Finished(), (Finished{{0, false}}));
}
