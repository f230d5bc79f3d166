// The view: the wall built from the picture, where the picture lies in the window (placement,
// pan, fit), the title, and drawing the frame and snapshots.
#include "src/view.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "device/gl_error.h"
#include "foundation/log.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/snapshot.h"
#include "src/wallpaper.h"

namespace {

const char* const kSource = "src/app";  // the application logs as one source

}  // namespace

void CLumaApp::UploadWall(const OxSurface* surface)
{
    LockGuard lock(g_appLock);
    wall.reset();
    if (surface)
        wall.reset(
            new CWall(surface->width, surface->height, surface->readPixels, tileStock.get()));
    CHECK_GL_ERROR(kSource);
}

void CLumaApp::UpdateTitle(WindowHandle window)
{
    char title[64];
    std::snprintf(title, sizeof(title), "R%d G%d B%d LEVEL=%d%s", int(g_weightR), int(g_weightG),
                  int(g_weightB), int(g_power), g_paused ? " (paused)" : "");
    SetWindowTitle(window, (title + TitleTail()).c_str());
}

// ---- frame drawing and snapshots ----

void CLumaApp::DrawFrame()
{
    LockGuard lock(g_appLock);
    glFrontFace(GL_CW);
    // Drawn before the frame: the snapshot may need the back buffer on old drivers.
    // A snapshot asked for while a preview is shown waits for the picture itself.
    if (g_snapshotRequested && path[0] != '\0' && !previewShown) {
        SaveSnapshot();
        g_snapshotRequested = false;
    }
    DrawScene();
}

void CLumaApp::SaveSnapshot()
{
    LockGuard lock(g_appLock);
    // The whole picture at one texel per pixel, however it is panned or fitted now.
    if (OxSurface* picture = RenderWholePicture(wall.get(), pictureWidth, pictureHeight))
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
    BeginPictureFrame();
    SetupView();
    if (wall)
        DrawWall(wall.get());
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
    // A preview's texels are stretched over many pixels: smooth, whatever the scale.
    g_smoothWall = place.scale != 1.0f || previewShown;
    if (place.scale != 1.0f)
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
    Invalidate();
}

void CLumaApp::ToggleFit()
{
    LockGuard lock(g_appLock);
    fitToWindow = !fitToWindow;
    Invalidate();
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
