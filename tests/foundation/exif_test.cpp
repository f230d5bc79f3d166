// EXIF orientation: the tag in either byte order, damaged and hostile TIFF blocks, and
// where JPEG and PNG files keep the block.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/exif.h"
#include "picture_fixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

int OrientationOf(const Bytes& tiff)
{
    return ExifOrientation(tiff.empty() ? nullptr : tiff.data(), tiff.size());
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// A JPEG marker segment holding `body`.
Bytes Segment(uint8_t marker, const Bytes& body)
{
    const size_t length = body.size() + 2;
    return Join({{0xFF, marker, uint8_t(length >> 8), uint8_t(length)}, body});
}

// A PNG chunk holding `data` (its checksum is not read here).
Bytes Chunk(const char* type, const Bytes& data)
{
    const uint32_t length = uint32_t(data.size());
    Bytes chunk = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                   uint8_t(length)};
    chunk.insert(chunk.end(), type, type + 4);
    return Join({chunk, data, {0, 0, 0, 0}});
}

const Bytes kExifName = {'E', 'x', 'i', 'f', 0, 0};
const Bytes kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

TEST(ExifOrientationTest, EveryValueInBothByteOrders)
{
    for (const bool bigEndian : {false, true}) {
        for (uint16_t value = 1; value <= 8; ++value) {
            SCOPED_TRACE(std::to_string(value) + (bigEndian ? " MM" : " II"));
            TestTiff tiff;
            tiff.bigEndian = bigEndian;
            tiff.value = value;
            EXPECT_EQ(OrientationOf(tiff.Build()), value);
        }
    }
}

TEST(ExifOrientationTest, DamagedBlocksGiveThePictureAsStored)
{
    auto with = [](auto change) {
        TestTiff tiff;
        change(tiff);
        return tiff.Build();
    };
    Bytes badOrder = with([](TestTiff&) {});
    badOrder[1] = 'M';
    Bytes badMagic = with([](TestTiff&) {});
    badMagic[2] = 43;
    const Bytes whole = with([](TestTiff&) {});
    struct Row {
        const char* what;
        Bytes tiff;
    };
    const Row rows[] = {
        {"nothing", {}},
        {"a header cut short", Bytes(whole.begin(), whole.begin() + 7)},
        {"mixed byte order", badOrder},
        {"not 42", badMagic},
        {"value 0", with([](TestTiff& t) { t.value = 0; })},
        {"value 9", with([](TestTiff& t) { t.value = 9; })},
        {"value 0xFFFF", with([](TestTiff& t) { t.value = 0xFFFF; })},
        {"a LONG", with([](TestTiff& t) { t.type = 4; })},
        {"two values", with([](TestTiff& t) { t.count = 2; })},
        {"IFD past the end", with([](TestTiff& t) { t.ifdOffset = 200; })},
        {"IFD at the last byte", with([&](TestTiff& t) { t.ifdOffset = uint32_t(whole.size() - 1); })},
        {"IFD offset that wraps", with([](TestTiff& t) { t.ifdOffset = 0xFFFFFFFFu; })},
        {"the tag past the entry count", with([](TestTiff& t) { t.entries = 1; })},
        {"directory cut inside the tag", Bytes(whole.begin(), whole.begin() + 8 + 2 + 12 + 11)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(OrientationOf(row.tiff), 1);
    }
    // An entry count far beyond the block is read only as far as the block goes.
    EXPECT_EQ(OrientationOf(with([](TestTiff& t) { t.entries = 0xFFFF; })), 6);
    // Every cut of a good block stays within it (the sanitizer build checks the reads).
    for (size_t size = 0; size <= whole.size(); ++size) {
        const Bytes cut(whole.begin(), whole.begin() + long(size));
        EXPECT_EQ(OrientationOf(cut), size >= 8 + 2 + 2 * 12 ? 6 : 1) << size;
    }
}

TEST(ExifOrientationTest, FoundWhereJpegAndPngFilesKeepIt)
{
    const Bytes soi = {0xFF, 0xD8};
    const Bytes app0 = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    const Bytes xmp = Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0});
    TestTiff tiff;
    tiff.value = 8;
    const Bytes exif = Segment(0xE1, Join({kExifName, tiff.Build()}));
    const Bytes sos = Segment(0xDA, {1, 1, 0, 0, 63, 0});
    Bytes lyingLength = exif;
    lyingLength[3] = uint8_t(lyingLength[3] + 1);  // one byte past the file
    const Bytes ihdr = Chunk("IHDR", Bytes(13, 0));
    const Bytes exifChunk = Chunk("eXIf", tiff.Build());
    Bytes lyingChunk = exifChunk;
    lyingChunk[3] = uint8_t(lyingChunk[3] + 4);
    struct Row {
        const char* what;
        bool png;
        Bytes file;
        int orientation;
    };
    const Row rows[] = {
        {"JPEG: after JFIF and XMP", false, Join({soi, app0, xmp, exif, sos}), 8},
        {"JPEG: fill bytes before a marker", false, Join({soi, {0xFF, 0xFF}, exif, sos}), 8},
        {"JPEG: after the image data starts", false, Join({soi, app0, sos, exif}), 1},
        {"JPEG: a segment longer than the file", false, Join({soi, lyingLength}), 1},
        {"JPEG: no Exif name", false, Join({soi, Segment(0xE1, tiff.Build()), sos}), 1},
        {"JPEG: not a JPEG", false, Join({{0xFF, 0xD9}, exif}), 1},
        {"JPEG: a marker without FF", false, Join({soi, {0x00}, exif}), 1},
        {"PNG: before the image data", true, Join({kPngSignature, ihdr, exifChunk}), 8},
        {"PNG: after the image data", true,
         Join({kPngSignature, ihdr, Chunk("IDAT", Bytes(40, 0)), exifChunk}), 8},
        {"PNG: after IEND", true, Join({kPngSignature, ihdr, Chunk("IEND", {}), exifChunk}), 1},
        {"PNG: a chunk longer than the file", true, Join({kPngSignature, ihdr, lyingChunk}), 1},
        {"PNG: a JPEG's block", true, Join({kPngSignature, ihdr, Chunk("eXIf", exif)}), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const int found = row.png ? PngExifOrientation(row.file.data(), row.file.size())
                                  : JpegExifOrientation(row.file.data(), row.file.size());
        EXPECT_EQ(found, row.orientation);
    }
    EXPECT_EQ(JpegExifOrientation(nullptr, 100), 1);
    EXPECT_EQ(PngExifOrientation(nullptr, 100), 1);
}
