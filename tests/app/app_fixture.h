// The program's start-up on a window of the virtual display, up to the loop, for the application tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "src/app.h"
#include "src/globals.h"
#include "src/run.h"
#include "src/window_handlers.h"
#include "test_support.h"
#include "test_window.h"

class AppStartUpTest : public ::testing::Test {
protected:
    // The start-up sequence of the program at a 640 x 480 client area; its log goes to startLog.
    // Call it through ASSERT_NO_FATAL_FAILURE: a failed start ends the test there.
    void StartUp()
    {
        handle = CreateAppWindow();
        ASSERT_NE(handle, nullptr) << "no window on the display: " << LastWindowError();
        g_window = new CWin(handle);
        AttachWindowObject(handle, g_window);
        ShowAppWindow(handle);
        ASSERT_EQ(CreateDevice(handle), 0);
        g_app = new CLumaApp(handle);
        testing::internal::CaptureStdout();
        g_app->Reload(640, 480);
        startLog = FinishCapture();
        g_ready = true;
        SetClientSize(handle, 640, 480);
        ASSERT_TRUE(WaitForClientSize(handle, 640, 480));
    }
    // GL objects go while their context lives: the application (whose wall deletes its
    // textures) and the device first, the window after them.
    void TearDown() override
    {
        delete g_app;
        g_app = nullptr;
        ResetAppGlobals();
        if (g_device) {
            LockGuard lock(g_deviceLock);
            g_device->Shutdown();
            delete static_cast<zorOpenGL*>(g_device);
            g_device = nullptr;
        }
        CloseTestWindow(handle);
        delete g_window;
        g_window = nullptr;
    }

    // The CWin registers its search roots; they go with the test.
    ScopedSearchRoots roots;
    WindowHandle handle = nullptr;
    std::string startLog;
};

// For the tests that need the driver without GLSL (see FixedFunctionFixture).
using AppFixedFunctionBase = FixedFunctionFixture<AppStartUpTest>;
