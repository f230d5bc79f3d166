// Frame read-back through the device, window capture and snapshot files.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"

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
    const int width = capture->width;
    const int height = capture->height;
    const int pitch = capture->pitch;
    const uint8_t* pixels = capture->readPixels;
    char selector[8];
    std::strcpy(selector, ".png");
    const char* mode = "wb";
    if (std::strcmp(selector, ".png") == 0) {
        if (std::FILE* stream = std::fopen(fileName, mode)) {
            WritePng(width, height, pixels, stream);
            std::fclose(stream);
        }
    }
    if (std::strcmp(selector, ".bmp") == 0) {
        if (std::FILE* stream = std::fopen(fileName, mode)) {
            WriteBmp(stream, width, height, pixels, pitch);
            std::fclose(stream);
        }
    }
    if (std::strcmp(selector, ".jpg") == 0 || std::strcmp(selector, ".jpeg") == 0) {
        if (std::FILE* stream = std::fopen(fileName, mode)) {
            WriteJpeg(width, height, pixels, pitch, stream);
            std::fclose(stream);
        }
    }
}
