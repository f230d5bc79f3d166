// PNG reader: the PNG suite by colour type and bit depth, colour keys, size limits, corrupt input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

OxSurface* ReadPngBytes(const Bytes& bytes)
{
    OxHolder<OxFile> file(new MemoryFile(bytes));
    return ReadPng(file.get());
}

// Reads a suite file through a real file stream.
OxSurface* ReadSuiteFile(const std::string& name)
{
    OxHolder<OxFile> file(OpenTestdataFile("pngsuite/" + name));
    return file ? ReadPng(file.get()) : nullptr;
}

Bytes SuiteBytes(const std::string& name)
{
    Bytes bytes = ReadWholeFile(TestdataPath("pngsuite/" + name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

// The picture's colours row after row without pitch padding; palette indexes
// are looked up here, so the result compares with any RGB decoder.
Bytes Colours(const OxSurface& surface)
{
    Bytes out;
    const int bytesPerPixel = BytesPerPixel(surface.format);
    for (int y = 0; y < surface.height; ++y) {
        const uint8_t* row = surface.readPixels + size_t(y) * size_t(surface.pitch);
        for (int x = 0; x < surface.width; ++x) {
            if (surface.format != PF_INDEXED) {
                out.insert(out.end(), row + x * bytesPerPixel, row + (x + 1) * bytesPerPixel);
                continue;
            }
            const size_t entry = size_t(row[x]) * 3;
            EXPECT_LT(int(row[x]), surface.paletteCount);
            for (size_t c = 0; c < 3; ++c)
                out.push_back(entry + c < surface.paletteStore.size()
                                  ? surface.paletteStore[entry + c]
                                  : 0);
        }
    }
    return out;
}

void PutBe32(Bytes& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

void AppendChunk(Bytes& png, const std::string& type, const Bytes& data)
{
    PutBe32(png, uint32_t(data.size()));
    const size_t typeAt = png.size();
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    PutBe32(png, uint32_t(crc32(0, png.data() + typeAt, uInt(png.size() - typeAt))));
}

struct Chunk {
    std::string type;
    Bytes data;
};

// A PNG with the given header, extra chunks before IDAT, and the filtered
// scanlines (filter byte first) deflated into one IDAT; no IDAT when empty.
Bytes MakePng(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType,
              const std::vector<Chunk>& chunks, const Bytes& scanlines)
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe32(header, width);
    PutBe32(header, height);
    header.insert(header.end(), {bitDepth, colorType, 0, 0, 0});
    AppendChunk(png, "IHDR", header);
    for (const Chunk& chunk : chunks)
        AppendChunk(png, chunk.type, chunk.data);
    if (!scanlines.empty()) {
        uLongf packedSize = compressBound(uLong(scanlines.size()));
        Bytes packed(packedSize);
        EXPECT_EQ(compress(packed.data(), &packedSize, scanlines.data(), uLong(scanlines.size())),
                  Z_OK);
        packed.resize(packedSize);
        AppendChunk(png, "IDAT", packed);
    }
    AppendChunk(png, "IEND", {});
    return png;
}

struct ChunkSpan {
    std::string type;
    size_t start;  // the length field
    size_t end;    // one past the CRC
};

std::vector<ChunkSpan> ChunksOf(const Bytes& png)
{
    std::vector<ChunkSpan> spans;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 |
                                uint32_t(png[at + 2]) << 8 | png[at + 3];
        spans.push_back({std::string(png.begin() + long(at) + 4, png.begin() + long(at) + 8), at,
                         at + 12 + length});
        at += 12 + size_t(length);
    }
    return spans;
}

size_t EndOfLastIdat(const Bytes& png)
{
    size_t end = 0;
    for (const ChunkSpan& span : ChunksOf(png)) {
        if (span.type == "IDAT")
            end = span.end;
    }
    return end;
}

// A surface whose store matches its size and format.
bool IsWhole(const OxSurface& surface)
{
    return surface.width <= kMaxPictureSide && surface.height <= kMaxPictureSide &&
           surface.pitch == surface.width * BytesPerPixel(surface.format) &&
           surface.pixelStore.size() == size_t(surface.pitch) * size_t(surface.height);
}

}  // namespace

// Every valid suite file against a reference decode (ImageMagick at 8 bits; for
// 16-bit files the high byte of each 16-bit sample), hashed over Colours().
TEST(PngReadTest, SuiteFilesDecodeToReferencePixels)
{
    struct Row {
        const char* name;
        int format;
        int width;
        int height;
        uint64_t colourHash;
    };
    const Row rows[] = {
    {"PngSuite.png", PF_RGB, 256, 256, 0xacbf3f495f91d6ceull},
    {"basi0g01.png", PF_GREY, 32, 32, 0x96e8988fce83155full},
    {"basi0g02.png", PF_GREY, 32, 32, 0xb6b91b1d1e6add25ull},
    {"basi0g04.png", PF_GREY, 32, 32, 0x29c7387b287d37a5ull},
    {"basi0g08.png", PF_GREY, 32, 32, 0x41d4d925c29e1249ull},
    {"basi0g16.png", PF_GREY, 32, 32, 0x2430dc13438c4bb9ull},
    {"basi2c08.png", PF_RGB, 32, 32, 0x20362d9a3ff2e125ull},
    {"basi2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"basi3p01.png", PF_INDEXED, 32, 32, 0xf193525f5d1a3b25ull},
    {"basi3p02.png", PF_INDEXED, 32, 32, 0x36b37a2644408625ull},
    {"basi3p04.png", PF_INDEXED, 32, 32, 0x0908649a6b34bb05ull},
    {"basi3p08.png", PF_INDEXED, 32, 32, 0x028ba631a921e8c5ull},
    {"basi4a08.png", PF_RGBA, 32, 32, 0x4b4e70fc7720494dull},
    {"basi4a16.png", PF_RGBA, 32, 32, 0x8c09f25148b55145ull},
    {"basi6a08.png", PF_RGBA, 32, 32, 0xf9ed41b6375b125dull},
    {"basi6a16.png", PF_RGBA, 32, 32, 0x1c3a480c49c2c715ull},
    {"basn0g01.png", PF_GREY, 32, 32, 0x96e8988fce83155full},
    {"basn0g02.png", PF_GREY, 32, 32, 0xb6b91b1d1e6add25ull},
    {"basn0g04.png", PF_GREY, 32, 32, 0x29c7387b287d37a5ull},
    {"basn0g08.png", PF_GREY, 32, 32, 0x41d4d925c29e1249ull},
    {"basn0g16.png", PF_GREY, 32, 32, 0x2430dc13438c4bb9ull},
    {"basn2c08.png", PF_RGB, 32, 32, 0x20362d9a3ff2e125ull},
    {"basn2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"basn3p01.png", PF_INDEXED, 32, 32, 0xf193525f5d1a3b25ull},
    {"basn3p02.png", PF_INDEXED, 32, 32, 0x36b37a2644408625ull},
    {"basn3p04.png", PF_INDEXED, 32, 32, 0x0908649a6b34bb05ull},
    {"basn3p08.png", PF_INDEXED, 32, 32, 0x028ba631a921e8c5ull},
    {"basn4a08.png", PF_RGBA, 32, 32, 0x4b4e70fc7720494dull},
    {"basn4a16.png", PF_RGBA, 32, 32, 0x8c09f25148b55145ull},
    {"basn6a08.png", PF_RGBA, 32, 32, 0xf9ed41b6375b125dull},
    {"basn6a16.png", PF_RGBA, 32, 32, 0x1c3a480c49c2c715ull},
    {"bgai4a08.png", PF_RGBA, 32, 32, 0x4b4e70fc7720494dull},
    {"bgai4a16.png", PF_RGBA, 32, 32, 0x8c09f25148b55145ull},
    {"bgan6a08.png", PF_RGBA, 32, 32, 0xf9ed41b6375b125dull},
    {"bgan6a16.png", PF_RGBA, 32, 32, 0x1c3a480c49c2c715ull},
    {"bgbn4a08.png", PF_RGBA, 32, 32, 0x4b4e70fc7720494dull},
    {"bggn4a16.png", PF_RGBA, 32, 32, 0x8c09f25148b55145ull},
    {"bgwn6a08.png", PF_RGBA, 32, 32, 0xf9ed41b6375b125dull},
    {"bgyn6a16.png", PF_RGBA, 32, 32, 0x1c3a480c49c2c715ull},
    {"ccwn2c08.png", PF_RGB, 32, 32, 0x6099bfa95f550d78ull},
    {"ccwn3p08.png", PF_INDEXED, 32, 32, 0xf7b3be15b40ee800ull},
    {"cdfn2c08.png", PF_RGB, 8, 32, 0x6aba99150128faafull},
    {"cdhn2c08.png", PF_RGB, 32, 8, 0x913a4fac3c33e615ull},
    {"cdsn2c08.png", PF_RGB, 8, 8, 0x6c2fc0fdfcedfe81ull},
    {"cdun2c08.png", PF_RGB, 32, 32, 0x46af97c5ebe953d1ull},
    {"ch1n3p04.png", PF_INDEXED, 32, 32, 0x0908649a6b34bb05ull},
    {"ch2n3p08.png", PF_INDEXED, 32, 32, 0x028ba631a921e8c5ull},
    {"cm0n0g04.png", PF_GREY, 32, 32, 0x50dd887835a26facull},
    {"cm7n0g04.png", PF_GREY, 32, 32, 0x50dd887835a26facull},
    {"cm9n0g04.png", PF_GREY, 32, 32, 0x50dd887835a26facull},
    {"cs3n2c16.png", PF_RGB, 32, 32, 0x6a1c16eec5985225ull},
    {"cs3n3p08.png", PF_INDEXED, 32, 32, 0xd151a9adfcef7d25ull},
    {"cs5n2c08.png", PF_RGB, 32, 32, 0x41ee0522655ab825ull},
    {"cs5n3p08.png", PF_INDEXED, 32, 32, 0x41ee0522655ab825ull},
    {"cs8n2c08.png", PF_RGB, 32, 32, 0x6a1c16eec5985225ull},
    {"cs8n3p08.png", PF_INDEXED, 32, 32, 0x6a1c16eec5985225ull},
    {"ct0n0g04.png", PF_GREY, 32, 32, 0x50dd887835a26facull},
    {"ct1n0g04.png", PF_GREY, 32, 32, 0x50dd887835a26facull},
    {"cten0g04.png", PF_GREY, 32, 32, 0xcf755661e74bdb25ull},
    {"ctfn0g04.png", PF_GREY, 32, 32, 0xe1b34987247f9ae5ull},
    {"ctgn0g04.png", PF_GREY, 32, 32, 0x56bf4899bb864d65ull},
    {"cthn0g04.png", PF_GREY, 32, 32, 0x9e72be99ffc123f5ull},
    {"ctjn0g04.png", PF_GREY, 32, 32, 0xf44f32b0c98903b5ull},
    {"ctzn0g04.png", PF_GREY, 32, 32, 0x50dd887835a26facull},
    {"exif2c08.png", PF_RGB, 32, 32, 0xb03a7c90ec6870e9ull},
    {"f00n0g08.png", PF_GREY, 32, 32, 0xb5bb976a59853b3bull},
    {"f00n2c08.png", PF_RGB, 32, 32, 0x2b945525e689cf30ull},
    {"f01n0g08.png", PF_GREY, 32, 32, 0x5e2f84caebe41c4aull},
    {"f01n2c08.png", PF_RGB, 32, 32, 0x6631e3fefa98e4eeull},
    {"f02n0g08.png", PF_GREY, 32, 32, 0x4d83713915f5dbfcull},
    {"f02n2c08.png", PF_RGB, 32, 32, 0xb6243732384b96c6ull},
    {"f03n0g08.png", PF_GREY, 32, 32, 0xd2fd33ce29553aceull},
    {"f03n2c08.png", PF_RGB, 32, 32, 0x9e0b53b9d39b213eull},
    {"f04n0g08.png", PF_GREY, 32, 32, 0x9b40f57498e0fa73ull},
    {"f04n2c08.png", PF_RGB, 32, 32, 0xe1864640b190071cull},
    {"f99n0g04.png", PF_GREY, 32, 32, 0xf5a3fb4ac1582b01ull},
    {"g03n0g16.png", PF_GREY, 32, 32, 0x2f6f191eab1541b7ull},
    {"g03n2c08.png", PF_RGB, 32, 32, 0xfe8a5d2361aa5368ull},
    {"g03n3p04.png", PF_INDEXED, 32, 32, 0x60d3e32ee8d9b328ull},
    {"g04n0g16.png", PF_GREY, 32, 32, 0x437d459b78e5d492ull},
    {"g04n2c08.png", PF_RGB, 32, 32, 0x416e235ae24b47c4ull},
    {"g04n3p04.png", PF_INDEXED, 32, 32, 0x2c7e2d0c60e961bbull},
    {"g05n0g16.png", PF_GREY, 32, 32, 0xf87dc312aceb9965ull},
    {"g05n2c08.png", PF_RGB, 32, 32, 0x9da5fe4828f99416ull},
    {"g05n3p04.png", PF_INDEXED, 32, 32, 0x8c1938ac47b2d766ull},
    {"g07n0g16.png", PF_GREY, 32, 32, 0x23b3c591f3114258ull},
    {"g07n2c08.png", PF_RGB, 32, 32, 0xe110c2aacfb38790ull},
    {"g07n3p04.png", PF_INDEXED, 32, 32, 0xa05ae25d39c85a78ull},
    {"g10n0g16.png", PF_GREY, 32, 32, 0x9632b43e0410dd61ull},
    {"g10n2c08.png", PF_RGB, 32, 32, 0xc8a3d6cce98c6931ull},
    {"g10n3p04.png", PF_INDEXED, 32, 32, 0xa672e3eb720ec5ccull},
    {"g25n0g16.png", PF_GREY, 32, 32, 0xea8dfac9b5a61d9dull},
    {"g25n2c08.png", PF_RGB, 32, 32, 0x1c52b769d0972dacull},
    {"g25n3p04.png", PF_INDEXED, 32, 32, 0x7e055408b8e0d4e8ull},
    {"oi1n0g16.png", PF_GREY, 32, 32, 0x2430dc13438c4bb9ull},
    {"oi1n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"oi2n0g16.png", PF_GREY, 32, 32, 0x2430dc13438c4bb9ull},
    {"oi2n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"oi4n0g16.png", PF_GREY, 32, 32, 0x2430dc13438c4bb9ull},
    {"oi4n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"oi9n0g16.png", PF_GREY, 32, 32, 0x2430dc13438c4bb9ull},
    {"oi9n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"pp0n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"pp0n6a08.png", PF_RGBA, 32, 32, 0x8d7c76ecbc812825ull},
    {"ps1n0g08.png", PF_GREY, 32, 32, 0x41d4d925c29e1249ull},
    {"ps1n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"ps2n0g08.png", PF_GREY, 32, 32, 0x41d4d925c29e1249ull},
    {"ps2n2c16.png", PF_RGB, 32, 32, 0x51c143bea37a5cb5ull},
    {"s01i3p01.png", PF_INDEXED, 1, 1, 0xd94c37186c0dbb96ull},
    {"s01n3p01.png", PF_INDEXED, 1, 1, 0xd94c37186c0dbb96ull},
    {"s02i3p01.png", PF_INDEXED, 2, 2, 0x5d3d3f039eddf2e5ull},
    {"s02n3p01.png", PF_INDEXED, 2, 2, 0x5d3d3f039eddf2e5ull},
    {"s03i3p01.png", PF_INDEXED, 3, 3, 0x47193ebc7b722f61ull},
    {"s03n3p01.png", PF_INDEXED, 3, 3, 0x47193ebc7b722f61ull},
    {"s04i3p01.png", PF_INDEXED, 4, 4, 0xf84a38ed54684e55ull},
    {"s04n3p01.png", PF_INDEXED, 4, 4, 0xf84a38ed54684e55ull},
    {"s05i3p02.png", PF_INDEXED, 5, 5, 0xffccc1329e40ae7dull},
    {"s05n3p02.png", PF_INDEXED, 5, 5, 0xffccc1329e40ae7dull},
    {"s06i3p02.png", PF_INDEXED, 6, 6, 0x466c0d6f669aac39ull},
    {"s06n3p02.png", PF_INDEXED, 6, 6, 0x466c0d6f669aac39ull},
    {"s07i3p02.png", PF_INDEXED, 7, 7, 0x8af6e754b6936557ull},
    {"s07n3p02.png", PF_INDEXED, 7, 7, 0x8af6e754b6936557ull},
    {"s08i3p02.png", PF_INDEXED, 8, 8, 0x05f479f935bd4129ull},
    {"s08n3p02.png", PF_INDEXED, 8, 8, 0x05f479f935bd4129ull},
    {"s09i3p02.png", PF_INDEXED, 9, 9, 0xc1bf210d25746670ull},
    {"s09n3p02.png", PF_INDEXED, 9, 9, 0xc1bf210d25746670ull},
    {"s32i3p04.png", PF_INDEXED, 32, 32, 0x5dd79104e9b4fc53ull},
    {"s32n3p04.png", PF_INDEXED, 32, 32, 0x5dd79104e9b4fc53ull},
    {"s33i3p04.png", PF_INDEXED, 33, 33, 0xd83b624a7424623eull},
    {"s33n3p04.png", PF_INDEXED, 33, 33, 0xd83b624a7424623eull},
    {"s34i3p04.png", PF_INDEXED, 34, 34, 0x8763449bb379da95ull},
    {"s34n3p04.png", PF_INDEXED, 34, 34, 0x8763449bb379da95ull},
    {"s35i3p04.png", PF_INDEXED, 35, 35, 0xd6c0e173fcad2655ull},
    {"s35n3p04.png", PF_INDEXED, 35, 35, 0xd6c0e173fcad2655ull},
    {"s36i3p04.png", PF_INDEXED, 36, 36, 0xbdead2e2f0342ec5ull},
    {"s36n3p04.png", PF_INDEXED, 36, 36, 0xbdead2e2f0342ec5ull},
    {"s37i3p04.png", PF_INDEXED, 37, 37, 0x23c558bca2bb74e3ull},
    {"s37n3p04.png", PF_INDEXED, 37, 37, 0x23c558bca2bb74e3ull},
    {"s38i3p04.png", PF_INDEXED, 38, 38, 0xb077e13ab8e518ebull},
    {"s38n3p04.png", PF_INDEXED, 38, 38, 0xb077e13ab8e518ebull},
    {"s39i3p04.png", PF_INDEXED, 39, 39, 0x481f0f1cb5f8d3c0ull},
    {"s39n3p04.png", PF_INDEXED, 39, 39, 0x481f0f1cb5f8d3c0ull},
    {"s40i3p04.png", PF_INDEXED, 40, 40, 0x9e4f6e749607900dull},
    {"s40n3p04.png", PF_INDEXED, 40, 40, 0x9e4f6e749607900dull},
    {"tbbn0g04.png", PF_GREY, 32, 32, 0x0f9523e5e6c1509cull},
    {"tbbn2c16.png", PF_RGB, 32, 32, 0x4c1736df857f8937ull},
    {"tbbn3p08.png", PF_INDEXED, 32, 32, 0x3ff181111e016217ull},
    {"tbgn2c16.png", PF_RGB, 32, 32, 0x4c1736df857f8937ull},
    {"tbgn3p08.png", PF_INDEXED, 32, 32, 0x3ff181111e016217ull},
    {"tbrn2c08.png", PF_RGB, 32, 32, 0x4c1736df857f8937ull},
    {"tbwn0g16.png", PF_GREY, 32, 32, 0x8e747406d9e23619ull},
    {"tbwn3p08.png", PF_INDEXED, 32, 32, 0x3ff181111e016217ull},
    {"tbyn3p08.png", PF_INDEXED, 32, 32, 0x3ff181111e016217ull},
    {"tm3n3p02.png", PF_INDEXED, 32, 32, 0x58429ba6fce94725ull},
    {"tp0n0g08.png", PF_GREY, 32, 32, 0xb8415f3c474a13ecull},
    {"tp0n2c08.png", PF_RGB, 32, 32, 0xa64ba09becb56ab7ull},
    {"tp0n3p08.png", PF_INDEXED, 32, 32, 0xab71151ace2b5297ull},
    {"tp1n3p08.png", PF_INDEXED, 32, 32, 0x3ff181111e016217ull},
    {"z00n2c08.png", PF_RGB, 32, 32, 0x0f6f06a3990b394full},
    {"z03n2c08.png", PF_RGB, 32, 32, 0x0f6f06a3990b394full},
    {"z06n2c08.png", PF_RGB, 32, 32, 0x0f6f06a3990b394full},
    {"z09n2c08.png", PF_RGB, 32, 32, 0x0f6f06a3990b394full},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OxHolder<OxSurface> surface(ReadSuiteFile(row.name));
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->format, row.format);
        EXPECT_EQ(surface->width, row.width);
        EXPECT_EQ(surface->height, row.height);
        EXPECT_EQ(surface->pitch, row.width * BytesPerPixel(row.format));
        EXPECT_EQ(surface->pixelStore.size(), size_t(surface->pitch) * size_t(row.height));
        EXPECT_EQ(Fnv1a(Colours(*surface.get())), row.colourHash);
    }
}

// A few pixels spelled out: 16-bit samples keep their high byte, grey with
// alpha becomes RGBA.
TEST(PngReadTest, KnownPixels)
{
    struct Row {
        const char* name;
        int x, y;
        Bytes pixel;
    };
    const Row rows[] = {
        {"basn2c08.png", 0, 0, {255, 255, 255}},
        {"basn2c08.png", 31, 0, {255, 255, 224}},
        {"basn2c08.png", 17, 9, {255, 206, 255}},
        {"basn2c16.png", 17, 9, {0x73, 0xB5, 0x00}},
        {"basn6a08.png", 17, 9, {224, 255, 6, 139}},
        {"basn6a16.png", 17, 9, {98, 255, 0, 148}},
        {"basn4a08.png", 17, 9, {180, 180, 180, 139}},
        {"basn4a08.png", 0, 0, {255, 255, 255, 0}},
        {"basn0g16.png", 31, 0, {186}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OxHolder<OxSurface> surface(ReadSuiteFile(row.name));
        ASSERT_TRUE(surface);
        const uint8_t* at = surface->readPixels + row.y * surface->pitch +
                            row.x * BytesPerPixel(surface->format);
        EXPECT_EQ(Bytes(at, at + row.pixel.size()), row.pixel);
    }
}

// 1, 2 and 4-bit grey is scaled to the full 0..255 range; packed palette
// indexes come out one per byte and inside the palette.
TEST(PngReadTest, LowBitDepthsAreUnpackedAndScaled)
{
    struct Row {
        const char* name;
        int format;
        int step;     // grey: every value is a multiple of it
        int highest;  // grey: the brightest value; indexed: the highest index
    };
    const Row rows[] = {
        {"basn0g01.png", PF_GREY, 255, 255}, {"basn0g02.png", PF_GREY, 85, 255},
        {"basn0g04.png", PF_GREY, 17, 238},  {"basn3p01.png", PF_INDEXED, 0, 1},
        {"basn3p02.png", PF_INDEXED, 0, 3},  {"basn3p04.png", PF_INDEXED, 0, 14},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OxHolder<OxSurface> surface(ReadSuiteFile(row.name));
        ASSERT_TRUE(surface);
        ASSERT_EQ(surface->format, row.format);
        ASSERT_EQ(surface->pitch, surface->width);
        int lowest = 255, highest = 0;
        for (uint8_t value : surface->pixelStore) {
            lowest = std::min(lowest, int(value));
            highest = std::max(highest, int(value));
            if (row.format == PF_GREY) {
                ASSERT_EQ(value % row.step, 0) << int(value);
            }
        }
        EXPECT_EQ(lowest, 0);
        EXPECT_EQ(highest, row.highest);
        if (row.format == PF_INDEXED) {
            EXPECT_LT(highest, surface->paletteCount);
        }
    }
}

TEST(PngReadTest, InterlacedFilesMatchTheirTwins)
{
    const char* twins[][2] = {
        {"basi0g01.png", "basn0g01.png"}, {"basi0g02.png", "basn0g02.png"},
        {"basi0g04.png", "basn0g04.png"}, {"basi0g08.png", "basn0g08.png"},
        {"basi0g16.png", "basn0g16.png"}, {"basi2c08.png", "basn2c08.png"},
        {"basi2c16.png", "basn2c16.png"}, {"basi3p01.png", "basn3p01.png"},
        {"basi3p02.png", "basn3p02.png"}, {"basi3p04.png", "basn3p04.png"},
        {"basi3p08.png", "basn3p08.png"}, {"basi4a08.png", "basn4a08.png"},
        {"basi4a16.png", "basn4a16.png"}, {"basi6a08.png", "basn6a08.png"},
        {"basi6a16.png", "basn6a16.png"}, {"s01i3p01.png", "s01n3p01.png"},
        {"s02i3p01.png", "s02n3p01.png"}, {"s03i3p01.png", "s03n3p01.png"},
        {"s04i3p01.png", "s04n3p01.png"}, {"s05i3p02.png", "s05n3p02.png"},
        {"s06i3p02.png", "s06n3p02.png"}, {"s07i3p02.png", "s07n3p02.png"},
        {"s08i3p02.png", "s08n3p02.png"}, {"s09i3p02.png", "s09n3p02.png"},
        {"s32i3p04.png", "s32n3p04.png"}, {"s33i3p04.png", "s33n3p04.png"},
        {"s34i3p04.png", "s34n3p04.png"}, {"s35i3p04.png", "s35n3p04.png"},
        {"s36i3p04.png", "s36n3p04.png"}, {"s37i3p04.png", "s37n3p04.png"},
        {"s38i3p04.png", "s38n3p04.png"}, {"s39i3p04.png", "s39n3p04.png"},
        {"s40i3p04.png", "s40n3p04.png"},
    };
    for (const auto& twin : twins) {
        SCOPED_TRACE(twin[0]);
        OxHolder<OxSurface> interlaced(ReadSuiteFile(twin[0]));
        OxHolder<OxSurface> plain(ReadSuiteFile(twin[1]));
        ASSERT_TRUE(interlaced);
        ASSERT_TRUE(plain);
        EXPECT_EQ(interlaced->format, plain->format);
        EXPECT_EQ(interlaced->pitch, plain->pitch);
        EXPECT_EQ(interlaced->pixelStore, plain->pixelStore);
    }
}

TEST(PngReadTest, PaletteAndColourKeyOfSuiteFiles)
{
    struct Row {
        const char* name;
        int format;
        int paletteCount;
        int colorKey;
    };
    const Row rows[] = {
        {"basn3p01.png", PF_INDEXED, 2, -1},  {"basn3p04.png", PF_INDEXED, 15, -1},
        {"basn3p08.png", PF_INDEXED, 256, -1}, {"s01n3p01.png", PF_INDEXED, 1, -1},
        {"tbbn3p08.png", PF_INDEXED, 246, 0}, {"tbwn3p08.png", PF_INDEXED, 245, 0},
        {"tm3n3p02.png", PF_INDEXED, 4, 0},   {"tp0n3p08.png", PF_INDEXED, 245, -1},
        {"tp1n3p08.png", PF_INDEXED, 245, 0},
        // tRNS of RGB and grey pictures is ignored.
        {"tbrn2c08.png", PF_RGB, 0, -1},      {"tbbn2c16.png", PF_RGB, 0, -1},
        {"tbbn0g04.png", PF_GREY, 0, -1},     {"tbwn0g16.png", PF_GREY, 0, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OxHolder<OxSurface> surface(ReadSuiteFile(row.name));
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->format, row.format);
        EXPECT_EQ(surface->paletteCount, row.paletteCount);
        EXPECT_EQ(surface->paletteStore.size(), size_t(row.paletteCount) * 3);
        EXPECT_EQ(surface->colorKey, row.colorKey);
    }
}

TEST(PngReadTest, ColourKeyIsTheFirstFullyTransparentEntry)
{
    struct Row {
        Bytes alpha;  // the tRNS chunk; empty: none
        int colorKey;
    };
    const Row rows[] = {
        {{}, -1},
        {{255, 128, 0}, 2},
        {{255, 0, 0}, 1},
        {{0}, 0},
        {{255, 128}, -1},
        {{255, 255, 255, 255}, -1},
    };
    const Bytes palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    for (const Row& row : rows) {
        std::vector<Chunk> chunks = {{"PLTE", palette}};
        if (!row.alpha.empty())
            chunks.push_back({"tRNS", row.alpha});
        OxHolder<OxSurface> surface(ReadPngBytes(MakePng(4, 1, 8, 3, chunks, {0, 0, 1, 2, 3})));
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->colorKey, row.colorKey);
        EXPECT_EQ(surface->paletteStore, palette);
        EXPECT_EQ(Bytes(surface->readPixels, surface->readPixels + 4), Bytes({0, 1, 2, 3}));
    }
}

TEST(PngReadTest, CorruptSuiteFilesGiveNull)
{
    const char* names[] = {
        "xc1n0g08.png", "xc9n2c08.png", "xcrn0g04.png", "xcsn0g01.png", "xd0n2c08.png",
        "xd3n2c08.png", "xd9n2c08.png", "xdtn0g01.png", "xhdn0g08.png", "xlfn0g04.png",
        "xs1n0g01.png", "xs2n0g01.png", "xs4n0g01.png", "xs7n0g01.png",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> surface(ReadSuiteFile(name));
        const std::string log = FinishCapture();
        EXPECT_FALSE(surface);
        // A bad signature is silent (the caller tries another reader); the
        // rest leave libpng's reason in the log.
        const bool badSignature = name[1] == 's' || name[1] == 'l' || name[2] == 'r';
        EXPECT_EQ(log.empty(), badSignature) << log;
    }
}

TEST(PngReadTest, NotAPngLeavesTheFilePosition)
{
    std::FILE* stream = std::fopen(TestdataPath("jpeg/testorig.jpg").c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    OxHolder<OxFile> file(new OxAnsiFile(stream));
    uint8_t first[5] = {};
    ASSERT_EQ(file->Read(first, 5), 5);
    EXPECT_FALSE(ReadPng(file.get()));
    EXPECT_EQ(file->Tell(), 5);

    const Bytes whole = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    uint8_t next = 0;
    ASSERT_EQ(file->Read(&next, 1), 1);
    EXPECT_EQ(next, whole[5]);

    // Shorter than a signature.
    OxHolder<OxFile> tiny(new MemoryFile({0x89, 'P', 'N'}));
    EXPECT_FALSE(ReadPng(tiny.get()));
    EXPECT_EQ(tiny->Tell(), 0);
    EXPECT_FALSE(ReadPng(nullptr));
}

TEST(PngReadTest, TruncatedFilesGiveNullWithReadError)
{
    for (const char* name : {"basn2c08.png", "basi6a16.png", "basn3p04.png", "basi0g01.png"}) {
        SCOPED_TRACE(name);
        const Bytes whole = SuiteBytes(name);
        const size_t end = EndOfLastIdat(whole);
        ASSERT_GT(end, 8u);
        std::vector<size_t> wrong;  // checked after the capture, which would swallow failures
        testing::internal::CaptureStdout();
        for (size_t length = 0; length < end; ++length) {
            const Bytes cut(whole.begin(), whole.begin() + long(length));
            if (OxHolder<OxSurface>(ReadPngBytes(cut)))
                wrong.push_back(length);
        }
        const std::string log = FinishCapture();
        EXPECT_EQ(wrong, std::vector<size_t>());
        // Every cut past the signature fails as short, one line each: on the
        // short read, or before it when too little is left for the image data.
        EXPECT_EQ(CountOf(log, "PNG_READ_ERROR") + CountOf(log, "PNG_DATA_TOO_SHORT"), int(end - 8));
        EXPECT_EQ(CountOf(log, "\n"), int(end - 8));
    }
}

// Every chunk carries a CRC, so a changed byte either is caught (null) or lies
// where it does not matter (an ancillary chunk, or past the image data).
TEST(PngReadTest, FlippedBytesGiveNullOrTheSamePicture)
{
    for (const char* name : {"basn2c08.png", "basi3p04.png", "basn0g16.png", "tbbn3p08.png"}) {
        SCOPED_TRACE(name);
        const Bytes whole = SuiteBytes(name);
        OxHolder<OxSurface> original(ReadPngBytes(whole));
        ASSERT_TRUE(original);
        const Bytes colours = Colours(*original.get());
        std::vector<bool> mustFail(whole.size(), false);
        std::fill(mustFail.begin(), mustFail.begin() + 8, true);
        for (const ChunkSpan& span : ChunksOf(whole)) {
            if (span.type == "IHDR" || span.type == "PLTE" || span.type == "IDAT")
                std::fill(mustFail.begin() + long(span.start) + 4,
                          mustFail.begin() + long(span.end), true);
        }
        std::vector<size_t> wrong;
        testing::internal::CaptureStdout();
        for (size_t at = 0; at < whole.size(); ++at) {
            for (uint8_t mask : {0x01, 0x80, 0xFF}) {
                Bytes flipped = whole;
                flipped[at] ^= mask;
                OxHolder<OxSurface> surface(ReadPngBytes(flipped));
                if (surface && (mustFail[at] || Colours(*surface.get()) != colours))
                    wrong.push_back(at);
            }
        }
        FinishCapture();
        EXPECT_EQ(wrong, std::vector<size_t>());
    }
}

// Damage that the CRC does not catch: header fields and compressed data
// changed with the CRC made right again. Any result is fine but a crash, a
// leak or a surface whose store does not match its size.
TEST(PngReadTest, DamageBehindValidCrcsIsSurvived)
{
    for (const char* name : {"basn2c08.png", "basi3p04.png", "basn6a16.png", "basi0g02.png"}) {
        SCOPED_TRACE(name);
        const Bytes whole = SuiteBytes(name);
        std::vector<size_t> wrong;
        testing::internal::CaptureStdout();
        for (const ChunkSpan& span : ChunksOf(whole)) {
            if (span.type != "IHDR" && span.type != "IDAT")
                continue;
            const size_t data = span.start + 8;
            const size_t crc = span.end - 4;
            const size_t step = std::max<size_t>(1, (crc - data) / 150);
            for (size_t at = data; at < crc; at += step) {
                for (uint8_t mask : {0x01, 0x10, 0xFF}) {
                    Bytes damaged = whole;
                    damaged[at] ^= mask;
                    const uint32_t sum = uint32_t(crc32(0, damaged.data() + span.start + 4,
                                                        uInt(crc - span.start - 4)));
                    for (int i = 0; i < 4; ++i)
                        damaged[crc + size_t(i)] = uint8_t(sum >> (24 - 8 * i));
                    OxHolder<OxSurface> surface(ReadPngBytes(damaged));
                    if (surface && !IsWhole(*surface.get()))
                        wrong.push_back(at);
                }
            }
        }
        FinishCapture();
        EXPECT_EQ(wrong, std::vector<size_t>());
    }
}

// The limits hold before any pixel store exists: the files below carry only
// the first bytes of their image data. Sides past the limit, and sides within
// it whose RGBA store would pass 2^31 - 1 bytes.
TEST(PngReadTest, OversizedPicturesAreRefused)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {
        {70000, 10}, {10, 70000}, {65536, 1}, {40000, 40000}, {65535, 8193}};
    for (const auto& size : sizes) {
        for (uint8_t colorType : {0, 2, 6}) {
            SCOPED_TRACE(size.first);
            testing::internal::CaptureStdout();
            OxHolder<OxSurface> surface(
                ReadPngBytes(MakePng(size.first, size.second, 8, colorType, {}, Bytes(64, 0))));
            const std::string log = FinishCapture();
            EXPECT_FALSE(surface);
            EXPECT_EQ(CountOf(log, "PICTURE_TOO_LARGE"), 1) << log;
            EXPECT_EQ(CountOf(log, "\n"), 1) << log;
        }
    }
    // libpng itself refuses sides past 2^31 - 1.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(
        OxHolder<OxSurface>(ReadPngBytes(MakePng(0x80000000u, 1, 8, 0, {}, Bytes(64, 0)))));
    EXPECT_NE(FinishCapture(), "");

    // The largest side allowed still reads.
    Bytes row(size_t(kMaxPictureSide) + 1, 7);
    row[0] = 0;  // filter type None
    OxHolder<OxSurface> widest(ReadPngBytes(MakePng(kMaxPictureSide, 1, 8, 0, {}, row)));
    ASSERT_TRUE(widest);
    EXPECT_EQ(widest->width, kMaxPictureSide);
    EXPECT_EQ(widest->readPixels[kMaxPictureSide - 1], 7);
}

// Hostile headers and chunks are turned away before memory follows their
// claims: sides within the limit with a few bytes of image data, and a text
// chunk that claims a gigabyte.
TEST(PngReadTest, ClaimsTheFileCannotHoldAreRefusedEarly)
{
    struct Case {
        const char* name;
        const char* logged;
    } cases[] = {
        {"header-big_rgba-little-data.png", "PNG_DATA_TOO_SHORT"},
        {"header-big_interlaced_rgba-little-data.png", "PNG_DATA_TOO_SHORT"},
        {"header-tall_interlaced-little-data.png", "PNG_DATA_TOO_SHORT"},
        {"huge-itxt-length-buffered", "PNG_READ_ERROR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes =
            ReadWholeFile(std::string(GLOWVIEW_FUZZ_REGRESSIONS) + "/png/" + c.name);
        ASSERT_FALSE(bytes.empty());
        testing::internal::CaptureStdout();
        OxHolder<OxSurface> surface(ReadPngBytes(bytes));
        const std::string log = FinishCapture();
        EXPECT_FALSE(surface);
        EXPECT_EQ(CountOf(log, c.logged), 1) << log;
        EXPECT_EQ(CountOf(log, "OUT_OF_MEMORY"), 0) << log;
    }

    // Ancillary chunks are skipped unread: a 2 MB text chunk does not stop the picture.
    Bytes row(4, 9);
    row[0] = 0;
    const Bytes text(2 << 20, 'x');
    testing::internal::CaptureStdout();
    OxHolder<OxSurface> surface(ReadPngBytes(MakePng(3, 1, 8, 0, {{"tEXt", text}}, row)));
    FinishCapture();
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->readPixels[2], 9);
}

TEST(PngReadTest, LibpngWarningsGoToTheLog)
{
    // A damaged ancillary chunk is dropped with a warning; the picture still reads.
    Bytes bytes = SuiteBytes("basn2c08.png");
    const std::vector<ChunkSpan> spans = ChunksOf(bytes);
    const auto gamma = std::find_if(spans.begin(), spans.end(),
                                    [](const ChunkSpan& span) { return span.type == "gAMA"; });
    ASSERT_NE(gamma, spans.end());
    bytes[gamma->start + 8] ^= 0x01;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    OxHolder<OxSurface> surface(ReadPngBytes(bytes));
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string log = FinishCapture();
    EXPECT_TRUE(surface);
    EXPECT_EQ(errors, "");
    EXPECT_NE(log.find("CRC"), std::string::npos) << log;
}
