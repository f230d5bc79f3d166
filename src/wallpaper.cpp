// The wall's tiles: texture creation, deletion and drawing.
#include "src/wallpaper.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "device/gl_error.h"
#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/glhelp.h"
#include "src/heap.h"

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

// Tiles of tileSide needed for a side; the 64 x 64 tiles counted in single precision as
// they always were.
int TileCount(int side, int tileSide = kWallTileSide)
{
    if (side <= 0)
        return 0;
    if (tileSide != kWallTileSide)
        return (side - 1) / tileSide + 1;
    return static_cast<int>(std::ceil(static_cast<float>(side) * 0.015625f));
}

// Reduced copies a picture of width x height gets. None when a view at half its size draws
// it from a few hundred tiles at most; else halvings until the copy's longer side is 1024
// or less, at most six: rows come in bands of whole tiles, 64 rows, which halve evenly six
// times.
int ReducedCopyCount(int width, int height)
{
    int side = std::max(width, height);
    if (side <= 2048)
        return 0;
    int copies = 0;
    while (side > 1024 && copies < 6) {
        side = (side + 1) / 2;
        ++copies;
    }
    return copies;
}

// The side of a reduced copy's textures: kReducedTileSide, or half of it where those hold
// the copy in fewer texels (a 1000 x 750 copy takes 3 MB in 256 x 256 textures, 4 MB in
// 512 x 512 ones); the larger on a tie, for fewer draws.
int ReducedTileSideFor(int width, int height)
{
    const auto texels = [width, height](int side) {
        return int64_t(TileCount(width, side)) * TileCount(height, side) * side * side;
    };
    const int half = kReducedTileSide / 2;
    return texels(half) < texels(kReducedTileSide) ? half : kReducedTileSide;
}

// The driver's textures can be kReducedTileSide on a side (the oldest need only be 64).
bool ReducedTexturesFit()
{
    static const bool fit = [] {
        GLint largest = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
        return largest >= kReducedTileSide;
    }();
    return fit;
}

// A new texture `side` texels square with the tile parameters, holding the texels (null:
// storage to fill later); its GL name.
GLuint MakeTileTexture(int side, const uint8_t* texels)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Before the texels: the driver knows from the start that there are no mipmap levels.
    SetTileTextureParameters();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glBindTexture(GL_TEXTURE_2D, 0);
    CHECK_GL_ERROR(kSource);
    return name;
}

// The rounded mean of four RGBA pixels, channel by channel: two channels at a time in
// 16-bit lanes, where a sum of four bytes fits.
inline uint32_t MeanOfFour(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    constexpr uint32_t kLanes = 0x00FF00FF, kHalf = 0x00020002;
    const uint32_t even =
        (((a & kLanes) + (b & kLanes) + (c & kLanes) + (d & kLanes) + kHalf) >> 2) & kLanes;
    const uint32_t odd = ((((a >> 8) & kLanes) + ((b >> 8) & kLanes) + ((c >> 8) & kLanes) +
                           ((d >> 8) & kLanes) + kHalf) >> 2) & kLanes;
    return even | (odd << 8);
}

}  // namespace

namespace {

// Heap memory the driver takes for a tile texture's storage: its texels and some bytes more.
constexpr int64_t kTileTextureBytes = kWallTileSide * kWallTileSide * 4 + 256;

}  // namespace

void CTileStock::FillTo(size_t count)
{
    if (names_.size() < count)
        PrepareHeapForBlocks(int64_t(count - names_.size()) * kTileTextureBytes);
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
    const size_t stocked = stock != nullptr ? stock->Size() : 0;
    if (textures.size() > stocked)
        PrepareHeapForBlocks(int64_t(textures.size() - stocked) * kTileTextureBytes);
    stock_ = stock;
    MakeTiles(0, height, pixels, width * 4);
    stock_ = nullptr;
}

CWall* CWall::CreateUnfilled(int pictureWidth, int pictureHeight)
{
    CWall* wall = new CWall(pictureWidth, pictureHeight, nullptr);
    wall->LayOutTiles();
    PrepareHeapForBlocks(int64_t(wall->textures.size()) * kTileTextureBytes);
    return wall;
}

void CWall::LayOutTiles()
{
    columns = TileCount(width, tileSide);
    rows = TileCount(height, tileSide);
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
    const float side = static_cast<float>(tileSide);
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
    MakeReducedRows(firstRow, lastRow - firstRow, pixels, pitch);
}

void CWall::LayOutReduced()
{
    reduced.clear();
    const int copies = ReducedCopyCount(width, height);
    if (copies == 0 || !ReducedTexturesFit())
        return;
    int copyWidth = width, copyHeight = height;
    for (int i = 0; i < copies; ++i) {
        copyWidth = (copyWidth + 1) / 2;
        copyHeight = (copyHeight + 1) / 2;
        std::unique_ptr<CWall> copy(new CWall(copyWidth, copyHeight, nullptr));
        copy->tileSide = ReducedTileSideFor(copyWidth, copyHeight);
        copy->LayOutTiles();
        for (uint32_t& texture : copy->textures)
            texture = MakeTileTexture(copy->tileSide, nullptr);
        reduced.push_back(std::move(copy));
    }
}

void CWall::MakeReducedRows(int firstRow, int rowCount, const uint8_t* pixels, int pitch)
{
    if (firstRow == 0) {
        LayOutReduced();
        reducedRows_ = 0;
    }
    if (reduced.empty())
        return;
    if (firstRow != reducedRows_) {
        // Rows out of order leave holes in the copies: the view draws the tiles instead.
        reduced.clear();
        return;
    }
    // A band of kWallTileSide rows at a time: a few rows of each copy exist at once.
    std::vector<uint8_t> halves[2];
    for (int band = 0; band < rowCount; band += kWallTileSide) {
        int first = firstRow + band;
        int count = std::min(kWallTileSide, rowCount - band);
        const uint8_t* rowsIn = pixels + static_cast<ptrdiff_t>(band) * pitch;
        int pitchIn = pitch, widthIn = width;
        for (size_t i = 0; i < reduced.size(); ++i) {
            CWall& copy = *reduced[i];
            std::vector<uint8_t>& halved = halves[i % 2];
            const int halvedPitch = copy.width * 4;
            const int halvedRows = (count + 1) / 2;
            halved.resize(static_cast<size_t>(halvedRows) * halvedPitch);
            HalvePixels(rowsIn, widthIn, count, pitchIn, halved.data(), halvedPitch);
            first /= 2;
            count = halvedRows;
            copy.FillReducedRows(first, count, halved.data(), halvedPitch);
            rowsIn = halved.data();
            pitchIn = halvedPitch;
            widthIn = copy.width;
        }
    }
    reducedRows_ = firstRow + rowCount;
}

void CWall::FillReducedRows(int firstRow, int rowCount, const uint8_t* pixels, int pitch)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch / 4);
    const int side = tileSide;
    const int lastRow = std::min(height, firstRow + rowCount);
    for (int r = firstRow / side; r * side < lastRow; ++r) {
        const int top = std::max(firstRow, r * side);
        const int bottom = std::min(lastRow, (r + 1) * side);
        // The picture's last row and column are repeated once beyond it in a tile it ends
        // in: a reduced view's filtering at the picture's edge then takes nothing else.
        const bool rowBelow = bottom == height && bottom < (r + 1) * side;
        for (int c = 0; c < columns; ++c) {
            const int left = c * side;
            const int tileWidth = std::min(side, width - left);
            const bool columnBeside = tileWidth < side;
            const uint8_t* at = pixels + static_cast<ptrdiff_t>(top - firstRow) * pitch +
                                static_cast<ptrdiff_t>(left) * 4;
            glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(r) * columns + c]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, top - r * side, tileWidth, bottom - top,
                            GL_RGBA, GL_UNSIGNED_BYTE, at);
            if (columnBeside)
                glTexSubImage2D(GL_TEXTURE_2D, 0, tileWidth, top - r * side, 1, bottom - top,
                                GL_RGBA, GL_UNSIGNED_BYTE, at + (tileWidth - 1) * 4);
            if (rowBelow) {
                const uint8_t* last = at + static_cast<ptrdiff_t>(bottom - 1 - top) * pitch;
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, bottom - r * side, tileWidth, 1, GL_RGBA,
                                GL_UNSIGNED_BYTE, last);
                if (columnBeside)
                    glTexSubImage2D(GL_TEXTURE_2D, 0, tileWidth, bottom - r * side, 1, 1,
                                    GL_RGBA, GL_UNSIGNED_BYTE, last + (tileWidth - 1) * 4);
            }
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    CHECK_GL_ERROR(kSource);
}

const CWall* CWall::ForScale(float pixelsPerTexel) const
{
    const CWall* chosen = this;
    if (reducedRows_ != height || !(pixelsPerTexel > 0.0f))
        return chosen;
    // View pixels a texel of the next copy takes: a copy is taken while that is at most one
    // (a step short of one where an odd side made the copy's texels a little less than two).
    float scale = pixelsPerTexel;
    for (const std::unique_ptr<CWall>& copy : reduced) {
        scale *= float(chosen->width) / float(copy->width);
        if (scale > 1.001f)
            break;
        chosen = copy.get();
    }
    return chosen;
}

void HalvePixels(const uint8_t* pixels, int width, int rowCount, int pitch, uint8_t* halved,
                 int halvedPitch)
{
    uint32_t opaque = 0;
    const uint8_t alpha[4] = {0, 0, 0, 255};
    std::memcpy(&opaque, alpha, sizeof(opaque));
    const int halvedWidth = (width + 1) / 2;
    const int pairs = width / 2;  // blocks with two columns
    for (int k = 0; 2 * k < rowCount; ++k) {
        const uint8_t* upper = pixels + static_cast<ptrdiff_t>(2 * k) * pitch;
        const uint8_t* lower = 2 * k + 1 < rowCount ? upper + pitch : upper;
        uint8_t* out = halved + static_cast<ptrdiff_t>(k) * halvedPitch;
        for (int m = 0; m < halvedWidth; ++m) {
            const int right = m < pairs ? 2 * m + 1 : 2 * m;
            uint32_t a, b, c, d;
            std::memcpy(&a, upper + 8 * m, 4);
            std::memcpy(&b, upper + 4 * right, 4);
            std::memcpy(&c, lower + 8 * m, 4);
            std::memcpy(&d, lower + 4 * right, 4);
            const uint32_t mean = MeanOfFour(a, b, c, d) | opaque;
            std::memcpy(out + 4 * m, &mean, 4);
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
    const GLuint name = MakeTileTexture(kWallTileSide, texels);
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
    const int side = wall->tileSide;
    std::vector<uint8_t> texels(static_cast<size_t>(side) * side * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    for (int r = 0; r < wall->rows; ++r) {
        for (int c = 0; c < wall->columns; ++c) {
            glBindTexture(GL_TEXTURE_2D, wall->textures[static_cast<size_t>(r) * wall->columns + c]);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            const int x0 = c * side, y0 = r * side;
            const int columns = std::min(side, wall->width - x0);
            const int rows = std::min(side, wall->height - y0);
            for (int k = 0; k < rows; ++k) {
                std::memcpy(picture->writePixels + static_cast<ptrdiff_t>(y0 + k) * pitch +
                                static_cast<ptrdiff_t>(x0) * 4,
                            texels.data() + static_cast<size_t>(k) * side * 4,
                            static_cast<size_t>(columns) * 4);
            }
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    CHECK_GL_ERROR(kSource);
    return picture.Detach();
}

void VisibleTileSpan(float scale, float offset, float reach, int count, int* first, int* last,
                     int tileSide)
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
    const double side = tileSide;
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
        VisibleTileSpan(m[0], m[12], m[15], wall->columns, &range.firstColumn, &range.lastColumn,
                        wall->tileSide);
        VisibleTileSpan(m[5], m[13], m[15], wall->rows, &range.firstRow, &range.lastRow,
                        wall->tileSide);
    }
    return range;
}

namespace {

// View pixels a unit of the current transform takes (the lesser of its two sides); 0 when
// the transform turns or shears.
float PixelsPerUnit()
{
    const Matrix4 clip = GetClipMatrix();
    const float* m = clip.m;
    if (m[1] != 0.0f || m[3] != 0.0f || m[4] != 0.0f || m[7] != 0.0f || m[15] == 0.0f)
        return 0.0f;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return std::min(std::fabs(m[0]) * float(viewport[2]), std::fabs(m[5]) * float(viewport[3])) /
           (2.0f * std::fabs(m[15]));
}

// The tiles the current transform puts in the view, one unit a texel.
void DrawTiles(const CWall* tiles)
{
    // Only the tiles the view shows: a photo larger than the window has most of its tiles
    // outside, and each draw costs the driver the same whether it gives pixels or not.
    const TileRange shown = VisibleTiles(tiles);
    // The state every tile shares is set once, the vertices of all tiles among it; each
    // tile then changes only its texture.
    CTileBatch batch;
    batch.SetVertices(tiles->positions.data(), tiles->textureCoordinates.data());
    for (int r = shown.firstRow; r < shown.lastRow; ++r) {
        for (int c = shown.firstColumn; c < shown.lastColumn; ++c) {
            const size_t tile = static_cast<size_t>(r) * tiles->columns + c;
            batch.Draw(tiles->textures[tile], static_cast<int>(tile * 4));
        }
    }
    batch.Finish();
}

}  // namespace

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

    // A reduced view draws a reduced copy: a few large textures, and each view pixel made
    // from the texels it covers rather than from the four a filter picks among many.
    const CWall* tiles = wall->ForScale(PixelsPerUnit());
    if (tiles != wall)
        Scale(float(wall->width) / float(tiles->width),
              float(wall->height) / float(tiles->height), 1.0f);
    DrawTiles(tiles);
    CHECK_GL_ERROR(kSource);
    PopMatrix();
}
