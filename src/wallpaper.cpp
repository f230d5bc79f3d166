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
constexpr int TextureSide(int side)
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
    static_assert(TextureSide(kWallTileSide) == kWallTileSide, "tiles are whole textures");
    // One pass over the picture's rows into a block that stays in the cache; only a tile
    // that reaches past the picture needs its margin cleared first.
    alignas(16) uint8_t texels[kWallTileSide * kWallTileSide * 4];
    const int columns = std::max(0, std::min(kWallTileSide, width - x0));
    const int rows = std::max(0, std::min(kWallTileSide, height - y0));
    if (columns < kWallTileSide || rows < kWallTileSide)
        std::memset(texels, 0, sizeof(texels));
    uint32_t opaque = 0;
    const uint8_t alpha[4] = {0, 0, 0, 255};
    std::memcpy(&opaque, alpha, sizeof(opaque));
    for (int k = 0; k < rows; ++k) {
        const uint8_t* row = pixels + static_cast<ptrdiff_t>(y0 + k) * pitch +
                             static_cast<ptrdiff_t>(x0) * 4;
        uint8_t* texelRow = texels + static_cast<size_t>(k) * kWallTileSide * 4;
        for (int m = 0; m < columns; ++m) {
            uint32_t texel;
            std::memcpy(&texel, row + m * 4, sizeof(texel));
            texel |= opaque;
            std::memcpy(texelRow + m * 4, &texel, sizeof(texel));
        }
    }
    return UploadTileTexture(texels);
}

uint32_t UploadTileTexture(const uint8_t* texels)
{
    CHECK_GL_ERROR(kSource);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Before the texels: the driver knows from the start that there are no mipmap levels.
    SetTileTextureParameters();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWallTileSide, kWallTileSide, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels);
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
    // The state every tile shares is set once; each tile then changes only its arrays and
    // its texture.
    CTileBatch batch;
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
            batch.Draw(wall->textures[static_cast<size_t>(r) * wall->columns + c], positions,
                       textureCoordinates);
        }
    }
    batch.Finish();
    CHECK_GL_ERROR(kSource);
    PopMatrix();
}
