// The program: start-up, the frame loop and tear-down.
#pragma once

#include <string>
#include <vector>

#include "window/window.h"

// Creates the OpenGL device in g_device and initialises it on the window; the
// result of Initialize (0, or -1 without a GL context). A device that fails is freed and
// g_device left null.
int CreateDevice(WindowHandle handle);

// What the command line asks of the program.
struct RunOptions {
    // Opened at start as if dropped: one file (and its folder), one folder, or several files.
    std::vector<std::string> files;
};

// Start-up on the window: the window object, the device, then the application at 640 x 480
// (stop signals served from before the picture is read when serveStopSignals). showLater:
// the window stays hidden until the loader gives its first picture (or a failure), so that
// it opens at the picture's size with the picture in it. False, with one line on standard
// error and the window object gone, when the device cannot be made.
bool StartApplication(WindowHandle handle, bool serveStopSignals, bool showLater = false);

// The loader that reads pictures off the window's thread (g_loader) and the lister of folders
// (g_lister), and their end: the read in progress stops at its next row. Never called under
// g_appLock.
void StartLoader();
void StopLoader();
// Tear-down in the order the GL objects need: the application, the renderer and the device
// while the context lives, then the window object. The window itself stays.
void StopApplication(WindowHandle handle);

// The program: start-up, the frame loop and tear-down. Returns the exit status.
int RunApplication(const RunOptions& options = RunOptions());

// The start values of the application's and the renderer's process-wide state. The wallpaper
// program is deleted, so call it while the GL context is still current.
void ResetAppGlobals();
