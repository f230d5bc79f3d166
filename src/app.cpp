// The application object: construction, the update step with its countdown, the processor-side
// pass, and handing memory back at rest.
#include "src/app.h"

#include <GL/glew.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "device/gl_error.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/glow.h"
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

// Gives the memory the heap holds free back to the system: the many small blocks of a
// picture's textures stay resident after they are freed otherwise.
void HandBackFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void KeepFreedMemoryWhileDrawing()
{
#if defined(__GLIBC__)
    // The driver takes each frame's work in many blocks of some 64 KB and frees them when
    // the frame is drawn. Where they lie at the top of the heap, glibc gives them back to
    // the system at once (above a trim threshold of 128 KB), and the next frame faults
    // every page in again and clears it: frames of a 1920 x 1080 wall took four times as
    // long as in a heap laid out otherwise. Freed memory stays while frames come; Rest
    // gives it back when the program waits.
    mallopt(M_TRIM_THRESHOLD, kFrameMemoryKept);
#endif
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
