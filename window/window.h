// The application window: OxWindow and its event records, window creation, the pump and client sizing.
#pragma once

#include <cstddef>
#include <cstdint>

// The window handle is a GLFW window, kept opaque so that callers never see GLFW.
struct GLFWwindow;
typedef GLFWwindow* WindowHandle;

// Windows virtual-key codes, the values that the application reads.
enum VirtualKey {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_SNAPSHOT = 0x2C,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_LWIN = 0x5B,
    VK_RWIN = 0x5C,
    VK_APPS = 0x5D,
    VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
    VK_DECIMAL = 0x6E,
    VK_DIVIDE = 0x6F,
    VK_F1 = 0x70,
    VK_F5 = 0x74,
    VK_F11 = 0x7A,
    VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91,
    VK_OEM_1 = 0xBA,
    VK_OEM_PLUS = 0xBB,
    VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD,
    VK_OEM_PERIOD = 0xBE,
    VK_OEM_2 = 0xBF,
    VK_OEM_3 = 0xC0,
    VK_OEM_4 = 0xDB,
    VK_OEM_5 = 0xDC,
    VK_OEM_6 = 0xDD,
    VK_OEM_7 = 0xDE,
};

// MK_ flags of the mouse record's buttons field.
enum MouseFlag {
    MK_LBUTTON = 0x01,
    MK_RBUTTON = 0x02,
    MK_SHIFT = 0x04,
    MK_CONTROL = 0x08,
    MK_MBUTTON = 0x10,
};

struct MouseRecord {
    // In drawable pixels from the client area's top left corner, also where the window
    // system counts the pointer in scaled screen units.
    int32_t x;
    int32_t y;
    int32_t wheel;    // whole notches, truncated toward zero
    int32_t buttons;  // MK_ flags
    int32_t wParam;
    int32_t lParam;
};

struct SizeRecord {
    int32_t width;
    int32_t height;
    int32_t kind;
    int32_t raw;
};

struct KeyRecord {
    int32_t virtualKey;
    int32_t virtualKeyAgain;
    int32_t lParam;  // repeat count, scan code and flags
    bool handled;
};

// Base of window objects: holds the handle and ignores every event.
class OxWindow {
public:
    explicit OxWindow(WindowHandle handle) : handle(handle) {}
    virtual ~OxWindow() = default;
    OxWindow(const OxWindow&) = delete;
    OxWindow& operator=(const OxWindow&) = delete;

    virtual void OnDropFile(const char* path) { (void)path; }
    // A drop of `count` files (at least one), in the order the drag source gave them; by
    // default only the first is handed on.
    virtual void OnDropFiles(const char* const* paths, int count)
    {
        (void)count;
        OnDropFile(paths[0]);
    }
    virtual void OnMouseWheel(MouseRecord* record) { (void)record; }
    virtual void OnNcMouseMove(MouseRecord* record) { (void)record; }
    virtual void OnMouseMove(MouseRecord* record) { (void)record; }
    virtual void OnButtonDown(MouseRecord* record) { (void)record; }
    virtual void OnButtonUp(MouseRecord* record) { (void)record; }
    virtual void OnSize(SizeRecord* record) { (void)record; }
    virtual void OnSizing(SizeRecord* record) { (void)record; }
    virtual void OnPaint() {}
    virtual void OnSysKeyDown(KeyRecord* record) { (void)record; }
    virtual void OnKeyDown(KeyRecord* record) { (void)record; }
    virtual void OnKeyUp(KeyRecord* record) { (void)record; }

    WindowHandle handle;
};

// Creates the hidden, resizable application window (class "glowView", title
// "") with the GL context of the program's pixel format. Null on failure; the
// reason is then in LastWindowError.
WindowHandle CreateAppWindow();
// The last error text that the window system reported, "" when none.
const char* LastWindowError();

// Events of the window reach `object` from now on (null: nobody). The object
// must outlive the window or be detached first.
void AttachWindowObject(WindowHandle handle, OxWindow* object);
// Dropped files reach OnDropFile only while accepted.
void AcceptDroppedFiles(WindowHandle handle, bool accept);

void ShowAppWindow(WindowHandle handle);
void DestroyAppWindow(WindowHandle handle);
// Ends the window system once every window is destroyed.
void TerminateWindowSystem();

// Dispatches every pending event without blocking; true once a window was
// asked to close.
bool PumpMessages();
// As PumpMessages, but first waits until an event comes or `seconds` pass
// (seconds < 0: no time limit).
bool WaitMessages(double seconds);
// Ends a wait of WaitMessages at once; may be called from any thread.
void WakeMessageWait();
// Asks the window to close, as its close box does.
void RequestClose(WindowHandle handle);

// Resizes the window, without moving it, so that its drawable is width x height pixels.
void SetClientSize(WindowHandle handle, int width, int height);
void GetClientSize(WindowHandle handle, int* width, int* height);
// The largest client area, in drawable pixels, whose window (frame included) fits the
// work area of the primary monitor (the screen less panels and docks); 0 x 0 when unknown.
void GetWorkAreaClientSize(WindowHandle handle, int* width, int* height);
// Moves the window, frame included, inside that work area as far as its size allows.
void MoveIntoWorkArea(WindowHandle handle);
void SetWindowTitle(WindowHandle handle, const char* title);

// Puts the window in full screen on the monitor that holds most of it, at that monitor's
// own mode, or back to the place and size it had before; false when it cannot.
bool SetFullScreen(WindowHandle handle, bool on);
bool IsFullScreen(WindowHandle handle);

// The key with the virtual-key code is down in this window.
bool IsKeyDown(WindowHandle handle, int virtualKey);

// KeyPress modifier flags.
enum KeyModifier {
    KEY_MOD_SHIFT = 0x1,
    KEY_MOD_CONTROL = 0x2,
    KEY_MOD_ALT = 0x4,
};

// One press of a key, or one repeat of a held key at the system's repeat pace.
struct KeyPress {
    int32_t virtualKey;
    int32_t modifiers;  // KEY_MOD_ flags
    bool repeat;
};

// Takes the oldest key press of the window that nobody took yet; false when
// there is none. Every press and repeat is queued as it arrives, so none is
// lost however long a frame takes.
bool TakeKeyPress(WindowHandle handle, KeyPress* press);
// How many key presses wait to be taken.
int QueuedKeyPresses(WindowHandle handle);
// The window has the input focus.
bool IsForeground(WindowHandle handle);

// The X window id of the window (0 where the window system is not X11), for
// tools that drive the window from outside.
unsigned long NativeWindowId(WindowHandle handle);

// Translations used by the event routing, exposed for tests.
// The virtual-key code of a GLFW key (its place on the keyboard) whose layout types `typed`
// with it unshifted (UTF-8, as glfwGetKeyName gives it; null when unknown): the key that
// types + or = is VK_OEM_PLUS and the one that types - VK_OEM_MINUS on every layout; 0 for
// a key the program has no code for.
int VirtualKeyFromGlfwKey(int glfwKey, const char* typed);
int32_t KeyLParam(int scanCode, bool repeat, bool release);
// Drawable pixels per screen unit along one side of a window whose side is windowSide screen
// units and drawableSide pixels: above 1 where the window system scales (HiDPI), 1 when
// either is unknown (0).
double DrawableScaleOf(int windowSide, int drawableSide);
MouseRecord MakeMouseRecord(double x, double y, double scrollY, int buttons);
