// Tests of the window layer: key and mouse translation, client sizing, event routing and the pump.
#include <GLFW/glfw3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "test_window.h"
#include "window/window.h"

TEST(WindowTranslationTest, GlfwKeysBecomeVirtualKeyCodes)
{
    const struct {
        int glfwKey;
        int virtualKey;
    } rows[] = {
        {GLFW_KEY_A, 0x41},          {GLFW_KEY_S, 0x53},         {GLFW_KEY_Z, 0x5A},
        {GLFW_KEY_0, 0x30},          {GLFW_KEY_1, 0x31},         {GLFW_KEY_3, 0x33},
        {GLFW_KEY_F1, 0x70},         {GLFW_KEY_F5, 0x74},        {GLFW_KEY_F12, 0x7B},
        {GLFW_KEY_LEFT, 0x25},       {GLFW_KEY_RIGHT, 0x27},     {GLFW_KEY_UP, 0x26},
        {GLFW_KEY_SPACE, 0x20},      {GLFW_KEY_ENTER, 0x0D},     {GLFW_KEY_KP_ENTER, 0x0D},
        {GLFW_KEY_ESCAPE, 0x1B},     {GLFW_KEY_LEFT_SHIFT, 0x10}, {GLFW_KEY_RIGHT_CONTROL, 0x11},
        {GLFW_KEY_LEFT_ALT, 0x12},   {GLFW_KEY_KP_3, 0x63},      {GLFW_KEY_KP_ADD, 0x6B},
        {GLFW_KEY_SEMICOLON, 0xBA},  {GLFW_KEY_GRAVE_ACCENT, 0xC0}, {GLFW_KEY_UNKNOWN, 0},
        {GLFW_KEY_WORLD_1, 0},
    };
    // Where the layout is not known the keys keep their US places.
    for (const auto& row : rows)
        EXPECT_EQ(VirtualKeyFromGlfwKey(row.glfwKey, nullptr), row.virtualKey)
            << "GLFW key " << row.glfwKey;
}

// The zoom keys are the keys that type +, = and - on the layout in use (what
// glfwGetKeyName gives for the key), wherever the layout puts them; letters, digits and the
// keypad keep their codes whatever they type.
TEST(WindowTranslationTest, PlusAndMinusAreTheKeysThatTypeThem)
{
    const struct {
        const char* layout;
        int glfwKey;
        const char* typed;
        int virtualKey;
    } rows[] = {
        {"us", GLFW_KEY_EQUAL, "=", VK_OEM_PLUS},
        {"us", GLFW_KEY_MINUS, "-", VK_OEM_MINUS},
        {"us", GLFW_KEY_RIGHT_BRACKET, "]", VK_OEM_6},
        {"us", GLFW_KEY_KP_ADD, "+", VK_ADD},
        {"us", GLFW_KEY_KP_SUBTRACT, "-", VK_SUBTRACT},
        {"us", GLFW_KEY_KP_EQUAL, "=", VK_OEM_PLUS},
        {"de", GLFW_KEY_RIGHT_BRACKET, "+", VK_OEM_PLUS},
        {"de", GLFW_KEY_SLASH, "-", VK_OEM_MINUS},
        {"de", GLFW_KEY_EQUAL, "\xC2\xB4", 0},  // the dead acute
        {"de", GLFW_KEY_MINUS, "\xC3\x9F", 0},  // sharp s
        {"de", GLFW_KEY_SEMICOLON, "\xC3\xB6", VK_OEM_1},
        {"de", GLFW_KEY_Y, "z", 0x59},
        {"de", GLFW_KEY_KP_ADD, "+", VK_ADD},
        {"fr", GLFW_KEY_EQUAL, "=", VK_OEM_PLUS},
        {"fr", GLFW_KEY_MINUS, ")", 0},
        {"fr", GLFW_KEY_6, "-", 0x36},  // the digit row stays digits, as on Windows
        {"fr", GLFW_KEY_1, "&", 0x31},
        {"cz", GLFW_KEY_1, "+", 0x31},
        {"other", GLFW_KEY_WORLD_2, "-", VK_OEM_MINUS},
        {"other", GLFW_KEY_WORLD_1, "x", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(VirtualKeyFromGlfwKey(row.glfwKey, row.typed), row.virtualKey)
            << row.layout << ": GLFW key " << row.glfwKey << " typing '" << row.typed << "'";
}

// On a scaled screen GLFW gives the pointer in screen units and the drawable has more pixels
// than the window has units; the view counts drawable pixels.
TEST(WindowTranslationTest, PointerPositionsAreScaledToDrawablePixels)
{
    const struct {
        int windowSide, drawableSide;
        double position;
        int pixel;
    } rows[] = {
        {640, 640, 100.7, 100},     // unscaled
        {640, 1280, 100.7, 201},    // 200 %
        {640, 1280, 0.2, 0},
        {800, 1000, 333.3, 416},    // 125 %
        {800, 1200, 799.9, 1199},   // 150 %, the last pixel
        {1280, 640, 100.0, 50},     // a drawable smaller than the window
        {0, 1280, 100.7, 100},      // sizes not known yet: unscaled
        {640, 0, 100.7, 100},
        {640, 1280, -10.0, -20},    // outside the window while dragging
        {20000, 40000, 19000.0, 32767},  // the record's coordinates stop at 16 bits
    };
    for (const auto& row : rows) {
        const double scale = DrawableScaleOf(row.windowSide, row.drawableSide);
        const MouseRecord record =
            MakeMouseRecord(row.position * scale, row.position * scale, 0.0, 0);
        EXPECT_EQ(record.x, row.pixel) << row.windowSide << " units, " << row.drawableSide
                                       << " pixels, at " << row.position;
        EXPECT_EQ(record.y, row.pixel);
    }
}

TEST(WindowTranslationTest, KeyLParamIsBuiltAsWindowsBuildsIt)
{
    EXPECT_EQ(KeyLParam(0x39, false, false), 0x00390001);
    EXPECT_EQ(uint32_t(KeyLParam(0x39, true, false)), 0x40390001u);
    EXPECT_EQ(uint32_t(KeyLParam(0x139, false, true)), 0x80390001u) << "scan code cut to 8 bits";
}

TEST(WindowTranslationTest, MouseRecordsCarryPositionWheelAndButtons)
{
    const struct {
        double x, y, scroll;
        int buttons;
        MouseRecord expected;
    } rows[] = {
        {10.7, 20.2, 0.0, MK_LBUTTON, {10, 20, 0, 1, 1, (20 << 16) | 10}},
        {-5.0, -1.0, 0.0, 0, {-5, -1, 0, 0, 0, int32_t(0xFFFFFFFBu)}},
        {0, 0, 1.0, 0, {0, 0, 1, 0, 120 << 16, 0}},
        {0, 0, 0.5, 0, {0, 0, 0, 0, 60 << 16, 0}},
        {0, 0, -2.0, MK_RBUTTON | MK_SHIFT, {0, 0, -2, 6, int32_t(0xFF100006u), 0}},
        {70000.0, 1e12, 0.0, 0, {32767, 32767, 0, 0, 0, 0x7FFF7FFF}},
    };
    for (const auto& row : rows) {
        const MouseRecord r = MakeMouseRecord(row.x, row.y, row.scroll, row.buttons);
        EXPECT_EQ(r.x, row.expected.x) << row.x;
        EXPECT_EQ(r.y, row.expected.y) << row.y;
        EXPECT_EQ(r.wheel, row.expected.wheel) << row.scroll;
        EXPECT_EQ(r.buttons, row.expected.buttons);
        EXPECT_EQ(r.wParam, row.expected.wParam) << row.scroll;
        EXPECT_EQ(r.lParam, row.expected.lParam) << row.x << "," << row.y;
    }
}

namespace {

// Records the events that reach it.
class RecordingWindow : public OxWindow {
public:
    using OxWindow::OxWindow;
    void OnSize(SizeRecord* record) override
    {
        sizes.push_back(*record);
        order += 'S';
    }
    void OnSizing(SizeRecord* record) override
    {
        sizings.push_back(*record);
        order += 'G';
    }
    void OnPaint() override { ++paints; }
    void OnDropFile(const char* path) override { drops.push_back(path); }
    void OnDropFiles(const char* const* paths, int count) override
    {
        dropLists.emplace_back(paths, paths + count);
        OxWindow::OnDropFiles(paths, count);
    }
    void OnButtonDown(MouseRecord* record) override { mice.push_back({'D', *record}); }
    void OnButtonUp(MouseRecord* record) override { mice.push_back({'U', *record}); }
    void OnMouseMove(MouseRecord* record) override { mice.push_back({'M', *record}); }

    std::vector<SizeRecord> sizes;
    std::vector<SizeRecord> sizings;
    std::string order;  // S for OnSize, G for OnSizing
    std::vector<std::string> drops;
    std::vector<std::vector<std::string>> dropLists;
    int paints = 0;
    std::vector<std::pair<char, MouseRecord>> mice;  // D down, U up, M move
};

class WindowTest : public WindowTestBase {
protected:
    void SetUp() override { OpenWindow(); }
};

}  // namespace

TEST_F(WindowTest, SetClientSizeGivesTheDrawableAndReportsOneSize)
{
    RecordingWindow object(window);
    AttachWindowObject(window, &object);
    ShowAppWindow(window);
    SetClientSize(window, 640, 480);
    ASSERT_TRUE(WaitForClientSize(window, 640, 480));
    PumpMessages();
    ASSERT_FALSE(object.sizes.empty());
    EXPECT_EQ(object.sizes.back().width, 640);
    EXPECT_EQ(object.sizes.back().height, 480);
    EXPECT_EQ(object.sizes.back().kind, 0);
    EXPECT_TRUE(object.sizings.empty()) << "the program's own resize is no user resize";

    SetClientSize(window, 301, 199);
    ASSERT_TRUE(WaitForClientSize(window, 301, 199));
    PumpMessages();
    EXPECT_EQ(object.sizes.back().width, 301);
    EXPECT_EQ(object.sizes.back().height, 199);
    AttachWindowObject(window, nullptr);
}

TEST_F(WindowTest, EventsReachOnlyTheAttachedObject)
{
    RecordingWindow other(nullptr);
    AttachWindowObject(window, &other);  // its handle is not this window's
    SetClientSize(window, 200, 100);
    ASSERT_TRUE(WaitForClientSize(window, 200, 100));
    EXPECT_TRUE(other.sizes.empty());
    AttachWindowObject(window, nullptr);
}

TEST_F(WindowTest, PumpReportsACloseRequestAndNeverBlocks)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(PumpMessages());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    RequestClose(window);
    EXPECT_TRUE(PumpMessages());
    EXPECT_TRUE(PumpMessages()) << "it stays asked to close";
}

TEST_F(WindowTest, NoKeyIsDownAndAHiddenWindowHasNoFocus)
{
    PumpMessages();
    for (int key : {int(VK_SPACE), int(VK_RETURN), 0x53, int(VK_F5), 0, -1})
        EXPECT_FALSE(IsKeyDown(window, key)) << key;
    EXPECT_FALSE(IsForeground(window));
    EXPECT_FALSE(IsKeyDown(nullptr, VK_SPACE));
}

TEST_F(WindowTest, AUserResizeReportsTheOuterSizeThenTheClientSize)
{
    RecordingWindow object(window);
    AttachWindowObject(window, &object);
    ShowAppWindow(window);
    SetClientSize(window, 640, 480);
    ASSERT_TRUE(WaitForClientSize(window, 640, 480));
    object.order.clear();
    const std::string id = std::to_string(NativeWindowId(window));
    ASSERT_EQ(RunHostCommand(("xdotool windowsize " + id + " 500 300").c_str()), 0);
    ASSERT_TRUE(WaitForClientSize(window, 500, 300));
    PumpMessages();
    ASSERT_FALSE(object.sizings.empty());
    // The outer size is the client size plus the frame: none on X without a
    // window manager, the frame that Win32 draws itself under Wine.
    int left = 0, top = 0, right = 0, bottom = 0;
    glfwGetWindowFrameSize(window, &left, &top, &right, &bottom);
    EXPECT_EQ(object.sizings.back().width, 500 + left + right);
    EXPECT_EQ(object.sizings.back().height, 300 + top + bottom);
    ASSERT_FALSE(object.order.empty());
    EXPECT_EQ(object.order.back(), 'S') << "the client size comes last: " << object.order;
    EXPECT_EQ(object.sizes.back().width, 500);
    EXPECT_EQ(object.sizes.back().height, 300);
    AttachWindowObject(window, nullptr);
}

// A path dropped from the X display as the program receives it: under Wine
// the Unix root is drive Z:.
static std::string Dropped(const std::string& unixPath)
{
#ifdef _WIN32
    return "Z:" + NativePath(unixPath);
#else
    return unixPath;
#endif
}

TEST_F(WindowTest, DropsDeliverEveryWholePathInOrder)
{
    RecordingWindow object(window);
    ShowAppWindow(window);
    SetClientSize(window, 100, 100);
    ASSERT_TRUE(WaitForClientSize(window, 100, 100));
    const std::string id = std::to_string(NativeWindowId(window));
    const std::string tool = XDND_DROP_TOOL;
    if (tool.empty())
        GTEST_SKIP() << "built without Xlib: no drop tool to drag files onto the window";
    const std::string longPath = "/tmp/" + std::string(300, 'n') + "/picture.png";
    struct Row {
        const char* what;
        std::string files;
        bool accepted;
        std::vector<std::string> expected;
    } rows[] = {
        {"not accepted yet", "/tmp/a.png", false, {}},
        {"three files", "/tmp/first.png /tmp/second.png /tmp/third.png", true,
         {Dropped("/tmp/first.png"), Dropped("/tmp/second.png"), Dropped("/tmp/third.png")}},
        {"a long path, never cut to another file's name", longPath, true, {Dropped(longPath)}},
        {"accepted no more", "/tmp/b.png", false, {}},
    };
    AttachWindowObject(window, &object);
    for (const Row& row : rows) {
        AcceptDroppedFiles(window, row.accepted);
        object.drops.clear();
        object.dropLists.clear();
        const std::string command = tool + " --timeout 5 " + id + " " + row.files + " &";
        ASSERT_EQ(RunHostCommand(command.c_str()), 0);
        for (int i = 0; i < 100 && object.drops.empty(); ++i) {
            PumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!row.accepted) {
            EXPECT_TRUE(object.drops.empty()) << row.what;
            continue;
        }
        ASSERT_EQ(object.drops.size(), 1u) << row.what;
        EXPECT_EQ(object.drops[0], row.expected[0]) << row.what;
        ASSERT_EQ(object.dropLists.size(), 1u) << row.what;
        EXPECT_EQ(object.dropLists[0], row.expected) << row.what;
    }
    AttachWindowObject(window, nullptr);
}

TEST_F(WindowTest, KeyPressesQueueInOrderWithModifiersAndRepeats)
{
    ShowAppWindow(window);
    SetClientSize(window, 100, 100);
    ASSERT_TRUE(WaitForClientSize(window, 100, 100));
    const std::string id = std::to_string(NativeWindowId(window));
    // Another test's window may take the focus for a moment: try again then.
    std::vector<KeyPress> presses;
    for (int attempt = 0; attempt < 5; ++attempt) {
        while (TakeKeyPress(window, nullptr)) {
        }
        RunHostCommand("timeout 2 xdotool windowfocus --sync " + id);
        PumpMessages();
        // Held past the key-repeat delay, Left repeats while 1 and Ctrl+Q are taps.
        ASSERT_EQ(RunHostCommand("xdotool key 1 ctrl+q keydown Left sleep 1 keyup Left"), 0);
        int queued = 0;
        for (int i = 0; i < 50; ++i) {
            PumpMessages();
            if (QueuedKeyPresses(window) == queued && queued >= 3)
                break;
            queued = QueuedKeyPresses(window);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        presses.clear();
        KeyPress press;
        while (TakeKeyPress(window, &press))
            presses.push_back(press);
        if (IsForeground(window) && presses.size() >= 4)
            break;
    }
    EXPECT_EQ(QueuedKeyPresses(window), 0);
    // Ctrl itself is a key too; the letters carry it as a modifier.
    std::vector<KeyPress> keys;
    for (const KeyPress& press : presses) {
        if (press.virtualKey != VK_CONTROL)
            keys.push_back(press);
    }
    ASSERT_GE(keys.size(), 4u) << "Left held 1 s repeats";
    EXPECT_EQ(keys[0].virtualKey, 0x31);
    EXPECT_EQ(keys[0].modifiers, 0);
    EXPECT_FALSE(keys[0].repeat);
    EXPECT_EQ(keys[1].virtualKey, 0x51);
    EXPECT_EQ(keys[1].modifiers, int(KEY_MOD_CONTROL));
    EXPECT_EQ(keys[2].virtualKey, int(VK_LEFT));
    EXPECT_FALSE(keys[2].repeat) << "the press itself";
    for (size_t i = 3; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].virtualKey, int(VK_LEFT)) << i;
        EXPECT_TRUE(keys[i].repeat) << i;
    }
    EXPECT_FALSE(TakeKeyPress(nullptr, nullptr));
}

TEST_F(WindowTest, WaitingEndsOnAWakeFromAnotherThreadOrAfterItsTime)
{
    PumpMessages();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitMessages(0.2));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(5));

    start = std::chrono::steady_clock::now();
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        WakeMessageWait();
    });
    EXPECT_FALSE(WaitMessages(-1.0));
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

namespace {

// "X,Y" of the window on the screen, as xdotool reports it.
std::string Position(const std::string& id)
{
    std::string text, output;
    RunHostCommand("xdotool getwindowgeometry " + id, &output);
    std::istringstream lines(output);
    for (std::string l; std::getline(lines, l);) {
        const size_t at = l.find("Position: ");
        if (at != std::string::npos)
            text = l.substr(at + 10, l.find(' ', at + 10) - at - 10);
    }
    return text;
}

}  // namespace

TEST_F(WindowTest, MouseEventsCarryThePositionOfTheirOwnEvent)
{
    RecordingWindow object(window);
    AttachWindowObject(window, &object);
    ShowAppWindow(window);
    SetClientSize(window, 300, 200);
    ASSERT_TRUE(WaitForClientSize(window, 300, 200));
    const std::string id = std::to_string(NativeWindowId(window));
    ASSERT_EQ(RunHostCommand(("xdotool windowmove --sync " + id + " 0 0 mousemove --window " + id +
                           " 20 30").c_str()),
              0);
    for (int i = 0; i < 50 && (object.mice.empty() || object.mice.back().second.x != 20); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PumpMessages();
    }
    object.mice.clear();
    // A whole drag reaches the window before it pumps again: each event keeps its place.
    ASSERT_EQ(RunHostCommand(("xdotool mousedown 1 mousemove --window " + id +
                           " 80 60 mouseup 1").c_str()),
              0);
    std::string kinds;
    for (int i = 0; i < 50 && kinds.find('U') == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PumpMessages();
        kinds.clear();
        for (const auto& event : object.mice)
            kinds += event.first;
    }
    ASSERT_EQ(kinds, "DMU");
    EXPECT_EQ(object.mice[0].second.x, 20);
    EXPECT_EQ(object.mice[0].second.y, 30);
    EXPECT_TRUE(object.mice[0].second.buttons & MK_LBUTTON);
    EXPECT_EQ(object.mice[1].second.x, 80);
    EXPECT_EQ(object.mice[1].second.y, 60);
    EXPECT_FALSE(object.mice[2].second.buttons & MK_LBUTTON);
    AttachWindowObject(window, nullptr);
}

TEST_F(WindowTest, TheWorkAreaBoundsSizeAndPlace)
{
    ShowAppWindow(window);
    int width = 0, height = 0;
    GetWorkAreaClientSize(window, &width, &height);
    // No window manager on the test display: no panels, the whole screen less the
    // frame (none on X alone; the one Win32 draws under Wine).
    int left = 0, top = 0, right = 0, bottom = 0;
    glfwGetWindowFrameSize(window, &left, &top, &right, &bottom);
    const GLFWvidmode* screen = glfwGetVideoMode(glfwGetPrimaryMonitor());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(width, screen->width - left - right);
    EXPECT_EQ(height, screen->height - top - bottom);
#ifdef _WIN32
    GTEST_SKIP() << "under Wine without a window manager, a move made on the X window is not "
                    "taken over by the Win32 window, so there is no move to undo";
#endif
    SetClientSize(window, 640, 480);
    ASSERT_TRUE(WaitForClientSize(window, 640, 480));
    const std::string id = std::to_string(NativeWindowId(window));
    ASSERT_EQ(RunHostCommand(("xdotool windowmove --sync " + id + " 1000 900").c_str()), 0);
    MoveIntoWorkArea(window);
    std::string place;
    for (int i = 0; i < 50 && place != std::to_string(screen->width - 640 - left - right) + "," +
                                          std::to_string(screen->height - 480 - top - bottom);
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PumpMessages();
        place = Position(id);
    }
    const std::string want = std::to_string(screen->width - 640 - left - right) + "," +
                             std::to_string(screen->height - 480 - top - bottom);
    EXPECT_EQ(place, want) << "moved in by the part that stuck out";
    GetWorkAreaClientSize(nullptr, &width, &height);
    EXPECT_EQ(width, 0);
}

TEST_F(WindowTest, FullScreenCoversTheMonitorAndLeavesToTheSizeBefore)
{
    RecordingWindow object(window);
    AttachWindowObject(window, &object);
    ShowAppWindow(window);
    SetClientSize(window, 301, 199);
    ASSERT_TRUE(WaitForClientSize(window, 301, 199));
    EXPECT_FALSE(IsFullScreen(window));
    const GLFWvidmode* screen = glfwGetVideoMode(glfwGetPrimaryMonitor());
    ASSERT_NE(screen, nullptr);

    ASSERT_TRUE(SetFullScreen(window, true));
    EXPECT_TRUE(IsFullScreen(window));
    ASSERT_TRUE(WaitForClientSize(window, screen->width, screen->height));
    PumpMessages();
    ASSERT_FALSE(object.sizes.empty());
    EXPECT_EQ(object.sizes.back().width, screen->width) << "the view hears of its new size";
    EXPECT_EQ(object.sizes.back().height, screen->height);
    EXPECT_TRUE(SetFullScreen(window, true)) << "already there";

    ASSERT_TRUE(SetFullScreen(window, false));
    EXPECT_FALSE(IsFullScreen(window));
    ASSERT_TRUE(WaitForClientSize(window, 301, 199));
    PumpMessages();
    EXPECT_EQ(object.sizes.back().width, 301);
    EXPECT_EQ(object.sizes.back().height, 199);
    EXPECT_FALSE(SetFullScreen(nullptr, true));
    EXPECT_FALSE(IsFullScreen(nullptr));
    AttachWindowObject(window, nullptr);
}
