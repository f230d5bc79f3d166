// Win32 pieces: windows that may be as small as the picture, no system error
// boxes, and the X window id under Wine.
#include "window/window.h"
#include "window/window_native.h"

#include <windows.h>

#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_WIN32
#include <GLFW/glfw3native.h>

namespace {

const wchar_t kPreviousProcedure[] = L"glowView.previousWindowProc";

// Windows keeps top-level windows with a caption at least about 120 pixels
// wide (the minimum tracking size); a picture smaller than that must still get
// a client area of exactly its size, so the minimum is one client pixel.
LRESULT CALLBACK SmallWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kPreviousProcedure));
    if (previous == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = CallWindowProcW(previous, hwnd, message, wParam, lParam);
    if (message == WM_GETMINMAXINFO) {
        RECT frame = {0, 0, 1, 1};
        const DWORD style = DWORD(GetWindowLongPtrW(hwnd, GWL_STYLE));
        const DWORD exStyle = DWORD(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
        if (AdjustWindowRectEx(&frame, style, FALSE, exStyle)) {
            MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize.x = frame.right - frame.left;
            info->ptMinTrackSize.y = frame.bottom - frame.top;
        }
    } else if (message == WM_NCDESTROY) {
        RemovePropW(hwnd, kPreviousProcedure);
    }
    return result;
}

}  // namespace

// Win32 reports errors as results of the calls, never through a handler that
// ends the program: there is nothing to install.
void InstallXErrorHandlers() {}

void PrepareNativeWindow(WindowHandle handle)
{
    // The system's own error boxes (a dropped path on a drive with no medium)
    // would wait for a click; a failed open is logged instead.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HWND hwnd = handle ? glfwGetWin32Window(handle) : nullptr;
    if (hwnd == nullptr || GetPropW(hwnd, kPreviousProcedure) != nullptr)
        return;
    const LONG_PTR previous = GetWindowLongPtrW(hwnd, GWLP_WNDPROC);
    SetPropW(hwnd, kPreviousProcedure, reinterpret_cast<HANDLE>(previous));
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SmallWindowProc));
}

// Under Wine the window is an X window too, which the test tools drive; on
// Windows itself there is none.
unsigned long NativeWindowId(WindowHandle handle)
{
    HWND hwnd = handle ? glfwGetWin32Window(handle) : nullptr;
    if (hwnd == nullptr)
        return 0;
    return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetPropA(hwnd, "__wine_x11_whole_window")));
}

