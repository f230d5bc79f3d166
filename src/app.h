// The application: process-wide state, the application object CLumaApp and the window object CWin.
#pragma once

#include <cstdint>
#include <mutex>

#include "device/graphics.h"
#include "window/window.h"

class OxSurface;
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

    void LoadPicture(const char* path);
    void Reload(int width, int height);
    void Update();
    void DrawFrame();
    void UpdateTitle(WindowHandle hwnd);

    char path[256] = {};
    OxSurface* source = nullptr;
    WindowHandle hwnd;
    int32_t countdown = -1;
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    int32_t pictureWidth = 256;
    int32_t pictureHeight = 256;
};

// The application window: frames, drops and size changes.
class CWin : public OxWindow {
public:
    explicit CWin(WindowHandle handle);

    void OnDropFile(const char* path) override;
    void OnSize(SizeRecord* record) override;
    void OnSizing(SizeRecord* record) override;
    void OnPaint() override;
};

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

// The program: start-up, the frame loop and tear-down. Returns the exit status.
int RunApplication();
