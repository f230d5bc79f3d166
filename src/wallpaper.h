// The wall: the picture cut into 64 x 64 textures, and its drawing.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kWallTileSide = 64;

// The picture as tiles of GL textures, tile (row, column) at row * columns + column,
// rows counted from the picture's top. Made with the GL context current.
class CWall {
public:
    // pixels: 4 bytes per pixel (red, green, blue first), top row first,
    // rows width * 4 bytes apart. No tiles for an empty picture or null pixels.
    CWall(int width, int height, const uint8_t* pixels);
    ~CWall();
    CWall(const CWall&) = delete;
    CWall& operator=(const CWall&) = delete;

    int32_t columns = 0;
    int32_t rows = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> textures;
};

// The 64 x 64 RGBA texture of the tile whose top left pixel is (x0, y0): picture
// texels with alpha 255, margin texels (0, 0, 0, 0). Returns its GL name.
uint32_t CreateWallTexture(const uint8_t* pixels, int pitch, int width, int height, int x0,
                           int y0);

// A new 64 x 64 RGBA tile texture with the tile parameters from packed texels; its GL name.
uint32_t UploadTileTexture(const uint8_t* texels);

// Draws every tile, one texel per unit, the picture's top edge `height` units up.
void DrawWall(const CWall* wall);
