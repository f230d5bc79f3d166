// Loading: reading the picture, making room for it, restoring it after a failed read, and the
// messages the user gets about a load.
#include "src/loading.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/gl_error.h"
#include "foundation/assets.h"
#include "foundation/file.h"
#include "foundation/log.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/globals.h"
#include "src/heap.h"
#include "src/picture_loader.h"
#include "src/window_handlers.h"
#include "src/glhelp.h"
#include "src/wallpaper.h"

namespace {

const char* const kSource = "src/app";  // the application logs as one source

OxFile* OpenPictureFile(const char* name, OpenProblem* why)
{
    return OpenAssetFile(name, why);
}

PictureOpener s_openPicture = OpenPictureFile;

}  // namespace

void SetPictureOpener(PictureOpener opener)
{
    s_openPicture = opener != nullptr ? opener : OpenPictureFile;
}

// One line for the user on standard error: "glowview: " and the message.
void TellUser(const char* format, ...)
{
    std::fflush(stdout);
    std::fputs("glowview: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

namespace {

// The lines a picture shown in part, or one frame of many, gets.
void TellAboutPicture(const char* picturePath, const PictureReport& report)
{
    if (report.problem == PICTURE_TRUNCATED)
        TellUser("%s: truncated, shown as far as it goes", picturePath);
    if (report.firstFrameOnly)
        TellUser("%s: animated, only the first frame is shown", picturePath);
}

// A new PF_RGBA copy of the picture, rows width * 4 bytes apart; null when it
// cannot be made, with *noMemory set when its store could not be had. A picture
// that is already so is not copied: it comes back with one more reference.
OxSurface* CreateRgbaCopy(OxSurface* picture, bool* noMemory)
{
    const int64_t byteSize = int64_t(picture->width) * picture->height * 4;
    if (picture->width <= 0 || picture->height <= 0 || byteSize > INT32_MAX) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "Picture of %d x %d pixels cannot be shown",
                   picture->width, picture->height);
        return nullptr;
    }
    if (picture->format == PF_RGBA && picture->pitch == picture->width * 4 &&
        picture->readPixels) {
        return OxRetain(picture);
    }
    OxHolder<OxSurface> copy(CreateSurfaceForOverwrite(int(byteSize), picture->width,
                                                       picture->height, PF_RGBA,
                                                       picture->width * 4));
    if (!copy) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "No memory for a %d x %d picture",
                   picture->width, picture->height);
        *noMemory = true;
        return nullptr;
    }
    if (ConvertPixels(copy->pitch, copy->writePixels, PF_RGBA, picture) != 0) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "Pixel format %d cannot be shown",
                   picture->format);
        return nullptr;
    }
    return copy.Detach();
}

// Plain words for a problem the readers reported.
std::string DescribeProblem(const PictureReport& report)
{
    switch (report.problem) {
    case PICTURE_NOT_RECOGNISED: return "not a PNG, JPEG or WebP picture";
    case PICTURE_TRUNCATED: return "truncated";
    case PICTURE_TOO_LARGE: {
        const unsigned side = report.maxSide > 0 ? report.maxSide : unsigned(kMaxPictureSide);
        char text[96];
        std::snprintf(text, sizeof(text), "%u x %u is larger than %u x %u",
                      unsigned(report.width), unsigned(report.height), side, side);
        return text;
    }
    case PICTURE_TOO_LARGE_TO_HOLD: {
        char text[96];
        std::snprintf(text, sizeof(text),
                      "%u x %u is too large to hold (more than %d megapixels)",
                      unsigned(report.width), unsigned(report.height),
                      int(kMaxPictureBytes / 4 / 1000000));
        return text;
    }
    case PICTURE_DAMAGED: return "damaged";
    case PICTURE_UNSUPPORTED: return "a kind of PNG or JPEG that cannot be shown";
    case PICTURE_NO_MEMORY: {
        if (report.width == 0 || report.height == 0)
            return "not enough memory";
        char text[64];
        std::snprintf(text, sizeof(text), "not enough memory for %u x %u",
                      unsigned(report.width), unsigned(report.height));
        return text;
    }
    case PICTURE_UNREADABLE: return "cannot be read";
    case PICTURE_CANCELLED: return "not read: another picture was asked for";
    case PICTURE_FINE: break;
    }
    return "cannot be shown";
}

// Why the picture did not load: the open's reason, or the read's.
std::string LoadFailureReason(OpenProblem opened, const PictureReport& report)
{
    switch (opened) {
    case OPEN_NO_SUCH_FILE: return "no such file";
    case OPEN_DIRECTORY: return "is a directory";
    case OPEN_FAILED: return "cannot be opened";
    case OPEN_FINE: break;
    }
    return DescribeProblem(report);
}

}  // namespace

namespace {

// The user's line for a path too long to be kept; true when the path fits.
bool PathFits(const char* picturePath, size_t capacity)
{
    const size_t length = std::strlen(picturePath);
    if (length < capacity)
        return true;
    LogMessage(__LINE__, kSource, LOG_ERROR, "Path of %d characters is longer than %d, not loaded",
               int(length), int(capacity - 1));
    TellUser("%s: the path of %d characters is longer than %d", picturePath, int(length),
             int(capacity - 1));
    return false;
}

}  // namespace

PictureRead ReadPictureAt(const char* picturePath, const PictureHeaderHook* hook,
                          OpenProblem* opened)
{
    *opened = OPEN_FINE;
    OxHolder<OxFile> file{s_openPicture(picturePath, opened)};
    if (!file)
        return PictureRead{nullptr, {PICTURE_UNREADABLE, 0, 0}};
    return ReadPicture(file.get(), hook);
}

bool CLumaApp::LoadPicture(const char* picturePath)
{
    LockGuard lock(g_appLock);
    CHECK_GL_ERROR(kSource);
    if (!picturePath)
        picturePath = "";
    if (!PathFits(picturePath, sizeof(path))) {
        UpdateTitle(hwnd);
        return false;
    }
    PictureReport report = {PICTURE_FINE, 0, 0};
    std::string failure;
    OxHolder<OxSurface> picture{ReadPictureMakingRoom(picturePath, &report, &failure)};
    return ShowPicture(picturePath, picture.get(), report, failure);
}

bool CLumaApp::ShowPicture(const char* picturePath, OxSurface* picture,
                           const PictureReport& report, const std::string& failure,
                           bool reuseTiles, std::unique_ptr<CWall> prepared)
{
    LockGuard lock(g_appLock);
    CHECK_GL_ERROR(kSource);
    const size_t length = std::strlen(picturePath);
    bool loaded = false;
    PutPreviewAway();
    // The new wall is up: the picture's sides, view, path and report follow it.
    const auto takeOn = [&](int width, int height) {
        TellAboutPicture(picturePath, report);
        wallShowsGlow = false;
        if (std::strcmp(path, picturePath) != 0)
            StartView(width, height);
        // Reload passes path itself, so source and destination may be the same.
        std::memmove(path, picturePath, length + 1);
        pictureWidth = width;
        pictureHeight = height;
        lastReport = report;
        loaded = true;
        ++picturesShown;
    };
    if (prepared != nullptr) {
        // The wall shown goes among the pictures read ahead, as a neighbour to come back to.
        if (!wallShowsGlow && wall && path[0] != '\0' && std::strcmp(path, picturePath) != 0)
            KeepWallAhead(path, std::move(wall), lastReport);
        source.Reset();
        wall = std::move(prepared);
        takeOn(wall->width, wall->height);
    } else if (picture != nullptr) {
        OxHolder<OxSurface> held(OxRetain(picture));
        bool noMemory = false;
        if (OxSurface* rgba = CreateRgbaCopy(picture, &noMemory)) {
            source.Reset();
            held.Reset();
            source.Reset(rgba);
            if (reuseTiles && tileStock && wall)
                tileStock->Adopt(wall->textures);
            UploadWall(source.get());
            takeOn(source->width, source->height);
            CHECK_GL_ERROR(kSource);
        } else {
            if (noMemory)
                TellUser("%s: not enough memory for %d x %d", picturePath, picture->width,
                         picture->height);
            else
                TellUser("%s: a picture of %d x %d cannot be shown", picturePath,
                         picture->width, picture->height);
            held.Reset();
            RestorePicture();
        }
    } else {
        if (length > 0)
            TellUser("%s: %s", picturePath, failure.c_str());
        RestorePicture();
    }
    // Tiles made ahead that the wall did not take go.
    if (tileStock)
        tileStock->Release();
    UpdateTitle(hwnd);
    // A failed load changes nothing, a pending pass included.
    if (loaded) {
        countdown = g_hasShaders ? -1 : 0;
        Invalidate();
    }
    CHECK_GL_ERROR(kSource);
    return loaded;
}

OxSurface* CLumaApp::ReadPictureMakingRoom(const char* picturePath, PictureReport* report,
                                           std::string* failure)
{
    OpenProblem opened = OPEN_FINE;
    // The old picture and its wall are each as large as the new picture: one of them
    // goes once the new picture's header is accepted, before its pixels are decoded, and
    // comes back if the read fails. With GLSL the wall holds the picture's colours
    // exactly, so the picture goes and the wall stays shown; without, the picture is
    // kept for the processor-side pass and the wall goes. A missing file, or one that
    // is no picture at all, fails without either.
    const PictureHeaderHook makeRoom = {
        [](void* app, int, int) { static_cast<CLumaApp*>(app)->MakeRoom(); }, this};
    const PictureRead read = ReadPictureAt(picturePath, &makeRoom, &opened);
    *report = read.report;
    if (!read.picture)
        *failure = LoadFailureReason(opened, read.report);
    return read.picture;
}

// ---- reading off the window's thread ----

void CLumaApp::RequestPicture(const char* picturePath, bool reload)
{
    LockGuard lock(g_appLock);
    if (g_loader == nullptr) {
        LoadPicture(picturePath);
        return;
    }
    if (!picturePath || !PathFits(picturePath, sizeof(path)))
        return;
    g_loader->Request(picturePath, reload);
}

void CLumaApp::MakeRoomBeside()
{
    // Only the picture can go from the reading thread: the wall is the GL context's.
    LockGuard lock(g_appLock);
    if (g_hasShaders)
        source.Reset();
}

void CLumaApp::ShowPreview(const LoaderEvent& event)
{
    LockGuard lock(g_appLock);
    if (!event.picture || headerWidth <= 0 || headerHeight <= 0)
        return;
    std::unique_ptr<CWall> preview(new CWall(event.picture->width, event.picture->height,
                                             event.picture->readPixels));
    preview->unitsPerTexelX = float(headerWidth) / float(event.picture->width);
    preview->unitsPerTexelY = float(headerHeight) / float(event.picture->height);
    // The wall shown before stays aside: it comes back if the picture cannot be read.
    if (!previewShown) {
        previousWall = std::move(wall);
        widthBeforePreview = pictureWidth;
        heightBeforePreview = pictureHeight;
        fitBeforePreview = fitToWindow;
        zoomBeforePreview = zoom;
        panXBeforePreview = panX;
        panYBeforePreview = panY;
    }
    wall = std::move(preview);
    previewShown = true;
    if (std::strcmp(path, event.path.c_str()) != 0)
        StartView(headerWidth, headerHeight);
    pictureWidth = headerWidth;
    pictureHeight = headerHeight;
    Invalidate();
}

void CLumaApp::MakeTilesAhead()
{
    // The new wall takes the shown wall's textures first; only those it needs beyond them
    // are made here, while the picture decodes on the loader's thread.
    const CWall* shown = previewShown ? previousWall.get() : wall.get();
    const size_t have = shown ? shown->textures.size() : 0;
    const size_t need = WallTileCount(headerWidth, headerHeight);
    if (!tileStock)
        tileStock.reset(new CTileStock());
    if (need > have)
        tileStock->FillTo(need - have);
}

void CLumaApp::PutPreviewAway()
{
    LockGuard lock(g_appLock);
    if (!previewShown)
        return;
    previewShown = false;
    wall = std::move(previousWall);
    pictureWidth = widthBeforePreview;
    pictureHeight = heightBeforePreview;
    fitToWindow = fitBeforePreview;
    zoom = zoomBeforePreview;
    panX = panXBeforePreview;
    panY = panYBeforePreview;
}

bool CLumaApp::ServeLoads()
{
    LockGuard lock(g_appLock);
    if (g_loader == nullptr)
        return false;
    bool served = ServeListings();
    LoaderEvent event;
    while (g_loader->Take(&event)) {
        served = true;
        switch (event.kind) {
        case LoaderEvent::HEADER:
            headerWidth = event.width;
            headerHeight = event.height;
            MakeTilesAhead();
            // A window not shown yet opens at the picture's size.
            if (windowHidden && g_window != nullptr)
                SizeClientArea(g_window, headerWidth, headerHeight);
            else
                SizeForHeader(event.reload);
            break;
        case LoaderEvent::PREVIEW:
            ShowPreview(event);
            if (windowHidden && g_window != nullptr)
                SizeClientArea(g_window, pictureWidth, pictureHeight);
            ShowWindowNow();
            break;
        case LoaderEvent::DONE:
            ShowRead(event.path, event.picture.get(), event.report, event.opened, event.reload);
            break;
        }
    }
    served = ServeAhead() || served;
    if (readAheadDue && !needsRedraw) {
        readAheadDue = false;
        UpdateReadsAhead();
    }
    return served;
}

std::unique_ptr<CWall> CLumaApp::MakeWallAhead(OxSurface* picture)
{
    LockGuard lock(g_appLock);
    bool noMemory = false;
    OxHolder<OxSurface> rgba(picture ? CreateRgbaCopy(picture, &noMemory) : nullptr);
    if (!rgba)
        return nullptr;
    std::unique_ptr<CWall> made(new CWall(rgba->width, rgba->height, rgba->readPixels));
    if (made->textures.empty() ||
        std::find(made->textures.begin(), made->textures.end(), 0u) != made->textures.end())
        return nullptr;
    CHECK_GL_ERROR(kSource);
    return made;
}

void CLumaApp::ShowRead(const std::string& picturePath, OxSurface* picture,
                        const PictureReport& report, OpenProblem opened, bool reload,
                        std::unique_ptr<CWall> prepared)
{
    LockGuard lock(g_appLock);
    PutPreviewAway();
    const std::string failure =
        picture || prepared ? std::string() : LoadFailureReason(opened, report);
    const int widthBefore = pictureWidth, heightBefore = pictureHeight;
    const bool loaded = ShowPicture(picturePath.c_str(), picture, report, failure, true,
                                    std::move(prepared));
    // A dropped picture gets a window of its size; a reloaded one only when its size changed.
    const bool resized = pictureWidth != widthBefore || pictureHeight != heightBefore;
    if (g_window != nullptr && (windowHidden || (loaded && (!reload || resized))))
        SizeClientArea(g_window, pictureWidth, pictureHeight);
    else if (!loaded)
        UndoSizeForHeader();
    sizedForHeader = false;
    // A picture of the list that cannot be read is passed over.
    const int next = reload ? -1 : AfterBrowsedLoad(picturePath, loaded);
    if (next >= 0) {
        RequestBrowsed(next);
        return;
    }
    ShowWindowNow();
}

void CLumaApp::SizeForHeader(bool reload)
{
    if (g_window == nullptr || (reload && headerWidth == pictureWidth &&
                                headerHeight == pictureHeight))
        return;
    // The first frame at a new size costs the driver its new buffers, about another frame:
    // made now, it is paid while the picture decodes. Meanwhile the picture shown stays,
    // in the window of the new size.
    if (!sizedForHeader) {
        GetClientSize(hwnd, &clientWidthBeforeHeader, &clientHeightBeforeHeader);
        panXBeforeHeader = panX;
        panYBeforeHeader = panY;
        sizedForHeader = true;
    }
    SizeClientArea(g_window, headerWidth, headerHeight);
}

void CLumaApp::UndoSizeForHeader()
{
    if (!sizedForHeader || g_window == nullptr)
        return;
    if (clientWidthBeforeHeader > 0 && clientHeightBeforeHeader > 0)
        SizeClientArea(g_window, clientWidthBeforeHeader, clientHeightBeforeHeader);
    panX = panXBeforeHeader;
    panY = panYBeforeHeader;
    Invalidate();
}

void CLumaApp::ShowWindowNow()
{
    if (!windowHidden)
        return;
    windowHidden = false;
    // The first frame is drawn while the window is still hidden, and shown again the moment
    // the window is: the window is never seen empty, however long a large picture takes.
    // NOTE: Mesa makes a resized window's buffers anew only at the frame after the one that
    // saw the new size; the frame is drawn twice so that the one shown has the window's size.
    for (int frame = 0; frame < 2 && g_window != nullptr; ++frame) {
        Invalidate();
        g_window->OnPaint();
    }
    ShowAppWindow(hwnd);
    LockGuard deviceLock(g_deviceLock);
    if (g_device != nullptr)
        g_device->EndFrame();
}

void CLumaApp::MakeRoom()
{
    LockGuard lock(g_appLock);
    if (g_hasShaders)
        source.Reset();
    else
        ReleaseWall();
}

void CLumaApp::ReleaseWall()
{
    LockGuard lock(g_appLock);
    if (!wall)
        return;
    // The driver frees a texture once the frames that use it are drawn, and its memory goes
    // back to the system only when handed back.
    glFinish();
    UploadWall(nullptr);
    HandBackFreedMemory();
}

void CLumaApp::RestorePicture()
{
    LockGuard lock(g_appLock);
    if (!source && wall && !wallShowsGlow) {
        source.Reset(CreateSurfaceFromWall(wall.get()));
        if (!source)
            LogMessage(__LINE__, kSource, LOG_ERROR, "No memory for a %d x %d picture",
                       wall->width, wall->height);
    }
    if (wall || !source)
        return;
    // The processor-side pass gives the glowing wall again; its settings are those of the
    // last pass unless a newer pass is pending, which is then only shown sooner.
    if (wallShowsGlow)
        RunGlowPass();
    if (!wall) {
        UploadWall(source.get());
        wallShowsGlow = false;
    }
    Invalidate();
}

void CLumaApp::Reload(int width, int height)
{
    ++g_reloadDepth;
    {
        LockGuard lock(g_appLock);
        viewWidth = width;
        viewHeight = height;
        // The wall stays until a new one is made: a read that fails keeps the picture shown.
        Invalidate();
        {
            LockGuard deviceLock(g_deviceLock);
            if (g_device)
                g_device->ResetState();
        }
        InitRenderer();
        if (path[0] != '\0')
            RequestPicture(path, true);
        else
            LoadPicture(path);
        CHECK_GL_ERROR(kSource);
        --g_reloadDepth;
    }
}
