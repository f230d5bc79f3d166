// The application: process-wide state, the application object CLumaApp and the window object CWin.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "device/graphics.h"
#include "window/window.h"

class OxSurface;
class CWall;
class CWin;
class CLumaApp;

// Both locks are re-entrant; g_deviceLock is only taken alone or under g_appLock.
extern std::recursive_mutex g_appLock;
extern std::recursive_mutex g_deviceLock;
using LockGuard = std::lock_guard<std::recursive_mutex>;

extern CWin* g_window;
extern zorGRAPHICS* g_device;
extern CLumaApp* g_app;

extern float g_weightR;
extern float g_weightG;
extern float g_weightB;
extern float g_power;
extern bool g_snapshotRequested;
extern bool g_paused;
extern bool g_ready;
extern int32_t g_reloadDepth;

// The one application object: the picture and the view it is shown in.
class CLumaApp {
public:
    explicit CLumaApp(WindowHandle hwnd);
    virtual ~CLumaApp();
    CLumaApp(const CLumaApp&) = delete;
    CLumaApp& operator=(const CLumaApp&) = delete;

    // Reads a PNG or JPEG and makes it the picture; true when it did. A failure,
    // or a path longer than `path` holds, leaves the picture, path, sizes and
    // countdown as they were and says why on standard error.
    bool LoadPicture(const char* path);
    // Sets the view, rebuilds the device state and the renderer, reads the
    // picture again; the picture shown stays when the read fails.
    void Reload(int width, int height);
    // Holds a key press for the next update; presses of keys that do nothing,
    // and repeats of keys that do not repeat, are dropped.
    void QueueKey(const KeyPress& press);
    // Acts on the queued key presses in the order they came; true when any acted.
    bool ApplyKeys();
    // Once per update: the queued keys, the countdown and the processor-side pass.
    void Update();
    // The next turn of the loop draws a frame.
    void Invalidate() { needsRedraw = true; }
    // The countdown still runs, so updates (and frames) must go on.
    bool CountdownRunning() const;
    // Something is to be drawn or updated: the loop must not wait for events.
    bool NeedsFrame() const;
    // Clears, draws the wall and serves a pending snapshot request.
    void DrawFrame();
    void DrawScene();
    // One unit per pixel, the origin at the view's lower left corner.
    void SetupView();
    // Replaces the wall with one built from the PF_RGBA surface.
    void UploadWall(const OxSurface* surface);
    void UpdateTitle(WindowHandle hwnd);
    // Replaces the wall with a copy of source that has the glow applied.
    void RunGlowPass();

    char path[256] = {};
    CWall* wall = nullptr;
    OxSurface* source = nullptr;
    WindowHandle hwnd;
    int32_t countdown = -1;
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    int32_t pictureWidth = 256;
    int32_t pictureHeight = 256;
    bool needsRedraw = true;
    std::deque<KeyPress> pendingKeys;
};

// The application window: frames, drops and size changes.
class CWin : public OxWindow {
public:
    explicit CWin(WindowHandle handle);

    void OnDropFile(const char* path) override;
    void OnDropFiles(const char* firstPath, int count) override;
    void OnSize(SizeRecord* record) override;
    void OnSizing(SizeRecord* record) override;
    void OnPaint() override;

private:
    // Takes the window's key presses: quit keys, Space and Enter at once,
    // the others queued for the update step.
    void TakeKeys();
};

// The key closes the program: Escape, Q, Ctrl+Q.
bool IsQuitKey(const KeyPress& press);

// A new PF_RGBA copy of the picture with the current glow settings applied on
// the processor; null when it cannot be made. The picture is not changed.
OxSurface* CreateGlowCopy(const OxSurface* picture);

// Creates the OpenGL device in g_device and initialises it on the window; the
// result of Initialize (0, or -1 without a GL context).
int CreateDevice(WindowHandle handle);

// Reads back the frame the device has drawn as top-down RGB rows; returns
// width x height x 3. A null buffer or a size <= 0 reads no pixels.
int ReadWindowPixels(int* width, uint8_t* buffer, int bufferSize, int* height);
// The window's current frame as a new PF_RGB surface, or null.
OxSurface* CaptureWindow();
// Writes the window's current frame to the file, always as PNG.
void SavePicture(const char* fileName);

// What the command line asks of the program.
struct RunOptions {
    const char* startFile = nullptr;  // opened at start as if dropped
    int fileCount = 0;                // files named; all but the first are ignored
};

// The program: start-up, the frame loop and tear-down. Returns the exit status.
int RunApplication(const RunOptions& options = RunOptions());

// SIGTERM and SIGINT end the frame loop as closing the window does.
void InstallStopSignals();
void RemoveStopSignals();
bool StopRequested();
