// The program's start-up on a window of the virtual display, up to the loop, for the application tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "src/app.h"
#include "test_window.h"

class AppStartUpTest : public ::testing::Test {
protected:
    // The start-up sequence of the program at a 640 x 480 client area; its log goes to startLog.
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
        startLog = testing::internal::GetCapturedStdout();
        g_ready = true;
        SetClientSize(handle, 640, 480);
        ASSERT_TRUE(WaitForClientSize(handle, 640, 480));
    }
    // As the program ends: the application's textures go while their context lives.
    void TearDown() override
    {
        delete g_app;
        g_app = nullptr;
        CloseTestWindow(handle);
        delete g_window;
        g_window = nullptr;
    }

    WindowHandle handle = nullptr;
    std::string startLog;
};
