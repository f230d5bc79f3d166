// EXIF orientation: where a JPEG or PNG keeps its TIFF block, and the Orientation tag in it.
#pragma once

#include <cstddef>
#include <cstdint>

// The stored picture as it is (1) and the seven ways it must be turned or mirrored to
// stand upright, numbered as EXIF numbers them; 5 to 8 swap the sides.
constexpr int kOrientationUpright = 1;

// IFD0's Orientation (tag 0x0112, one SHORT) of a TIFF block in either byte order:
// 1 to 8, or 1 when the block, the tag or its value is missing, damaged or out of range.
// Reads only within the `size` bytes at `tiff`; allocates nothing.
int ExifOrientation(const uint8_t* tiff, size_t size);

// The orientation of a whole JPEG file (its first APP1 "Exif\0\0" segment before the
// image data) or PNG file (its first eXIf chunk); 1 when there is none.
int JpegExifOrientation(const uint8_t* bytes, size_t size);
int PngExifOrientation(const uint8_t* bytes, size_t size);

// True for the orientations that swap width and height (5 to 8).
inline bool OrientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}
