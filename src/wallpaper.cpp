// The wall's tiles: texture creation, deletion and drawing.
#include "src/wallpaper.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "device/gl_error.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
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

void CTileStock::FillTo(size_t count)
{
    while (names_.size() < count) {
        const uint32_t name = UploadTileTexture(nullptr);
        if (name == 0)
            return;
        names_.push_back(name);
    }
}

void CTileStock::Adopt(std::vector<uint32_t>& textures)
{
    for (uint32_t name : textures) {
        if (name != 0)
            names_.push_back(name);
    }
    textures.clear();
}

uint32_t CTileStock::Take()
{
    if (names_.empty())
        return 0;
    const uint32_t name = names_.back();
    names_.pop_back();
    return name;
}

void CTileStock::Release()
{
    if (!names_.empty())
        glDeleteTextures(static_cast<GLsizei>(names_.size()), names_.data());
    names_.clear();
}

size_t WallTileCount(int width, int height)
{
    return static_cast<size_t>(TileCount(width)) * static_cast<size_t>(TileCount(height));
}

CWall::CWall(int pictureWidth, int pictureHeight, const uint8_t* pixels, CTileStock* stock)
    : width(pictureWidth), height(pictureHeight)
{
    if (!pixels)
        return;
    LayOutTiles();
    stock_ = stock;
    MakeTiles(0, height, pixels, width * 4);
    stock_ = nullptr;
}

CWall* CWall::CreateUnfilled(int pictureWidth, int pictureHeight)
{
    CWall* wall = new CWall(pictureWidth, pictureHeight, nullptr);
    wall->LayOutTiles();
    return wall;
}

void CWall::LayOutTiles()
{
    columns = TileCount(width);
    rows = TileCount(height);
    if (columns == 0 || rows == 0) {
        columns = rows = 0;
        return;
    }
    const size_t tileCount = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    textures.assign(tileCount, 0);
    positions.reserve(tileCount * 12);
    textureCoordinates.reserve(tileCount * 8);
    // Each tile is cut at the picture's edges, so that its margin texels are never drawn,
    // and placed by its own corners: neighbours share exact edge coordinates, which
    // leaves no crack between them at any scale.
    const float side = static_cast<float>(kWallTileSide);
    for (int r = 0; r < rows; ++r) {
        const float y0 = side * r;
        const float tileHeight = std::min(side, static_cast<float>(height) - y0);
        for (int c = 0; c < columns; ++c) {
            const float x0 = side * c;
            const float tileWidth = std::min(side, static_cast<float>(width) - x0);
            positions.insert(positions.end(),
                             {x0, y0, 0.0f, x0 + tileWidth, y0, 0.0f, x0, y0 + tileHeight, 0.0f,
                              x0 + tileWidth, y0 + tileHeight, 0.0f});
            const float s = tileWidth / side, t = tileHeight / side;
            textureCoordinates.insert(textureCoordinates.end(),
                                      {0.0f, 0.0f, s, 0.0f, 0.0f, t, s, t});
        }
    }
}

void CWall::MakeTiles(int firstRow, int rowCount, const uint8_t* pixels, int pitch)
{
    if (!pixels || firstRow < 0 || firstRow % kWallTileSide != 0 || rowCount <= 0)
        return;
    const int lastRow = std::min(height, firstRow + rowCount);
    for (int y0 = firstRow; y0 < lastRow; y0 += kWallTileSide) {
        const int r = y0 / kWallTileSide;
        for (int c = 0; c < columns; ++c) {
            uint32_t& texture = textures[static_cast<size_t>(r) * columns + c];
            if (texture != 0)
                continue;
            texture = CreateWallTexture(pixels, pitch, width, lastRow - firstRow,
                                        kWallTileSide * c, y0 - firstRow,
                                        stock_ != nullptr ? stock_->Take() : 0);
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
                           int y0, uint32_t reuse)
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
    return UploadTileTexture(texels, reuse);
}

uint32_t UploadTileTexture(const uint8_t* texels, uint32_t reuse)
{
    CHECK_GL_ERROR(kSource);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (reuse != 0) {
        glBindTexture(GL_TEXTURE_2D, reuse);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWallTileSide, kWallTileSide, GL_RGBA,
                        GL_UNSIGNED_BYTE, texels);
        glBindTexture(GL_TEXTURE_2D, 0);
        CHECK_GL_ERROR(kSource);
        return reuse;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Before the texels: the driver knows from the start that there are no mipmap levels.
    SetTileTextureParameters();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWallTileSide, kWallTileSide, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels);
    glBindTexture(GL_TEXTURE_2D, 0);
    CHECK_GL_ERROR(kSource);
    LogMessage(__LINE__, kSource, LOG_DEBUG, "Create texture for wall: %d", int(name));
    return name;
}

OxSurface* CreateSurfaceFromWall(const CWall* wall)
{
    if (!wall || wall->textures.empty() ||
        int64_t(wall->width) * wall->height * 4 > INT32_MAX)
        return nullptr;
    const int pitch = wall->width * 4;
    OxHolder<OxSurface> picture(CreateSurfaceForOverwrite(pitch * wall->height, wall->width,
                                                          wall->height, PF_RGBA, pitch));
    if (!picture)
        return nullptr;
    alignas(16) uint8_t texels[kWallTileSide * kWallTileSide * 4];
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    for (int r = 0; r < wall->rows; ++r) {
        for (int c = 0; c < wall->columns; ++c) {
            glBindTexture(GL_TEXTURE_2D, wall->textures[static_cast<size_t>(r) * wall->columns + c]);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
            const int x0 = c * kWallTileSide, y0 = r * kWallTileSide;
            const int columns = std::min(kWallTileSide, wall->width - x0);
            const int rows = std::min(kWallTileSide, wall->height - y0);
            for (int k = 0; k < rows; ++k) {
                std::memcpy(picture->writePixels + static_cast<ptrdiff_t>(y0 + k) * pitch +
                                static_cast<ptrdiff_t>(x0) * 4,
                            texels + static_cast<size_t>(k) * kWallTileSide * 4,
                            static_cast<size_t>(columns) * 4);
            }
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    CHECK_GL_ERROR(kSource);
    return picture.Detach();
}

void VisibleTileSpan(float scale, float offset, float reach, int count, int* first, int* last)
{
    *first = 0;
    *last = std::max(count, 0);
    if (!(reach > 0.0f) || scale == 0.0f || !std::isfinite(scale) || !std::isfinite(offset) ||
        !std::isfinite(reach))
        return;
    float low = (-reach - offset) / scale;
    float high = (reach - offset) / scale;
    if (low > high)
        std::swap(low, high);
    // A unit of slack either way: a tile that only touches the view's edge costs a draw,
    // never a pixel.
    const double side = kWallTileSide;
    const double from = std::floor((double(low) - 1.0) / side);
    const double to = std::floor((double(high) + 1.0) / side) + 1.0;
    *first = static_cast<int>(std::clamp(from, 0.0, double(*last)));
    *last = static_cast<int>(std::clamp(to, double(*first), double(*last)));
}

TileRange VisibleTiles(const CWall* wall)
{
    TileRange range = {0, wall->columns, 0, wall->rows};
    // The view takes clip coordinates x and y within [-w, w]; a transform that turns or
    // shears the picture is not looked into.
    const Matrix4 clip = GetClipMatrix();
    const float* m = clip.m;
    if (m[1] == 0.0f && m[3] == 0.0f && m[4] == 0.0f && m[7] == 0.0f) {
        VisibleTileSpan(m[0], m[12], m[15], wall->columns, &range.firstColumn, &range.lastColumn);
        VisibleTileSpan(m[5], m[13], m[15], wall->rows, &range.firstRow, &range.lastRow);
    }
    return range;
}

void DrawWall(const CWall* wall)
{
    if (!wall || wall->textures.empty())
        return;
    PushMatrix();
    // From here on one unit is one picture pixel, y counted down from the picture's top.
    Translate(0.0f, static_cast<float>(wall->height) * wall->unitsPerTexelY, 0.0f);
    Scale(wall->unitsPerTexelX, -wall->unitsPerTexelY, 1.0f);
    if (!g_hasShaders)
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);  // the modulating texture environment passes texels

    // Only the tiles the view shows: a photo larger than the window has most of its tiles
    // outside, and each draw costs the driver the same whether it gives pixels or not.
    const TileRange shown = VisibleTiles(wall);
    // The state every tile shares is set once, the vertices of all tiles among it; each
    // tile then changes only its texture.
    CTileBatch batch;
    batch.SetVertices(wall->positions.data(), wall->textureCoordinates.data());
    for (int r = shown.firstRow; r < shown.lastRow; ++r) {
        for (int c = shown.firstColumn; c < shown.lastColumn; ++c) {
            const size_t tile = static_cast<size_t>(r) * wall->columns + c;
            batch.Draw(wall->textures[tile], static_cast<int>(tile * 4));
        }
    }
    batch.Finish();
    CHECK_GL_ERROR(kSource);
    PopMatrix();
}
