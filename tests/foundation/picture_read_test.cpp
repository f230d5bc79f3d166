// The one road for a picture: each file's bytes are read once, a format is recognised from
// its first bytes, a file that is no picture is not read further, and a decode that meets a
// problem is made again from the bytes in memory, reporting once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "counting_file.h"
#include "test_support.h"
#include "webp_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(ReadPictureTest, EachFileIsReadOnceAndDecodedAtMostTwice)
{
    const Bytes png = ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"));
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    ASSERT_GT(png.size(), 100u);
    ASSERT_GT(jpeg.size(), 2000u);
    const Bytes webp = EncodeWebp(PatternRgba(47, 33, true), 47, 33, false);
    ASSERT_FALSE(webp.empty());
    const Bytes text = {'j', 'u', 's', 't', ' ', 's', 'o', 'm', 'e', ' ', 'w', 'o', 'r', 'd', 's'};
    const Bytes wave = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    struct Row {
        const char* what;
        Bytes bytes;
        bool gives;
        int format;  // of the picture given
        PictureProblem problem;
        long bytesRead;      // -1: every byte of the file
        const char* logged;  // one line holding this, or "" for no line at all
        int headers;         // times the header hook ran
    };
    const Row rows[] = {
        {"a clean PNG", png, true, PF_RGBA, PICTURE_FINE, -1, "", 1},
        {"a clean JPEG", jpeg, true, PF_RGBA, PICTURE_FINE, -1, "", 1},
        {"a clean WebP", webp, true, PF_RGBA, PICTURE_FINE, -1, "", 1},
        {"a PNG with a libpng warning", WithBadTextChunk(png), true, PF_RGB, PICTURE_FINE, -1,
         "tEXt: CRC error", 1},
        {"a truncated JPEG", Head(jpeg, jpeg.size() / 2), true, PF_RGB, PICTURE_TRUNCATED, -1,
         "Premature end of JPEG file", 1},
        {"a damaged PNG", ReadWholeFile(TestdataPath("pngsuite/xhdn0g08.png")), false, 0,
         PICTURE_DAMAGED, -1, "IHDR: CRC error", 0},
        {"a text file", text, false, 0, PICTURE_NOT_RECOGNISED, 8, "", 0},
        {"a RIFF file of another kind", wave, false, 0, PICTURE_NOT_RECOGNISED, 12, "", 0},
        {"a RIFF start too short to name its kind", Head(webp, 10), false, 0,
         PICTURE_NOT_RECOGNISED, 10, "", 0},
        {"an empty file", {}, false, 0, PICTURE_NOT_RECOGNISED, 0, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CountingFile file(new MemoryFile(row.bytes));
        int headers = 0;
        const PictureHeaderHook hook = {[](void* count, int, int) { ++*static_cast<int*>(count); },
                                        &headers};
        PictureRead read = {nullptr, {PICTURE_FINE, 0, 0}};
        const std::string log = StdoutOf([&] { read = ReadPicture(&file, &hook); });
        OxHolder<OxSurface> picture(read.picture);
        EXPECT_EQ(bool(picture), row.gives);
        if (picture) {
            EXPECT_EQ(picture->format, row.format);
        }
        EXPECT_EQ(read.report.problem, row.problem);
        EXPECT_EQ(file.bytesRead, row.bytesRead < 0 ? long(row.bytes.size()) : row.bytesRead)
            << "each byte is read from the file once";
        const bool riff = row.bytes.size() >= 8 && std::memcmp(row.bytes.data(), "RIFF", 4) == 0;
        EXPECT_LE(file.reads, riff ? 3 : 2)
            << "the start (a RIFF file's in two steps), then the rest in one read";
        if (row.logged[0] == '\0') {
            EXPECT_EQ(log, "");
        } else {
            EXPECT_EQ(CountOf(log, row.logged), 1) << log;
        }
        EXPECT_EQ(headers, row.headers) << "room is made once, and only for a header accepted";
    }
}

// A read that runs beside other work: stopped between rows when its caller no longer wants it,
// and, for a JPEG slow to decode, a picture at an eighth of its sides lent first.
TEST(ReadPictureTest, ACallerStopsAReadAndGetsAPreviewOfASlowJpeg)
{
    const Bytes png = ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"));
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    const Bytes progressive = ReadWholeFile(TestdataPath("jpeg/testimgp.jpg"));
    struct Seen {
        int askedToStop = 0;
        bool stop = false;
        int previews = 0;
        int previewWidth = 0, previewHeight = 0;
        bool previewOpaque = true;
    };
    struct Row {
        const char* what;
        const Bytes* bytes;
        bool stop;
        int64_t previewPixels;  // 0: none wanted
        int previews;
        PictureProblem problem;
    };
    // testorig.jpg is 227 x 149 (33823 pixels), testimgp.jpg the same, progressive.
    const Row rows[] = {
        {"a PNG stopped", &png, true, 0, 0, PICTURE_CANCELLED},
        {"a JPEG stopped", &jpeg, true, 1, 0, PICTURE_CANCELLED},
        {"a JPEG with a preview", &jpeg, false, 33823, 1, PICTURE_FINE},
        {"a JPEG below the preview's cost", &jpeg, false, 33824, 0, PICTURE_FINE},
        {"a progressive JPEG counts twice", &progressive, false, 2 * 33823, 1, PICTURE_FINE},
        {"a PNG never has one", &png, false, 1, 0, PICTURE_FINE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryFile file(*row.bytes);
        Seen seen;
        seen.stop = row.stop;
        PictureHeaderHook hook = {nullptr, &seen};
        hook.cancelled = [](void* context) {
            auto* s = static_cast<Seen*>(context);
            ++s->askedToStop;
            return s->stop;
        };
        hook.preview = [](void* context, OxSurface* preview) {
            auto* s = static_cast<Seen*>(context);
            ++s->previews;
            s->previewWidth = preview->width;
            s->previewHeight = preview->height;
            for (int y = 0; y < preview->height; ++y) {
                for (int x = 0; x < preview->width; ++x)
                    s->previewOpaque &= preview->readPixels[y * preview->pitch + x * 4 + 3] == 255;
            }
        };
        hook.previewPixels = row.previewPixels;
        PictureRead read = {nullptr, {PICTURE_FINE, 0, 0}};
        const std::string log = StdoutOf([&] { read = ReadPicture(&file, &hook); });
        OxHolder<OxSurface> picture(read.picture);
        EXPECT_EQ(read.report.problem, row.problem);
        EXPECT_EQ(bool(picture), !row.stop);
        EXPECT_EQ(log, "") << "a stopped read says nothing";
        EXPECT_GT(seen.askedToStop, 0);
        EXPECT_EQ(seen.previews, row.previews);
        if (row.previews > 0) {
            EXPECT_EQ(seen.previewWidth, (227 + 7) / 8);
            EXPECT_EQ(seen.previewHeight, (149 + 7) / 8);
            EXPECT_TRUE(seen.previewOpaque);
        }
    }
}
