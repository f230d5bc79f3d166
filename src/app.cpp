// Process-wide state, CLumaApp (picture, glow, frame, snapshots), CWin's handlers, the frame loop.
#include "src/app.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <GL/glew.h>

#include "foundation/file.h"
#include "foundation/log.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/glhelp.h"
#include "src/snapshot.h"
#include "src/wallpaper.h"

std::recursive_mutex g_appLock;
std::recursive_mutex g_deviceLock;

CWin* g_window = nullptr;
zorGRAPHICS* g_device = nullptr;
CLumaApp* g_app = nullptr;

float g_weightR = 1.0f;
float g_weightG = 1.0f;
float g_weightB = 0.0f;
float g_power = 10.0f;
bool g_snapshotRequested = false;
bool g_paused = false;
bool g_ready = false;
int32_t g_reloadDepth = 0;

namespace {

const char* const kSource = "src/app";

void SleepMilliseconds(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

// ---- the application object ----

CLumaApp::CLumaApp(WindowHandle hwnd) : hwnd(hwnd), snapshots(new CSnapshotWriter())
{
    LockGuard lock(g_appLock);
}

CLumaApp::~CLumaApp()
{
    LockGuard lock(g_appLock);
    delete wall;
    wall = nullptr;
    OxReleaseAndClear(source);
}

namespace {

// The picture at the path, read as PNG and failing that as JPEG, each from a
// freshly opened file; null when neither reads it. Pictures that decode cleanly
// come straight as packed PF_RGBA; the others go through the readers that report.
OxSurface* ReadPicture(const char* picturePath)
{
    if (OxHolder<OxFile> file{OpenAssetFile(picturePath)}) {
        if (OxSurface* rgba = ReadRgbaQuietly(file.get()))
            return rgba;
    }
    OxSurface* picture = nullptr;
    if (OxHolder<OxFile> file{OpenAssetFile(picturePath)})
        picture = ReadPng(file.get());
    if (!picture) {
        if (OxHolder<OxFile> file{OpenAssetFile(picturePath)})
            picture = ReadJpeg(file.get());
    }
    return picture;
}

// A new PF_RGBA copy of the picture, rows width * 4 bytes apart; null when it
// cannot be made. A picture that is already so is not copied: it comes back with
// one more reference.
OxSurface* CreateRgbaCopy(OxSurface* picture)
{
    const int64_t byteSize = int64_t(picture->width) * picture->height * 4;
    if (picture->width <= 0 || picture->height <= 0 || byteSize > INT32_MAX) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "Picture of %d x %d pixels cannot be shown",
                   picture->width, picture->height);
        return nullptr;
    }
    if (picture->format == PF_RGBA && picture->pitch == picture->width * 4 &&
        picture->readPixels) {
        ++picture->refCount;
        return picture;
    }
    OxHolder<OxSurface> copy(CreateSurfaceForOverwrite(int(byteSize), picture->width,
                                                       picture->height, PF_RGBA,
                                                       picture->width * 4));
    if (!copy) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "No memory for a %d x %d picture",
                   picture->width, picture->height);
        return nullptr;
    }
    if (ConvertPixels(copy->pitch, copy->writePixels, PF_RGBA, picture) != 0) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "Pixel format %d cannot be shown",
                   picture->format);
        return nullptr;
    }
    return copy.Detach();
}

}  // namespace

void CLumaApp::LoadPicture(const char* picturePath)
{
    LockGuard lock(g_appLock);
    CHECK_GL_ERROR(kSource);
    if (!picturePath)
        picturePath = "";
    const size_t length = std::strlen(picturePath);
    if (length >= sizeof(path)) {
        LogMessage(__LINE__, kSource, LOG_ERROR,
                   "Path of %d characters is longer than %d, not loaded", int(length),
                   int(sizeof(path) - 1));
    } else if (OxHolder<OxSurface> picture{ReadPicture(picturePath)}) {
        if (OxSurface* rgba = CreateRgbaCopy(picture.get())) {
            OxReleaseAndClear(source);
            source = rgba;
            UploadWall(source);
            if (std::strcmp(path, picturePath) != 0)
                panX = panY = 0;  // a new picture starts at its top left corner
            // Reload passes path itself, so source and destination may be the same.
            std::memmove(path, picturePath, length + 1);
            pictureWidth = source->width;
            pictureHeight = source->height;
            CHECK_GL_ERROR(kSource);
        }
    }
    UpdateTitle(hwnd);
    countdown = g_hasShaders ? -1 : 0;
    CHECK_GL_ERROR(kSource);
}

void CLumaApp::Reload(int width, int height)
{
    ++g_reloadDepth;
    {
        LockGuard lock(g_appLock);
        viewWidth = width;
        viewHeight = height;
        delete wall;
        wall = nullptr;
        {
            LockGuard deviceLock(g_deviceLock);
            if (g_device)
                g_device->ResetState();
        }
        InitRenderer();
        LoadPicture(path);
        CHECK_GL_ERROR(kSource);
        --g_reloadDepth;
    }
}

void CLumaApp::UploadWall(const OxSurface* surface)
{
    LockGuard lock(g_appLock);
    delete wall;
    wall = nullptr;
    if (surface)
        wall = new CWall(surface->width, surface->height, surface->readPixels);
    CHECK_GL_ERROR(kSource);
}

void CLumaApp::UpdateTitle(WindowHandle window)
{
    char title[256];
    std::snprintf(title, sizeof(title), "R%d G%d B%d LEVEL=%d", int(g_weightR), int(g_weightG),
                  int(g_weightB), int(g_power));
    SetWindowTitle(window, title);
}

// ---- glow controls and the processor-side pass ----

namespace {

float Toggled(float weight)
{
    return weight == 0.0f ? 1.0f : 0.0f;
}

struct Control {
    int virtualKey;
    int sleepMilliseconds;
    void (*act)(CLumaApp* app);
};

// Tested in this order, each on its own; a held key acts again after its sleep.
const Control kControls[] = {
    {VK_F5, 200, [](CLumaApp* app) { app->Reload(app->viewWidth, app->viewHeight); }},
    {VK_LEFT, 20, [](CLumaApp*) { g_power = std::min(g_power + 1.0f, 100.0f); }},
    {VK_RIGHT, 20, [](CLumaApp*) { g_power = std::max(g_power - 1.0f, 1.0f); }},
    {0x31, 200, [](CLumaApp*) { g_weightR = Toggled(g_weightR); }},
    {0x32, 200, [](CLumaApp*) { g_weightG = Toggled(g_weightG); }},
    {0x33, 200, [](CLumaApp*) { g_weightB = Toggled(g_weightB); }},
    {0x53, 200, [](CLumaApp*) { g_snapshotRequested = true; }},
    // F: fit the whole picture to the window, or back to one texel per pixel.
    {0x46, 200, [](CLumaApp* app) { app->ToggleFit(); }},
};

}  // namespace

void CLumaApp::Update()
{
    LockGuard lock(g_appLock);
    if (IsForeground(hwnd)) {
        bool anyKey = false;
        for (const Control& control : kControls) {
            if (!IsKeyDown(hwnd, control.virtualKey))
                continue;
            anyKey = true;
            control.act(this);
            SleepMilliseconds(control.sleepMilliseconds);
        }
        if (anyKey) {
            countdown = g_hasShaders ? -1 : 20;
            UpdateTitle(hwnd);
        }
    }
    if (countdown > 0) {
        --countdown;
    } else if (countdown == 0 && source) {
        RunGlowPass();
        countdown = -1;
    }
}

void CLumaApp::RunGlowPass()
{
    LockGuard lock(g_appLock);
    OxHolder<OxSurface> copy(CreateGlowCopy(source));
    if (copy)
        UploadWall(copy.get());
}

// ---- frame drawing and snapshots ----

void CLumaApp::DrawFrame()
{
    LockGuard lock(g_appLock);
    glFrontFace(GL_CW);
    // Drawn before the frame: the snapshot may need the back buffer on old drivers.
    if (g_snapshotRequested && path[0] != '\0') {
        SaveSnapshot();
        g_snapshotRequested = false;
    }
    DrawScene();
}

void CLumaApp::SaveSnapshot()
{
    LockGuard lock(g_appLock);
    // The whole picture at one texel per pixel, however it is panned or fitted now.
    if (OxSurface* picture = RenderWholePicture(wall, pictureWidth, pictureHeight))
        snapshots->Save(picture);
    else
        std::fprintf(stderr,
                     "glowview: cannot save a snapshot: no memory or render target for %d x %d "
                     "pixels\n",
                     pictureWidth, pictureHeight);
}

void CLumaApp::DrawScene()
{
    LockGuard lock(g_appLock);
    glClearColor(0.3f, 0.3f, 0.3f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    SetupView();
    if (wall)
        DrawWall(wall);
}

void CLumaApp::SetupView()
{
    LockGuard lock(g_appLock);
    if (g_hasShaders)
        LoadIdentity();
    else
        glLoadIdentity();
    glViewport(0, 0, viewWidth, viewHeight);
    // An empty view (a minimised window) has no box to map: glOrtho would
    // refuse it with an error, which ends the program.
    if (viewWidth <= 0 || viewHeight <= 0)
        return;
    Ortho(0.0f, float(viewWidth), 0.0f, float(viewHeight), -1000.0f, 1000.0f);
    const PicturePlacement place =
        PlacePicture(viewWidth, viewHeight, pictureWidth, pictureHeight, fitToWindow, &panX, &panY);
    Translate(float(place.left), float(place.bottom), 0.0f);
    g_smoothWall = place.scale != 1.0f;
    if (g_smoothWall)
        Scale(place.scale, place.scale, 1.0f);
}

void CLumaApp::PanBy(int dx, int dy)
{
    LockGuard lock(g_appLock);
    if (fitToWindow)
        return;
    panX -= dx;
    panY -= dy;
    PlacePicture(viewWidth, viewHeight, pictureWidth, pictureHeight, false, &panX, &panY);
}

void CLumaApp::ToggleFit()
{
    LockGuard lock(g_appLock);
    fitToWindow = !fitToWindow;
}

namespace {

// The offset of a picture side in a view side (from the view's near edge), and the pan clamped.
int PlaceSide(int view, int picture, int32_t* pan)
{
    if (picture <= view) {
        *pan = 0;
        return (view - picture) / 2;
    }
    *pan = std::clamp(*pan, 0, picture - view);
    return -*pan;
}

}  // namespace

PicturePlacement PlacePicture(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight,
                              bool fit, int32_t* panX, int32_t* panY)
{
    PicturePlacement place = {0, 0, 1.0f};
    if (viewWidth <= 0 || viewHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return place;
    if (fit) {
        place.scale = std::min({1.0f, float(viewWidth) / float(pictureWidth),
                                float(viewHeight) / float(pictureHeight)});
        place.left = int((viewWidth - pictureWidth * place.scale) / 2.0f);
        place.bottom = int((viewHeight - pictureHeight * place.scale) / 2.0f);
        return place;
    }
    place.left = PlaceSide(viewWidth, pictureWidth, panX);
    // panY counts rows down from the picture's top; the view's y runs up.
    const int top = PlaceSide(viewHeight, pictureHeight, panY);
    place.bottom = viewHeight - top - pictureHeight;
    return place;
}

// ---- the window object ----

namespace {

// Gives the window a client area of width x height and handles the new size at once.
// NOTE: X11 reports a resize later, in an event, where Windows sends WM_SIZE from
// inside SetWindowPos; without this the next frame, and a snapshot taken in it,
// would still use the old size while the drawable already has the new one.
void SizeClientArea(CWin* window, int width, int height)
{
    // Never larger than the work area: a larger picture is panned or fitted in it.
    int largestWidth = 0, largestHeight = 0;
    GetWorkAreaClientSize(window->handle, &largestWidth, &largestHeight);
    if (largestWidth > 0 && largestHeight > 0) {
        width = std::min(width, largestWidth);
        height = std::min(height, largestHeight);
    }
    SetClientSize(window->handle, width, height);
    MoveIntoWorkArea(window->handle);
    SizeRecord record = {0, 0, 0, 0};
    GetClientSize(window->handle, &record.width, &record.height);
    if (record.width > 0 && record.height > 0)
        window->OnSize(&record);
}

}  // namespace

CWin::CWin(WindowHandle handle) : OxWindow(handle)
{
    LockGuard lock(g_appLock);
    AddSearchRoot("./");
    AddSearchRoot("./paid/assets");
    AcceptDroppedFiles(handle, true);
}

void CWin::OnPaint()
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    bool step = false;
    bool runUpdate = false;
    if (g_paused) {
        if (IsKeyDown(handle, VK_SPACE)) {
            SleepMilliseconds(100);
            step = true;
        }
        if (IsKeyDown(handle, VK_RETURN)) {
            g_paused = false;
            runUpdate = true;
        } else {
            runUpdate = step;
        }
    } else if (IsKeyDown(handle, VK_SPACE)) {
        g_paused = true;
    } else {
        runUpdate = true;
    }
    if (runUpdate)
        g_app->Update();
    {
        LockGuard deviceLock(g_deviceLock);
        g_device->BeginFrame();
    }
    g_app->DrawFrame();
    {
        LockGuard deviceLock(g_deviceLock);
        g_device->EndFrame();
    }
}

void CWin::OnDropFile(const char* path)
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    g_app->LoadPicture(path);
    SizeClientArea(this, g_app->pictureWidth, g_app->pictureHeight);
}

void CWin::OnSize(SizeRecord* record)
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    g_app->viewWidth = record->width;
    g_app->viewHeight = record->height;
    LockGuard deviceLock(g_deviceLock);
    g_device->SetDisplayMode(record->width, record->height, 0);
}

void CWin::OnSizing(SizeRecord* record)
{
    OnSize(record);
}

void CWin::OnButtonDown(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_reloadDepth != 0 || !g_ready || !(record->buttons & MK_LBUTTON))
        return;
    g_app->dragging = true;
    g_app->dragX = record->x;
    g_app->dragY = record->y;
}

void CWin::OnButtonUp(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_ready && !(record->buttons & MK_LBUTTON))
        g_app->dragging = false;
}

void CWin::OnMouseMove(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_reloadDepth != 0 || !g_ready || !g_app->dragging)
        return;
    // A release outside the window may never have been reported.
    if (!(record->buttons & MK_LBUTTON)) {
        g_app->dragging = false;
        return;
    }
    g_app->PanBy(record->x - g_app->dragX, record->y - g_app->dragY);
    g_app->dragX = record->x;
    g_app->dragY = record->y;
}

void CWin::OnMouseWheel(MouseRecord* record)
{
    LockGuard lock(g_appLock);
    if (g_reloadDepth != 0 || !g_ready || record->wheel == 0)
        return;
    // An eighth of the view per notch; wheel up shows more of the top (or, with Shift, the left).
    if (record->buttons & MK_SHIFT)
        g_app->PanBy(record->wheel * std::max(16, g_app->viewWidth / 8), 0);
    else
        g_app->PanBy(0, record->wheel * std::max(16, g_app->viewHeight / 8));
}

// ---- start-up, loop and tear-down ----

int CreateDevice(WindowHandle handle)
{
    LockGuard deviceLock(g_deviceLock);
    g_device = new zorOpenGL();
    return g_device->Initialize(handle, 0, 0);
}

int RunApplication()
{
    WindowHandle handle = CreateAppWindow();
    if (!handle) {
        std::string reason = LastWindowError();
        while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back())))
            reason.pop_back();
        std::fprintf(stderr, "glowview: cannot open a window: %s\n", reason.c_str());
        TerminateWindowSystem();
        return 1;
    }
    g_window = new CWin(handle);
    AttachWindowObject(handle, g_window);
    ShowAppWindow(handle);
    if (CreateDevice(handle) != 0) {
        std::fprintf(stderr, "glowview: cannot make an OpenGL context for the window\n");
        DestroyAppWindow(handle);
        delete g_window;
        g_window = nullptr;
        TerminateWindowSystem();
        return 1;
    }
    g_app = new CLumaApp(handle);
    g_app->Reload(640, 480);
    g_ready = true;
    SizeClientArea(g_window, 640, 480);

    while (!PumpMessages()) {
        SleepMilliseconds(16);
        g_window->OnPaint();
    }

    DestroyAppWindow(handle);
    delete g_app;
    g_app = nullptr;
    delete g_window;
    g_window = nullptr;
    TerminateWindowSystem();
    return 0;
}
