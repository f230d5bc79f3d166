// The application: process-wide state, the application object CLumaApp and the window object CWin.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "device/graphics.h"
#include "window/window.h"

class OxSurface;
class CWall;
class CSnapshotWriter;
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
    // Reads the picture at the path for LoadPicture, room made for it first (the old
    // picture or its wall let go); null when it cannot be read, and then RestorePicture
    // brings back what went.
    OxSurface* ReadPictureMakingRoom(const char* path);
    // Deletes the wall's textures and hands their memory back to the system.
    void ReleaseWall();
    // After a failed read: source again from the wall, or the wall again from source, as
    // the last load or pass made them.
    void RestorePicture();
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
    // Nothing is left to draw until the next event: the memory the frames used and freed
    // is handed back to the system.
    void Rest();
    // Serves a pending snapshot request, then clears and draws the wall.
    void DrawFrame();
    // Draws the whole picture off screen and queues it for writing as the next snapshot.
    void SaveSnapshot();
    void DrawScene();
    // One unit per pixel, the origin at the view's lower left corner, then the
    // picture placed by PlacePicture (one unit per picture pixel from there).
    void SetupView();
    // Moves the picture right by dx and down by dy view pixels, within its edges.
    void PanBy(int dx, int dy);
    // Switches between one texel per pixel and the whole picture fitted to the view.
    void ToggleFit();
    // Replaces the wall with one built from the PF_RGBA surface.
    void UploadWall(const OxSurface* surface);
    void UpdateTitle(WindowHandle hwnd);
    // Replaces the wall with a copy of source that has the glow applied.
    void RunGlowPass();

    char path[256] = {};
    CWall* wall = nullptr;
    OxSurface* source = nullptr;
    // The wall was made by the processor-side pass, not from source itself.
    bool wallShowsGlow = false;
    WindowHandle hwnd;
    int32_t countdown = -1;
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    int32_t pictureWidth = 256;
    int32_t pictureHeight = 256;
    bool needsRedraw = true;
    std::deque<KeyPress> pendingKeys;
    // The picture pixel column and row at the view's top left corner while the picture
    // is larger than the view; kept within the picture by PlacePicture.
    int32_t panX = 0;
    int32_t panY = 0;
    bool fitToWindow = false;
    // Mouse position of a drag that pans the picture; dragging while true.
    bool dragging = false;
    int32_t dragX = 0;
    int32_t dragY = 0;
    // Encodes and writes snapshots beside the frames; done with them when destroyed.
    std::unique_ptr<CSnapshotWriter> snapshots;
};

// Where the picture lies in the view: its lower left corner at (left, bottom) in view
// pixels (y up) and one picture pixel `scale` view pixels wide.
struct PicturePlacement {
    int left;
    int bottom;
    float scale;
};

// Places a picture in a view: centred where it fits, else shifted by the pan (which
// is clamped into the picture and written back); with fit, scaled down to fit whole.
// Offsets are whole pixels, so at scale 1 every texel lands on one pixel.
PicturePlacement PlacePicture(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight,
                              bool fit, int32_t* panX, int32_t* panY);

// The application window: frames, drops and size changes.
class CWin : public OxWindow {
public:
    explicit CWin(WindowHandle handle);

    void OnDropFile(const char* path) override;
    void OnDropFiles(const char* firstPath, int count) override;
    void OnSize(SizeRecord* record) override;
    void OnSizing(SizeRecord* record) override;
    void OnPaint() override;
    // A left-button drag and the wheel (Shift: sideways) pan a picture larger than the view.
    void OnButtonDown(MouseRecord* record) override;
    void OnButtonUp(MouseRecord* record) override;
    void OnMouseMove(MouseRecord* record) override;
    void OnMouseWheel(MouseRecord* record) override;

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
