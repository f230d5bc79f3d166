// X11 pieces: error handlers (a vanished drag source must not end the program, a lost
// display still does) and the native window id.
#include "window/window_native.h"

#include "window/window.h"

#include <cstdio>
#include <cstdlib>

#include <X11/Xlib.h>

#include <GLFW/glfw3.h>

// NOTE: glfw3native.h needs the XRandR development headers for this one
// declaration, so it is declared here as GLFW defines it.
extern "C" Window glfwGetX11Window(GLFWwindow* window);

#include "foundation/log.h"

namespace {

int HandleXError(Display* display, XErrorEvent* event)
{
    char text[256] = {};
    XGetErrorText(display, event->error_code, text, sizeof(text));
    if (event->error_code == BadWindow) {
        // A drag source that quit before its drop was answered; nothing of ours is lost.
        LogMessage(__LINE__, "", LOG_WARNING, "X11_ERROR_IGNORED: %s (request %d, window 0x%lx)",
                   text, int(event->request_code), static_cast<unsigned long>(event->resourceid));
        return 0;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "glowview: X error: %s (request %d)\n", text, int(event->request_code));
    std::exit(1);
}

int HandleXIOError(Display*)
{
    std::fflush(stdout);
    std::fprintf(stderr, "glowview: lost the connection to the display\n");
    // Nothing may run on the way out: destructors and exit handlers would talk
    // to the display that is gone, or find threads still running.
    std::_Exit(1);
}

}  // namespace

void InstallXErrorHandlers()
{
    XSetErrorHandler(HandleXError);
    XSetIOErrorHandler(HandleXIOError);
}

void PrepareNativeWindow(WindowHandle) {}

unsigned long NativeWindowId(WindowHandle handle)
{
    return handle ? static_cast<unsigned long>(glfwGetX11Window(handle)) : 0;
}

