// The program driven from a benchmark: start, loop, end, and the one-quad frame.
#include "bench/support/program.h"

#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/picture_loader.h"
#include "src/run.h"
#include "src/wallpaper.h"
#include "src/window_handlers.h"
#include "window/window.h"

bool ServeUntilShown(const std::string& path, bool preview)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        g_app->ServeLoads();
        if (g_app->needsRedraw && !g_app->windowHidden)
            g_window->OnPaint();
        // A preview not yet served when the picture itself came is passed over: what the
        // user sees first is then the picture.
        const bool shown = (preview && g_app->previewShown) || path == g_app->path;
        if (shown && !g_app->windowHidden) {
            glFinish();
            return true;
        }
        // As the frame loop: events, the loader's, the lister's and the reads ahead among
        // them, end the wait.
        WaitMessages(0.05);
    }
    return false;
}

bool StartProgram(const std::vector<std::string>& files, const std::string& shown)
{
    StartLoader();
    const bool startFolder = files.size() == 1 && IsDirectoryPath(files[0].c_str());
    if (!files.empty() && !startFolder)
        g_loader->Request(files[0]);
    WindowHandle handle = CreateAppWindow();
    if (!handle || !StartApplication(handle, false, !files.empty()))
        return false;
    if (files.empty()) {
        g_window->OnPaint();
        glFinish();
        return true;
    }
    {
        LockGuard lock(g_appLock);
        g_app->BrowseFiles(files, !startFolder);
    }
    return ServeUntilShown(shown, false);
}

void EndProgram()
{
    WindowHandle handle = g_app->hwnd;
    StopApplication(handle);
    ResetAppGlobals();
    DestroyAppWindow(handle);
}

COneQuadFrame::COneQuadFrame(const OxSurface* picture)
    : width_(float(picture->width)), height_(float(picture->height))
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, picture->width, picture->height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, picture->readPixels);
    glBindTexture(GL_TEXTURE_2D, 0);
    texture_ = texture;
}

COneQuadFrame::~COneQuadFrame()
{
    GLuint texture = texture_;
    glDeleteTextures(1, &texture);
}

void COneQuadFrame::Draw()
{
    const float w = width_, h = height_;
    const float positions[12] = {0, 0, 0, w, 0, 0, 0, h, 0, w, h, 0};
    const float textureCoordinates[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    // The wall is set aside: the scene then only clears and sets the view.
    std::unique_ptr<CWall> shown = std::move(g_app->wall);
    g_app->DrawScene();
    g_app->wall = std::move(shown);
    PushMatrix();
    Translate(0.0f, h, 0.0f);
    Scale(1.0f, -1.0f, 1.0f);
    if (!g_hasShaders)
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    DrawTexturedQuad(texture_, positions, textureCoordinates);
    PopMatrix();
    glFinish();
}

bool WaitForSize(WindowHandle window, int width, int height)
{
    for (int i = 0; i < 500; ++i) {
        PumpMessages();
        int w = 0, h = 0;
        GetClientSize(window, &w, &h);
        if (w == width && h == height)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void ViewPicture(int width, int height)
{
    g_app->pictureWidth = width;
    g_app->pictureHeight = height;
    g_app->StartView(width, height);
    int largestWidth = width, largestHeight = height;
    GetWorkAreaClientSize(g_app->hwnd, &largestWidth, &largestHeight);
    width = std::min(width, largestWidth);
    height = std::min(height, largestHeight);
    SetClientSize(g_app->hwnd, width, height);
    if (!WaitForSize(g_app->hwnd, width, height))
        std::fprintf(stderr, "bench: the window did not take %d x %d\n", width, height);
    GetClientSize(g_app->hwnd, &width, &height);
    g_app->viewWidth = width;
    g_app->viewHeight = height;
    g_device->SetDisplayMode(width, height, 0);
}

void ShowEmptyWindowFor(int width, int height)
{
    g_app->UploadWall(nullptr);
    ViewPicture(width, height);
    // NOTE: Mesa sizes the window's buffers anew at the frame after the one that
    // saw the new size; two frames make sure they exist at the picture's size.
    // A frame with a quad over the whole window makes llvmpipe touch every tile of them.
    GLuint texture = 0;
    const uint8_t texel[4] = {0, 0, 0, 255};
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glBindTexture(GL_TEXTURE_2D, 0);
    const float w = float(width), h = float(height);
    const float positions[12] = {0, 0, 0, w, 0, 0, 0, h, 0, w, h, 0};
    const float textureCoordinates[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    for (int frame = 0; frame < 2; ++frame) {
        g_app->DrawScene();
        DrawTexturedQuad(texture, positions, textureCoordinates);
        glFinish();
        g_device->EndFrame();
    }
    glDeleteTextures(1, &texture);
    g_app->Rest();
}

long StatusKilobytes(const char* key)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(key);
    while (std::fgets(line, sizeof(line), status)) {
        if (std::strncmp(line, key, length) == 0 && line[length] == ':') {
            value = std::atol(line + length + 1);
            break;
        }
    }
    std::fclose(status);
    return value;
}

void ResetPeak()
{
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}
