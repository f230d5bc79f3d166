// Win32 pieces: windows that may be as small as the picture, no system error
// boxes, dropped paths in the ANSI code page, and the X window id under Wine.
#include "window/window.h"
#include "window/window_native.h"

#include <cstring>
#include <string>

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

void CopyCut(const char* text, char* destination, size_t size)
{
    std::strncpy(destination, text, size - 1);
    destination[size - 1] = '\0';
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

void NativeDropPath(const char* dropped, char* path, size_t size)
{
    if (path == nullptr || size == 0)
        return;
    path[0] = '\0';
    if (dropped == nullptr)
        return;
    // GLFW gives UTF-8, while the program's files are opened with ANSI paths,
    // as DragQueryFileA would give them.
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, dropped, -1, nullptr, 0);
    if (wideLength <= 0) {
        CopyCut(dropped, path, size);
        return;
    }
    std::wstring wide(size_t(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, dropped, -1, &wide[0], wideLength);
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                     nullptr, &lossy);
    if (lossy) {
        // A name that the code page cannot spell is reached by its short (8.3) name.
        const DWORD shortLength = GetShortPathNameW(wide.c_str(), nullptr, 0);
        if (shortLength > 0) {
            std::wstring shortName(size_t(shortLength), L'\0');
            if (GetShortPathNameW(wide.c_str(), &shortName[0], shortLength) > 0) {
                shortName.resize(std::wcslen(shortName.c_str()) + 1);
                wide = shortName;
            }
        }
        length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                     nullptr, nullptr);
    }
    if (length <= 0)
        return;
    std::string ansi(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &ansi[0], length, nullptr,
                        nullptr);
    CopyCut(ansi.c_str(), path, size);
}
