// Draws glowview's icon: a warm radial picture, dark at its centre, with the start glow added
// by the program's own processor-side pass, so the dark centre glows white. As a PNG of one
// size, or as a Windows .ico holding several sizes.
// Usage: make_icon SIZE OUTPUT.png
//        make_icon --ico OUTPUT.ico SIZE...   (sizes up to 256)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/glow.h"
#include "src/globals.h"

namespace {

constexpr int kMinSize = 8;
constexpr int kMaxSize = 1024;
constexpr int kMaxIcoSize = 256;  // an .ico entry's side is one byte, 0 meaning 256

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

void PutLittleEndian(std::vector<uint8_t>* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// One .ico image: a bitmap header of twice the height (colour rows, then the mask's), the
// pixels as 32-bit BGRA rows from the bottom up, and an all-zero (all shown) mask.
std::vector<uint8_t> IcoImage(int size, const std::vector<uint8_t>& rgb)
{
    const int maskRowBytes = ((size + 31) / 32) * 4;
    std::vector<uint8_t> image;
    PutLittleEndian(&image, 40, 4);  // BITMAPINFOHEADER
    PutLittleEndian(&image, static_cast<uint32_t>(size), 4);
    PutLittleEndian(&image, static_cast<uint32_t>(size * 2), 4);
    PutLittleEndian(&image, 1, 2);   // planes
    PutLittleEndian(&image, 32, 2);  // bits per pixel
    for (int field = 0; field < 6; ++field)  // no compression, sizes and palette left out
        PutLittleEndian(&image, 0, 4);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const uint8_t* pixel = &rgb[(static_cast<size_t>(y) * size + x) * 3];
            image.insert(image.end(), {pixel[2], pixel[1], pixel[0], 255});
        }
    }
    image.resize(image.size() + static_cast<size_t>(maskRowBytes) * size, 0);
    return image;
}

// The .ico file of the given sizes; empty when one cannot be drawn.
std::vector<uint8_t> IcoFile(const std::vector<int>& sizes)
{
    std::vector<uint8_t> directory;
    std::vector<uint8_t> images;
    PutLittleEndian(&directory, 0, 2);  // reserved
    PutLittleEndian(&directory, 1, 2);  // an icon
    PutLittleEndian(&directory, static_cast<uint32_t>(sizes.size()), 2);
    const size_t firstOffset = 6 + 16 * sizes.size();
    for (int size : sizes) {
        const std::vector<uint8_t> rgb = GlowingRows(size);
        if (rgb.empty())
            return {};
        const std::vector<uint8_t> image = IcoImage(size, rgb);
        directory.push_back(static_cast<uint8_t>(size & 0xff));
        directory.push_back(static_cast<uint8_t>(size & 0xff));
        PutLittleEndian(&directory, 0, 2);   // no palette, reserved
        PutLittleEndian(&directory, 1, 2);   // planes
        PutLittleEndian(&directory, 32, 2);  // bits per pixel
        PutLittleEndian(&directory, static_cast<uint32_t>(image.size()), 4);
        PutLittleEndian(&directory, static_cast<uint32_t>(firstOffset + images.size()), 4);
        images.insert(images.end(), image.begin(), image.end());
    }
    directory.insert(directory.end(), images.begin(), images.end());
    return directory;
}

// Creates path and fills it with write; what was written goes again when that fails.
template <typename Write>
bool WriteToFile(const char* path, Write write)
{
    std::FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    const bool written = write(out);
    if (std::fclose(out) != 0 || !written) {
        std::remove(path);
        return false;
    }
    return true;
}

int WriteIco(int count, char** arguments)
{
    std::vector<int> sizes;
    for (int i = 1; i < count; ++i) {
        const int size = std::atoi(arguments[i]);
        if (size < kMinSize || size > kMaxIcoSize) {
            std::fprintf(stderr, "make_icon: an .ico size is %d to %d, not %s\n", kMinSize,
                         kMaxIcoSize, arguments[i]);
            return 2;
        }
        sizes.push_back(size);
    }
    const std::vector<uint8_t> ico = IcoFile(sizes);
    const bool written = !ico.empty() && WriteToFile(arguments[0], [&ico](std::FILE* out) {
        return std::fwrite(ico.data(), 1, ico.size(), out) == ico.size();
    });
    if (!written) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", arguments[0]);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--ico") == 0)
        return WriteIco(argc - 2, argv + 2);
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < kMinSize || size > kMaxSize) {
        std::fprintf(stderr, "usage: make_icon SIZE (%d to %d) OUTPUT.png\n"
                             "       make_icon --ico OUTPUT.ico SIZE...\n", kMinSize, kMaxSize);
        return 2;
    }
    const std::vector<uint8_t> pixels = GlowingRows(size);
    if (pixels.empty()) {
        std::fprintf(stderr, "make_icon: cannot draw a %d x %d icon\n", size, size);
        return 1;
    }
    const bool written = WriteToFile(argv[2], [&pixels, size](std::FILE* out) {
        return WritePng(size, size, pixels.data(), out) == 0;
    });
    if (!written) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
