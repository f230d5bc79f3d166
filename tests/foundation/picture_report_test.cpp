// Tests of what the picture readers report about a read: why it failed, or what is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "picture_fixtures.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum class Reader { Png, Jpeg };

// Reads the bytes from a real file with the reader; the surface, or null, and the report.
OxSurface* ReadBytes(const TempDir& dir, const Bytes& bytes, Reader reader, PictureReport* report)
{
    const std::string path = dir.File("picture");
    if (!WriteWholeFile(path, bytes))
        return nullptr;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream)
        return nullptr;
    OxHolder<OxFile> file(new OxAnsiFile(stream));
    return reader == Reader::Png ? ReadPng(file.get(), report) : ReadJpeg(file.get(), report);
}

// A grey picture of width x 1 written by the program's own writers.
Bytes WidePicture(const TempDir& dir, Reader format, int width)
{
    const std::vector<uint8_t> row(size_t(width) * 3, 90);
    const std::string path = dir.File("wide");
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (!stream)
        return {};
    const int written = format == Reader::Png ? WritePng(width, 1, row.data(), stream)
                                              : WriteJpeg(width, 1, row.data(), 0, stream);
    std::fclose(stream);
    return written == 0 ? ReadWholeFile(path) : Bytes();
}

// The sizes a read's header hook was given.
struct SeenHeader {
    int width = -1;
    int height = -1;
};

}  // namespace

// The limits are checked on the header, before any pixel store exists: the pictures
// past them carry one row of data for all the rows they claim, and the hook (which runs
// just before the store is made) never sees them. Those within the limits get past the
// checks and are refused only as truncated.
TEST(PictureReportTest, TheLimitsAreCheckedOnTheHeader)
{
    TempDir dir;
    const Bytes png = WidePicture(dir, Reader::Png, kMaxPictureSide);
    const Bytes jpeg = WidePicture(dir, Reader::Jpeg, 65500);  // libjpeg's own limit
    ASSERT_FALSE(png.empty());
    ASSERT_FALSE(jpeg.empty());
    struct Row {
        const char* what;
        Bytes bytes;
        PictureProblem problem;
        uint32_t width, height, maxSide;  // the report's sizes and side limit
        int seenWidth;                    // what the hook was given of a width x 1 picture
    };
    const Row rows[] = {
        {"a PNG of 65535 x 1", png, PICTURE_FINE, 0, 0, 0, 65535},
        {"a PNG of 65536 x 1", WithPngSize(png, 65536, 1), PICTURE_TOO_LARGE, 65536, 1, 65535,
         -1},
        {"a PNG of 1 x 65536", WithPngSize(png, 1, 65536), PICTURE_TOO_LARGE, 1, 65536, 65535,
         -1},
        {"a PNG of 65535 x 32768", WithPngSize(png, 65535, 32768), PICTURE_TOO_LARGE_TO_HOLD,
         65535, 32768, 0, -1},
        {"a PNG of 23170 x 23170, just within", WithPngSize(png, 23170, 23170),
         PICTURE_TRUNCATED, 0, 0, 0, -1},
        {"a PNG of 23171 x 23171, just past", WithPngSize(png, 23171, 23171),
         PICTURE_TOO_LARGE_TO_HOLD, 23171, 23171, 0, -1},
        {"a PNG of 30000 x 4000", WithPngSize(png, 30000, 4000), PICTURE_TRUNCATED, 0, 0, 0,
         -1},
        {"a JPEG of 65500 x 1", jpeg, PICTURE_FINE, 0, 0, 0, 65500},
        {"a JPEG of 65501 x 1, past libjpeg's side", WithJpegSize(jpeg, 65501, 1),
         PICTURE_TOO_LARGE, 65501, 1, 65500, -1},
        {"a JPEG of 65535 x 65535", WithJpegSize(jpeg, 65535, 65535), PICTURE_TOO_LARGE, 65535,
         65535, 65500, -1},
        {"a JPEG of 65500 x 32768", WithJpegSize(jpeg, 65500, 32768), PICTURE_TOO_LARGE_TO_HOLD,
         65500, 32768, 0, -1},
        {"a JPEG of 30000 x 4000", WithJpegSize(jpeg, 30000, 4000), PICTURE_TRUNCATED, 0, 0, 0,
         -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SeenHeader seen;
        const PictureHeaderHook hook = {
            [](void* context, int width, int height) {
                *static_cast<SeenHeader*>(context) = {width, height};
            },
            &seen};
        OxHolder<OxFile> file(new MemoryFile(row.bytes));
        testing::internal::CaptureStdout();
        const PictureRead read = ReadPicture(file.get(), &hook);
        OxHolder<OxSurface> surface(read.picture);
        FinishCapture();
        EXPECT_EQ(bool(surface), row.problem == PICTURE_FINE);
        EXPECT_EQ(read.report.problem, row.problem);
        EXPECT_EQ(read.report.width, row.width);
        EXPECT_EQ(read.report.height, row.height);
        EXPECT_EQ(read.report.maxSide, row.maxSide);
        EXPECT_EQ(seen.width, row.seenWidth);
        EXPECT_EQ(seen.height, row.seenWidth > 0 ? 1 : -1);
    }
}

TEST(PictureReportTest, EachReadSaysWhatWentWrong)
{
    const Bytes png = ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"));
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    ASSERT_GT(png.size(), 100u);
    ASSERT_GT(jpeg.size(), 2000u);
    // A progressive JPEG of 65500 x 8000 (within the limits) whose file is long enough for
    // that many blocks: libjpeg would need more working memory than it may have.
    Bytes progressive =
        WithJpegSize(ReadWholeFile(TestdataPath("jpeg/testimgp.jpg")), 65500, 8000);
    progressive.resize(progressive.size() + (3 << 20), 0);
    struct Row {
        const char* what;
        Bytes bytes;
        Reader reader;
        bool gives;  // a surface comes back
        PictureProblem problem;
        uint32_t width, height;
    };
    const Row rows[] = {
        {"a PNG", png, Reader::Png, true, PICTURE_FINE, 0, 0},
        {"a PNG read as JPEG", png, Reader::Jpeg, false, PICTURE_NOT_RECOGNISED, 0, 0},
        {"a JPEG read as PNG", jpeg, Reader::Png, false, PICTURE_NOT_RECOGNISED, 0, 0},
        {"an empty file as PNG", {}, Reader::Png, false, PICTURE_NOT_RECOGNISED, 0, 0},
        {"an empty file as JPEG", {}, Reader::Jpeg, false, PICTURE_NOT_RECOGNISED, 0, 0},
        {"a PNG cut short", Head(png, 100), Reader::Png, false, PICTURE_TRUNCATED, 0, 0},
        {"a PNG with a bad header checksum",
         ReadWholeFile(TestdataPath("pngsuite/xhdn0g08.png")), Reader::Png, false,
         PICTURE_DAMAGED, 0, 0},
        {"a JPEG", jpeg, Reader::Jpeg, true, PICTURE_FINE, 0, 0},
        {"a JPEG cut short is read as far as it goes", Head(jpeg, jpeg.size() / 2),
         Reader::Jpeg, true, PICTURE_TRUNCATED, 0, 0},
        {"a JPEG of 30000 x 20000", WithJpegSize(jpeg, 30000, 20000), Reader::Jpeg, false,
         PICTURE_TOO_LARGE_TO_HOLD, 30000, 20000},
        {"a progressive JPEG past libjpeg's working memory", progressive, Reader::Jpeg, false,
         PICTURE_NO_MEMORY, 65500, 8000},
        {"a CMYK JPEG", ReadWholeFile(TestdataPath("jpeg/video-001.cmyk.jpeg")), Reader::Jpeg,
         true, PICTURE_FINE, 0, 0},
        {"a JPEG without scans", ReadWholeFile(TestdataPath("jpeg/missing-sos.jpg")),
         Reader::Jpeg, false, PICTURE_DAMAGED, 0, 0},
    };
    TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testing::internal::CaptureStdout();
        PictureReport report = {PICTURE_UNREADABLE, 1, 1};
        OxHolder<OxSurface> surface(ReadBytes(dir, row.bytes, row.reader, &report));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(bool(surface), row.gives);
        EXPECT_EQ(report.problem, row.problem);
        EXPECT_EQ(report.width, row.width);
        EXPECT_EQ(report.height, row.height);
    }
    // Memory input reports the same way, and a null file is no file to read.
    PictureReport report = {PICTURE_FINE, 0, 0};
    EXPECT_EQ(DecodeJpegMemory(png.data(), int(png.size()), &report), nullptr);
    EXPECT_EQ(report.problem, PICTURE_NOT_RECOGNISED);
    EXPECT_EQ(ReadPng(nullptr, &report), nullptr);
    EXPECT_EQ(report.problem, PICTURE_UNREADABLE);
}
