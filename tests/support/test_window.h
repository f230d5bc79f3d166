// Windows of the program's kind on the virtual display, for tests: waiting for a size, and a fixture.
#pragma once

#include <gtest/gtest.h>

#include "window/window.h"

// Pumps events until the window's drawable is width x height (at most two seconds).
bool WaitForClientSize(WindowHandle window, int width, int height);

// Destroys the window, if there is one, and leaves the window system running.
void CloseTestWindow(WindowHandle window);

// A test with one window, destroyed after the test.
class WindowTestBase : public ::testing::Test {
protected:
    // Creates the window; a fatal failure when the display has none.
    void OpenWindow();
    void TearDown() override;

    WindowHandle window = nullptr;
};
