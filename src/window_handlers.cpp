// The window object CWin: frames, keys, drops, size changes and the mouse.
#include "src/window_handlers.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/assets.h"
#include "foundation/file.h"
#include "src/app.h"
#include "src/controls.h"
#include "src/globals.h"
#include "src/loading.h"

// Gives the window a client area of width x height and handles the new size at once.
// NOTE: X11 reports a resize later, in an event, where Windows sends WM_SIZE from
// inside SetWindowPos; without this the next frame, and a snapshot taken in it,
// would still use the old size while the drawable already has the new one.
void SizeClientArea(CWin* window, int width, int height)
{
    // A full-screen window keeps the monitor's size: a new picture is placed in it.
    if (IsFullScreen(window->handle)) {
        SizeRecord record = {0, 0, 0, 0};
        GetClientSize(window->handle, &record.width, &record.height);
        if (record.width > 0 && record.height > 0)
            window->OnSize(&record);
        return;
    }
    // Never larger than the work area: a larger picture is panned or fitted in it.
    int largestWidth = 0, largestHeight = 0;
    GetWorkAreaClientSize(window->handle, &largestWidth, &largestHeight);
    if (largestWidth > 0 && largestHeight > 0) {
        width = std::min(width, largestWidth);
        height = std::min(height, largestHeight);
    }
    SetClientSize(window->handle, width, height);
    MoveIntoWorkArea(window->handle);
    SizeRecord record = {0, 0, 0, 0};
    GetClientSize(window->handle, &record.width, &record.height);
    if (record.width > 0 && record.height > 0)
        window->OnSize(&record);
}

CWin::CWin(WindowHandle handle) : OxWindow(handle)
{
    LockGuard lock(g_appLock);
    AddSearchRoot("./");
    AddSearchRoot("./paid/assets");
    AcceptDroppedFiles(handle, true);
}

void CWin::TakeKeys()
{
    KeyPress press;
    while (TakeKeyPress(handle, &press)) {
        if (press.virtualKey == VK_ESCAPE && IsFullScreen(handle)) {
            SetFullScreen(handle, false);  // Escape leaves full screen first, then quits
        } else if (IsQuitKey(press)) {
            RequestClose(handle);
        } else if (press.virtualKey == VK_F11) {
            if (!press.repeat)
                SetFullScreen(handle, !IsFullScreen(handle));
        } else if (press.virtualKey == VK_SPACE) {
            if (g_paused) {
                g_app->Update();  // one step; a held Space steps at the key-repeat pace
            } else if (!press.repeat) {
                g_app->ApplyKeys();  // the keys pressed before the pause still act
                g_paused = true;
                g_app->UpdateTitle(handle);
            }
        } else if (press.virtualKey == VK_RETURN) {
            if (g_paused) {
                g_paused = false;
                g_app->UpdateTitle(handle);
            }
        } else {
            g_app->QueueKey(press);
        }
    }
}

void CWin::OnPaint()
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    // While paused the update step waits, and the keys for it wait in its queue.
    TakeKeys();
    if (!g_paused)
        g_app->Update();
    g_app->needsRedraw = false;
    {
        LockGuard deviceLock(g_deviceLock);
        g_device->BeginFrame();
    }
    g_app->DrawFrame();
    {
        LockGuard deviceLock(g_deviceLock);
        g_device->EndFrame();
    }
}

void CWin::OnDropFile(const char* path)
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    OnDropFiles(&path, 1);
}

void CWin::OnDropFiles(const char* const* paths, int count)
{
    if (g_reloadDepth != 0 || count < 1)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    // With a loader the picture comes later, from ServeLoads, which sizes the window then.
    const uint64_t shownBefore = g_app->picturesShown;
    g_app->BrowseFiles(std::vector<std::string>(paths, paths + count));
    if (g_loader == nullptr && g_app->picturesShown != shownBefore)
        SizeClientArea(this, g_app->pictureWidth, g_app->pictureHeight);
}

void CWin::OnSize(SizeRecord* record)
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    g_app->viewWidth = record->width;
    g_app->viewHeight = record->height;
    g_app->Invalidate();
    // A fitted picture's scale follows the view, and the title shows it.
    if (g_app->fitToWindow)
        g_app->UpdateTitle(handle);
    LockGuard deviceLock(g_deviceLock);
    g_device->SetDisplayMode(record->width, record->height, 0);
}

void CWin::OnSizing(SizeRecord* record)
{
    OnSize(record);
}

void CWin::OnButtonDown(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_reloadDepth != 0 || !g_ready || !(record->buttons & MK_LBUTTON))
        return;
    g_app->dragging = true;
    g_app->dragX = record->x;
    g_app->dragY = record->y;
}

void CWin::OnButtonUp(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_ready && !(record->buttons & MK_LBUTTON))
        g_app->dragging = false;
}

void CWin::OnMouseMove(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_reloadDepth != 0 || !g_ready || !g_app->dragging)
        return;
    // A release outside the window may never have been reported.
    if (!(record->buttons & MK_LBUTTON)) {
        g_app->dragging = false;
        return;
    }
    g_app->PanBy(record->x - g_app->dragX, record->y - g_app->dragY);
    g_app->dragX = record->x;
    g_app->dragY = record->y;
}

void CWin::OnMouseWheel(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_reloadDepth != 0 || !g_ready || record->wheel == 0)
        return;
    // Ctrl+wheel zooms a step a notch around the point under the pointer.
    if (record->buttons & MK_CONTROL) {
        const int direction = record->wheel > 0 ? 1 : -1;
        for (int notch = 0; notch < std::abs(record->wheel); ++notch)
            g_app->ZoomAt(record->x, record->y, direction);
        return;
    }
    // An eighth of the view per notch; wheel up shows more of the top (or, with Shift, the left).
    if (record->buttons & MK_SHIFT)
        g_app->PanBy(record->wheel * std::max(16, g_app->viewWidth / 8), 0);
    else
        g_app->PanBy(0, record->wheel * std::max(16, g_app->viewHeight / 8));
}

