// Pictures turned upright by their EXIF orientation on the one road: the eight
// orientations on a small picture, every pixel format and both decodes, cut files, tags
// that are damaged, the header hook and a camera-sized photo.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "picture_fixtures.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The stored picture's labels: A B C over D E F, each a colour far from the others.
constexpr int kStoredWidth = 3;
constexpr int kStoredHeight = 2;
const char kLabels[] = "ABCDEF";
const uint8_t kColours[6][3] = {{230, 20, 20}, {20, 230, 20},  {20, 20, 230},
                                {230, 230, 20}, {20, 230, 230}, {230, 20, 230}};

const uint8_t* ColourOf(char label)
{
    return kColours[std::string(kLabels).find(label)];
}

// The labelled picture with each label a square of `scale` pixels, as packed RGB.
Bytes LabelledRgb(int scale)
{
    const int width = kStoredWidth * scale;
    const int height = kStoredHeight * scale;
    Bytes rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* colour = kColours[(y / scale) * kStoredWidth + x / scale];
            std::copy(colour, colour + 3, &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]);
        }
    }
    return rgb;
}

Bytes LabelledPng(const TempDir& dir)
{
    const Bytes rgb = LabelledRgb(1);
    const std::string path = dir.File("labelled.png");
    EXPECT_TRUE(WriteTestPng(path, kStoredWidth, kStoredHeight, [&](int x, int y, uint8_t* out) {
        std::copy(&rgb[size_t(y * kStoredWidth + x) * 3], &rgb[size_t(y * kStoredWidth + x) * 3 + 3],
                  out);
    }));
    return ReadWholeFile(path);
}

Bytes Tiff(int orientation, bool bigEndian)
{
    TestTiff tiff;
    tiff.value = uint16_t(orientation);
    tiff.bigEndian = bigEndian;
    return tiff.Build();
}

bool IsPng(const Bytes& bytes)
{
    return bytes.size() > 1 && bytes[0] == 0x89;
}

Bytes Tagged(const Bytes& file, const Bytes& tiff)
{
    return IsPng(file) ? WithPngExif(file, tiff) : WithJpegExif(file, tiff);
}

struct Read {
    OxHolder<OxSurface> picture;
    PictureReport report = {PICTURE_FINE, 0, 0};
    int hookWidth = 0;
    int hookHeight = 0;
    std::string log;
};

Read ReadBytes(const Bytes& bytes)
{
    Read read;
    MemoryFile file(bytes);
    const PictureHeaderHook hook = {[](void* context, int width, int height) {
                                        auto* into = static_cast<Read*>(context);
                                        into->hookWidth = width;
                                        into->hookHeight = height;
                                    },
                                    &read};
    read.log = StdoutOf([&] {
        const PictureRead result = ReadPicture(&file, &hook);
        read.picture.Reset(result.picture);
        read.report = result.report;
    });
    return read;
}

// The picture as packed RGBA, whatever its format.
Bytes Rgba(const OxSurface& picture)
{
    Bytes rgba(size_t(picture.width) * size_t(picture.height) * 4);
    EXPECT_EQ(ConvertPixels(picture.width * 4, rgba.data(), PF_RGBA, &picture), 0);
    return rgba;
}

// Where the stored pixel (x, y) of a width x height picture stands once upright, as EXIF
// defines the eight values.
void UprightPlace(int orientation, int width, int height, int x, int y, int* u, int* v)
{
    const int mirroredX = width - 1 - x;
    const int mirroredY = height - 1 - y;
    const int places[9][2] = {{x, y},         {x, y},         {mirroredX, y},
                              {mirroredX, mirroredY}, {x, mirroredY}, {y, x},
                              {mirroredY, x}, {mirroredY, mirroredX}, {y, mirroredX}};
    *u = places[orientation][0];
    *v = places[orientation][1];
}

// Every pixel of `upright` is the stored picture's pixel that belongs there.
void ExpectTurned(const OxSurface& stored, const OxSurface& upright, int orientation)
{
    const bool swap = orientation >= 5;
    ASSERT_EQ(upright.width, swap ? stored.height : stored.width);
    ASSERT_EQ(upright.height, swap ? stored.width : stored.height);
    ASSERT_EQ(upright.format, stored.format);
    ASSERT_EQ(upright.pitch, upright.width * BytesPerPixel(upright.format));
    EXPECT_EQ(upright.paletteStore, stored.paletteStore);
    const Bytes from = Rgba(stored);
    const Bytes to = Rgba(upright);
    int wrong = 0;
    for (int y = 0; y < stored.height; ++y) {
        for (int x = 0; x < stored.width; ++x) {
            int u = 0;
            int v = 0;
            UprightPlace(orientation, stored.width, stored.height, x, y, &u, &v);
            const size_t source = (size_t(y) * size_t(stored.width) + size_t(x)) * 4;
            const size_t target = (size_t(v) * size_t(upright.width) + size_t(u)) * 4;
            wrong += !std::equal(&from[source], &from[source] + 4, &to[target]);
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace

// The stored A B C / D E F as each orientation shows it, pixel for pixel in a PNG (quiet
// and reporting) and as blocks of 16 pixels in a JPEG, in both byte orders.
TEST(PictureOrientationTest, EightOrientationsPutEachCornerInItsPlace)
{
    struct Row {
        int orientation;
        const char* upright;  // rows of labels, top first, '/' between rows
    };
    const Row rows[] = {
        {1, "ABC/DEF"}, {2, "CBA/FED"}, {3, "FED/CBA"},    {4, "DEF/ABC"},
        {5, "AD/BE/CF"}, {6, "DA/EB/FC"}, {7, "FC/EB/DA"}, {8, "CF/BE/AD"},
    };
    TempDir dir;
    const Bytes png = LabelledPng(dir);
    constexpr int kBlock = 16;
    const Bytes jpegRgb = LabelledRgb(kBlock);
    const Bytes jpeg =
        EncodeTestJpeg(kStoredWidth * kBlock, kStoredHeight * kBlock, jpegRgb.data(), TestJpegKind::Rgb);
    ASSERT_FALSE(jpeg.empty());
    struct Kind {
        const char* what;
        Bytes file;
        bool reporting;  // a libpng warning sends the read to the reporting decode
        int scale;
        int tolerance;
    };
    const Kind kinds[] = {
        {"PNG", png, false, 1, 0},
        {"PNG reporting", png, true, 1, 0},
        {"JPEG", jpeg, false, kBlock, 8},
    };
    for (const Kind& kind : kinds) {
        for (const Row& row : rows) {
            for (const bool bigEndian : {false, true}) {
                SCOPED_TRACE(std::string(kind.what) + " orientation " +
                             std::to_string(row.orientation) + (bigEndian ? " MM" : " II"));
                Bytes file = Tagged(kind.file, Tiff(row.orientation, bigEndian));
                if (kind.reporting)
                    file = WithBadTextChunk(file);
                const Read read = ReadBytes(file);
                ASSERT_TRUE(read.picture);
                EXPECT_EQ(read.picture->format, kind.reporting ? PF_RGB : PF_RGBA);
                const std::string upright = row.upright;
                const int width = int(upright.find('/') == std::string::npos ? upright.size()
                                                                              : upright.find('/'));
                const int height = int(upright.size() + 1) / (width + 1);
                ASSERT_EQ(read.picture->width, width * kind.scale);
                ASSERT_EQ(read.picture->height, height * kind.scale);
                const Bytes rgba = Rgba(*read.picture.get());
                for (int v = 0; v < height; ++v) {
                    for (int u = 0; u < width; ++u) {
                        const char label = upright[size_t(v * (width + 1) + u)];
                        const int x = u * kind.scale + kind.scale / 2;
                        const int y = v * kind.scale + kind.scale / 2;
                        const uint8_t* got =
                            &rgba[(size_t(y) * size_t(read.picture->width) + size_t(x)) * 4];
                        for (int c = 0; c < 3; ++c)
                            EXPECT_LE(std::abs(got[c] - ColourOf(label)[c]), kind.tolerance)
                                << label << " at " << u << "," << v;
                    }
                }
            }
        }
    }
}

// Every pixel format, both decodes and a cut JPEG: the tagged file gives the stored
// picture turned, pixel for pixel, and the hook the upright sides.
TEST(PictureOrientationTest, EveryKindOfPictureTurnsExactly)
{
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    struct Row {
        const char* what;
        Bytes file;
        int format;
        PictureProblem problem;
    };
    const Row rows[] = {
        {"RGB JPEG, quiet", jpeg, PF_RGBA, PICTURE_FINE},
        {"grey JPEG, quiet", ReadWholeFile(TestdataPath("jpeg/testimggray.jpg")), PF_RGBA,
         PICTURE_FINE},
        {"progressive JPEG", ReadWholeFile(TestdataPath("jpeg/testimgp.jpg")), PF_RGBA,
         PICTURE_FINE},
        {"cut JPEG, reporting", Head(jpeg, jpeg.size() / 2), PF_RGB, PICTURE_TRUNCATED},
        {"grey JPEG, reporting", WithBadTextChunk(ReadWholeFile(TestdataPath("jpeg/testimggray.jpg"))),
         PF_GREY, PICTURE_FINE},
        {"palette PNG, reporting", ReadWholeFile(TestdataPath("pngsuite/basn3p08.png")),
         PF_INDEXED, PICTURE_FINE},
        {"interlaced grey PNG, quiet", ReadWholeFile(TestdataPath("pngsuite/basi0g08.png")),
         PF_RGBA, PICTURE_FINE},
        {"RGB PNG, reporting", WithBadTextChunk(ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"))),
         PF_RGB, PICTURE_FINE},
        {"odd-sized PNG with alpha", ReadWholeFile(TestdataPath("pngsuite/s39n3p04.png")),
         PF_INDEXED, PICTURE_FINE},
    };
    for (const Row& row : rows) {
        const Read stored = ReadBytes(row.file);
        ASSERT_TRUE(stored.picture) << row.what;
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(row.what) + " orientation " + std::to_string(orientation));
            const Read upright = ReadBytes(Tagged(row.file, Tiff(orientation, orientation % 2 == 0)));
            ASSERT_TRUE(upright.picture);
            EXPECT_EQ(upright.picture->format, row.format);
            EXPECT_EQ(upright.report.problem, row.problem);
            EXPECT_EQ(upright.log, stored.log);
            EXPECT_EQ(upright.hookWidth, upright.picture->width);
            EXPECT_EQ(upright.hookHeight, upright.picture->height);
            ExpectTurned(*stored.picture.get(), *upright.picture.get(), orientation);
        }
    }
}

// A tag that is damaged or out of range leaves the picture as stored.
TEST(PictureOrientationTest, DamagedTagsLeaveThePictureAsStored)
{
    TempDir dir;
    auto spoiled = [](auto change) {
        TestTiff tiff;
        change(tiff);
        return tiff.Build();
    };
    const Bytes tiffs[] = {
        spoiled([](TestTiff& t) { t.value = 0; }),     spoiled([](TestTiff& t) { t.value = 9; }),
        spoiled([](TestTiff& t) { t.type = 4; }),      spoiled([](TestTiff& t) { t.count = 3; }),
        spoiled([](TestTiff& t) { t.ifdOffset = 9999; }), Bytes{'I', 'I', 42},
    };
    for (const Bytes& file : {LabelledPng(dir), ReadWholeFile(TestdataPath("jpeg/testorig.jpg"))}) {
        const Read stored = ReadBytes(file);
        ASSERT_TRUE(stored.picture);
        for (const Bytes& tiff : tiffs) {
            const Read read = ReadBytes(Tagged(file, tiff));
            ASSERT_TRUE(read.picture);
            EXPECT_EQ(read.picture->width, stored.picture->width);
            EXPECT_EQ(read.picture->height, stored.picture->height);
            EXPECT_EQ(Rgba(*read.picture.get()), Rgba(*stored.picture.get()));
        }
    }
}

// A phone's photo, stored on its side and tagged 6, is read standing (3000 x 4000).
TEST(PictureOrientationTest, CameraSizedJpegIsReadUpright)
{
    constexpr int kWidth = 4000;
    constexpr int kHeight = 3000;
    Bytes rgb(size_t(kWidth) * kHeight * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        const size_t pixel = i / 3;
        rgb[i] = uint8_t(pixel % kWidth / 16);
        rgb[i + 1] = uint8_t(pixel / kWidth / 12);
        rgb[i + 2] = uint8_t(pixel * 7);
    }
    const Bytes jpeg = EncodeTestJpeg(kWidth, kHeight, rgb.data(), TestJpegKind::Rgb);
    ASSERT_FALSE(jpeg.empty());
    const Read stored = ReadBytes(jpeg);
    const Read upright = ReadBytes(WithJpegExif(jpeg, Tiff(6, true)));
    ASSERT_TRUE(stored.picture);
    ASSERT_TRUE(upright.picture);
    EXPECT_EQ(upright.hookWidth, kHeight);
    EXPECT_EQ(upright.hookHeight, kWidth);
    ExpectTurned(*stored.picture.get(), *upright.picture.get(), 6);
}

// A picture too large to hold is told with its upright sides.
TEST(PictureOrientationTest, TooLargeIsToldStanding)
{
    const Bytes jpeg = WithJpegSize(ReadWholeFile(TestdataPath("jpeg/testorig.jpg")), 30000, 20000);
    const Read read = ReadBytes(WithJpegExif(jpeg, Tiff(6, false)));
    EXPECT_FALSE(read.picture);
    EXPECT_EQ(read.report.problem, PICTURE_TOO_LARGE_TO_HOLD);
    EXPECT_EQ(read.report.width, 20000u);
    EXPECT_EQ(read.report.height, 30000u);
    EXPECT_NE(read.log.find("PICTURE_TOO_LARGE_TO_HOLD: 20000 x 30000"), std::string::npos)
        << read.log;
}
