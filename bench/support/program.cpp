// The program driven from a benchmark: start, loop, end, and the one-quad frame.
#include "bench/support/program.h"

#include <GL/glew.h>

#include <chrono>
#include <memory>

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
