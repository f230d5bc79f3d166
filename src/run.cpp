// The program: start-up, the frame loop and tear-down.
#include "src/run.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>

#include "foundation/file.h"
#include "src/app.h"
#include "src/folder_lister.h"
#include "src/globals.h"
#include "src/heap.h"
#include "src/glhelp.h"
#include "src/loading.h"
#include "src/picture_loader.h"
#include "src/stop_signals.h"
#include "src/window_handlers.h"

namespace {

// Frames while the countdown runs come at most this often.
constexpr auto kFrameInterval = std::chrono::milliseconds(16);
// A JPEG this costly to decode (pixels, progressive ones counted twice) takes about a
// quarter of a second: it is shown reduced first.
constexpr int64_t kPreviewPixels = 24'000'000;

}  // namespace

int CreateDevice(WindowHandle handle)
{
    KeepFreedMemoryWhileDrawing();
    LockGuard deviceLock(g_deviceLock);
    g_device = new zorOpenGL();
    const int result = g_device->Initialize(handle, 0, 0);
    if (result != 0) {
        delete static_cast<zorOpenGL*>(g_device);
        g_device = nullptr;
    }
    return result;
}

namespace {

// Runs frames until the window is closed or a stop signal comes: a frame when
// something changed, one every kFrameInterval while the countdown runs, and
// otherwise a wait for events that takes no processor time.
void RunFrameLoop(CWin* window)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastFrame = Clock::now();
    bool drewSinceRest = false;
    for (;;) {
        double waitSeconds = -1.0;
        {
            LockGuard lock(g_appLock);
            // A window kept hidden for its first picture waits for it (or its preview, or
            // the read's failure) without drawing.
            g_app->ServeLoads();
            if (g_app->windowHidden) {
                waitSeconds = -1.0;
            } else if (g_app->needsRedraw || QueuedKeyPresses(window->handle) > 0) {
                waitSeconds = 0.0;
            } else if (g_app->NeedsFrame()) {
                const auto left = kFrameInterval - (Clock::now() - lastFrame);
                waitSeconds = std::max(0.0, std::chrono::duration<double>(left).count());
            } else if (drewSinceRest) {
                g_app->Rest();
                drewSinceRest = false;
            }
        }
        if (WaitMessages(waitSeconds) || StopRequested())
            return;
        LockGuard lock(g_appLock);
        const bool due = g_app->needsRedraw || QueuedKeyPresses(window->handle) > 0 ||
                         (g_app->NeedsFrame() && Clock::now() - lastFrame >= kFrameInterval);
        if (due) {
            window->OnPaint();
            lastFrame = Clock::now();
            drewSinceRest = true;
        }
    }
}

}  // namespace

void StartLoader()
{
    if (g_lister == nullptr)
        g_lister = new CFolderLister(WakeMessageWait);
    if (g_ahead == nullptr)
        g_ahead = new CPictureLoader(ReadPictureAt, WakeMessageWait, 0);
    if (g_loader != nullptr)
        return;
    g_loader = new CPictureLoader(ReadPictureAt, WakeMessageWait, kPreviewPixels);
    g_loader->SetHeaderCallback(
        [](void*, int, int) {
            LockGuard lock(g_appLock);
            if (g_app != nullptr)
                g_app->MakeRoomBeside();
        },
        nullptr);
}

void StopLoader()
{
    // Not under g_appLock: the loader's thread may wait for it before it sees the stop.
    delete g_loader;
    g_loader = nullptr;
    delete g_lister;
    g_lister = nullptr;
    delete g_ahead;
    g_ahead = nullptr;
}

bool StartApplication(WindowHandle handle, bool serveStopSignals, bool showLater)
{
    g_window = new CWin(handle);
    AttachWindowObject(handle, g_window);
    if (!showLater)
        ShowAppWindow(handle);
    if (CreateDevice(handle) != 0) {
        std::fprintf(stderr, "glowview: cannot make an OpenGL context for the window\n");
        AttachWindowObject(handle, nullptr);
        delete g_window;
        g_window = nullptr;
        return false;
    }
    // From here on a stop signal is served by the loop, however long the start takes.
    if (serveStopSignals)
        InstallStopSignals();
    g_app = new CLumaApp(handle);
    g_app->windowHidden = showLater;
    g_app->Reload(640, 480);
    g_ready = true;
    SizeClientArea(g_window, 640, 480);
    return true;
}

void StopApplication(WindowHandle handle)
{
    StopLoader();
    // GL objects go while their context lives: the application (whose wall deletes
    // its textures), the renderer's program and the device first, the window object after them.
    delete g_app;
    g_app = nullptr;
    ResetRenderer();
    {
        LockGuard deviceLock(g_deviceLock);
        if (g_device) {
            g_device->Shutdown();
            delete static_cast<zorOpenGL*>(g_device);
            g_device = nullptr;
        }
    }
    AttachWindowObject(handle, nullptr);
    delete g_window;
    g_window = nullptr;
}

int RunApplication(const RunOptions& options)
{
    // The first picture is read beside the window's and OpenGL's start-up.
    StartLoader();
    // A file named is read at once; the pictures of a folder once it is listed.
    const bool startFolder =
        options.files.size() == 1 && IsDirectoryPath(options.files[0].c_str());
    if (!options.files.empty() && !startFolder)
        g_loader->Request(options.files[0]);
    WindowHandle handle = CreateAppWindow();
    if (!handle) {
        std::string reason = LastWindowError();
        while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back())))
            reason.pop_back();
        std::fprintf(stderr, "glowview: cannot open a window: %s\n", reason.c_str());
        StopLoader();
        TerminateWindowSystem();
        return 1;
    }
    if (!StartApplication(handle, true, !options.files.empty())) {
        StopLoader();
        DestroyAppWindow(handle);
        TerminateWindowSystem();
        return 1;
    }
    if (!options.files.empty()) {
        LockGuard lock(g_appLock);
        g_app->BrowseFiles(options.files, !startFolder);
    }

    RunFrameLoop(g_window);
    RemoveStopSignals();

    StopApplication(handle);
    DestroyAppWindow(handle);
    TerminateWindowSystem();
    return 0;
}

void ResetAppGlobals()
{
    ResetGlobals();
    ResetRenderer();
}
