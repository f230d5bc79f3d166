// PNG, BMP and JPEG writers: read back at odd sizes and pitches, bad arguments, failed writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Rows of `pitch` bytes, the pixels a deterministic noise and the row padding 0xEE.
Bytes NoiseRows(int width, int height, int pitch)
{
    Bytes pixels(size_t(pitch) * size_t(height), 0xEE);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1103515245u + 12345u;
            pixels[size_t(y) * size_t(pitch) + size_t(x)] = uint8_t(state >> 16);
        }
    }
    return pixels;
}

// A smooth picture, which JPEG keeps close to the original.
Bytes GradientRows(int width, int height, int pitch)
{
    Bytes pixels(size_t(pitch) * size_t(height), 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[size_t(y) * size_t(pitch) + size_t(x) * 3];
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 255 / height);
            p[2] = uint8_t(128 + (x - y) / 2);
        }
    }
    return pixels;
}

uint32_t Le(const Bytes& bytes, size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | bytes[at + size_t(i)];
    return value;
}

// Writes with `write` into a new file and returns its bytes; `result` gets the writer's result.
template <class Writer>
Bytes WriteToFile(const TempDir& dir, Writer write, int* result)
{
    const std::string path = dir.File("picture");
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    EXPECT_NE(stream, nullptr);
    *result = write(stream);
    std::fclose(stream);
    return ReadWholeFile(path);
}

OxSurface* ReadBack(const TempDir& dir, OxSurface* (*reader)(OxFile*, PictureReport*))
{
    std::FILE* stream = std::fopen(dir.File("picture").c_str(), "rb");
    if (stream == nullptr)
        return nullptr;
    OxHolder<OxFile> file(new OxAnsiFile(stream));
    return reader(file.get(), nullptr);
}

// Start of the first segment with `marker` from `from` on, or the size of the file.
size_t FindMarker(const Bytes& jpeg, uint8_t marker, size_t from = 0)
{
    for (size_t at = from; at + 1 < jpeg.size(); ++at) {
        if (jpeg[at] == 0xFF && jpeg[at + 1] == marker)
            return at;
    }
    return jpeg.size();
}

}  // namespace

TEST(PngWriteTest, WrittenPictureReadsBackTheSame)
{
    const std::pair<int, int> sizes[] = {{47, 33}, {1, 1}, {3, 200}, {200, 3}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.first);
        const int width = size.first, height = size.second;
        const Bytes pixels = NoiseRows(width, height, width * 3);
        TempDir dir;
        int result = -1;
        const Bytes file = WriteToFile(
            dir, [&](std::FILE* s) { return WritePng(width, height, pixels.data(), s); }, &result);
        ASSERT_EQ(result, 0);
        // IHDR: 8-bit RGB, no interlace.
        ASSERT_GT(file.size(), 33u);
        EXPECT_EQ(file[24], 8);
        EXPECT_EQ(file[25], 2);
        EXPECT_EQ(file[28], 0);

        OxHolder<OxSurface> surface(ReadBack(dir, ReadPng));
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->format, PF_RGB);
        EXPECT_EQ(surface->width, width);
        EXPECT_EQ(surface->height, height);
        EXPECT_EQ(surface->pitch, width * 3);
        EXPECT_EQ(surface->pixelStore, pixels);
    }
}

TEST(BmpWriteTest, FileHoldsTheRowsBottomUpInBgrWithPadding)
{
    struct Row {
        int width, height, pitch;
        int rowSize;
    };
    const Row rows[] = {
        {47, 33, 47 * 3 + 5, 144},
        {47, 33, 0, 144},  // 0: packed rows
        {1, 2, 3, 4},
        {4, 3, 12, 12},
        {2, 5, 9, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.width);
        const int pitch = row.pitch > 0 ? row.pitch : row.width * 3;
        const Bytes pixels = NoiseRows(row.width, row.height, pitch);
        TempDir dir;
        int result = -1;
        const Bytes file = WriteToFile(dir,
                                       [&](std::FILE* s) {
                                           return WriteBmp(s, row.width, row.height, pixels.data(),
                                                           row.pitch);
                                       },
                                       &result);
        ASSERT_EQ(result, 0);
        const size_t fileSize = size_t(row.rowSize) * size_t(row.height) + 54;
        ASSERT_EQ(file.size(), fileSize);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(Le(file, 2, 4), fileSize);
        EXPECT_EQ(Le(file, 6, 4), 0u);
        EXPECT_EQ(Le(file, 10, 4), 54u);
        EXPECT_EQ(Le(file, 14, 4), 40u);
        EXPECT_EQ(Le(file, 18, 4), uint32_t(row.width));
        EXPECT_EQ(Le(file, 22, 4), uint32_t(row.height));
        EXPECT_EQ(Le(file, 26, 2), 1u);
        EXPECT_EQ(Le(file, 28, 2), 24u);
        for (size_t at = 30; at < 54; at += 4)
            EXPECT_EQ(Le(file, at, 4), 0u) << at;

        for (int fileRow = 0; fileRow < row.height; ++fileRow) {
            const uint8_t* stored = &file[54 + size_t(fileRow) * size_t(row.rowSize)];
            const uint8_t* source = &pixels[size_t(row.height - 1 - fileRow) * size_t(pitch)];
            for (int x = 0; x < row.width; ++x) {
                ASSERT_EQ(stored[x * 3 + 0], source[x * 3 + 2]) << fileRow << "," << x;
                ASSERT_EQ(stored[x * 3 + 1], source[x * 3 + 1]) << fileRow << "," << x;
                ASSERT_EQ(stored[x * 3 + 2], source[x * 3 + 0]) << fileRow << "," << x;
            }
            for (int pad = row.width * 3; pad < row.rowSize; ++pad)
                ASSERT_EQ(stored[pad], 0) << fileRow;
        }
    }
}

TEST(JpegWriteTest, BaselineQuality50ReadsBackClose)
{
    const int width = 47, height = 33, pitch = width * 3 + 7;
    const Bytes pixels = GradientRows(width, height, pitch);
    TempDir dir;
    int result = -1;
    const Bytes file = WriteToFile(
        dir, [&](std::FILE* s) { return WriteJpeg(width, height, pixels.data(), pitch, s); },
        &result);
    ASSERT_EQ(result, 0);

    // Baseline frame, and the standard quantisation tables unscaled (quality
    // 50), luminance then chrominance, in zigzag order.
    EXPECT_LT(FindMarker(file, 0xC0), file.size());
    EXPECT_EQ(FindMarker(file, 0xC2), file.size());
    // libjpeg writes one table per DQT segment: marker, length, table id, values.
    const size_t luminance = FindMarker(file, 0xDB);
    const size_t chrominance = FindMarker(file, 0xDB, luminance + 2);
    ASSERT_LT(chrominance + 5 + 64, file.size());
    EXPECT_EQ(Bytes(&file[luminance + 5], &file[luminance + 11]), Bytes({16, 11, 12, 14, 12, 10}));
    EXPECT_EQ(Bytes(&file[chrominance + 5], &file[chrominance + 11]),
              Bytes({17, 18, 18, 24, 21, 24}));

    OxHolder<OxSurface> surface(ReadBack(dir, ReadJpeg));
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->format, PF_RGB);
    EXPECT_EQ(surface->width, width);
    EXPECT_EQ(surface->height, height);
    long total = 0;
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            const int difference = std::abs(int(surface->readPixels[y * surface->pitch + x]) -
                                            int(pixels[size_t(y) * pitch + size_t(x)]));
            total += difference;
            worst = std::max(worst, difference);
        }
    }
    EXPECT_LT(double(total) / (width * height * 3), 4.0);
    EXPECT_LT(worst, 40);
}

TEST(PictureWriteTest, BadArgumentsGiveMinusOne)
{
    struct Row {
        const char* what;
        int width, height;
        bool pixels;
    };
    const Row rows[] = {
        {"null pixels", 4, 4, false},
        {"negative width", -1, 4, true},
        {"negative height", 4, -1, true},
        {"byte count past 32 bits", 100000, 100000, true},
        {"width * 3 past 32 bits", 0x40000000, 1, true},
        {"width * 3 past 32 bits, no rows", 0x40000000, 0, true},
    };
    const uint8_t someBytes[48] = {};
    TempDir dir;
    std::FILE* stream = std::fopen(dir.File("out").c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const uint8_t* pixels = row.pixels ? someBytes : nullptr;
        const int pitch = int(std::min<int64_t>(int64_t(row.width) * 3, INT_MAX));
        EXPECT_EQ(WritePng(row.width, row.height, pixels, stream), -1);
        EXPECT_EQ(WriteBmp(stream, row.width, row.height, pixels, pitch), -1);
        EXPECT_EQ(WriteJpeg(row.width, row.height, pixels, pitch, stream), -1);
    }
    EXPECT_EQ(std::ftell(stream), 0L);  // nothing was written
    std::fclose(stream);

    // A pitch shorter than a row would read past the pixels.
    std::FILE* bmp = std::fopen(dir.File("short.bmp").c_str(), "wb");
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(WriteBmp(bmp, 4, 4, someBytes, 11), -1);
    std::fclose(bmp);

    EXPECT_EQ(WritePng(4, 4, someBytes, nullptr), -1);
    EXPECT_EQ(WriteBmp(nullptr, 4, 4, someBytes, 12), -1);
    EXPECT_EQ(WriteJpeg(4, 4, someBytes, 12, nullptr), -1);
}

// A stream that refuses writes: every writer reports the failure.
TEST(PictureWriteTest, FailedWritesGiveMinusOne)
{
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("readonly"), {1, 2, 3}));
    const Bytes pixels = GradientRows(47, 33, 47 * 3);
    std::FILE* stream = std::fopen(dir.File("readonly").c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    testing::internal::CaptureStdout();
    const int png = WritePng(47, 33, pixels.data(), stream);
    const int bmp = WriteBmp(stream, 47, 33, pixels.data(), 47 * 3);
    const int jpeg = WriteJpeg(47, 33, pixels.data(), 47 * 3, stream);
    std::fflush(stdout);
    const std::string log = testing::internal::GetCapturedStdout();
    std::fclose(stream);
    EXPECT_EQ(png, -1);
    EXPECT_EQ(bmp, -1);
    EXPECT_EQ(jpeg, -1);
    EXPECT_NE(log.find("JPEG_ERROR"), std::string::npos) << log;
}
