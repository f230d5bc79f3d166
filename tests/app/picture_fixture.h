// The application started in a fresh working directory, and what the tests of loading, the
// keys, the processor-side pass and snapshots check a picture and its wall with.
#pragma once

#include <GL/glew.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/surface.h"
#include "src/wallpaper.h"
#include "test_support.h"
#include "test_window.h"
#include "app/app_fixture.h"
#include "app/key_press.h"

// Writes a width x height PNG whose pixel (x, y) is (x, y, 0) in bytes.
inline bool WriteCoordinatePicture(const std::string& file, int width, int height)
{
    return WriteTestPng(file, width, height, [](int x, int y, uint8_t* rgb) {
        rgb[0] = uint8_t(x);
        rgb[1] = uint8_t(y);
    });
}

// The program's start-up in a fresh working directory.
class PictureTest : public AppStartUpTest {
protected:
    // Holds the keys down while the window has the focus, which other tests'
    // windows on the display may take for a moment.
    bool HoldFocused(const std::string& names, const std::vector<int>& virtualKeys)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (HoldKeys(handle, names, virtualKeys) && IsForeground(handle))
                return true;
            ReleaseKeys(handle, names, virtualKeys);
        }
        return false;
    }

    TempDir dir;
    ScopedCurrentDir inDir{dir.path()};
};

using PictureFixedFunctionTest = FixedFunctionFixture<PictureTest>;

// Every tile of the wall holds the picture's pixels (alpha 255) and clear margin texels.
inline void ExpectWallShows(const CWall* wall, const OxSurface* pixels)
{
    ASSERT_NE(wall, nullptr);
    ASSERT_EQ(wall->width, pixels->width);
    ASSERT_EQ(wall->height, pixels->height);
    std::vector<uint8_t> texels(64 * 64 * 4);
    int wrongTiles = 0;
    for (int r = 0; r < wall->rows; ++r) {
        for (int c = 0; c < wall->columns; ++c) {
            glBindTexture(GL_TEXTURE_2D, wall->textures[size_t(r) * wall->columns + c]);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            bool same = true;
            for (int k = 0; k < 64 && same; ++k) {
                for (int m = 0; m < 64 && same; ++m) {
                    const int x = c * 64 + m, y = r * 64 + k;
                    uint8_t want[4] = {0, 0, 0, 0};
                    if (x < pixels->width && y < pixels->height) {
                        std::memcpy(want, pixels->readPixels + size_t(y) * pixels->pitch + x * 4, 3);
                        want[3] = 255;
                    }
                    same = std::memcmp(texels.data() + (k * 64 + m) * 4, want, 4) == 0;
                }
            }
            wrongTiles += same ? 0 : 1;
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(wrongTiles, 0);
}

// A file that starts as a PNG and goes on as nothing at all.
inline bool WriteBrokenPng(const std::string& file)
{
    const uint8_t bytes[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4, 5, 6, 7};
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(bytes, 1, sizeof(bytes), out) == sizeof(bytes);
    return std::fclose(out) == 0 && written;
}
