// The application window over GLFW: creation, event routing to OxWindow, the pump and sizing.
#include "window/window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <GLFW/glfw3.h>

#include "window/window_native.h"

namespace {

// Per-window routing state, kept in GLFW's user pointer.
struct WindowSlot {
    OxWindow* object = nullptr;
    // Window size asked for by SetClientSize; its size event is not a user resize.
    int requestedWidth = -1;
    int requestedHeight = -1;
    // Presses not taken yet; a stuck consumer cannot make it grow without end.
    std::deque<KeyPress> keys;
    // The cursor where the last motion event put it. Events come in batches, so the
    // pointer's position now may be several events further on.
    bool cursorKnown = false;
    double cursorX = 0.0;
    double cursorY = 0.0;
    // Where the window was, and its size, before it went full screen.
    int windowedX = 0;
    int windowedY = 0;
    int windowedWidth = 0;
    int windowedHeight = 0;
};

constexpr size_t kMaxQueuedKeys = 1024;

std::string s_lastError;
std::vector<GLFWwindow*> s_windows;
bool s_initialised = false;

void ErrorCallback(int code, const char* description)
{
    (void)code;
    s_lastError = description ? description : "";
}

WindowSlot* SlotOf(GLFWwindow* window)
{
    return static_cast<WindowSlot*>(glfwGetWindowUserPointer(window));
}

// The window object that events of this window go to, or null.
OxWindow* TargetOf(GLFWwindow* window)
{
    WindowSlot* slot = SlotOf(window);
    if (!slot || !slot->object || slot->object->handle != window)
        return nullptr;
    return slot->object;
}

int CurrentMouseFlags(GLFWwindow* window)
{
    int flags = 0;
    if (glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_LEFT) == GLFW_PRESS)
        flags |= MK_LBUTTON;
    if (glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_RIGHT) == GLFW_PRESS)
        flags |= MK_RBUTTON;
    if (glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_MIDDLE) == GLFW_PRESS)
        flags |= MK_MBUTTON;
    if (glfwGetKey(window, GLFW_KEY_LEFT_SHIFT) == GLFW_PRESS ||
        glfwGetKey(window, GLFW_KEY_RIGHT_SHIFT) == GLFW_PRESS)
        flags |= MK_SHIFT;
    if (glfwGetKey(window, GLFW_KEY_LEFT_CONTROL) == GLFW_PRESS ||
        glfwGetKey(window, GLFW_KEY_RIGHT_CONTROL) == GLFW_PRESS)
        flags |= MK_CONTROL;
    return flags;
}

// Drawable pixels per screen unit of the window, across and down.
void DrawableScale(GLFWwindow* window, double* scaleX, double* scaleY)
{
    int windowWidth = 0, windowHeight = 0, drawableWidth = 0, drawableHeight = 0;
    glfwGetWindowSize(window, &windowWidth, &windowHeight);
    glfwGetFramebufferSize(window, &drawableWidth, &drawableHeight);
    *scaleX = DrawableScaleOf(windowWidth, drawableWidth);
    *scaleY = DrawableScaleOf(windowHeight, drawableHeight);
}

MouseRecord CurrentMouseRecord(GLFWwindow* window, double scrollY)
{
    double x = 0, y = 0;
    WindowSlot* slot = SlotOf(window);
    if (slot && slot->cursorKnown) {
        x = slot->cursorX;
        y = slot->cursorY;
    } else {
        glfwGetCursorPos(window, &x, &y);
    }
    // GLFW counts the pointer in screen units; the view counts drawable pixels.
    double scaleX = 1.0, scaleY = 1.0;
    DrawableScale(window, &scaleX, &scaleY);
    return MakeMouseRecord(x * scaleX, y * scaleY, scrollY, CurrentMouseFlags(window));
}

void DropCallback(GLFWwindow* window, int count, const char** paths)
{
    OxWindow* target = TargetOf(window);
    if (!target || count < 1 || !paths[0])
        return;
    // GLFW gives UTF-8, the spelling the program's file functions open on every system.
    std::vector<const char*> dropped;
    for (int i = 0; i < count; ++i) {
        if (paths[i] != nullptr)
            dropped.push_back(paths[i]);
    }
    target->OnDropFiles(dropped.data(), int(dropped.size()));
}

int KeyModifiers(int mods)
{
    int flags = 0;
    if (mods & GLFW_MOD_SHIFT)
        flags |= KEY_MOD_SHIFT;
    if (mods & GLFW_MOD_CONTROL)
        flags |= KEY_MOD_CONTROL;
    if (mods & GLFW_MOD_ALT)
        flags |= KEY_MOD_ALT;
    return flags;
}

void QueueKeyPress(GLFWwindow* window, int virtualKey, int mods, bool repeat)
{
    WindowSlot* slot = SlotOf(window);
    if (!slot || virtualKey == 0 || slot->keys.size() >= kMaxQueuedKeys)
        return;
    slot->keys.push_back(KeyPress{virtualKey, KeyModifiers(mods), repeat});
}

void FramebufferSizeCallback(GLFWwindow* window, int width, int height)
{
    OxWindow* target = TargetOf(window);
    if (!target)
        return;
    SizeRecord record = {width, height, 0, 0};
    target->OnSize(&record);
}

void WindowSizeCallback(GLFWwindow* window, int width, int height)
{
    WindowSlot* slot = SlotOf(window);
    OxWindow* target = TargetOf(window);
    if (!slot || !target)
        return;
    if (width == slot->requestedWidth && height == slot->requestedHeight) {
        slot->requestedWidth = slot->requestedHeight = -1;
        return;
    }
    int left = 0, top = 0, right = 0, bottom = 0;
    glfwGetWindowFrameSize(window, &left, &top, &right, &bottom);
    SizeRecord sizing = {width + left + right, height + top + bottom, 0, 0};
    target->OnSizing(&sizing);
    // NOTE: GLFW reports the drawable size before the window size, while the
    // resize it stands for ends with the client size; report that last again.
    int drawableWidth = 0, drawableHeight = 0;
    glfwGetFramebufferSize(window, &drawableWidth, &drawableHeight);
    SizeRecord size = {drawableWidth, drawableHeight, 0, 0};
    target->OnSize(&size);
}

void RefreshCallback(GLFWwindow* window)
{
    if (OxWindow* target = TargetOf(window))
        target->OnPaint();
}

// The keys whose character moves with the keyboard layout: the punctuation keys and those
// beyond a US keyboard. Letters, digits and the keypad keep their codes on every layout, as
// on Windows.
bool KeyTypesByLayout(int key)
{
    switch (key) {
    case GLFW_KEY_APOSTROPHE:
    case GLFW_KEY_COMMA:
    case GLFW_KEY_MINUS:
    case GLFW_KEY_PERIOD:
    case GLFW_KEY_SLASH:
    case GLFW_KEY_SEMICOLON:
    case GLFW_KEY_EQUAL:
    case GLFW_KEY_LEFT_BRACKET:
    case GLFW_KEY_BACKSLASH:
    case GLFW_KEY_RIGHT_BRACKET:
    case GLFW_KEY_GRAVE_ACCENT:
    case GLFW_KEY_WORLD_1:
    case GLFW_KEY_WORLD_2: return true;
    default: return false;
    }
}

// The virtual-key code of the key on the keyboard layout in use. Only the keys whose
// character the layout decides are named: GLFW reports an error for a key it cannot name.
int VirtualKeyOf(int key, int scanCode)
{
    const char* typed = KeyTypesByLayout(key) ? glfwGetKeyName(key, scanCode) : nullptr;
    return VirtualKeyFromGlfwKey(key, typed);
}

void KeyCallback(GLFWwindow* window, int key, int scanCode, int action, int mods)
{
    const int virtualKey = VirtualKeyOf(key, scanCode);
    if (action != GLFW_RELEASE)
        QueueKeyPress(window, virtualKey, mods, action == GLFW_REPEAT);
    OxWindow* target = TargetOf(window);
    if (!target)
        return;
    const bool release = action == GLFW_RELEASE;
    KeyRecord record = {virtualKey, virtualKey, KeyLParam(scanCode, action == GLFW_REPEAT, release),
                        false};
    if (release) {
        target->OnKeyUp(&record);
        return;
    }
    if (mods & GLFW_MOD_ALT) {
        target->OnSysKeyDown(&record);
        if (record.handled)
            return;
        record.handled = false;
    }
    target->OnKeyDown(&record);
}

void CursorPosCallback(GLFWwindow* window, double x, double y)
{
    if (WindowSlot* slot = SlotOf(window)) {
        slot->cursorKnown = true;
        slot->cursorX = x;
        slot->cursorY = y;
    }
    if (OxWindow* target = TargetOf(window)) {
        MouseRecord record = CurrentMouseRecord(window, 0.0);
        target->OnMouseMove(&record);
    }
}

void MouseButtonCallback(GLFWwindow* window, int button, int action, int)
{
    OxWindow* target = TargetOf(window);
    if (!target || (button != GLFW_MOUSE_BUTTON_LEFT && button != GLFW_MOUSE_BUTTON_RIGHT))
        return;
    MouseRecord record = CurrentMouseRecord(window, 0.0);
    if (action == GLFW_PRESS)
        target->OnButtonDown(&record);
    else
        target->OnButtonUp(&record);
}

void ScrollCallback(GLFWwindow* window, double, double offsetY)
{
    if (OxWindow* target = TargetOf(window)) {
        MouseRecord record = CurrentMouseRecord(window, offsetY);
        target->OnMouseWheel(&record);
    }
}

int ClampToShort(double value)
{
    if (!(value > -32768.0))
        return -32768;
    if (value > 32767.0)
        return 32767;
    return int(value);
}

bool InitWindowSystem()
{
    if (s_initialised)
        return true;
    glfwSetErrorCallback(ErrorCallback);
    // Before the display is opened: a display lost at any later moment gets our handler.
    InstallXErrorHandlers();
    if (!glfwInit())
        return false;
    s_initialised = true;
    return true;
}

}  // namespace

WindowHandle CreateAppWindow()
{
    s_lastError.clear();
    if (!InitWindowSystem())
        return nullptr;
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 0);
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    glfwWindowHint(GLFW_STENCIL_BITS, 1);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHintString(GLFW_X11_CLASS_NAME, "glowView");
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, "glowView");
    // A window cannot be 0 x 0; the start-up gives it its real client size.
    GLFWwindow* window = glfwCreateWindow(1, 1, "", nullptr, nullptr);
    if (!window)
        return nullptr;
    glfwSetWindowUserPointer(window, new WindowSlot());
    glfwSetFramebufferSizeCallback(window, FramebufferSizeCallback);
    glfwSetWindowSizeCallback(window, WindowSizeCallback);
    glfwSetWindowRefreshCallback(window, RefreshCallback);
    glfwSetKeyCallback(window, KeyCallback);
    glfwSetCursorPosCallback(window, CursorPosCallback);
    glfwSetMouseButtonCallback(window, MouseButtonCallback);
    glfwSetScrollCallback(window, ScrollCallback);
    s_windows.push_back(window);
    PrepareNativeWindow(window);
    InstallXErrorHandlers();
    return window;
}

const char* LastWindowError()
{
    return s_lastError.c_str();
}

void AttachWindowObject(WindowHandle handle, OxWindow* object)
{
    if (WindowSlot* slot = handle ? SlotOf(handle) : nullptr)
        slot->object = object;
}

void AcceptDroppedFiles(WindowHandle handle, bool accept)
{
    if (handle)
        glfwSetDropCallback(handle, accept ? DropCallback : nullptr);
}

void ShowAppWindow(WindowHandle handle)
{
    if (handle)
        glfwShowWindow(handle);
}

void DestroyAppWindow(WindowHandle handle)
{
    if (!handle)
        return;
    delete SlotOf(handle);
    glfwSetWindowUserPointer(handle, nullptr);
    glfwDestroyWindow(handle);
    s_windows.erase(std::remove(s_windows.begin(), s_windows.end(), handle), s_windows.end());
}

void TerminateWindowSystem()
{
    if (!s_initialised || !s_windows.empty())
        return;
    glfwTerminate();
    s_initialised = false;
}

bool PumpMessages()
{
    if (!s_initialised)
        return false;
    // GLFW 3.3 puts Xlib's default handler back after some of its own calls.
    InstallXErrorHandlers();
    glfwPollEvents();
    for (GLFWwindow* window : s_windows) {
        if (glfwWindowShouldClose(window))
            return true;
    }
    return false;
}

bool WaitMessages(double seconds)
{
    if (!s_initialised)
        return false;
    InstallXErrorHandlers();
    if (seconds < 0)
        glfwWaitEvents();
    else if (seconds > 0)
        glfwWaitEventsTimeout(seconds);
    return PumpMessages();
}

void WakeMessageWait()
{
    if (s_initialised)
        glfwPostEmptyEvent();
}

void RequestClose(WindowHandle handle)
{
    if (!handle)
        return;
    glfwSetWindowShouldClose(handle, GLFW_TRUE);
    // A request made between waits (from a frame drawn outside one) ends the next wait at once.
    glfwPostEmptyEvent();
}

void SetClientSize(WindowHandle handle, int width, int height)
{
    if (!handle || width <= 0 || height <= 0)
        return;
    // The drawable may be larger than the window on scaled screens.
    int windowWidth = 0, windowHeight = 0;
    glfwGetWindowSize(handle, &windowWidth, &windowHeight);
    double scaleX = 1.0, scaleY = 1.0;
    DrawableScale(handle, &scaleX, &scaleY);
    const int newWidth = std::max(1, int(std::lround(width / scaleX)));
    const int newHeight = std::max(1, int(std::lround(height / scaleY)));
    if (newWidth == windowWidth && newHeight == windowHeight)
        return;  // no change, so no size event to wait for
    if (WindowSlot* slot = SlotOf(handle)) {
        slot->requestedWidth = newWidth;
        slot->requestedHeight = newHeight;
    }
    glfwSetWindowSize(handle, newWidth, newHeight);
}

void GetClientSize(WindowHandle handle, int* width, int* height)
{
    int w = 0, h = 0;
    if (handle)
        glfwGetFramebufferSize(handle, &w, &h);
    if (width)
        *width = w;
    if (height)
        *height = h;
}

namespace {

// The primary monitor's work area in screen coordinates; false when there is none.
bool WorkArea(int* x, int* y, int* width, int* height)
{
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    if (!monitor)
        return false;
    glfwGetMonitorWorkarea(monitor, x, y, width, height);
    return *width > 0 && *height > 0;
}

}  // namespace

void GetWorkAreaClientSize(WindowHandle handle, int* width, int* height)
{
    int w = 0, h = 0;
    int areaX = 0, areaY = 0, areaWidth = 0, areaHeight = 0;
    if (handle && WorkArea(&areaX, &areaY, &areaWidth, &areaHeight)) {
        int left = 0, top = 0, right = 0, bottom = 0;
        glfwGetWindowFrameSize(handle, &left, &top, &right, &bottom);
        // Screen coordinates to drawable pixels, as SetClientSize converts the other way.
        double scaleX = 1.0, scaleY = 1.0;
        DrawableScale(handle, &scaleX, &scaleY);
        w = std::max(1, int(std::floor((areaWidth - left - right) * scaleX)));
        h = std::max(1, int(std::floor((areaHeight - top - bottom) * scaleY)));
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
}

void MoveIntoWorkArea(WindowHandle handle)
{
    int areaX = 0, areaY = 0, areaWidth = 0, areaHeight = 0;
    if (!handle || !WorkArea(&areaX, &areaY, &areaWidth, &areaHeight))
        return;
    int left = 0, top = 0, right = 0, bottom = 0;
    glfwGetWindowFrameSize(handle, &left, &top, &right, &bottom);
    int x = 0, y = 0, width = 0, height = 0;
    glfwGetWindowPos(handle, &x, &y);
    glfwGetWindowSize(handle, &width, &height);
    // The frame's far edges first, then its near edges, so a window too large keeps its top left.
    int newX = std::min(x, areaX + areaWidth - width - right);
    int newY = std::min(y, areaY + areaHeight - height - bottom);
    newX = std::max(newX, areaX + left);
    newY = std::max(newY, areaY + top);
    if (newX != x || newY != y)
        glfwSetWindowPos(handle, newX, newY);
}

void SetWindowTitle(WindowHandle handle, const char* title)
{
    if (handle && title)
        glfwSetWindowTitle(handle, title);
}

namespace {

// The length two spans [a, a + aLength) and [b, b + bLength) share.
int Overlap(int a, int aLength, int b, int bLength)
{
    return std::max(0, std::min(a + aLength, b + bLength) - std::max(a, b));
}

// The monitor that holds the largest part of the window; the primary one when none does.
GLFWmonitor* MonitorOf(GLFWwindow* window)
{
    int x = 0, y = 0, width = 0, height = 0;
    glfwGetWindowPos(window, &x, &y);
    glfwGetWindowSize(window, &width, &height);
    GLFWmonitor* best = glfwGetPrimaryMonitor();
    int64_t bestArea = 0;
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    for (int i = 0; monitors && i < count; ++i) {
        const GLFWvidmode* mode = glfwGetVideoMode(monitors[i]);
        if (!mode)
            continue;
        int monitorX = 0, monitorY = 0;
        glfwGetMonitorPos(monitors[i], &monitorX, &monitorY);
        const int64_t area = int64_t(Overlap(x, width, monitorX, mode->width)) *
                             Overlap(y, height, monitorY, mode->height);
        if (area > bestArea) {
            bestArea = area;
            best = monitors[i];
        }
    }
    return best;
}

}  // namespace

bool SetFullScreen(WindowHandle handle, bool on)
{
    WindowSlot* slot = handle ? SlotOf(handle) : nullptr;
    if (!slot)
        return false;
    if (on == IsFullScreen(handle))
        return true;
    if (!on) {
        glfwSetWindowMonitor(handle, nullptr, slot->windowedX, slot->windowedY,
                             std::max(1, slot->windowedWidth), std::max(1, slot->windowedHeight),
                             GLFW_DONT_CARE);
        return true;
    }
    GLFWmonitor* monitor = MonitorOf(handle);
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (!mode)
        return false;
    glfwGetWindowPos(handle, &slot->windowedX, &slot->windowedY);
    glfwGetWindowSize(handle, &slot->windowedWidth, &slot->windowedHeight);
    // The monitor's current mode: the screen is not switched to another one.
    glfwSetWindowMonitor(handle, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
    return IsFullScreen(handle);
}

bool IsFullScreen(WindowHandle handle)
{
    return handle && glfwGetWindowMonitor(handle) != nullptr;
}

bool IsKeyDown(WindowHandle handle, int virtualKey)
{
    if (!handle || virtualKey <= 0)
        return false;
    // Several GLFW keys share one virtual-key code (both Shift keys, both Enter keys).
    for (int key = GLFW_KEY_SPACE; key <= GLFW_KEY_LAST; ++key) {
        if (glfwGetKey(handle, key) == GLFW_PRESS && VirtualKeyOf(key, 0) == virtualKey)
            return true;
    }
    return false;
}

bool TakeKeyPress(WindowHandle handle, KeyPress* press)
{
    WindowSlot* slot = handle ? SlotOf(handle) : nullptr;
    if (!slot || slot->keys.empty())
        return false;
    if (press)
        *press = slot->keys.front();
    slot->keys.pop_front();
    return true;
}

int QueuedKeyPresses(WindowHandle handle)
{
    WindowSlot* slot = handle ? SlotOf(handle) : nullptr;
    return slot ? int(slot->keys.size()) : 0;
}

bool IsForeground(WindowHandle handle)
{
    return handle && glfwGetWindowAttrib(handle, GLFW_FOCUSED) == GLFW_TRUE;
}

namespace {

// The virtual-key code of the key at the place a GLFW key names, as on a US keyboard.
int VirtualKeyAtUsPlace(int key)
{
    if (key >= GLFW_KEY_A && key <= GLFW_KEY_Z)
        return 0x41 + (key - GLFW_KEY_A);
    if (key >= GLFW_KEY_0 && key <= GLFW_KEY_9)
        return 0x30 + (key - GLFW_KEY_0);
    if (key >= GLFW_KEY_F1 && key <= GLFW_KEY_F24)
        return VK_F1 + (key - GLFW_KEY_F1);
    if (key >= GLFW_KEY_KP_0 && key <= GLFW_KEY_KP_9)
        return VK_NUMPAD0 + (key - GLFW_KEY_KP_0);
    switch (key) {
    case GLFW_KEY_SPACE: return VK_SPACE;
    case GLFW_KEY_APOSTROPHE: return VK_OEM_7;
    case GLFW_KEY_COMMA: return VK_OEM_COMMA;
    case GLFW_KEY_MINUS: return VK_OEM_MINUS;
    case GLFW_KEY_PERIOD: return VK_OEM_PERIOD;
    case GLFW_KEY_SLASH: return VK_OEM_2;
    case GLFW_KEY_SEMICOLON: return VK_OEM_1;
    case GLFW_KEY_EQUAL: return VK_OEM_PLUS;
    case GLFW_KEY_LEFT_BRACKET: return VK_OEM_4;
    case GLFW_KEY_BACKSLASH: return VK_OEM_5;
    case GLFW_KEY_RIGHT_BRACKET: return VK_OEM_6;
    case GLFW_KEY_GRAVE_ACCENT: return VK_OEM_3;
    case GLFW_KEY_ESCAPE: return VK_ESCAPE;
    case GLFW_KEY_ENTER: return VK_RETURN;
    case GLFW_KEY_KP_ENTER: return VK_RETURN;
    case GLFW_KEY_TAB: return VK_TAB;
    case GLFW_KEY_BACKSPACE: return VK_BACK;
    case GLFW_KEY_INSERT: return VK_INSERT;
    case GLFW_KEY_DELETE: return VK_DELETE;
    case GLFW_KEY_RIGHT: return VK_RIGHT;
    case GLFW_KEY_LEFT: return VK_LEFT;
    case GLFW_KEY_DOWN: return VK_DOWN;
    case GLFW_KEY_UP: return VK_UP;
    case GLFW_KEY_PAGE_UP: return VK_PRIOR;
    case GLFW_KEY_PAGE_DOWN: return VK_NEXT;
    case GLFW_KEY_HOME: return VK_HOME;
    case GLFW_KEY_END: return VK_END;
    case GLFW_KEY_CAPS_LOCK: return VK_CAPITAL;
    case GLFW_KEY_SCROLL_LOCK: return VK_SCROLL;
    case GLFW_KEY_NUM_LOCK: return VK_NUMLOCK;
    case GLFW_KEY_PRINT_SCREEN: return VK_SNAPSHOT;
    case GLFW_KEY_PAUSE: return VK_PAUSE;
    case GLFW_KEY_KP_DECIMAL: return VK_DECIMAL;
    case GLFW_KEY_KP_DIVIDE: return VK_DIVIDE;
    case GLFW_KEY_KP_MULTIPLY: return VK_MULTIPLY;
    case GLFW_KEY_KP_SUBTRACT: return VK_SUBTRACT;
    case GLFW_KEY_KP_ADD: return VK_ADD;
    case GLFW_KEY_LEFT_SHIFT: return VK_SHIFT;
    case GLFW_KEY_RIGHT_SHIFT: return VK_SHIFT;
    case GLFW_KEY_LEFT_CONTROL: return VK_CONTROL;
    case GLFW_KEY_RIGHT_CONTROL: return VK_CONTROL;
    case GLFW_KEY_LEFT_ALT: return VK_MENU;
    case GLFW_KEY_RIGHT_ALT: return VK_MENU;
    case GLFW_KEY_LEFT_SUPER: return VK_LWIN;
    case GLFW_KEY_RIGHT_SUPER: return VK_RWIN;
    case GLFW_KEY_MENU: return VK_APPS;
    // A keypad's = types what the = key does.
    case GLFW_KEY_KP_EQUAL: return VK_OEM_PLUS;
    default: return 0;
    }
}

}  // namespace

int VirtualKeyFromGlfwKey(int key, const char* typed)
{
    const int atUsPlace = VirtualKeyAtUsPlace(key);
    if (typed == nullptr || !KeyTypesByLayout(key))
        return atUsPlace;
    // VK_OEM_PLUS and VK_OEM_MINUS are the keys that type + (or =) and - on the layout in
    // use, wherever they are: a German + key is not Shift+= and its - key sits where a US
    // keyboard has /.
    if (std::strcmp(typed, "+") == 0 || std::strcmp(typed, "=") == 0)
        return VK_OEM_PLUS;
    if (std::strcmp(typed, "-") == 0)
        return VK_OEM_MINUS;
    // The US = and - places type something else here (German ´ and ß): not those keys.
    if (atUsPlace == VK_OEM_PLUS || atUsPlace == VK_OEM_MINUS)
        return 0;
    return atUsPlace;
}

int32_t KeyLParam(int scanCode, bool repeat, bool release)
{
    uint32_t value = 1u | (uint32_t(scanCode & 0xFF) << 16);
    if (repeat)
        value |= 1u << 30;
    if (release)
        value |= 1u << 31;
    return int32_t(value);
}

double DrawableScaleOf(int windowSide, int drawableSide)
{
    return windowSide > 0 && drawableSide > 0 ? double(drawableSide) / windowSide : 1.0;
}

MouseRecord MakeMouseRecord(double x, double y, double scrollY, int buttons)
{
    // Packed as Windows packs them: 16-bit coordinates, wheel delta 120 per notch.
    const uint32_t lParam = (uint32_t(ClampToShort(std::floor(y))) & 0xFFFFu) << 16 |
                            (uint32_t(ClampToShort(std::floor(x))) & 0xFFFFu);
    const int delta = ClampToShort(std::round(scrollY * 120.0));
    const uint32_t wParam = (uint32_t(delta) & 0xFFFFu) << 16 | (uint32_t(buttons) & 0xFFFFu);
    MouseRecord record;
    record.x = int16_t(lParam & 0xFFFFu);
    record.y = int16_t(lParam >> 16);
    record.wheel = delta == 0 ? 0 : int16_t(wParam >> 16) / 120;
    record.buttons = int32_t(wParam & 0xFFFFu);
    record.wParam = int32_t(wParam);
    record.lParam = int32_t(lParam);
    return record;
}
