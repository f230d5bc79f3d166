// Pressing keys on a test's window from outside, through xdotool, for tests on the virtual display.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "window/window.h"

inline int RunCommand(const std::string& command)
{
    return RunHostCommand(command);
}

inline bool PumpUntilKeys(WindowHandle window, const std::vector<int>& virtualKeys, bool down)
{
    for (int i = 0; i < 50; ++i) {
        PumpMessages();
        bool all = true;
        for (int key : virtualKeys)
            all = all && IsKeyDown(window, key) == down;
        if (all)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Presses keys (xdotool names) on the focused window and pumps until the
// window holds them all down. A window that another test on the display shows
// takes the focus, which releases every key, so the press is tried again then.
inline bool HoldKeys(WindowHandle window, const std::string& names, const std::vector<int>& virtualKeys)
{
    const std::string id = std::to_string(NativeWindowId(window));
    const std::string target = " --window " + id + " ";
    for (int attempt = 0; attempt < 20; ++attempt) {
        RunCommand("timeout 2 xdotool windowfocus --sync " + id);
        PumpMessages();
        if (RunCommand("xdotool keydown" + target + names) != 0)
            return false;
        if (PumpUntilKeys(window, virtualKeys, true))
            return true;
        RunCommand("xdotool keyup" + target + names);
    }
    return false;
}

inline bool ReleaseKeys(WindowHandle window, const std::string& names, const std::vector<int>& virtualKeys)
{
    const std::string target = " --window " + std::to_string(NativeWindowId(window)) + " ";
    return RunCommand("xdotool keyup" + target + names) == 0 &&
           PumpUntilKeys(window, virtualKeys, false);
}

// Types the keys (xdotool names, `count` presses in all) on the window once it
// has the focus, and pumps until the window has queued them.
inline bool TypeKeys(WindowHandle window, const std::string& names, int count)
{
    const std::string id = std::to_string(NativeWindowId(window));
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int before = QueuedKeyPresses(window);
        RunCommand("timeout 2 xdotool windowfocus --sync " + id);
        PumpMessages();
        if (RunCommand("xdotool key " + names) != 0)
            return false;
        for (int i = 0; i < 100; ++i) {
            PumpMessages();
            if (QueuedKeyPresses(window) >= before + count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return false;
}
