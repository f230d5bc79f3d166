// The application object: construction, the update step with its countdown, the processor-side
// pass, and handing memory back at rest.
#include "src/app.h"

#include <GL/glew.h>

#include "device/gl_error.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/glow.h"
#include "src/heap.h"
#include "src/snapshot.h"
#include "src/wallpaper.h"

namespace {

const char* const kSource = "src/app";  // the application logs as one source

}  // namespace

// ---- the application object ----

CLumaApp::CLumaApp(WindowHandle hwnd) : hwnd(hwnd), snapshots(new CSnapshotWriter())
{
    LockGuard lock(g_appLock);
}

CLumaApp::~CLumaApp()
{
    LockGuard lock(g_appLock);
    wall.reset();
    source.Reset();
}

void CLumaApp::Rest()
{
    LockGuard lock(g_appLock);
    // The driver frees a frame's commands once the frame is drawn.
    glFinish();
    HandBackFreedMemory();
}

bool CLumaApp::CountdownRunning() const
{
    return countdown > 0 || (countdown == 0 && source);
}

bool CLumaApp::NeedsFrame() const
{
    return needsRedraw || (!g_paused && (!pendingKeys.empty() || CountdownRunning()));
}

void CLumaApp::Update()
{
    LockGuard lock(g_appLock);
    ApplyKeys();
    if (countdown > 0) {
        --countdown;
    } else if (countdown == 0 && source && !previewShown) {
        RunGlowPass();
        countdown = -1;
    }
}

namespace {

// The glow pass goes through a large picture this many rows at a time: only one band of
// the glowing copy exists at once beside the picture and the wall.
constexpr int kGlowBandRows = 16 * kWallTileSide;

// The picture's rows [first, first + count) as a surface that reads them where they are,
// holding a reference on the picture.
OxSurface* CreateBandView(OxSurface* picture, int first, int count)
{
    if (first == 0 && count == picture->height)
        return OxRetain(picture);
    OxSurface* band = CreateSurface(0, picture->width, count, picture->format, picture->pitch);
    if (band) {
        band->readPixels = picture->readPixels + ptrdiff_t(first) * picture->pitch;
        band->parent.Reset(OxRetain(picture));
    }
    return band;
}

// The wall of the picture with the glow applied on the processor, made band by band;
// null when a band cannot be made.
CWall* CreateGlowWall(OxSurface* picture)
{
    // Only packed rows can be cut into bands; a picture in another format goes whole.
    const int bandRows = picture->format == PF_RGBA && picture->readPixels
                             ? kGlowBandRows
                             : std::max(picture->height, 1);
    std::unique_ptr<CWall> glowing(CWall::CreateUnfilled(picture->width, picture->height));
    for (int first = 0; first < picture->height; first += bandRows) {
        const int count = std::min(bandRows, picture->height - first);
        OxHolder<OxSurface> band(CreateBandView(picture, first, count));
        OxHolder<OxSurface> copy(band ? CreateGlowCopy(band.get()) : nullptr);
        if (!copy)
            return nullptr;
        glowing->MakeTiles(first, count, copy->readPixels, copy->pitch);
    }
    return glowing.release();
}

}  // namespace

void CLumaApp::RunGlowPass()
{
    LockGuard lock(g_appLock);
    if (!source) {
        Invalidate();
        return;
    }
    // The old wall goes first, so that a large picture is not held three times over.
    ReleaseWall();
    wall.reset(CreateGlowWall(source.get()));
    wallShowsGlow = wall != nullptr;
    if (!wall) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "No memory for the glow of a %d x %d picture",
                   source->width, source->height);
        UploadWall(source.get());
    }
    CHECK_GL_ERROR(kSource);
    Invalidate();
}
