// The processor-side glow pass as it first shipped, kept to measure and check the fast one against.
#include "tests/glow/glow_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/globals.h"

namespace {

const char* const kSource = "src/app";

// A new PF_RGBA copy of the picture, rows width * 4 bytes apart; null when it
// cannot be made.
OxSurface* CreateRgbaCopy(const OxSurface* picture)
{
    const int64_t byteSize = int64_t(picture->width) * picture->height * 4;
    if (picture->width <= 0 || picture->height <= 0 || byteSize > INT32_MAX) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "Picture of %d x %d pixels cannot be shown",
                   picture->width, picture->height);
        return nullptr;
    }
    OxHolder<OxSurface> copy(CreateSurface(int(byteSize), picture->width, picture->height,
                                           PF_RGBA, picture->width * 4));
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

uint8_t ToByte(double value)
{
    const long truncated = long(value);
    return uint8_t(std::clamp(truncated, 0L, 255L));
}

// The glow of one RGBA pixel in place, with the single-precision steps of the pass.
void GlowPixel(uint8_t* pixel)
{
    const float c0 = float(pixel[0] / 255.0);
    const float c1 = float(pixel[1] / 255.0);
    const float c2 = float(pixel[2] / 255.0);
    const double s = double(g_weightG) * c1 * c1 + double(g_weightR) * c0 * c0 +
                     double(g_weightB) * c2 * c2;
    const float t = float(s + 1.0);
    const float base = float(1.0 / t);
    const float glow = float(std::pow(double(base), double(g_power)));
    const float channels[3] = {c0, c1, c2};
    for (int k = 0; k < 3; ++k)
        pixel[k] = ToByte(double(float(channels[k] + glow)) * 255.0);
    pixel[3] = ToByte(double(float(pixel[3] / 255.0)) * 255.0);
}

}  // namespace

OxSurface* CreateGlowCopyReference(const OxSurface* picture)
{
    if (!picture)
        return nullptr;
    OxSurface* copy = CreateRgbaCopy(picture);
    if (!copy)
        return nullptr;
    for (int y = 0; y < copy->height; ++y) {
        uint8_t* row = copy->writePixels + size_t(y) * size_t(copy->pitch);
        for (int x = 0; x < copy->width; ++x)
            GlowPixel(row + size_t(x) * 4);
    }
    return copy;
}
