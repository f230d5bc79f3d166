// Pictures the tests make: JPEGs written with libjpeg in a chosen colour space, and the
// EXIF orientation put into a JPEG or PNG file.
#pragma once

#include <cstdint>
#include <vector>

// A TIFF block whose IFD0 holds an image width entry and then the orientation entry;
// each field can be spoiled to make a damaged block.
struct TestTiff {
    bool bigEndian = false;
    uint16_t value = 6;
    uint16_t type = 3;  // SHORT
    uint32_t count = 1;
    uint32_t ifdOffset = 8;
    uint16_t entries = 2;

    std::vector<uint8_t> Build() const;
};

// The JPEG with an APP1 "Exif" segment holding `tiff` right after its start marker.
std::vector<uint8_t> WithJpegExif(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& tiff);
// The PNG with an eXIf chunk holding `tiff` (a correct checksum) right after IHDR.
std::vector<uint8_t> WithPngExif(const std::vector<uint8_t>& png, const std::vector<uint8_t>& tiff);

// How a test JPEG stores its pixels: RGB from RGB input; CMYK input stored as CMYK with
// Adobe's marker (the inks inverted, as Photoshop writes them) or without it (the inks
// as they are), or as YCCK (always with Adobe's marker, the only sign of YCCK).
enum class TestJpegKind { Rgb, CmykAdobe, CmykPlain, YcckAdobe };

// A JPEG at quality 100 without chroma subsampling from packed rows (3 bytes a pixel for
// Rgb, 4 for the others); empty on failure.
std::vector<uint8_t> EncodeTestJpeg(int width, int height, const uint8_t* pixels,
                                    TestJpegKind kind);
