// OxSurface: a counted block of pixels, and the converter between pixel formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/ref.h"

enum PixelFormat {
    PF_RGBA = 1,       // red, green, blue, alpha (255 opaque)
    PF_RGB = 2,        // red, green, blue
    PF_LUMINANCE = 4,  // one grey value
    PF_GREY = 5,       // one grey value, from greyscale pictures
    PF_INDEXED = 6,    // index into the palette store
};

// Bytes of one pixel of a format code, 0 for a code that is no format.
int BytesPerPixel(int format);

// Releases a store taken by CreateSurfaceForOverwrite or AllocateStore.
struct OxStoreRelease {
    void operator()(uint8_t* store) const;
};

// byteSize bytes, not zeroed, in huge pages where the system offers them from 4 MB on (the
// store of CreateSurfaceForOverwrite); null when there is no memory. Released by
// OxStoreRelease.
uint8_t* AllocateStore(size_t byteSize);

class OxSurface : public OxRef {
public:
    ~OxSurface() override = default;

    int width = 0;
    int height = 0;
    int pitch = 0;
    int paletteCount = 0;
    int colorKey = -1;  // palette index (PF_INDEXED) or key switch (PF_RGB); -1 none
    int format = 0;
    uint8_t* writePixels = nullptr;  // decoders and conversion targets write here
    uint8_t* readPixels = nullptr;   // converters, encoders and the glow pass read here
    std::vector<uint8_t> pixelStore;
    std::unique_ptr<uint8_t[], OxStoreRelease> rawStore;  // instead of pixelStore, see below
    std::vector<uint8_t> paletteStore;  // 3 bytes (red, green, blue) per entry
    uint8_t keyColor[3] = {0, 0, 0};
    // The surface whose store readPixels points into, for a surface that reads another's
    // rows: held so that the rows outlive the reader.
    OxHolder<OxSurface> parent;
};

// A new surface with count 1 and a zeroed store of byteSize bytes (none when
// byteSize <= 0). PF_INDEXED surfaces get a palette of 256 black entries.
// Returns null when the store cannot be allocated.
OxSurface* CreateSurface(int byteSize, int width, int height, int format, int pitch);

// CreateSurface for a caller that writes every byte itself: the store (rawStore, not
// pixelStore) is not zeroed, and a large one is taken in huge pages where the system
// offers them, so that neither filling nor first touching it costs a pass over memory.
OxSurface* CreateSurfaceForOverwrite(int byteSize, int width, int height, int format, int pitch);

// A PF_RGB surface copied from rows rowStride bytes apart (<= 0: width * 3).
// Returns null when the size overflows or cannot be allocated.
OxSurface* CreateSurfaceFromRows(int rowStride, int width, int height, const uint8_t* source);

// Writes the source's pixels, converted to dstFormat, to rows dstPitch bytes
// apart (<= 0: packed); dstPixels holds height rows of that many bytes. The
// same format is copied row by row (a shorter dstPitch keeps the start of each
// row); any other pair needs dstPitch <= 0 or at least a row of target pixels.
// The source must have a format code, width and height >= 0, and, when not
// empty, readPixels with height rows of pitch >= width * BytesPerPixel bytes
// (checked against pixelStore when readPixels points into it); paletteCount
// and colorKey may hold anything. Returns 0, or -1 when an argument breaks
// these terms or the pair of formats has no converter (then nothing is written).
int ConvertPixels(int dstPitch, uint8_t* dstPixels, int dstFormat, const OxSurface* source);
