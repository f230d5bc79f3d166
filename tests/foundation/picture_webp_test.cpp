// WebP reader: lossy, lossless and with alpha, an animation's first frame, cut and damaged
// files and the side limit, each against libwebp's own decode of the same bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "test_support.h"
#include "webp_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe(Bytes& bytes, size_t at, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

// RIFF, VP8X with the given canvas and flags, then nothing: a header that claims a picture.
Bytes ExtendedHeader(uint32_t width, uint32_t height, uint8_t flags)
{
    Bytes bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P',
                   'V', 'P', '8', 'X', 10, 0, 0, 0, flags, 0, 0, 0};
    bytes.resize(bytes.size() + 6);
    PutLe(bytes, 24, width - 1, 3);
    PutLe(bytes, 27, height - 1, 3);
    PutLe(bytes, 4, uint32_t(bytes.size() - 8), 4);
    return bytes;
}

// The bytes with `count` of them from `at` on set to 0xFF.
Bytes Overwritten(Bytes bytes, size_t at, size_t count)
{
    for (size_t i = at; i < at + count && i < bytes.size(); ++i)
        bytes[i] = 0xFF;
    return bytes;
}

// The lossy file with its VP8 frame's start code (9D 01 2A) broken.
Bytes WithBrokenStartCode(Bytes bytes)
{
    for (size_t i = 0; i + 3 <= bytes.size(); ++i) {
        if (bytes[i] == 0x9D && bytes[i + 1] == 0x01 && bytes[i + 2] == 0x2A) {
            bytes[i] = 0x00;
            return bytes;
        }
    }
    ADD_FAILURE() << "no VP8 start code";
    return bytes;
}

}  // namespace

TEST(WebpReaderTest, PicturesMatchLibwebpAndProblemsAreNamed)
{
    const Bytes opaque = PatternRgba(47, 33, false);
    const Bytes clear = PatternRgba(47, 33, true);
    const Bytes lossy = EncodeWebp(opaque, 47, 33, false);
    const Bytes lossless = EncodeWebp(clear, 47, 33, true);
    const Bytes animation = AssembleAnimatedWebp(
        40, 30, {{PatternRgba(21, 13, true, 1), 21, 13, 4, 6},
                 {PatternRgba(40, 30, false, 2), 40, 30, 0, 0},
                 {PatternRgba(9, 7, true, 3), 9, 7, 2, 2}});
    const Bytes whole = AssembleAnimatedWebp(40, 30, {{PatternRgba(40, 30, true, 4), 40, 30, 0, 0},
                                                      {PatternRgba(8, 8, true, 5), 8, 8, 0, 0}});
    // The muxer makes a single frame that covers the canvas a still picture: this one does not.
    const Bytes oneFrame = AssembleAnimatedWebp(16, 10, {{PatternRgba(10, 6, true, 6), 10, 6, 2, 2}});
    ASSERT_FALSE(lossy.empty());
    ASSERT_FALSE(animation.empty());
    struct Row {
        const char* what;
        Bytes bytes;
        PictureProblem problem;
        bool firstFrameOnly;
        const char* logged;  // the log line's identifier, or "" for no line at all
        int headers;         // times the header hook ran
    };
    const Row rows[] = {
        {"lossy", lossy, PICTURE_FINE, false, "", 1},
        {"lossy with alpha", EncodeWebp(clear, 47, 33, false), PICTURE_FINE, false, "", 1},
        {"lossless", EncodeWebp(opaque, 47, 33, true), PICTURE_FINE, false, "", 1},
        {"lossless with alpha", lossless, PICTURE_FINE, false, "", 1},
        {"1 x 1", EncodeWebp(PatternRgba(1, 1, true), 1, 1, true), PICTURE_FINE, false, "", 1},
        {"animated, a small first frame inside the canvas", animation, PICTURE_FINE, true, "", 1},
        {"animated, a first frame over the whole canvas", whole, PICTURE_FINE, true, "", 1},
        {"animated, one frame", oneFrame, PICTURE_FINE, false, "", 1},
        {"lossy cut in half", Head(lossy, lossy.size() / 2), PICTURE_TRUNCATED, false,
         "WEBP_NOT_ENOUGH_DATA", 1},
        {"animation cut in half: refused before its store is made",
         Head(animation, animation.size() / 2), PICTURE_TRUNCATED, false, "WEBP_NOT_ENOUGH_DATA",
         0},
        {"the signature alone", Head(lossy, 12), PICTURE_TRUNCATED, false, "WEBP_NOT_ENOUGH_DATA",
         0},
        {"lossy with a broken start code", WithBrokenStartCode(lossy), PICTURE_DAMAGED, false,
         "WEBP_BITSTREAM_ERROR", 0},
        {"lossless with damaged data", Overwritten(lossless, lossless.size() / 3, 16),
         PICTURE_DAMAGED, false, "WEBP_BITSTREAM_ERROR", 1},
        {"a canvas wider than the limit", ExtendedHeader(kMaxPictureSide + 1, 300, 0),
         PICTURE_TOO_LARGE, false, "PICTURE_TOO_LARGE", 0},
        {"an animation taller than the limit", ExtendedHeader(300, kMaxPictureSide + 1, 0x02),
         PICTURE_TOO_LARGE, false, "PICTURE_TOO_LARGE", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        int width = 0;
        int height = 0;
        const Bytes expected = ReferenceWebpRgba(row.bytes, &width, &height);
        MemoryFile file(row.bytes);
        int headers = 0;
        const PictureHeaderHook hook = {[](void* count, int, int) { ++*static_cast<int*>(count); },
                                        &headers};
        PictureRead read = {nullptr, {PICTURE_FINE, 0, 0}};
        const std::string log = StdoutOf([&] { read = ReadPicture(&file, &hook); });
        OxHolder<OxSurface> picture(read.picture);
        EXPECT_EQ(read.report.problem, row.problem);
        EXPECT_EQ(read.report.firstFrameOnly, row.firstFrameOnly);
        EXPECT_EQ(headers, row.headers);
        if (row.logged[0] == '\0') {
            EXPECT_EQ(log, "");
        } else {
            EXPECT_EQ(CountOf(log, row.logged), 1) << log;
        }
        ASSERT_EQ(bool(picture), !expected.empty()) << "given exactly when libwebp decodes it";
        if (!picture)
            continue;
        EXPECT_EQ(picture->format, PF_RGBA);
        ASSERT_EQ(picture->width, width);
        ASSERT_EQ(picture->height, height);
        ASSERT_EQ(picture->pitch, width * 4);
        EXPECT_EQ(std::memcmp(picture->readPixels, expected.data(), expected.size()), 0)
            << "pixel exact";
    }
}

TEST(WebpReaderTest, TooLargeReportsTheSides)
{
    MemoryFile file(ExtendedHeader(kMaxPictureSide + 1, 300, 0));
    const PictureRead read = ReadPicture(&file);
    EXPECT_EQ(read.picture, nullptr);
    EXPECT_EQ(read.report.width, uint32_t(kMaxPictureSide + 1));
    EXPECT_EQ(read.report.height, 300u);
}
