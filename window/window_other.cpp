// Native pieces where the window system is not X11: nothing to install, no X id.
#include "window/window.h"
#include "window/window_native.h"

void InstallXErrorHandlers() {}

void PrepareNativeWindow(WindowHandle) {}

unsigned long NativeWindowId(WindowHandle)
{
    return 0;
}

