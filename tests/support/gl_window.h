// A hidden window with a current GL context made by the device, for tests on the virtual display.
#pragma once

#include "device/graphics.h"
#include "test_window.h"

// A window with the given drawable size and the device initialised on it.
class GlWindowTest : public WindowTestBase {
protected:
    void OpenWindow(int width, int height)
    {
        WindowTestBase::OpenWindow();
        if (!window)
            return;
        SetClientSize(window, width, height);
        ASSERT_TRUE(WaitForClientSize(window, width, height));
        ASSERT_EQ(device.Initialize(window, 0, 0), 0);
    }
    void TearDown() override
    {
        if (window)
            device.Shutdown();
        WindowTestBase::TearDown();
    }

    zorOpenGL device;
};
