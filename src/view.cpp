// The view: the wall built from the picture, where the picture lies in the window (placement,
// pan, fit), the title, and drawing the frame and snapshots.
#include "src/view.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
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
    char zoomText[32];
    ZoomTitleSuffix(ShownScale(), zoomText, sizeof(zoomText));
    char title[64];
    std::snprintf(title, sizeof(title), "R%d G%d B%d LEVEL=%d", int(g_weightR), int(g_weightG),
                  int(g_weightB), int(g_power));
    // The glow first, then the picture's name and place, its zoom, and the pause.
    SetWindowTitle(window,
                   (title + TitleTail() + zoomText + (g_paused ? " (paused)" : "")).c_str());
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
    const PicturePlacement place = Placement();
    Translate(float(place.left), float(place.bottom), 0.0f);
    // Reduced, texels are blended; at one texel per pixel and magnified they stay sharp.
    // A preview's texels are stretched over many pixels: smooth, whatever the scale.
    g_smoothWall = place.scale < 1.0f || previewShown;
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
    Placement();
    Invalidate();
}

PicturePlacement CLumaApp::Placement()
{
    return PlacePicture(viewWidth, viewHeight, pictureWidth, pictureHeight, fitToWindow, zoom,
                        &panX, &panY);
}

float CLumaApp::ShownScale() const
{
    return fitToWindow ? FitScale(viewWidth, viewHeight, pictureWidth, pictureHeight) : zoom;
}

void CLumaApp::ToggleFit()
{
    LockGuard lock(g_appLock);
    if (fitToWindow) {
        // One texel per pixel at the pan kept on the way in: a new picture's top left
        // corner, else the middle of what was shown before it was fitted.
        fitToWindow = false;
        zoom = 1.0f;
        Placement();
    } else {
        // The pan is kept for one texel per pixel, around the middle of what is shown now;
        // the fit itself ignores it.
        const PicturePlacement before = Placement();
        KeepPointAtZoom(viewWidth / 2, viewHeight / 2, viewHeight, pictureHeight, before, 1.0f,
                        &panX, &panY);
        fitToWindow = true;
    }
    Invalidate();
}

void CLumaApp::ZoomAt(int x, int y, int direction)
{
    LockGuard lock(g_appLock);
    const PicturePlacement before = Placement();
    const float next = NextZoomStep(before.scale, direction);
    if (next == before.scale)
        return;
    KeepPointAtZoom(x, y, viewHeight, pictureHeight, before, next, &panX, &panY);
    fitToWindow = false;
    zoom = next;
    Placement();
    UpdateTitle(hwnd);
    Invalidate();
}

void CLumaApp::StartView(int width, int height)
{
    panX = panY = 0;
    zoom = 1.0f;
    // A picture larger than the largest window the work area allows opens whole.
    int largestWidth = 0, largestHeight = 0;
    GetWorkAreaClientSize(hwnd, &largestWidth, &largestHeight);
    fitToWindow = largestWidth > 0 && largestHeight > 0 &&
                  (width > largestWidth || height > largestHeight);
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

// A picture side in view pixels at the scale, whole.
int ScaledSide(int side, float scale)
{
    return std::max(1, int(std::lround(double(side) * scale)));
}

// Two scales this close are one step: the steps are fractions a float holds only nearly.
constexpr float kSameZoom = 1e-3f;

}  // namespace

const float kZoomSteps[] = {1.0f / 16, 1.0f / 12, 1.0f / 8, 1.0f / 6, 1.0f / 4,
                            1.0f / 3,  1.0f / 2,  2.0f / 3, 1.0f,     1.5f,
                            2.0f,      3.0f,      4.0f,     8.0f,     16.0f};
const int kZoomStepCount = int(sizeof(kZoomSteps) / sizeof(kZoomSteps[0]));

float NextZoomStep(float scale, int direction)
{
    if (direction > 0) {
        for (int i = 0; i < kZoomStepCount; ++i) {
            if (kZoomSteps[i] > scale * (1.0f + kSameZoom))
                return kZoomSteps[i];
        }
    } else if (direction < 0) {
        for (int i = kZoomStepCount - 1; i >= 0; --i) {
            if (kZoomSteps[i] < scale * (1.0f - kSameZoom))
                return kZoomSteps[i];
        }
    }
    return scale;
}

float FitScale(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight)
{
    if (viewWidth <= 0 || viewHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return 1.0f;
    return std::min({1.0f, float(viewWidth) / float(pictureWidth),
                     float(viewHeight) / float(pictureHeight)});
}

PicturePlacement PlacePicture(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight,
                              bool fit, float zoom, int32_t* panX, int32_t* panY)
{
    PicturePlacement place = {0, 0, 1.0f};
    if (viewWidth <= 0 || viewHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return place;
    if (fit) {
        place.scale = FitScale(viewWidth, viewHeight, pictureWidth, pictureHeight);
        place.left = int((viewWidth - pictureWidth * place.scale) / 2.0f);
        place.bottom = int((viewHeight - pictureHeight * place.scale) / 2.0f);
        return place;
    }
    place.scale = zoom > 0.0f ? zoom : 1.0f;
    const int width = ScaledSide(pictureWidth, place.scale);
    const int height = ScaledSide(pictureHeight, place.scale);
    place.left = PlaceSide(viewWidth, width, panX);
    // panY counts rows down from the picture's top; the view's y runs up.
    const int top = PlaceSide(viewHeight, height, panY);
    place.bottom = viewHeight - top - height;
    return place;
}

void KeepPointAtZoom(int x, int y, int viewHeight, int pictureHeight,
                     const PicturePlacement& before, float zoom, int32_t* panX, int32_t* panY)
{
    const double scale = before.scale > 0.0f ? before.scale : 1.0;
    // The picture point under (x, y), in picture pixels from its top left corner.
    const double top = double(viewHeight) - before.bottom - double(pictureHeight) * scale;
    const double pointX = (x - before.left) / scale;
    const double pointY = (y - top) / scale;
    *panX = int32_t(std::lround(pointX * zoom - x));
    *panY = int32_t(std::lround(pointY * zoom - y));
}

void ZoomTitleSuffix(float scale, char* text, int size)
{
    if (size <= 0)
        return;
    text[0] = '\0';
    if (scale == 1.0f)
        return;
    const double percent = double(scale) * 100.0;
    // Whole percents, but never a bare "100%" for a scale that is not one, nor "0%".
    const bool whole = percent >= 10.0 && std::lround(percent) != 100;
    std::snprintf(text, size_t(size), whole ? " %.0f%%" : " %.1f%%", percent);
}
