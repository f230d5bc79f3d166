// A second thread that finishes strips of decoded rows while the decoding thread fills the
// next one. Private to foundation/picture*.cpp and its test.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// What is done to one strip: its `count` rows, the first of them stored row `first`.
using StripWork = void (*)(void* owner, uint8_t* strip, int first, int count);

// One strip is in the worker's hands at a time. A strip handed over while the thread is still
// busy with the one before, or without a thread (none started, or the system gave none), is
// finished at once on the caller's thread: the caller never waits for the worker but at the
// end, and a worker slowed down (by the system making the pages of a fresh store, by other
// programs) costs no more time than no worker at all.
// NOTE: no lock is held between calls, so a caller may longjmp out of a library between
// them; whoever owns the worker stops it on every way out.
class StripWorker {
public:
    StripWorker(StripWork work, void* owner) : work_(work), owner_(owner) {}
    ~StripWorker() { Stop(); }
    StripWorker(const StripWorker&) = delete;
    StripWorker& operator=(const StripWorker&) = delete;

    // Starts the thread; false when the system gives none.
    bool Start();
    bool Running() const { return thread_.joinable(); }
    // Gives the strip to the thread when it is free: true, and the strip's memory is the
    // thread's until the next strip is taken (the strip it had before is finished then).
    // Otherwise finishes it on the caller's thread: false, and the memory is the caller's.
    bool Hand(uint8_t* strip, int first, int count);
    // Finishes the strip in hand and ends the thread; nothing when none runs.
    void Stop();

private:
    void Run();

    const StripWork work_;
    void* const owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // The strip in hand while `busy_`.
    uint8_t* strip_ = nullptr;
    int first_ = 0;
    int count_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
