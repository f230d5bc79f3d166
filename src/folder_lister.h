// Listing folders off the window's thread: one worker lists the newest folder asked for and
// puts its pictures in order, and the names wait in a mailbox that the window's thread empties between frames.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file.h"

// What one listing found.
struct FolderListing {
    uint64_t ticket = 0;
    std::string folder;
    std::vector<std::string> names;  // its pictures, as SortPictureNames leaves them
    ListProblem problem = LIST_FINE;
};

class CFolderLister {
public:
    // wake: called from the worker when a listing waits (wakes the window's loop).
    explicit CFolderLister(void (*wake)());
    // Waits for the listing in progress, which is not given up halfway.
    ~CFolderLister();
    CFolderLister(const CFolderLister&) = delete;
    CFolderLister& operator=(const CFolderLister&) = delete;

    // Asks for the folder's listing; an older request that was not listed yet is given up.
    // The request's ticket.
    uint64_t Request(const std::string& folder);
    // Gives up every request.
    void CancelAll();
    // Takes the listing of the newest request; false when it is not there (yet).
    bool Take(FolderListing* listing);
    // Waits until the newest request is listed (its listing taken or not), at most `seconds`;
    // true when it is.
    bool WaitForListing(double seconds);

private:
    void Run();

    void (*wake_)();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string waiting_;
    bool hasWaiting_ = false;
    uint64_t newest_ = 0;
    bool ready_ = false;
    uint64_t listed_ = 0;  // the ticket of the last listing made
    FolderListing done_;
    bool stopping_ = false;
    std::thread worker_;
};
