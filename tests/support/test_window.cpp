// Windows of the program's kind on the virtual display, for tests.
#include "test_window.h"

#include <chrono>
#include <thread>

bool WaitForClientSize(WindowHandle window, int width, int height)
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

void CloseTestWindow(WindowHandle window)
{
    if (window)
        DestroyAppWindow(window);
    // NOTE: no TerminateWindowSystem: it makes Mesa unload its driver, whose
    // one-time allocations the leak checker would then report without a name.
}

void WindowTestBase::OpenWindow()
{
    window = CreateAppWindow();
    ASSERT_NE(window, nullptr) << "no window on the display: " << LastWindowError();
}

void WindowTestBase::TearDown()
{
    CloseTestWindow(window);
}
