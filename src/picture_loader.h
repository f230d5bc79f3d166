// Reading pictures off the window's thread: one worker reads the newest picture asked for,
// and what it finds waits in a mailbox that the window's thread empties between frames.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/assets.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"

// What a read gives the window's thread, in the order it comes.
struct LoaderEvent {
    enum Kind {
        HEADER,   // the header is accepted: width x height
        PREVIEW,  // a reduced picture to show while the picture itself decodes
        DONE,     // the read ended: picture (null when it failed), report, opened
    };
    Kind kind = DONE;
    uint64_t ticket = 0;
    std::string path;
    bool reload = false;  // the request's own flag, given back
    int width = 0;
    int height = 0;
    OxHolder<OxSurface> picture;
    PictureReport report = {PICTURE_FINE, 0, 0};
    OpenProblem opened = OPEN_FINE;
};

// How the worker reads one picture: opens the path and reads it with the hook; why an open
// failed goes to *opened.
using PictureReader = PictureRead (*)(const char* path, const PictureHeaderHook* hook,
                                      OpenProblem* opened);

class CPictureLoader {
public:
    // wake: called from the worker whenever an event waits (wakes the window's loop).
    // previewPixels: see PictureHeaderHook (0: no previews).
    CPictureLoader(PictureReader reader, void (*wake)(), int64_t previewPixels);
    // Stops the read in progress at its next row and waits for the worker.
    ~CPictureLoader();
    CPictureLoader(const CPictureLoader&) = delete;
    CPictureLoader& operator=(const CPictureLoader&) = delete;

    // Asks for the picture at path; a read waiting or in progress for an older request is
    // given up (its events are never taken). The request's ticket; `reload` comes back in
    // its events.
    uint64_t Request(const std::string& path, bool reload = false);
    // Gives up every request.
    void CancelAll();
    // Takes the oldest event of the newest request; false when none waits.
    bool Take(LoaderEvent* event);
    // No request waits or runs, and no event waits.
    bool Idle();
    // Waits until an event waits or the loader is idle, at most `seconds`.
    void WaitForEvent(double seconds);
    // Called by the worker with the header of the newest request, before its pixels are
    // decoded (the window's thread may make room then); may be left unset.
    void SetHeaderCallback(void (*callback)(void* context, int width, int height), void* context);

private:
    struct Job {
        uint64_t ticket;
        std::string path;
        bool reload;
    };
    void Run();
    void ReadOne(const Job& job);
    void Post(LoaderEvent&& event);
    bool Stale(uint64_t ticket);

    PictureReader reader_;
    void (*wake_)();
    int64_t previewPixels_;
    void (*headerCallback_)(void*, int, int) = nullptr;
    void* headerContext_ = nullptr;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> waiting_;
    std::deque<LoaderEvent> events_;
    uint64_t newest_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    std::thread worker_;
};
