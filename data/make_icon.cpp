// Draws glowview's icon as a PNG of a given size: a warm radial picture, dark at its centre,
// with the start glow added by the program's own processor-side pass, so the dark centre
// glows white. Usage: make_icon SIZE OUTPUT.png
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/glow.h"
#include "src/globals.h"

namespace {

constexpr int kMinSize = 8;
constexpr int kMaxSize = 1024;

uint8_t ToByte(double value)
{
    return static_cast<uint8_t>(std::lround(std::fmin(std::fmax(value, 0.0), 1.0) * 255.0));
}

// RGB rows of the picture before the glow: red and green rise from the centre outwards,
// blue (not weighted at the start) tints the middle distance.
std::vector<uint8_t> DrawPicture(int size)
{
    std::vector<uint8_t> rows(static_cast<size_t>(size) * size * 3);
    const double centre = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double d = std::hypot(x - centre, y - centre) / (size / 2.0);
            uint8_t* pixel = &rows[(static_cast<size_t>(y) * size + x) * 3];
            pixel[0] = ToByte(1.1 * d);
            pixel[1] = ToByte(0.55 * d);
            pixel[2] = ToByte(0.45 * std::exp(-8.0 * (d - 0.55) * (d - 0.55)));
        }
    }
    return rows;
}

// The picture with the glow of the start settings, as packed RGB rows; empty on failure.
std::vector<uint8_t> GlowingRows(int size)
{
    const std::vector<uint8_t> rows = DrawPicture(size);
    OxHolder<OxSurface> picture(CreateSurfaceFromRows(0, size, size, rows.data()));
    if (!picture)
        return {};
    ResetGlobals();
    OxHolder<OxSurface> glowing(CreateGlowCopyOnThreads(picture.get(), 1));
    if (!glowing)
        return {};
    std::vector<uint8_t> result(rows.size());
    if (ConvertPixels(0, result.data(), PF_RGB, glowing.get()) != 0)
        return {};
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < kMinSize || size > kMaxSize) {
        std::fprintf(stderr, "usage: make_icon SIZE (%d to %d) OUTPUT.png\n", kMinSize, kMaxSize);
        return 2;
    }
    const std::vector<uint8_t> pixels = GlowingRows(size);
    if (pixels.empty()) {
        std::fprintf(stderr, "make_icon: cannot draw a %d x %d icon\n", size, size);
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    const bool written = WritePng(size, size, pixels.data(), out) == 0;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
