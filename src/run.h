// The program: start-up, the frame loop and tear-down.
#pragma once

#include "window/window.h"

// Creates the OpenGL device in g_device and initialises it on the window; the
// result of Initialize (0, or -1 without a GL context).
int CreateDevice(WindowHandle handle);

// What the command line asks of the program.
struct RunOptions {
    const char* startFile = nullptr;  // opened at start as if dropped
    int fileCount = 0;                // files named; all but the first are ignored
};

// The program: start-up, the frame loop and tear-down. Returns the exit status.
int RunApplication(const RunOptions& options = RunOptions());

// The start values of the application's and the renderer's process-wide state. The wallpaper
// program is deleted, so call it while the GL context is still current.
void ResetAppGlobals();
