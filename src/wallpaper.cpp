// The wall's tiles: texture creation, deletion and drawing.
#include "src/wallpaper.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "foundation/log.h"
#include "src/glhelp.h"

namespace {

const char* const kSource = "src/wallpaper";
constexpr int kMaxTextureSide = 2048;

// The smallest power of two that holds the side, at most kMaxTextureSide.
int TextureSide(int side)
{
    int size = 1;
    while (size < side && size < kMaxTextureSide)
        size *= 2;
    return size;
}

// Tiles needed for a side, computed in single precision as the tiles always were.
int TileCount(int side)
{
    if (side <= 0)
        return 0;
    return static_cast<int>(std::ceil(static_cast<float>(side) * 0.015625f));
}

}  // namespace

CWall::CWall(int pictureWidth, int pictureHeight, const uint8_t* pixels)
    : width(pictureWidth), height(pictureHeight)
{
    if (!pixels)
        return;
    columns = TileCount(width);
    rows = TileCount(height);
    if (columns == 0 || rows == 0) {
        columns = rows = 0;
        return;
    }
    textures.resize(static_cast<size_t>(rows) * static_cast<size_t>(columns));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            textures[static_cast<size_t>(r) * columns + c] =
                CreateWallTexture(pixels, width * 4, width, height, kWallTileSide * c,
                                  kWallTileSide * r);
        }
    }
}

CWall::~CWall()
{
    if (!textures.empty())
        glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    textures.clear();
}

uint32_t CreateWallTexture(const uint8_t* pixels, int pitch, int width, int height, int x0,
                           int y0)
{
    const int textureWidth = TextureSide(kWallTileSide);
    const int textureHeight = TextureSide(kWallTileSide);
    std::vector<uint8_t> texels(static_cast<size_t>(textureWidth) * textureHeight * 4, 0);
    for (int k = 0; k < kWallTileSide && k < textureHeight; ++k) {
        const int y = y0 + k;
        for (int m = 0; m < kWallTileSide && m < textureWidth; ++m) {
            const int x = x0 + m;
            uint8_t* texel = texels.data() + (static_cast<size_t>(k) * textureWidth + m) * 4;
            if (x < width && y < height) {
                const uint8_t* pixel =
                    pixels + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x) * 4;
                std::memcpy(texel, pixel, 3);
                texel[3] = 255;
            }
        }
    }

    CHECK_GL_ERROR(kSource);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, textureWidth, textureHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    CHECK_GL_ERROR(kSource);
    LogMessage(__LINE__, kSource, LOG_DEBUG, "Create texture for wall: %d", int(name));
    return name;
}

void DrawWall(const CWall* wall)
{
    if (!wall)
        return;
    PushMatrix();
    // From here on one unit is one picture pixel, y counted down from the picture's top.
    Translate(0.0f, static_cast<float>(wall->height), 0.0f);
    Scale(1.0f, -1.0f, 1.0f);
    if (!g_hasShaders)
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);  // the modulating texture environment passes texels

    // Each tile is cut at the picture's edges, so that its margin texels are never drawn,
    // and placed by its own corners: neighbours share exact edge coordinates, which
    // leaves no crack between them at any scale.
    const float side = static_cast<float>(kWallTileSide);
    for (int r = 0; r < wall->rows; ++r) {
        const float y0 = side * r;
        const float height = std::min(side, static_cast<float>(wall->height) - y0);
        for (int c = 0; c < wall->columns; ++c) {
            const float x0 = side * c;
            const float width = std::min(side, static_cast<float>(wall->width) - x0);
            const float positions[12] = {x0, y0, 0, x0 + width, y0, 0,
                                         x0, y0 + height, 0, x0 + width, y0 + height, 0};
            const float s = width / side, t = height / side;
            const float textureCoordinates[8] = {0, 0, s, 0, 0, t, s, t};
            DrawTexturedQuad(wall->textures[static_cast<size_t>(r) * wall->columns + c],
                             positions, textureCoordinates);
            CHECK_GL_ERROR(kSource);
        }
    }
    PopMatrix();
}
