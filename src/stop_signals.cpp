// SIGTERM and SIGINT: they end the frame loop as closing the window does.
#include "src/stop_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "window/window.h"

namespace {

std::atomic<bool> s_stopRequested{false};

#ifdef _WIN32

// The C runtime runs these handlers on a thread of their own, where waking the
// loop is allowed.
void OnStopSignal(int)
{
    s_stopRequested = true;
    WakeMessageWait();
}

#else

// A signal handler may only write to a pipe; a watcher thread reads it and
// wakes the loop, which a handler may not do itself.
int s_pipe[2] = {-1, -1};
std::thread s_watcher;
struct sigaction s_previousTerm;
struct sigaction s_previousInt;

void OnStopSignal(int)
{
    const int savedErrno = errno;
    const char stop = 's';
    if (write(s_pipe[1], &stop, 1) < 0) {
        // Nothing to do: a full pipe already holds a stop.
    }
    errno = savedErrno;
}

void WatchForStop()
{
    char byte = 0;
    for (;;) {
        const ssize_t got = read(s_pipe[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;  // the write end is closed: the loop is over
        s_stopRequested = true;
        WakeMessageWait();
    }
}

void ClosePipe()
{
    for (int& end : s_pipe) {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

#endif

}  // namespace

bool StopRequested()
{
    return s_stopRequested;
}

#ifdef _WIN32

void InstallStopSignals()
{
    s_stopRequested = false;
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
}

void RemoveStopSignals()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

#else

void InstallStopSignals()
{
    s_stopRequested = false;
    if (s_pipe[0] >= 0 || pipe(s_pipe) != 0)
        return;
    for (int end : s_pipe)
        fcntl(end, F_SETFD, FD_CLOEXEC);
    fcntl(s_pipe[1], F_SETFL, O_NONBLOCK);
    s_watcher = std::thread(WatchForStop);
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &s_previousTerm);
    sigaction(SIGINT, &action, &s_previousInt);
}

void RemoveStopSignals()
{
    if (s_pipe[0] < 0)
        return;
    sigaction(SIGTERM, &s_previousTerm, nullptr);
    sigaction(SIGINT, &s_previousInt, nullptr);
    close(s_pipe[1]);
    s_pipe[1] = -1;
    if (s_watcher.joinable())
        s_watcher.join();
    ClosePipe();
}

#endif
