// JPEG reader: colour, greyscale, progressive, arithmetic, restart, CMYK and YCCK files,
// unsupported and broken files, cut and damaged data, size and scan limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "picture_fixtures.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A file that cannot tell its position, like a pipe.
class UnseekableFile : public MemoryFile {
public:
    using MemoryFile::MemoryFile;
    int Tell() override { return -1; }
};

OxSurface* ReadJpegFile(const std::string& name)
{
    OxHolder<OxFile> file(OpenTestdataFile("jpeg/" + name));
    return file ? ReadJpeg(file.get()) : nullptr;
}

OxSurface* Decode(const Bytes& bytes)
{
    return DecodeJpegMemory(bytes.data(), int(bytes.size()));
}

Bytes JpegBytes(const std::string& name)
{
    Bytes bytes = ReadWholeFile(TestdataPath("jpeg/" + name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

bool Contains(const std::string& text, const std::string& word)
{
    return text.find(word) != std::string::npos;
}

// A surface whose store matches its size and format (and the given size, unless -1).
bool IsWhole(const OxSurface& surface, int width, int height)
{
    return (surface.format == PF_RGB || surface.format == PF_GREY) &&
           surface.width <= kMaxPictureSide && surface.height <= kMaxPictureSide &&
           (width < 0 || (surface.width == width && surface.height == height)) &&
           surface.pitch == surface.width * BytesPerPixel(surface.format) &&
           surface.pixelStore.size() == size_t(surface.pitch) * size_t(surface.height);
}

struct Segment {
    uint8_t marker;
    size_t start;  // the 0xFF of the marker
    size_t end;    // one past the segment, entropy-coded data included for SOS
};

// The marker segments of a JPEG file up to EOI.
std::vector<Segment> SegmentsOf(const Bytes& jpeg)
{
    std::vector<Segment> segments;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xD9)
            break;
        size_t end = at + 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker other than a stuffed
            // zero or a restart marker.
            while (end + 1 < jpeg.size() &&
                   !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 &&
                     (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7)))
                ++end;
        }
        segments.push_back({marker, at, end});
        at = end;
    }
    return segments;
}

const Segment* FindSegment(const std::vector<Segment>& segments, uint8_t marker)
{
    for (const Segment& segment : segments) {
        if (segment.marker == marker)
            return &segment;
    }
    return nullptr;
}

}  // namespace

// Reference hashes are ImageMagick's decode of the same files.
TEST(JpegReadTest, SamplesDecodeToReferencePixels)
{
    struct Row {
        const char* name;
        int format;
        int width;
        int height;
        uint64_t hash;
        Bytes firstPixel;
    };
    const Row rows[] = {
        {"testorig.jpg", PF_RGB, 227, 149, 0x6636942c099383b0ull, {48, 47, 45}},
        {"testimgp.jpg", PF_RGB, 227, 149, 0x0cc30ec4defc0ec6ull, {48, 47, 45}},
        {"testimgari.jpg", PF_RGB, 227, 149, 0x0cc30ec4defc0ec6ull, {48, 47, 45}},
        {"video-001.restart2.jpeg", PF_RGB, 150, 103, 0x7dfaa141a2a88afeull, {127, 13, 2}},
        {"testimggray.jpg", PF_GREY, 227, 149, 0xcb1ba6e70f96b844ull, {47}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> surface(ReadJpegFile(row.name));
        EXPECT_EQ(FinishCapture(), "");
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->format, row.format);
        EXPECT_EQ(surface->width, row.width);
        EXPECT_EQ(surface->height, row.height);
        EXPECT_EQ(surface->pitch, row.width * BytesPerPixel(row.format));
        ASSERT_EQ(surface->pixelStore.size(), size_t(surface->pitch) * size_t(row.height));
        EXPECT_EQ(Fnv1a(surface->readPixels, surface->pixelStore.size()), row.hash);
        EXPECT_EQ(Bytes(surface->readPixels, surface->readPixels + row.firstPixel.size()),
                  row.firstPixel);
    }
}

// CMYK files (Adobe's, inks stored inverted) against ImageMagick's conversion of the same
// files (`convert FILE -colorspace sRGB -depth 8 rgb:-`, no colour profile), one step of
// rounding allowed, through the reporting read (RGB) and the one road (quiet, RGBA).
TEST(JpegReadTest, CmykFilesMatchTheReferenceConversion)
{
    struct Point {
        int x;
        int y;
        uint8_t rgb[3];
    };
    struct Row {
        const char* name;
        int width;
        int height;
        std::vector<Point> points;
    };
    const Row rows[] = {
        {"video-001.cmyk.jpeg", 150, 103,
         {{0, 0, {51, 1, 0}},       {50, 0, {60, 1, 0}},      {100, 0, {59, 1, 0}},
          {149, 0, {57, 0, 0}},     {0, 25, {62, 6, 0}},      {50, 25, {69, 5, 0}},
          {100, 25, {73, 5, 0}},    {149, 25, {65, 2, 0}},    {0, 51, {72, 16, 0}},
          {50, 51, {93, 22, 0}},    {100, 51, {11, 6, 0}},    {149, 51, {36, 29, 18}},
          {0, 77, {17, 12, 0}},     {50, 77, {237, 242, 248}}, {100, 77, {249, 242, 249}},
          {149, 77, {84, 18, 0}},   {0, 102, {122, 48, 2}},   {50, 102, {240, 239, 248}},
          {100, 102, {252, 248, 252}}, {149, 102, {93, 31, 0}}}},
        {"pil_sample_cmyk.jpg", 100, 100,
         {{0, 0, {255, 13, 25}}, {33, 0, {1, 4, 4}}, {66, 50, {255, 14, 24}}, {99, 99, {1, 4, 4}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> reporting(ReadJpegFile(row.name));
        OxHolder<OxFile> file(OpenTestdataFile("jpeg/" + std::string(row.name)));
        OxHolder<OxSurface> quiet(file ? ReadPicture(file.get()).picture : nullptr);
        EXPECT_EQ(FinishCapture(), "");
        ASSERT_TRUE(reporting);
        ASSERT_TRUE(quiet);
        EXPECT_TRUE(IsWhole(*reporting.get(), row.width, row.height));
        EXPECT_EQ(reporting->format, PF_RGB);
        EXPECT_EQ(quiet->format, PF_RGBA);
        ASSERT_EQ(quiet->width, row.width);
        ASSERT_EQ(quiet->height, row.height);
        for (const Point& point : row.points) {
            const uint8_t* rgb = reporting->readPixels + point.y * reporting->pitch + point.x * 3;
            const uint8_t* rgba = quiet->readPixels + point.y * quiet->pitch + point.x * 4;
            for (int c = 0; c < 3; ++c) {
                EXPECT_LE(std::abs(rgb[c] - point.rgb[c]), 1) << point.x << "," << point.y;
                EXPECT_EQ(rgba[c], rgb[c]) << point.x << "," << point.y;
            }
            EXPECT_EQ(rgba[3], 255);
        }
    }
}

// Inks written by libjpeg as CMYK with and without Adobe's marker and as YCCK all show
// the same colours: red = (255 - C) * (255 - K) / 255 of the inks, and so on. Blocks of
// one ink each keep the coding's rounding to a step or two.
TEST(JpegReadTest, CmykAndYcckInksBecomeTheirColours)
{
    const uint8_t inks[][4] = {{0, 0, 0, 0},     {255, 0, 0, 0},   {0, 255, 0, 0},
                               {0, 0, 255, 0},   {0, 0, 0, 255},   {40, 120, 200, 60},
                               {200, 30, 90, 10}, {128, 128, 128, 128}};
    constexpr int kBlock = 16;
    constexpr int kCount = int(sizeof(inks) / sizeof(inks[0]));
    const int width = kBlock * kCount;
    for (const TestJpegKind kind :
         {TestJpegKind::CmykAdobe, TestJpegKind::CmykPlain, TestJpegKind::YcckAdobe}) {
        SCOPED_TRACE(int(kind));
        // Adobe's files hold every ink inverted.
        const bool inverted = kind != TestJpegKind::CmykPlain;
        Bytes stored(size_t(width) * kBlock * 4);
        for (size_t i = 0; i < stored.size(); ++i) {
            const uint8_t ink = inks[(i / 4) % size_t(width) / kBlock][i % 4];
            stored[i] = inverted ? uint8_t(255 - ink) : ink;
        }
        const Bytes jpeg = EncodeTestJpeg(width, kBlock, stored.data(), kind);
        ASSERT_FALSE(jpeg.empty());
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> picture(Decode(jpeg));
        EXPECT_EQ(FinishCapture(), "");
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->format, PF_RGB);
        for (int block = 0; block < kCount; ++block) {
            const uint8_t* ink = inks[block];
            const uint8_t* rgb = picture->readPixels + (kBlock / 2) * picture->pitch +
                                 (block * kBlock + kBlock / 2) * 3;
            for (int c = 0; c < 3; ++c) {
                const int want = ((255 - ink[c]) * (255 - ink[3]) + 127) / 255;
                EXPECT_LE(std::abs(rgb[c] - want), 2) << "block " << block << " channel " << c;
            }
        }
    }
}

TEST(JpegReadTest, UnsupportedAndBrokenFilesGiveNull)
{
    struct Row {
        const char* name;
        const char* logged;  // our identifier
        const char* reason;  // part of libjpeg's message, if any
    };
    const Row rows[] = {
        {"monkey12.jpg", "JPEG_ERROR", "precision 12"},
        {"null_height.jpg", "JPEG_ERROR", "Empty JPEG image"},
        {"max_size.jpg", "JPEG_ERROR", "65500"},
        {"missing-sos.jpg", "JPEG_ERROR", "missing SOS"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> surface(ReadJpegFile(row.name));
        const std::string log = FinishCapture();
        EXPECT_FALSE(surface);
        EXPECT_TRUE(Contains(log, row.logged)) << log;
        EXPECT_TRUE(Contains(log, row.reason)) << log;
    }
}

// libjpeg fills a picture whose data ends early and warns; that is a picture.
TEST(JpegReadTest, FileEndingEarlyKeepsWhatArrived)
{
    testing::internal::CaptureStdout();
    OxHolder<OxSurface> surface(ReadJpegFile("truncated_jpeg.jpg"));
    const std::string log = FinishCapture();
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->width, 100);
    EXPECT_EQ(surface->height, 100);
    EXPECT_TRUE(Contains(log, "Premature end of JPEG file")) << log;
    EXPECT_FALSE(Contains(log, "JPEG_ERROR")) << log;
}

TEST(JpegReadTest, NotAJpegGivesNullSilently)
{
    const Bytes inputs[] = {{}, {0xFF}, {0xFF, 0xD9, 0, 0}, {0x89, 'P', 'N', 'G', '\r', '\n'}};
    testing::internal::CaptureStdout();
    for (const Bytes& input : inputs)
        EXPECT_FALSE(Decode(input));
    EXPECT_FALSE(DecodeJpegMemory(nullptr, 100));
    EXPECT_FALSE(ReadJpeg(nullptr));
    EXPECT_EQ(FinishCapture(), "");

    // A start-of-image marker and nothing else is a libjpeg error, recovered.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Decode({0xFF, 0xD8}));
    EXPECT_TRUE(Contains(FinishCapture(), "JPEG_ERROR"));
}

// Every cut before the first scan header gives null; later cuts may give the
// part that arrived (libjpeg reads a fake end marker there), never a crash.
TEST(JpegReadTest, CutFilesGiveNullOrAWholeSurface)
{
    for (const char* name : {"testorig.jpg", "testimgp.jpg", "testimgari.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes whole = JpegBytes(name);
        const std::vector<Segment> segments = SegmentsOf(whole);
        const Segment* scan = FindSegment(segments, 0xDA);
        ASSERT_NE(scan, nullptr);
        const size_t scanHeader = scan->start + 5;
        std::vector<size_t> wrong;  // checked after the capture, which would swallow failures
        testing::internal::CaptureStdout();
        for (size_t length = 0; length < whole.size(); length += length < scanHeader ? 1 : 23) {
            OxHolder<OxSurface> surface(Decode(Bytes(whole.begin(), whole.begin() + long(length))));
            if (surface ? length < scanHeader || !IsWhole(*surface.get(), 227, 149) : false)
                wrong.push_back(length);
        }
        FinishCapture();
        EXPECT_EQ(wrong, std::vector<size_t>()) << "scan header at " << scan->start;
    }
}

TEST(JpegReadTest, DamagedFilesNeverCrash)
{
    for (const char* name : {"testorig.jpg", "testimgp.jpg", "testimgari.jpg",
                             "video-001.restart2.jpeg", "testimggray.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes whole = JpegBytes(name);
        // Every byte of the headers, then a spread over the scan data.
        const std::vector<Segment> segments = SegmentsOf(whole);
        const Segment* scan = FindSegment(segments, 0xDA);
        ASSERT_NE(scan, nullptr);
        const size_t headers = scan->start + 16;
        std::vector<size_t> wrong;
        testing::internal::CaptureStdout();
        for (size_t at = 2; at < whole.size(); at += at < headers ? 1 : 97) {
            for (uint8_t mask : {0x01, 0x80, 0xFF}) {
                Bytes damaged = whole;
                damaged[at] ^= mask;
                OxHolder<OxSurface> surface(Decode(damaged));
                if (surface && !IsWhole(*surface.get(), -1, -1))
                    wrong.push_back(at);
            }
        }
        FinishCapture();
        EXPECT_EQ(wrong, std::vector<size_t>());
    }
}

// The limits hold before libjpeg or we allocate for the picture: libjpeg's own
// side limit (65500), and an RGBA store past 2^31 - 1 bytes.
TEST(JpegReadTest, OversizedPicturesAreRefused)
{
    const Bytes whole = JpegBytes("testorig.jpg");
    const std::vector<Segment> segments = SegmentsOf(whole);
    const Segment* frame = FindSegment(segments, 0xC0);
    ASSERT_NE(frame, nullptr);
    const std::pair<int, int> sizes[] = {
        {30000, 20000}, {65501, 1}, {1, 65501}, {65535, 65535}, {65500, 8200}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.first);
        Bytes huge = whole;
        huge[frame->start + 5] = uint8_t(size.second >> 8);
        huge[frame->start + 6] = uint8_t(size.second);
        huge[frame->start + 7] = uint8_t(size.first >> 8);
        huge[frame->start + 8] = uint8_t(size.first);
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> surface(Decode(huge));
        const std::string log = FinishCapture();
        EXPECT_FALSE(surface);
        EXPECT_TRUE(Contains(log, "PICTURE_TOO_LARGE")) << log;
    }
}

// Each progressive scan is a pass over the whole picture, so a file that
// repeats one scan endlessly is stopped.
TEST(JpegReadTest, EndlessScansAreStopped)
{
    const Bytes whole = JpegBytes("testimgp.jpg");
    const std::vector<Segment> segments = SegmentsOf(whole);
    const Segment& last = segments.back();
    ASSERT_EQ(last.marker, 0xDA);
    const auto repeated = [&](int times) {
        Bytes bytes(whole.begin(), whole.begin() + long(last.end));
        for (int i = 0; i < times; ++i)
            bytes.insert(bytes.end(), whole.begin() + long(last.start),
                         whole.begin() + long(last.end));
        bytes.insert(bytes.end(), {0xFF, 0xD9});
        return bytes;
    };
    testing::internal::CaptureStdout();
    OxHolder<OxSurface> few(Decode(repeated(20)));
    OxHolder<OxSurface> endless(Decode(repeated(1000)));
    const std::string log = FinishCapture();
    EXPECT_TRUE(few);
    EXPECT_FALSE(endless);
    EXPECT_TRUE(Contains(log, "JPEG_TOO_MANY_SCANS")) << log;
}

TEST(JpegReadTest, ReadsFromTheCurrentPosition)
{
    Bytes bytes(100, 0xAB);
    const Bytes jpeg = JpegBytes("testimggray.jpg");
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    OxHolder<OxFile> file(new MemoryFile(bytes));
    ASSERT_EQ(file->Seek(100, SEEK_SET), 0);
    OxHolder<OxSurface> surface(ReadJpeg(file.get()));
    OxHolder<OxSurface> direct(Decode(jpeg));
    ASSERT_TRUE(surface);
    ASSERT_TRUE(direct);
    EXPECT_EQ(surface->pixelStore, direct->pixelStore);
}

TEST(JpegReadTest, FilesOfUnknownOrHugeSizeAreRefused)
{
    const Bytes jpeg = JpegBytes("testorig.jpg");
    struct Row {
        OxFile* file;
        const char* logged;
    };
    const Row rows[] = {
        {new UnseekableFile(jpeg), "FILE_SIZE_UNKNOWN"},
        // Claims 1.5 GiB: refused before a buffer of that size is made.
        {new MemoryFile(jpeg, 3L << 29), "FILE_TOO_LARGE"},
    };
    for (const Row& row : rows) {
        OxHolder<OxFile> file(row.file);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(OxHolder<OxSurface>(ReadJpeg(file.get())));
        EXPECT_TRUE(Contains(FinishCapture(), row.logged)) << row.logged;
    }
}

namespace {

Bytes KeptInput(const std::string& name)
{
    return ReadWholeFile(std::string(GLOWVIEW_FUZZ_REGRESSIONS) + "/jpeg/" + name);
}

}  // namespace

// Files whose data ends long before their picture: refused when no whole
// picture could fit the file or the data ends inside the first of several
// scans, and otherwise kept with the rows past the data black, not made up.
TEST(JpegReadTest, DataEndingFarTooEarly)
{
    struct Case {
        const char* name;
        const char* logged;
        bool picture;
    } cases[] = {
        {"header-16384-huffman-little-data.jpg", "JPEG_DATA_TOO_SHORT", false},
        {"header-16384-progressive-little-data.jpg", "JPEG_DATA_TOO_SHORT", false},
        {"progressive-data-ends-in-first-scan.jpg", "JPEG_DATA_TOO_SHORT", false},
        {"arithmetic-1024-data-ends-in-first-rows.jpg", "Premature end of JPEG file", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = KeptInput(c.name);
        ASSERT_FALSE(bytes.empty());
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> surface(Decode(bytes));
        const std::string log = FinishCapture();
        EXPECT_TRUE(Contains(log, c.logged)) << log;
        ASSERT_EQ(bool(surface), c.picture);
        if (!surface)
            continue;
        // libjpeg would make up mid-grey blocks below the data; they stay black.
        const OxSurface& s = *surface.get();
        const uint8_t* lastRow = s.readPixels + size_t(s.height - 1) * size_t(s.pitch);
        EXPECT_EQ(std::count(lastRow, lastRow + s.width * 3, 0), s.width * 3);
    }
}
