// Process-wide state, the frame loop, CWin's event handlers and the application object.
#include "src/app.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <GL/glew.h>

#include "foundation/file.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/glhelp.h"

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

CLumaApp::CLumaApp(WindowHandle hwnd) : hwnd(hwnd)
{
    LockGuard lock(g_appLock);
}

CLumaApp::~CLumaApp()
{
    LockGuard lock(g_appLock);
    OxReleaseAndClear(source);
}

void CLumaApp::LoadPicture(const char* picturePath)
{
    LockGuard lock(g_appLock);
    (void)picturePath;
    CHECK_GL_ERROR(kSource);
    UpdateTitle(hwnd);
    countdown = g_hasShaders ? -1 : 0;
    CHECK_GL_ERROR(kSource);
}

void CLumaApp::Reload(int width, int height)
{
    ++g_reloadDepth;
    {
        LockGuard lock(g_appLock);
        viewWidth = width / 2 * 2;
        viewHeight = height / 2 * 2;
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

void CLumaApp::Update()
{
    LockGuard lock(g_appLock);
}

void CLumaApp::DrawFrame()
{
    LockGuard lock(g_appLock);
    glFrontFace(GL_CW);
    glClearColor(0.3f, 0.3f, 0.3f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glLoadIdentity();
    glViewport(0, 0, viewWidth, viewHeight);
}

void CLumaApp::UpdateTitle(WindowHandle window)
{
    char title[256];
    std::snprintf(title, sizeof(title), "R%d G%d B%d LEVEL=%d", int(g_weightR), int(g_weightG),
                  int(g_weightB), int(g_power));
    SetWindowTitle(window, title);
}

// ---- the window object ----

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
    SetClientSize(handle, g_app->pictureWidth, g_app->pictureHeight);
}

void CWin::OnSize(SizeRecord* record)
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    g_app->viewWidth = record->width / 2 * 2;
    g_app->viewHeight = record->height / 2 * 2;
    LockGuard deviceLock(g_deviceLock);
    g_device->SetDisplayMode(record->width, record->height, 0);
}

void CWin::OnSizing(SizeRecord* record)
{
    OnSize(record);
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
    SetClientSize(handle, 640, 480);

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
