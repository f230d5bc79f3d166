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

}  // namespace

TEST(PictureReportTest, EachReadSaysWhatWentWrong)
{
    const Bytes png = ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"));
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    ASSERT_GT(png.size(), 100u);
    ASSERT_GT(jpeg.size(), 2000u);
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
         PICTURE_TOO_LARGE, 30000, 20000},
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
