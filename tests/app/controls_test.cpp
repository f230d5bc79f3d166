// The keys of the update step: each press acts once, in its order, and only a new glow
// restarts the countdown.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/glow.h"
#include "src/snapshot.h"
#include "src/wallpaper.h"
#include "test_support.h"
#include "app/app_fixture.h"
#include "app/key_press.h"
#include "app/picture_fixture.h"

// Without GLSL, so that a key that changes the glow restarts the countdown.
TEST_F(PictureFixedFunctionTest, EachPressActsOnceInItsOrder)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    const KeyPress left{VK_LEFT, 0, false}, right{VK_RIGHT, 0, false}, one{0x31, 0, false};
    const KeyPress f5{VK_F5, 0, false};
    struct Case {
        const char* what;
        std::vector<KeyPress> presses;
        float power, wantPower, wantR;
        bool restarts, reloads;
    };
    const Case cases[] = {
        {"Left raises LEVEL", {left}, 10, 11, 1, true, false},
        {"Left at 100: the glow stays", {left}, 100, 100, 1, false, false},
        {"Right lowers LEVEL", {right}, 10, 9, 1, true, false},
        {"Right at 1: the glow stays", {right}, 1, 1, 1, false, false},
        {"Left held: every repeat acts", {left, {VK_LEFT, 0, true}, {VK_LEFT, 0, true}}, 10, 13, 1, true, false},
        {"1 held: the repeats do not", {one, {0x31, 0, true}, {0x31, 0, true}}, 10, 10, 0, true, false},
        {"1 twice: the glow is as it was", {one, one}, 10, 10, 1, false, false},
        {"F5 then 1: the reload first", {f5, one}, 10, 10, 0, true, true},
        {"F fits: the glow stays", {{0x46, 0, false}, {0x46, 0, false}}, 10, 10, 1, false, false},
        {"a key that does nothing", {{0x5A, 0, false}}, 10, 10, 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_weightR = 1;
        g_power = c.power;
        g_app->countdown = -1;
        for (const KeyPress& press : c.presses)
            g_app->QueueKey(press);
        const std::string log = StdoutOf([] { g_app->Update(); });
        EXPECT_EQ(g_power, c.wantPower);
        EXPECT_EQ(g_weightR, c.wantR);
        EXPECT_EQ(g_app->countdown, c.restarts ? 19 : -1)
            << "set to 20 by a key that changes the glow, lowered in the same update";
        EXPECT_EQ(log.find("GL_VENDOR: ") != std::string::npos, c.reloads) << log;
        EXPECT_TRUE(g_app->pendingKeys.empty());
    }
    // S before any picture: the request is set and waits.
    g_snapshotRequested = false;
    g_app->countdown = -1;
    g_app->QueueKey({0x53, 0, false});
    g_app->Update();
    EXPECT_TRUE(g_snapshotRequested);
    EXPECT_EQ(g_app->countdown, -1) << "a snapshot does not run the pass again";
    g_snapshotRequested = false;
    g_weightR = 1;
    g_power = 10;
}
