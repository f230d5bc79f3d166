// The lister's worker: one listing at a time, the newest request first.
#include "src/folder_lister.h"

#include <chrono>
#include <utility>

#include "src/picture_list.h"

CFolderLister::CFolderLister(void (*wake)()) : wake_(wake)
{
    worker_ = std::thread([this] { Run(); });
}

CFolderLister::~CFolderLister()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        hasWaiting_ = false;
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

uint64_t CFolderLister::Request(const std::string& folder)
{
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ticket = ++newest_;
        waiting_ = folder;
        hasWaiting_ = true;
        ready_ = false;
    }
    changed_.notify_all();
    return ticket;
}

void CFolderLister::CancelAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++newest_;
    hasWaiting_ = false;
    ready_ = false;
}

bool CFolderLister::Take(FolderListing* listing)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ready_ || done_.ticket != newest_)
        return false;
    *listing = std::move(done_);
    done_ = FolderListing();
    ready_ = false;
    return true;
}

bool CFolderLister::WaitForListing(double seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [this] { return listed_ == newest_; });
}

void CFolderLister::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || hasWaiting_; });
        if (stopping_)
            return;
        FolderListing listing;
        listing.ticket = newest_;
        listing.folder = std::move(waiting_);
        hasWaiting_ = false;
        lock.unlock();
        listing.problem = ListFolderFiles(listing.folder.c_str(), &listing.names);
        SortPictureNames(&listing.names);
        lock.lock();
        if (listing.ticket != newest_)
            continue;
        done_ = std::move(listing);
        ready_ = true;
        listed_ = done_.ticket;
        lock.unlock();
        changed_.notify_all();
        if (wake_ != nullptr)
            wake_();
        lock.lock();
    }
}
