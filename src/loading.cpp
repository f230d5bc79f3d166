// Loading: reading the picture, making room for it, restoring it after a failed read, and the
// messages the user gets about a load.
#include "src/loading.h"

#include <GL/glew.h>

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
    case PICTURE_NOT_RECOGNISED: return "not a PNG or JPEG picture";
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

bool CLumaApp::LoadPicture(const char* picturePath)
{
    LockGuard lock(g_appLock);
    CHECK_GL_ERROR(kSource);
    if (!picturePath)
        picturePath = "";
    const size_t length = std::strlen(picturePath);
    bool loaded = false;
    PictureReport report = {PICTURE_FINE, 0, 0};
    std::string failure;
    if (length >= sizeof(path)) {
        LogMessage(__LINE__, kSource, LOG_ERROR,
                   "Path of %d characters is longer than %d, not loaded", int(length),
                   int(sizeof(path) - 1));
        TellUser("%s: the path of %d characters is longer than %d", picturePath, int(length),
                 int(sizeof(path) - 1));
    } else if (OxHolder<OxSurface> picture{ReadPictureMakingRoom(picturePath, &report, &failure)}) {
        bool noMemory = false;
        if (OxSurface* rgba = CreateRgbaCopy(picture.get(), &noMemory)) {
            if (report.problem == PICTURE_TRUNCATED)
                TellUser("%s: truncated, shown as far as it goes", picturePath);
            source.Reset();
            picture.Reset();
            source.Reset(rgba);
            UploadWall(source.get());
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
            if (noMemory)
                TellUser("%s: not enough memory for %d x %d", picturePath, picture->width,
                         picture->height);
            else
                TellUser("%s: a picture of %d x %d cannot be shown", picturePath,
                         picture->width, picture->height);
            picture.Reset();
            RestorePicture();
        }
    } else {
        if (length > 0)
            TellUser("%s: %s", picturePath, failure.c_str());
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

OxSurface* CLumaApp::ReadPictureMakingRoom(const char* picturePath, PictureReport* report,
                                           std::string* failure)
{
    OpenProblem opened = OPEN_FINE;
    OxHolder<OxFile> file{s_openPicture(picturePath, &opened)};
    PictureRead read = {nullptr, {PICTURE_UNREADABLE, 0, 0}};
    if (file) {
        // The old picture and its wall are each as large as the new picture: one of them
        // goes once the new picture's header is accepted, before its pixels are decoded, and
        // comes back if the read fails. With GLSL the wall holds the picture's colours
        // exactly, so the picture goes and the wall stays shown; without, the picture is
        // kept for the processor-side pass and the wall goes. A missing file, or one that
        // is no picture at all, fails without either.
        const PictureHeaderHook makeRoom = {
            [](void* app, int, int) { static_cast<CLumaApp*>(app)->MakeRoom(); }, this};
        read = ReadPicture(file.get(), &makeRoom);
    }
    *report = read.report;
    if (!read.picture)
        *failure = LoadFailureReason(opened, read.report);
    return read.picture;
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
        LoadPicture(path);
        CHECK_GL_ERROR(kSource);
        --g_reloadDepth;
    }
}
