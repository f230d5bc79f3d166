// A hidden window with a current GL context made by the device, for tests on the virtual display.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/graphics.h"
#include "window/window.h"

// Pumps events until the window's drawable is width x height (at most two seconds).
inline bool WaitForClientSize(WindowHandle window, int width, int height)
{
    for (int i = 0; i < 200; ++i) {
        PumpMessages();
        int w = 0, h = 0;
        GetClientSize(window, &w, &h);
        if (w == width && h == height)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A window with the given drawable size and the device initialised on it.
class GlWindowTest : public ::testing::Test {
protected:
    void OpenWindow(int width, int height)
    {
        window = CreateAppWindow();
        ASSERT_NE(window, nullptr) << "no window on the display: " << LastWindowError();
        SetClientSize(window, width, height);
        ASSERT_TRUE(WaitForClientSize(window, width, height));
        ASSERT_EQ(device.Initialize(window, 0, 0), 0);
    }
    void TearDown() override
    {
        if (window) {
            device.Shutdown();
            DestroyAppWindow(window);
        }
        // NOTE: no TerminateWindowSystem: it makes Mesa unload its driver, whose
        // one-time allocations the leak checker would then report without a name.
    }

    WindowHandle window = nullptr;
    zorOpenGL device;
};
