// The application window CWin and sizing its client area.
#pragma once

#include "window/window.h"

// The application window: frames, drops and size changes.
class CWin : public OxWindow {
public:
    explicit CWin(WindowHandle handle);

    void OnDropFile(const char* path) override;
    // One file: its folder's pictures, starting at it; one folder: its pictures; several
    // files: those, in the order given.
    void OnDropFiles(const char* const* paths, int count) override;
    void OnSize(SizeRecord* record) override;
    void OnSizing(SizeRecord* record) override;
    void OnPaint() override;
    // A left-button drag and the wheel (Shift: sideways) pan a picture larger than the view;
    // Ctrl+wheel zooms around the pointer.
    void OnButtonDown(MouseRecord* record) override;
    void OnButtonUp(MouseRecord* record) override;
    void OnMouseMove(MouseRecord* record) override;
    void OnMouseWheel(MouseRecord* record) override;

private:
    // Takes the window's key presses: quit keys, F11, Space and Enter at once,
    // the others queued for the update step.
    void TakeKeys();
};

// Gives the window a client area of width x height (at most the work area; a full-screen
// window keeps its size) and handles the new size at once.
void SizeClientArea(CWin* window, int width, int height);
