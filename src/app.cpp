// Process-wide state, CLumaApp (picture, glow, frame, snapshots), CWin's handlers, the frame loop.
#include "src/app.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include <GL/glew.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "foundation/assets.h"
#include "foundation/file.h"
#include "device/gl_error.h"
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

// Frames while the countdown runs come at most this often.
constexpr auto kFrameInterval = std::chrono::milliseconds(16);

// One line for the user on standard error: "glowview: " and the message.
void TellUser(const char* format, ...) OX_PRINTF_FORMAT(1, 2);
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

// Gives the memory the heap holds free back to the system: the many small blocks of a
// picture's textures stay resident after they are freed otherwise.
void HandBackFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
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

// Plain words for a problem the readers reported.
std::string DescribeProblem(const PictureReport& report)
{
    switch (report.problem) {
    case PICTURE_NOT_RECOGNISED: return "not a PNG or JPEG picture";
    case PICTURE_TRUNCATED: return "truncated";
    case PICTURE_TOO_LARGE: {
        char text[96];
        std::snprintf(text, sizeof(text), "%u x %u is larger than %d x %d",
                      unsigned(report.width), unsigned(report.height), kMaxPictureSide,
                      kMaxPictureSide);
        return text;
    }
    case PICTURE_DAMAGED: return "damaged";
    case PICTURE_UNSUPPORTED: return "a kind of PNG or JPEG that cannot be shown";
    case PICTURE_NO_MEMORY: return "not enough memory";
    case PICTURE_UNREADABLE: return "cannot be read";
    case PICTURE_FINE: break;
    }
    return "cannot be shown";
}

// Why the picture at the path did not load; called right after the failed
// read, whose report is still the readers' last one.
std::string LoadFailureReason(const char* picturePath)
{
    PictureReport report = LastPictureReport();
    OpenProblem opened = OPEN_FINE;
    OxHolder<OxFile> file{OpenAssetFile(picturePath, &opened)};
    switch (opened) {
    case OPEN_NO_SUCH_FILE: return "no such file";
    case OPEN_DIRECTORY: return "is a directory";
    case OPEN_FAILED: return "cannot be opened";
    case OPEN_FINE: break;
    }
    // The JPEG reader tries a PNG last; the PNG reader knows what is wrong with it.
    if (report.problem == PICTURE_NOT_RECOGNISED) {
        OxHolder<OxSurface> again{ReadPng(file.get())};
        const PictureReport png = LastPictureReport();
        if (png.problem != PICTURE_NOT_RECOGNISED && png.problem != PICTURE_FINE)
            report = png;
    }
    return DescribeProblem(report);
}

}  // namespace

bool CLumaApp::LoadPicture(const char* picturePath)
{
    LockGuard lock(g_appLock);
    CHECK_GL_ERROR(kSource);
    if (!picturePath)
        picturePath = "";
    const size_t length = std::strlen(picturePath);
    bool loaded = false;
    if (length >= sizeof(path)) {
        LogMessage(__LINE__, kSource, LOG_ERROR,
                   "Path of %d characters is longer than %d, not loaded", int(length),
                   int(sizeof(path) - 1));
        TellUser("%s: the path of %d characters is longer than %d", picturePath, int(length),
                 int(sizeof(path) - 1));
    } else if (OxHolder<OxSurface> picture{ReadPictureMakingRoom(picturePath)}) {
        const PictureReport report = LastPictureReport();
        if (OxSurface* rgba = CreateRgbaCopy(picture.get())) {
            if (report.problem == PICTURE_TRUNCATED)
                TellUser("%s: truncated, shown as far as it goes", picturePath);
            OxReleaseAndClear(source);
            picture.Reset();
            source = rgba;
            UploadWall(source);
            wallShowsGlow = false;
            if (std::strcmp(path, picturePath) != 0)
                panX = panY = 0;  // a new picture starts at its top left corner
            // Reload passes path itself, so source and destination may be the same.
            std::memmove(path, picturePath, length + 1);
            pictureWidth = source->width;
            pictureHeight = source->height;
            loaded = true;
            CHECK_GL_ERROR(kSource);
        } else {
            TellUser("%s: a picture of %d x %d cannot be shown", picturePath, picture->width,
                     picture->height);
            picture.Reset();
            RestorePicture();
        }
    } else {
        if (length > 0)
            TellUser("%s: %s", picturePath, LoadFailureReason(picturePath).c_str());
        RestorePicture();
    }
    UpdateTitle(hwnd);
    // A failed load changes nothing, a pending pass included.
    if (loaded) {
        countdown = g_hasShaders ? -1 : 0;
        Invalidate();
    }
    CHECK_GL_ERROR(kSource);
    return loaded;
}

namespace {

// The file at the path opens and begins as a PNG or a JPEG does.
bool LooksLikePicture(const char* picturePath)
{
    OxHolder<OxFile> file{OpenAssetFile(picturePath)};
    uint8_t start[8] = {};
    if (!file || file->Read(start, sizeof(start)) != int(sizeof(start)))
        return false;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return std::memcmp(start, kPng, sizeof(kPng)) == 0 || (start[0] == 0xFF && start[1] == 0xD8);
}

}  // namespace

OxSurface* CLumaApp::ReadPictureMakingRoom(const char* picturePath)
{
    // The old picture and its wall are each as large as the new picture: one of them goes
    // before a picture file is decoded, and comes back if the read fails. With GLSL the
    // wall holds the picture's colours exactly, so the picture goes and the wall stays
    // shown; without, the picture is kept for the processor-side pass and the wall goes.
    // A missing file, or one that is no picture at all, fails without either.
    if (LooksLikePicture(picturePath)) {
        if (g_hasShaders)
            OxReleaseAndClear(source);
        else
            ReleaseWall();
    }
    return ReadPicture(picturePath);
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

void CLumaApp::Rest()
{
    LockGuard lock(g_appLock);
    // The driver frees a frame's commands once the frame is drawn.
    glFinish();
    HandBackFreedMemory();
}

void CLumaApp::RestorePicture()
{
    LockGuard lock(g_appLock);
    if (!source && wall && !wallShowsGlow) {
        source = CreateSurfaceFromWall(wall);
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
        UploadWall(source);
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
    std::snprintf(title, sizeof(title), "R%d G%d B%d LEVEL=%d%s", int(g_weightR), int(g_weightG),
                  int(g_weightB), int(g_power), g_paused ? " (paused)" : "");
    SetWindowTitle(window, title);
}

// ---- glow controls and the processor-side pass ----

namespace {

// The settings the glow is made from.
struct GlowSettings {
    float r, g, b, power;
    bool operator==(const GlowSettings& other) const
    {
        return r == other.r && g == other.g && b == other.b && power == other.power;
    }
};

GlowSettings CurrentGlow()
{
    return GlowSettings{g_weightR, g_weightG, g_weightB, g_power};
}

float Toggled(float weight)
{
    return weight == 0.0f ? 1.0f : 0.0f;
}

void SizeClientArea(CWin* window, int width, int height);

// F5: the picture is read again; a picture that now has another size gets a
// window of that size.
void ReloadPicture(CLumaApp* app)
{
    const int width = app->pictureWidth;
    const int height = app->pictureHeight;
    app->Reload(app->viewWidth, app->viewHeight);
    if (g_window && (app->pictureWidth != width || app->pictureHeight != height))
        SizeClientArea(g_window, app->pictureWidth, app->pictureHeight);
}

struct Control {
    int virtualKey;
    bool repeats;  // a held key acts again at the system's key-repeat pace
    void (*act)(CLumaApp* app);
};

// The keys of the update step, by virtual-key code; each press acts once.
const Control kControls[] = {
    {VK_F5, false, ReloadPicture},
    {VK_LEFT, true, [](CLumaApp*) { g_power = std::min(g_power + 1.0f, 100.0f); }},
    {VK_RIGHT, true, [](CLumaApp*) { g_power = std::max(g_power - 1.0f, 1.0f); }},
    {0x31, false, [](CLumaApp*) { g_weightR = Toggled(g_weightR); }},
    {0x32, false, [](CLumaApp*) { g_weightG = Toggled(g_weightG); }},
    {0x33, false, [](CLumaApp*) { g_weightB = Toggled(g_weightB); }},
    {0x53, false, [](CLumaApp*) { g_snapshotRequested = true; }},
    // F: fit the whole picture to the window, or back to one texel per pixel.
    {0x46, false, [](CLumaApp* app) { app->ToggleFit(); }},
};

const Control* FindControl(int virtualKey)
{
    for (const Control& control : kControls) {
        if (control.virtualKey == virtualKey)
            return &control;
    }
    return nullptr;
}

}  // namespace

void CLumaApp::QueueKey(const KeyPress& press)
{
    LockGuard lock(g_appLock);
    const Control* control = FindControl(press.virtualKey);
    if (!control || (press.repeat && !control->repeats))
        return;
    pendingKeys.push_back(press);
}

bool CLumaApp::ApplyKeys()
{
    LockGuard lock(g_appLock);
    if (pendingKeys.empty())
        return false;
    const GlowSettings before = CurrentGlow();
    while (!pendingKeys.empty()) {
        const KeyPress press = pendingKeys.front();
        pendingKeys.pop_front();
        if (const Control* control = FindControl(press.virtualKey))
            control->act(this);
    }
    // Only a new glow needs the processor-side pass again; fit, snapshot and a reload
    // (which sets the countdown itself) leave it as it is.
    if (!g_hasShaders && !(CurrentGlow() == before))
        countdown = 20;
    UpdateTitle(hwnd);
    Invalidate();
    return true;
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
    } else if (countdown == 0 && source) {
        RunGlowPass();
        countdown = -1;
    }
}

namespace {

// The glow pass goes through a large picture this many rows at a time: only one band of
// the glowing copy exists at once beside the picture and the wall.
constexpr int kGlowBandRows = 16 * kWallTileSide;

// The picture's rows [first, first + count) as a surface that reads them where they are.
OxSurface* CreateBandView(OxSurface* picture, int first, int count)
{
    if (first == 0 && count == picture->height) {
        ++picture->refCount;
        return picture;
    }
    OxSurface* band = CreateSurface(0, picture->width, count, picture->format, picture->pitch);
    if (band)
        band->readPixels = picture->readPixels + ptrdiff_t(first) * picture->pitch;
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
    wall = CreateGlowWall(source);
    wallShowsGlow = wall != nullptr;
    if (!wall) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "No memory for the glow of a %d x %d picture",
                   source->width, source->height);
        UploadWall(source);
    }
    CHECK_GL_ERROR(kSource);
    Invalidate();
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

bool IsQuitKey(const KeyPress& press)
{
    return press.virtualKey == VK_ESCAPE || press.virtualKey == 0x51;
}

void CWin::TakeKeys()
{
    KeyPress press;
    while (TakeKeyPress(handle, &press)) {
        if (IsQuitKey(press)) {
            RequestClose(handle);
        } else if (press.virtualKey == VK_SPACE) {
            if (g_paused) {
                g_app->Update();  // one step; a held Space steps at the key-repeat pace
            } else if (!press.repeat) {
                g_app->ApplyKeys();  // the keys pressed before the pause still act
                g_paused = true;
                g_app->UpdateTitle(handle);
            }
        } else if (press.virtualKey == VK_RETURN) {
            if (g_paused) {
                g_paused = false;
                g_app->UpdateTitle(handle);
            }
        } else {
            g_app->QueueKey(press);
        }
    }
}

void CWin::OnPaint()
{
    if (g_reloadDepth != 0)
        return;
    LockGuard lock(g_appLock);
    if (!g_ready)
        return;
    // While paused the update step waits, and the keys for it wait in its queue.
    TakeKeys();
    if (!g_paused)
        g_app->Update();
    g_app->needsRedraw = false;
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
    if (g_app->LoadPicture(path))
        SizeClientArea(this, g_app->pictureWidth, g_app->pictureHeight);
}

void CWin::OnDropFiles(const char* firstPath, int count)
{
    if (g_reloadDepth != 0 || !g_ready)
        return;
    if (count > 1)
        TellUser("%d files dropped: showing the first, %d ignored", count, count - 1);
    OnDropFile(firstPath);
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
    g_app->Invalidate();
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

namespace {

// Runs frames until the window is closed or a stop signal comes: a frame when
// something changed, one every kFrameInterval while the countdown runs, and
// otherwise a wait for events that takes no processor time.
void RunFrameLoop(CWin* window)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastFrame = Clock::now();
    bool drewSinceRest = false;
    for (;;) {
        double waitSeconds = -1.0;
        {
            LockGuard lock(g_appLock);
            if (g_app->needsRedraw || QueuedKeyPresses(window->handle) > 0) {
                waitSeconds = 0.0;
            } else if (g_app->NeedsFrame()) {
                const auto left = kFrameInterval - (Clock::now() - lastFrame);
                waitSeconds = std::max(0.0, std::chrono::duration<double>(left).count());
            } else if (drewSinceRest) {
                g_app->Rest();
                drewSinceRest = false;
            }
        }
        if (WaitMessages(waitSeconds) || StopRequested())
            return;
        LockGuard lock(g_appLock);
        const bool due = g_app->needsRedraw || QueuedKeyPresses(window->handle) > 0 ||
                         (g_app->NeedsFrame() && Clock::now() - lastFrame >= kFrameInterval);
        if (due) {
            window->OnPaint();
            lastFrame = Clock::now();
            drewSinceRest = true;
        }
    }
}

}  // namespace

int RunApplication(const RunOptions& options)
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
    // From here on a stop signal is served by the loop, however long the start takes.
    InstallStopSignals();
    g_app = new CLumaApp(handle);
    g_app->Reload(640, 480);
    g_ready = true;
    SizeClientArea(g_window, 640, 480);
    if (options.startFile)
        g_window->OnDropFiles(options.startFile, std::max(1, options.fileCount));

    RunFrameLoop(g_window);
    RemoveStopSignals();

    // GL objects go while their context lives: the application (whose wall deletes
    // its textures) and the device first, the window and its context after them.
    delete g_app;
    g_app = nullptr;
    {
        LockGuard deviceLock(g_deviceLock);
        g_device->Shutdown();
        delete static_cast<zorOpenGL*>(g_device);
        g_device = nullptr;
    }
    AttachWindowObject(handle, nullptr);
    DestroyAppWindow(handle);
    delete g_window;
    g_window = nullptr;
    TerminateWindowSystem();
    return 0;
}
