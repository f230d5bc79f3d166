// Reading back the drawn frame and textures in device tests.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "device/graphics.h"

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& other) const
    {
        return r == other.r && g == other.g && b == other.b;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// Colours within one step of each other: 8-bit rounding differs between drivers.
inline bool Near(const Rgb& a, const Rgb& b, int tolerance = 1)
{
    auto close = [tolerance](int x, int y) { return x - y <= tolerance && y - x <= tolerance; };
    return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b);
}

// The device's drawable as top-down RGB rows.
class Frame {
public:
    Frame(zorGRAPHICS& device, int width, int height)
        : width_(width), height_(height), bytes_(size_t(width) * height * 3)
    {
        device.ReadPixels(bytes_.data(), int(bytes_.size()), 0);
    }
    // Pixel x, y with y counted from the top.
    Rgb At(int x, int y) const
    {
        const uint8_t* p = bytes_.data() + (size_t(y) * width_ + x) * 3;
        return {p[0], p[1], p[2]};
    }
    // Pixels of the colour inside the rectangle [x0, x1) x [y0, y1).
    int Count(const Rgb& colour, int x0, int y0, int x1, int y1) const
    {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                count += At(x, y) == colour ? 1 : 0;
        return count;
    }
    int Count(const Rgb& colour) const { return Count(colour, 0, 0, width_, height_); }

private:
    int width_, height_;
    std::vector<uint8_t> bytes_;
};

// An RGBA texture's texels as the device reads them back.
inline std::vector<uint8_t> ReadTexels(zorGRAPHICS& device, int index)
{
    int width = 0, height = 0;
    device.GetTextureInfo(index, &width, &height, nullptr, nullptr);
    std::vector<uint8_t> texels(size_t(width) * height * 4 + 4, 0xCD);
    device.ReadTexture(index, texels.data());
    return texels;
}
