// Pictures turned upright by their EXIF orientation on the one road: the eight
// orientations on a small picture, every pixel format and both decodes, cut files, tags
// that are damaged, the header hook, a camera-sized photo, and pictures of several strips
// (each finished while the next decodes) whole, cut, damaged and stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
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
    int asksLeft = -1;  // the read is stopped when its caller is asked this often; -1 never
};

Read ReadBytes(const Bytes& bytes, int stopAfterAsks = -1)
{
    Read read;
    read.asksLeft = stopAfterAsks;
    MemoryFile file(bytes);
    PictureHeaderHook hook = {[](void* context, int width, int height) {
                                  auto* into = static_cast<Read*>(context);
                                  into->hookWidth = width;
                                  into->hookHeight = height;
                              },
                              &read};
    hook.cancelled = [](void* context) {
        auto* into = static_cast<Read*>(context);
        return into->asksLeft >= 0 && into->asksLeft-- == 0;
    };
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

// Tiles of 64 x 64 pixels, each tile and row of them different; the JPEG reader turns
// pictures of more than 256 rows of them (for pixels this narrow) a strip at a time.
constexpr int kTile = 64;
constexpr int kTiles = 13;

// The tiles stacked (tall: three whole strips and a short one) or side by side (wide: one
// strip), `channels` bytes a pixel. The test encoder samples every component in full, so
// each 8 x 8 block decodes alike wherever it stands.
Bytes Tiles(bool tall, int channels)
{
    const int width = tall ? kTile : kTile * kTiles;
    const int height = tall ? kTile * kTiles : kTile;
    Bytes pixels(size_t(width) * size_t(height) * size_t(channels));
    uint8_t* out = pixels.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int tile = tall ? y / kTile : x / kTile;
            for (int c = 0; c < channels; ++c)
                *out++ = uint8_t((x % kTile) * 3 + (y % kTile) * 5 + tile * 19 + c * 71);
        }
    }
    return pixels;
}

Bytes TilesJpeg(bool tall, TestJpegKind kind)
{
    const int channels = kind == TestJpegKind::Rgb ? 3 : 4;
    const Bytes pixels = Tiles(tall, channels);
    return tall ? EncodeTestJpeg(kTile, kTile * kTiles, pixels.data(), kind)
                : EncodeTestJpeg(kTile * kTiles, kTile, pixels.data(), kind);
}

// The JPEG with two stray bytes before its quantisation tables: libjpeg warns and goes on,
// so the one road decodes it again, reporting.
Bytes WithStrayBytes(Bytes jpeg)
{
    const uint8_t tables[] = {0xFF, 0xDB};
    const auto at = std::search(jpeg.begin(), jpeg.end(), tables, tables + 2);
    jpeg.insert(at, {0, 0});
    return jpeg;
}

// Every pixel of the tall picture is the wide one's pixel of the same tile.
void ExpectTilesAlike(const OxSurface& tall, const OxSurface& wide)
{
    ASSERT_EQ(tall.width, kTile);
    ASSERT_EQ(tall.height, kTile * kTiles);
    ASSERT_EQ(wide.format, tall.format);
    const Bytes stacked = Rgba(tall);
    const Bytes beside = Rgba(wide);
    int wrong = 0;
    for (int y = 0; y < tall.height; ++y) {
        const size_t from = (size_t(y % kTile) * size_t(wide.width) + size_t(y / kTile * kTile)) * 4;
        wrong += !std::equal(&stacked[size_t(y) * kTile * 4], &stacked[size_t(y + 1) * kTile * 4],
                             &beside[from]);
    }
    EXPECT_EQ(wrong, 0) << "rows differ";
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

// A picture of several strips has each finished (its inks converted, its rows turned) beside
// the decoding of the next: every kind of JPEG, both decodes and every orientation give the
// rows of the same blocks decoded in one strip, turned.
TEST(PictureOrientationTest, PicturesOfManyStripsTurnExactly)
{
    struct Kind {
        const char* what;
        TestJpegKind kind;
    };
    const Kind kinds[] = {{"RGB", TestJpegKind::Rgb},
                          {"CMYK, Adobe", TestJpegKind::CmykAdobe},
                          {"CMYK", TestJpegKind::CmykPlain},
                          {"YCCK", TestJpegKind::YcckAdobe}};
    for (const Kind& kind : kinds) {
        const Bytes tall = TilesJpeg(true, kind.kind);
        const Bytes wide = TilesJpeg(false, kind.kind);
        ASSERT_FALSE(tall.empty());
        ASSERT_FALSE(wide.empty());
        for (const bool reporting : {false, true}) {
            const auto prepared = [&](const Bytes& file) {
                return reporting ? WithStrayBytes(file) : file;
            };
            SCOPED_TRACE(std::string(kind.what) + (reporting ? ", reporting" : ", quiet"));
            const Read stored = ReadBytes(prepared(tall));
            const Read reference = ReadBytes(prepared(wide));
            ASSERT_TRUE(stored.picture);
            ASSERT_TRUE(reference.picture);
            EXPECT_EQ(stored.picture->format, reporting ? PF_RGB : PF_RGBA);
            ExpectTilesAlike(*stored.picture.get(), *reference.picture.get());
            for (int orientation = 1; orientation <= 8; ++orientation) {
                SCOPED_TRACE("orientation " + std::to_string(orientation));
                const Read upright = ReadBytes(prepared(Tagged(tall, Tiff(orientation, false))));
                ASSERT_TRUE(upright.picture);
                EXPECT_EQ(upright.report.problem, stored.report.problem);
                EXPECT_EQ(upright.log, stored.log);
                ExpectTurned(*stored.picture.get(), *upright.picture.get(), orientation);
            }
        }
    }
}

// A picture of several strips cut short, damaged or stopped while one strip is being finished
// and the next decoded: the same rows as the stored picture turned, or nothing, as it gives.
TEST(PictureOrientationTest, PicturesOfManyStripsCutDamagedOrStopped)
{
    for (const TestJpegKind kind : {TestJpegKind::Rgb, TestJpegKind::CmykAdobe}) {
        const Bytes tall = TilesJpeg(true, kind);
        ASSERT_FALSE(tall.empty());
        const size_t size = tall.size();
        std::vector<std::pair<std::string, Bytes>> files;
        for (const size_t length : {size / 3, size / 2, size * 2 / 3, size - 40})
            files.emplace_back("cut at " + std::to_string(length), Head(tall, length));
        for (const size_t at : {size / 2, size * 3 / 4}) {
            Bytes damaged = tall;
            for (size_t i = at; i < at + 8; ++i)
                damaged[i] ^= 0xFF;
            files.emplace_back("damaged at " + std::to_string(at), damaged);
        }
        for (const auto& file : files) {
            const Read stored = ReadBytes(file.second);
            // A cut file keeps the rows that arrived, the rest black.
            if (file.first.rfind("cut", 0) == 0) {
                EXPECT_TRUE(stored.picture) << file.first;
                EXPECT_EQ(stored.report.problem, PICTURE_TRUNCATED) << file.first;
            }
            for (const int orientation : {3, 6}) {
                SCOPED_TRACE(std::to_string(int(kind)) + " " + file.first + ", orientation " +
                             std::to_string(orientation));
                const Read upright = ReadBytes(Tagged(file.second, Tiff(orientation, true)));
                EXPECT_EQ(upright.report.problem, stored.report.problem);
                EXPECT_EQ(upright.log, stored.log);
                ASSERT_EQ(bool(upright.picture), bool(stored.picture));
                if (stored.picture)
                    ExpectTurned(*stored.picture.get(), *upright.picture.get(), orientation);
            }
        }
        // About one ask a row group: stopped in the first strip, and in the second or third.
        for (const int asks : {0, 5, 40, 70}) {
            SCOPED_TRACE("stopped after " + std::to_string(asks) + " asks");
            const Read stopped = ReadBytes(Tagged(tall, Tiff(6, false)), asks);
            EXPECT_FALSE(stopped.picture);
            EXPECT_EQ(stopped.report.problem, PICTURE_CANCELLED);
            EXPECT_EQ(stopped.log, "");
        }
    }
}
