// The strip worker: one strip in hand at a time, finished on its own thread.
#include "foundation/strip_worker.h"

#include <new>
#include <system_error>

bool StripWorker::Start()
{
    if (Running())
        return true;
    try {
        thread_ = std::thread(&StripWorker::Run, this);
        return true;
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool StripWorker::Hand(uint8_t* strip, int first, int count)
{
    if (Running()) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!busy_) {
            strip_ = strip;
            first_ = first;
            count_ = count;
            busy_ = true;
            changed_.notify_all();
            return true;
        }
    }
    work_(owner_, strip, first, count);
    return false;
}

void StripWorker::Stop()
{
    if (!Running())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    stopping_ = false;
}

void StripWorker::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_)
            return;
        // The fields of the strip in hand stay as they are until it is given back.
        lock.unlock();
        work_(owner_, strip_, first_, count_);
        lock.lock();
        busy_ = false;
    }
}
