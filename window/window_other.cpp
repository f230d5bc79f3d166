// Native pieces where the window system is not X11: nothing to install, no X id.
#include "window/window.h"
#include "window/window_native.h"

#include <cstring>

void InstallXErrorHandlers() {}

void PrepareNativeWindow(WindowHandle) {}

unsigned long NativeWindowId(WindowHandle)
{
    return 0;
}

void NativeDropPath(const char* dropped, char* path, size_t size)
{
    if (path == nullptr || size == 0)
        return;
    std::strncpy(path, dropped ? dropped : "", size - 1);
    path[size - 1] = '\0';
}
