// The wall: the picture cut into 64 x 64 textures, and its drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class OxSurface;

constexpr int kWallTileSide = 64;
// The side of the textures that hold a wall's reduced copies: a reduced view draws a few
// of them instead of thousands of 64 x 64 tiles.
constexpr int kReducedTileSide = 512;

// Tile textures that exist and wait for a wall: made ahead while a picture decodes, or left
// by the wall a new one replaces. A wall that takes them fills their texels in place instead
// of making textures of its own: no new storage for the driver to find, clear and map.
// Made and used with the GL context current; what is left is deleted with it.
class CTileStock {
public:
    CTileStock() = default;
    ~CTileStock() { Release(); }
    CTileStock(const CTileStock&) = delete;
    CTileStock& operator=(const CTileStock&) = delete;

    // Makes textures (without texels) until the stock holds `count`.
    void FillTo(size_t count);
    // Takes over the textures of a wall that goes (their names; the wall keeps none).
    void Adopt(std::vector<uint32_t>& textures);
    // A texture to fill, or 0 when the stock is empty.
    uint32_t Take();
    size_t Size() const { return names_.size(); }
    // Deletes what is left.
    void Release();

private:
    std::vector<uint32_t> names_;
};

// Tiles a picture of width x height is cut into.
size_t WallTileCount(int width, int height);

// The picture as tiles of GL textures, tile (row, column) at row * columns + column,
// rows counted from the picture's top. Made with the GL context current.
class CWall {
public:
    // pixels: 4 bytes per pixel (red, green, blue first), top row first,
    // rows width * 4 bytes apart. No tiles for an empty picture or null pixels. Textures
    // come from the stock while it has any.
    CWall(int width, int height, const uint8_t* pixels, CTileStock* stock = nullptr);
    // A wall with its tiles laid out and no textures yet (names 0): MakeTiles makes them
    // a band of rows at a time, so that the whole picture need not exist at once.
    static CWall* CreateUnfilled(int width, int height);
    ~CWall();
    CWall(const CWall&) = delete;
    CWall& operator=(const CWall&) = delete;

    int32_t columns = 0;
    int32_t rows = 0;
    int32_t width = 0;
    int32_t height = 0;
    // Picture units a texel spans: 1, or more for a reduced preview stretched to the
    // picture's size.
    float unitsPerTexelX = 1.0f;
    float unitsPerTexelY = 1.0f;
    // The side of the wall's square textures: kWallTileSide, or for a reduced copy
    // kReducedTileSide or half of it, whichever holds the copy in fewer texels.
    int32_t tileSide = kWallTileSide;
    std::vector<uint32_t> textures;
    // Tile i's triangle strip is vertices 4 * i to 4 * i + 3: its corners (3 floats each),
    // cut at the picture's edges, one unit per texel and y counted down from the picture's
    // top, and their texture coordinates (2 floats each).
    std::vector<float> positions;
    std::vector<float> textureCoordinates;

    // Makes the textures of the tiles holding picture rows [firstRow, firstRow + rowCount),
    // the rows at pixels, pitch bytes apart. firstRow is a multiple of the tile side, and so
    // is rowCount unless the rows reach the picture's bottom. Tiles made before stay.
    void MakeTiles(int firstRow, int rowCount, const uint8_t* pixels, int pitch);

    // A large picture's copies halved again and again (reduced[0] at half its width and
    // height, reduced[1] at a quarter, ...), each in textures of up to kReducedTileSide: a
    // view that shows the picture at half its size or less draws the copy that suits it. Made with the
    // tiles, from the same rows; none for a picture that a view reduced to half still shows
    // in a few hundred tiles, or when the driver's textures cannot be that large.
    std::vector<std::unique_ptr<CWall>> reduced;
    // The copy to draw where a picture texel takes pixelsPerTexel view pixels: the wall
    // itself down to half a pixel a texel, then the copy at least as large as the view needs.
    // Copies of a picture whose rows have not all been made are not used.
    const CWall* ForScale(float pixelsPerTexel) const;

private:
    void LayOutTiles();
    void LayOutReduced();
    void MakeReducedRows(int firstRow, int rowCount, const uint8_t* pixels, int pitch);
    void FillReducedRows(int firstRow, int rowCount, const uint8_t* pixels, int pitch);
    CTileStock* stock_ = nullptr;  // only while the constructor makes the tiles
    // Rows of the picture the reduced copies hold so far: they are made from the rows as
    // MakeTiles is given them, from the top down.
    int32_t reducedRows_ = 0;
};

// Halves rows of packed RGBA pixels (width x rowCount, pitch bytes apart) into
// ceil(width / 2) x ceil(rowCount / 2) pixels at `halved`, halvedPitch bytes apart: each the
// rounded mean of a 2 x 2 block (a block cut by the right or bottom edge repeats the pixels
// it has), alpha 255 as the wall's tiles hold it.
void HalvePixels(const uint8_t* pixels, int width, int rowCount, int pitch, uint8_t* halved,
                 int halvedPitch);

// The 64 x 64 RGBA texture of the tile whose top left pixel is (x0, y0): picture
// texels with alpha 255, margin texels (0, 0, 0, 0). Returns its GL name: `reuse` filled
// anew when it is a texture, else a new one.
uint32_t CreateWallTexture(const uint8_t* pixels, int pitch, int width, int height, int x0,
                           int y0, uint32_t reuse = 0);

// A 64 x 64 RGBA tile texture with the tile parameters from packed texels; its GL name.
// `reuse` (a tile texture) gets the texels in place; 0 makes a new texture. Null texels
// make the texture's storage alone.
uint32_t UploadTileTexture(const uint8_t* texels, uint32_t reuse = 0);

// The wall's picture read back from its tiles as a new PF_RGBA surface, rows width * 4 bytes
// apart (alpha 255, as the tiles hold it); null when it cannot be made.
OxSurface* CreateSurfaceFromWall(const CWall* wall);

// The tiles [first, last) along one side of `count` tiles that a transform taking a picture
// unit u to scale * u + offset puts anywhere within [-reach, reach]; all of them when the
// transform is not one to go by (no scale, no reach, not a number).
// Tiles are `side` units wide.
void VisibleTileSpan(float scale, float offset, float reach, int count, int* first, int* last,
                     int side = kWallTileSide);

// Tiles [firstColumn, lastColumn) x [firstRow, lastRow) of a wall.
struct TileRange {
    int firstColumn, lastColumn, firstRow, lastRow;
};

// The wall's tiles that the current transform, with the wall's own units already applied
// (one unit per texel, y counted down from the picture's top), puts in the view; all of
// them when the transform turns or shears the picture.
TileRange VisibleTiles(const CWall* wall);

// Draws the tiles the current transform puts in the view, one texel per unit (or the wall's
// units per texel), the picture's top edge that many units up; the others would give no
// pixel and are skipped. A view that reduces the picture to half or less draws the reduced
// copy that suits it (CWall::ForScale) in its place.
void DrawWall(const CWall* wall);
