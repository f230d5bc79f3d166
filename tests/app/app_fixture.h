// The program's start-up on a window of the virtual display, up to the loop, for the application tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "src/app.h"
#include "src/globals.h"
#include "src/picture_loader.h"
#include "src/run.h"
#include "src/window_handlers.h"
#include "test_support.h"
#include "test_window.h"

// Shows what the loader gives, as the frame loop does, until it has nothing more.
inline void ServeLoadsUntilIdle()
{
    while (!g_loader->Idle()) {
        g_loader->WaitForEvent(1.0);
        g_app->ServeLoads();
    }
    g_app->ServeLoads();
}

class AppStartUpTest : public ::testing::Test {
protected:
    // The program's start-up at a 640 x 480 client area; its log goes to startLog.
    // Call it through ASSERT_NO_FATAL_FAILURE: a failed start ends the test there.
    void StartUp()
    {
        handle = CreateAppWindow();
        ASSERT_NE(handle, nullptr) << "no window on the display: " << LastWindowError();
        testing::internal::CaptureStdout();
        const bool started = StartApplication(handle, false);
        startLog = FinishCapture();
        ASSERT_TRUE(started);
        ASSERT_TRUE(WaitForClientSize(handle, 640, 480));
    }
    void TearDown() override
    {
        if (handle)
            StopApplication(handle);
        ResetAppGlobals();
        CloseTestWindow(handle);
    }

    // The CWin registers its search roots; they go with the test.
    ScopedSearchRoots roots;
    WindowHandle handle = nullptr;
    std::string startLog;
};

// For the tests that need the driver without GLSL (see FixedFunctionFixture).
using AppFixedFunctionBase = FixedFunctionFixture<AppStartUpTest>;
