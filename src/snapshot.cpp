// Frame read-back through the device, window capture, the whole picture drawn off screen and snapshot files.
#include "src/snapshot.h"

#include <GL/glew.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/wallpaper.h"

int ReadWindowPixels(int* width, uint8_t* buffer, int bufferSize, int* height)
{
    LockGuard deviceLock(g_deviceLock);
    if (!g_device)
        return 0;
    int toTarget = 0;
    {
        LockGuard again(g_deviceLock);
        g_device->GetValue(VALUE_TARGET_OPEN, nullptr, &toTarget);
    }
    int size[2] = {0, 0};
    g_device->GetValue(toTarget ? VALUE_TARGET_SIZE : VALUE_DRAWABLE_SIZE, nullptr, size);
    if (width)
        *width = size[0];
    if (height)
        *height = size[1];
    if (buffer && bufferSize > 0)
        g_device->ReadPixels(buffer, bufferSize, toTarget);
    const int64_t bytes = int64_t(size[0]) * size[1] * 3;
    return bytes > 0 && bytes <= INT32_MAX ? int(bytes) : 0;
}

OxSurface* CaptureWindow()
{
    LockGuard deviceLock(g_deviceLock);
    int width = 0, height = 0;
    const int byteCount = ReadWindowPixels(&width, nullptr, 0, &height);
    if (byteCount <= 0)
        return nullptr;
    std::vector<uint8_t> pixels(static_cast<size_t>(byteCount));
    ReadWindowPixels(nullptr, pixels.data(), byteCount, nullptr);
    return CreateSurfaceFromRows(width * 3, width, height, pixels.data());
}

void SavePicture(const char* fileName)
{
    LockGuard deviceLock(g_deviceLock);
    OxHolder<OxSurface> capture(CaptureWindow());
    if (!capture || !fileName)
        return;
    if (std::FILE* stream = OpenFile(fileName, "wb")) {
        WritePng(capture->width, capture->height, capture->readPixels, stream);
        std::fclose(stream);
    }
}

// ---- the whole picture, drawn off screen ----

namespace {

// The device texture index of the snapshot's render target; the program keeps no other
// textures in the device's table.
const int kSnapshotTarget = 1;
// Bands of at most 4096 x 4096 pixels keep the read-back buffer at 64 MiB.
const int kLargestBand = 4096;

// The largest band side the driver draws and reads: texture, viewport and render buffer limits.
int LargestBandSide(bool toTarget)
{
    GLint texture = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    int side = std::min({kLargestBand, int(texture), int(viewport[0]), int(viewport[1])});
    if (toTarget) {
        GLint renderbuffer = 0;
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
        if (renderbuffer > 0)
            side = std::min(side, int(renderbuffer));
    }
    return side;
}

// Draws the picture's pixels [x0, x0 + width) x [y0, y0 + height), rows counted from
// its top, into the lower left corner of the bound frame buffer, as DrawScene draws the
// whole picture at one texel per pixel.
void DrawBand(const CWall* wall, int pictureHeight, int x0, int y0, int width, int height)
{
    glViewport(0, 0, width, height);
    BeginPictureFrame();
    // The wall's units are picture pixels with y up from its bottom edge.
    const float bottom = float(pictureHeight - y0 - height);
    Ortho(float(x0), float(x0 + width), bottom, bottom + float(height), -1000.0f, 1000.0f);
    g_smoothWall = false;
    if (wall)
        DrawWall(wall);
}

}  // namespace

OxSurface* RenderWholePicture(const CWall* wall, int width, int height, int maxBandSide)
{
    LockGuard deviceLock(g_deviceLock);
    const int64_t byteSize = int64_t(width) * height * 3;
    if (!g_device || width <= 0 || height <= 0 || byteSize > INT32_MAX)
        return nullptr;
    int hasTargets = 0;
    g_device->GetValue(VALUE_HAS_FRAMEBUFFERS, nullptr, &hasTargets);
    const bool toTarget = hasTargets != 0;
    int side = LargestBandSide(toTarget);
    if (maxBandSide > 0)
        side = std::min(side, maxBandSide);
    int bandWidth = std::min(side, width), bandHeight = std::min(side, height);
    int drawable[2] = {0, 0};
    if (toTarget) {
        // A framebuffer render target with a texture of its own size.
        int target[3] = {kSnapshotTarget, bandWidth, bandHeight};
        if (g_device->Command(COMMAND_CREATE_TARGET, 0, target, 0) != kSnapshotTarget)
            return nullptr;
    } else {
        // NOTE: without render targets the bands are drawn in the back buffer, whose
        // pixels are defined only where the window is on the screen and uncovered.
        g_device->GetValue(VALUE_DRAWABLE_SIZE, nullptr, drawable);
        bandWidth = std::min(bandWidth, drawable[0]);
        bandHeight = std::min(bandHeight, drawable[1]);
        if (bandWidth <= 0 || bandHeight <= 0)
            return nullptr;
    }
    OxHolder<OxSurface> picture(CreateSurface(int(byteSize), width, height, PF_RGB, width * 3));
    std::vector<uint8_t> band;
    const size_t bandBytes = toTarget ? size_t(bandWidth) * bandHeight * 4
                                      : size_t(drawable[0]) * drawable[1] * 3;
    if (picture) {
        try {
            band.resize(bandBytes);
        } catch (const std::bad_alloc&) {
            picture.Reset();
        }
    }
    for (int y0 = 0; picture && y0 < height; y0 += bandHeight) {
        const int rows = std::min(bandHeight, height - y0);
        for (int x0 = 0; x0 < width; x0 += bandWidth) {
            const int columns = std::min(bandWidth, width - x0);
            if (toTarget)
                g_device->BindRenderTarget(kSnapshotTarget);
            DrawBand(wall, height, x0, y0, columns, rows);
            uint8_t* out = picture->writePixels;
            if (toTarget) {
                g_device->UnbindRenderTarget();
                g_device->ReadTexture(kSnapshotTarget, band.data());
                // The target's rows start at the bottom and hold 4 bytes a texel.
                for (int r = 0; r < rows; ++r) {
                    const uint8_t* from = band.data() + size_t(r) * bandWidth * 4;
                    uint8_t* to = out + size_t(y0 + rows - 1 - r) * picture->pitch + size_t(x0) * 3;
                    for (int x = 0; x < columns; ++x)
                        std::memcpy(to + size_t(x) * 3, from + size_t(x) * 4, 3);
                }
            } else {
                g_device->ReadPixels(band.data(), int(bandBytes), 0);
                // Top-down rows of the whole drawable; the band is at its bottom left.
                for (int r = 0; r < rows; ++r) {
                    const uint8_t* from =
                        band.data() + size_t(drawable[1] - rows + r) * drawable[0] * 3;
                    std::memcpy(out + size_t(y0 + r) * picture->pitch + size_t(x0) * 3, from,
                                size_t(columns) * 3);
                }
            }
        }
    }
    if (toTarget)
        g_device->DeleteTexture(kSnapshotTarget, false);
    return picture.Detach();
}

// ---- snapshot files ----

namespace {

std::string ErrorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// A name in the current directory that no snapshot ever takes, for the file being written.
std::string TemporaryName()
{
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long process = 0;
#else
    const unsigned long process = static_cast<unsigned long>(getpid());
#endif
    char name[64];
    std::snprintf(name, sizeof(name), ".snapshot-%lu-%u.png.part", process, counter++);
    return name;
}

// Writes the picture as a PNG to a new file of that name; false with the reason when
// the file cannot be made or written, or is not on the disk in full.
bool WritePngFile(const OxSurface* picture, const std::string& fileName, std::string* error)
{
    errno = 0;
    // "x": never write into a file that exists already.
    std::FILE* stream = OpenFile(fileName.c_str(), "wbx");
    if (!stream) {
        *error = ErrorText(errno);
        return false;
    }
    bool written = WritePng(picture->width, picture->height, picture->readPixels, stream) == 0;
    int failure = written ? 0 : errno;
    if (written && std::fflush(stream) != 0) {
        written = false;
        failure = errno;
    }
#ifndef _WIN32
    if (written && fsync(fileno(stream)) != 0) {
        written = false;
        failure = errno;
    }
#endif
    if (std::fclose(stream) != 0 && written) {
        written = false;
        failure = errno;
    }
    if (!written)
        *error = failure != 0 ? ErrorText(failure) : "the PNG encoder failed";
    return written;
}

// Gives the written file the next free snapshot name without ever replacing a file
// that appeared meanwhile; false with the reason when it cannot.
bool PublishSnapshot(const std::string& temporary, std::string* name, std::string* error)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char free[64];
        if (!FindFreeSnapshotName(free, sizeof(free))) {
            *error = "every snapshot number is taken";
            return false;
        }
        *name = free;
#ifdef _WIN32
        // Windows' rename never replaces an existing file.
        if (std::rename(temporary.c_str(), free) == 0)
            return true;
        if (!PathExists(free)) {
            *error = ErrorText(errno);
            return false;
        }
#else
        // A link fails on a name taken meanwhile, where rename would replace it.
        if (link(temporary.c_str(), free) == 0) {
            unlink(temporary.c_str());
            return true;
        }
        if (errno != EEXIST) {
            // File systems without hard links: rename, which may replace a file made
            // in the last moment.
            if (std::rename(temporary.c_str(), free) == 0)
                return true;
            *error = ErrorText(errno);
            return false;
        }
#endif
    }
    *error = "snapshot names keep being taken";
    return false;
}

}  // namespace

bool FindFreeSnapshotName(char* name, size_t size)
{
    for (int n = 0; n < INT32_MAX; ++n) {
        std::snprintf(name, size, "snapshot%d.png", n);
        if (!PathOrLinkExists(name))
            return true;
    }
    return false;
}

bool WriteSnapshotFile(const OxSurface* picture, std::string* name, std::string* error)
{
    char first[64] = "a snapshot";
    FindFreeSnapshotName(first, sizeof(first));
    *name = first;
    if (!picture || picture->format != PF_RGB) {
        *error = "no picture";
        return false;
    }
    const std::string temporary = TemporaryName();
    if (!WritePngFile(picture, temporary, error)) {
        std::remove(temporary.c_str());
        return false;
    }
    if (!PublishSnapshot(temporary, name, error)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// ---- the writing thread ----

CSnapshotWriter::~CSnapshotWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void CSnapshotWriter::Save(OxSurface* picture)
{
    if (!picture)
        return;
    const int64_t bytes = int64_t(picture->pitch) * picture->height;
    std::unique_lock<std::mutex> lock(mutex_);
    // Never lose a snapshot, but never queue pictures without bound either.
    changed_.wait(lock, [&] { return queue_.empty() || queuedBytes_ + bytes <= kMaxQueuedBytes; });
    std::string reason;
    if (!StartThread(&reason)) {
        lock.unlock();
        char name[64] = "a snapshot";
        FindFreeSnapshotName(name, sizeof(name));
        std::fprintf(stderr, "glowview: cannot save %s: %s\n", name, reason.c_str());
        OxRelease(picture);
        return;
    }
    queue_.push_back(picture);
    queuedBytes_ += bytes;
    changed_.notify_all();
}

bool CSnapshotWriter::StartThread(std::string* reason)
{
    if (thread_.joinable())
        return true;
    try {
        thread_ = std::thread(&CSnapshotWriter::Run, this);
    } catch (const std::system_error& error) {
        *reason = std::string("no thread to write it: ") + error.what();
        return false;
    }
    return true;
}

void CSnapshotWriter::Finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
}

void CSnapshotWriter::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;  // stopping, and every snapshot is written
        OxSurface* picture = queue_.front();
        busy_ = true;
        lock.unlock();

        std::string name, error;
        if (WriteSnapshotFile(picture, &name, &error)) {
            std::printf("glowview: saved %s (%d x %d)\n", name.c_str(), picture->width,
                        picture->height);
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "glowview: cannot save %s: %s\n", name.c_str(), error.c_str());
        }
        const int64_t bytes = int64_t(picture->pitch) * picture->height;
        OxRelease(picture);

        lock.lock();
        queue_.pop_front();
        queuedBytes_ -= bytes;
        busy_ = false;
        changed_.notify_all();
    }
}
