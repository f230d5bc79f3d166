// Surfaces: creation, the conversion table, pitches, colour keys and palette bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/surface.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A surface of one row of pixels with the given bytes, packed.
OxHolder<OxSurface> MakeRow(int format, int width, const Bytes& bytes)
{
    const int pitch = width * std::max(BytesPerPixel(format), 1);  // code 3: one byte
    OxSurface* surface = CreateSurface(pitch, width, 1, format, pitch);
    if (surface != nullptr && !bytes.empty())
        std::memcpy(surface->writePixels, bytes.data(), bytes.size());
    return OxHolder<OxSurface>(surface);
}

struct ConversionCase {
    const char* name;
    int from;
    Bytes source;  // two pixels
    int to;
    int result;
    Bytes expected;  // two pixels; unused when the conversion fails
};

TEST(ConvertPixels, ConversionTable)
{
    const Bytes rgba = {10, 20, 30, 40, 50, 60, 70, 80};
    const Bytes rgb = {10, 20, 30, 0, 0, 0};
    const Bytes one = {7, 200};
    const ConversionCase cases[] = {
        {"rgba to rgb drops alpha", PF_RGBA, rgba, PF_RGB, 0, {10, 20, 30, 50, 60, 70}},
        {"rgba to luminance takes red", PF_RGBA, rgba, PF_LUMINANCE, 0, {10, 50}},
        {"rgb to rgba opaque without key", PF_RGB, rgb, PF_RGBA, 0, {10, 20, 30, 255, 0, 0, 0, 255}},
        {"rgb to luminance takes red", PF_RGB, rgb, PF_LUMINANCE, 0, {10, 0}},
        {"luminance to rgba", PF_LUMINANCE, one, PF_RGBA, 0, {7, 7, 7, 255, 200, 200, 200, 255}},
        {"luminance to rgb", PF_LUMINANCE, one, PF_RGB, 0, {7, 7, 7, 200, 200, 200}},
        {"grey to rgba", PF_GREY, one, PF_RGBA, 0, {7, 7, 7, 255, 200, 200, 200, 255}},
        {"grey to rgb", PF_GREY, one, PF_RGB, 0, {7, 7, 7, 200, 200, 200}},
        {"same format copies", PF_RGB, rgb, PF_RGB, 0, rgb},
        {"nothing into grey", PF_RGBA, rgba, PF_GREY, -1, {}},
        {"nothing into indexed", PF_RGB, rgb, PF_INDEXED, -1, {}},
        {"grey to luminance has no converter", PF_GREY, one, PF_LUMINANCE, -1, {}},
        {"luminance to grey has no converter", PF_LUMINANCE, one, PF_GREY, -1, {}},
        {"code 3 is no format", 3, one, PF_RGBA, -1, {}},
        {"unknown target", PF_RGBA, rgba, 9, -1, {}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.name);
        OxHolder<OxSurface> source = MakeRow(c.from, 2, c.source);
        Bytes destination(16, 0xEE);
        EXPECT_EQ(c.result, ConvertPixels(0, destination.data(), c.to, source.get()));
        if (c.result == 0) {
            Bytes written(destination.begin(), destination.begin() + c.expected.size());
            EXPECT_EQ(c.expected, written);
            EXPECT_EQ(0xEE, destination[c.expected.size()]) << "wrote past the packed rows";
        } else {
            EXPECT_EQ(Bytes(16, 0xEE), destination) << "a failed conversion wrote";
        }
    }
}

TEST(ConvertPixels, LuminanceRoundTripKeepsRedOnly)
{
    OxHolder<OxSurface> rgba = MakeRow(PF_RGBA, 1, {90, 1, 2, 3});
    OxHolder<OxSurface> grey = MakeRow(PF_LUMINANCE, 1, {});
    ASSERT_EQ(0, ConvertPixels(grey->pitch, grey->writePixels, PF_LUMINANCE, rgba.get()));
    Bytes back(4, 0);
    ASSERT_EQ(0, ConvertPixels(0, back.data(), PF_RGBA, grey.get()));
    EXPECT_EQ(Bytes({90, 90, 90, 255}), back);
}

TEST(ConvertPixels, RowsFollowBothPitches)
{
    // 3 x 2 RGB source with 2 bytes of padding per row that must never be read.
    OxHolder<OxSurface> source(CreateSurface(2 * 11, 3, 2, PF_RGB, 11));
    for (int i = 0; i < 22; ++i)
        source->writePixels[i] = uint8_t(i);
    source->writePixels[9] = source->writePixels[10] = 0xAA;
    source->writePixels[20] = source->writePixels[21] = 0xAA;

    Bytes destination(2 * 16, 0xCD);  // pitch 16 > 12 packed bytes
    ASSERT_EQ(0, ConvertPixels(16, destination.data(), PF_RGBA, source.get()));
    const Bytes expected = {
        0,  1,  2,  255, 3,  4,  5,  255, 6,  7,  8,  255, 0xCD, 0xCD, 0xCD, 0xCD,
        11, 12, 13, 255, 14, 15, 16, 255, 17, 18, 19, 255, 0xCD, 0xCD, 0xCD, 0xCD,
    };
    EXPECT_EQ(expected, destination);
}

TEST(ConvertPixels, SameFormatCopyTruncatesToSmallerPitch)
{
    OxHolder<OxSurface> source(CreateSurface(2 * 6, 2, 2, PF_RGB, 6));
    for (int i = 0; i < 12; ++i)
        source->writePixels[i] = uint8_t(i + 1);
    Bytes destination(2 * 4, 0);
    ASSERT_EQ(0, ConvertPixels(4, destination.data(), PF_RGB, source.get()));
    EXPECT_EQ(Bytes({1, 2, 3, 4, 7, 8, 9, 10}), destination);
}

TEST(ConvertPixels, SameFormatCopyIntoPackedRowsSkipsPadding)
{
    OxHolder<OxSurface> source(CreateSurface(2 * 5, 1, 2, PF_RGB, 5));
    for (int i = 0; i < 10; ++i)
        source->writePixels[i] = uint8_t(i + 1);
    Bytes destination(8, 0xEE);
    ASSERT_EQ(0, ConvertPixels(0, destination.data(), PF_RGB, source.get()));
    EXPECT_EQ(Bytes({1, 2, 3, 6, 7, 8, 0xEE, 0xEE}), destination);
}

// Sources and targets outside the terms of the header are refused untouched.
TEST(ConvertPixels, BrokenTermsAreRefused)
{
    struct Case {
        const char* name;
        int format, width, height, pitch, storeBytes;
        int to, dstPitch;
    } cases[] = {
        {"code 7 copied onto itself", 7, 2, 2, 2, 4, 7, 0},
        {"negative width", PF_RGB, -1, 2, 3, 6, PF_RGBA, 0},
        {"negative height", PF_RGB, 1, -2, 3, 6, PF_RGBA, 0},
        {"pitch shorter than a row", PF_RGB, 4, 1, 3, 12, PF_RGBA, 0},
        {"negative pitch", PF_RGB, 1, 2, -3, 6, PF_RGBA, 0},
        {"store shorter than the rows", PF_RGB, 2, 4, 6, 6, PF_RGBA, 0},
        {"target pitch shorter than a converted row", PF_RGB, 2, 2, 6, 12, PF_RGBA, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OxHolder<OxSurface> source(CreateSurface(c.storeBytes, c.width, c.height, c.format, c.pitch));
        Bytes destination(64, 0xEE);
        EXPECT_EQ(-1, ConvertPixels(c.dstPitch, destination.data(), c.to, source.get()));
        EXPECT_EQ(Bytes(64, 0xEE), destination);
    }
}

TEST(ConvertPixels, RgbColourKey)
{
    const Bytes pixels = {0, 0, 0, 9, 0, 0};
    struct {
        int key;
        Bytes alphas;
    } cases[] = {{-1, {255, 255}}, {0, {0, 255}}, {5, {0, 255}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        OxHolder<OxSurface> source = MakeRow(PF_RGB, 2, pixels);
        source->colorKey = c.key;
        Bytes destination(8, 0);
        ASSERT_EQ(0, ConvertPixels(0, destination.data(), PF_RGBA, source.get()));
        EXPECT_EQ(c.alphas, Bytes({destination[3], destination[7]}));
    }
}

TEST(ConvertPixels, IndexedPaletteKeyAndBounds)
{
    OxHolder<OxSurface> source = MakeRow(PF_INDEXED, 4, {0, 1, 2, 255});
    // A two-entry palette, its store shrunk as a reader does: indexes 2 and 255
    // lie past it and must be neither read nor given a stray colour.
    source->paletteCount = 2;
    source->paletteStore = {10, 20, 30, 40, 50, 60};
    struct {
        int key;
        Bytes expected;
    } cases[] = {
        {-1, {10, 20, 30, 255, 40, 50, 60, 255, 0, 0, 0, 255, 0, 0, 0, 255}},
        {0, {10, 20, 30, 0, 40, 50, 60, 255, 0, 0, 0, 255, 0, 0, 0, 255}},
        {255, {10, 20, 30, 255, 40, 50, 60, 255, 0, 0, 0, 255, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        source->colorKey = c.key;
        Bytes rgba(16, 0xEE);
        ASSERT_EQ(0, ConvertPixels(0, rgba.data(), PF_RGBA, source.get()));
        EXPECT_EQ(c.expected, rgba);
    }
    Bytes rgb(12, 0xEE);
    ASSERT_EQ(0, ConvertPixels(0, rgb.data(), PF_RGB, source.get()));
    EXPECT_EQ(Bytes({10, 20, 30, 40, 50, 60, 0, 0, 0, 0, 0, 0}), rgb);
}

TEST(ConvertPixels, NullArgumentsAndEmptySurfaces)
{
    OxHolder<OxSurface> rgb = MakeRow(PF_RGB, 1, {1, 2, 3});
    Bytes buffer(4, 0xEE);
    EXPECT_EQ(-1, ConvertPixels(0, buffer.data(), PF_RGBA, nullptr));
    EXPECT_EQ(-1, ConvertPixels(0, nullptr, PF_RGBA, rgb.get()));

    OxHolder<OxSurface> noStore(CreateSurface(0, 4, 4, PF_RGBA, 16));
    EXPECT_EQ(nullptr, noStore->writePixels);
    EXPECT_EQ(nullptr, noStore->readPixels);
    EXPECT_EQ(-1, ConvertPixels(0, noStore->writePixels, PF_RGBA, rgb.get()));
    EXPECT_EQ(-1, ConvertPixels(0, buffer.data(), PF_RGB, noStore.get()))
        << "a surface that claims pixels but has no store";

    for (int w : {0, 3}) {
        OxHolder<OxSurface> empty(CreateSurface(12, w, w == 0 ? 1 : 0, PF_RGB, 12));
        EXPECT_EQ(0, ConvertPixels(0, buffer.data(), PF_RGBA, empty.get()));
        EXPECT_EQ(Bytes(4, 0xEE), buffer);
    }
}

TEST(CreateSurface, FieldsAndStores)
{
    OxHolder<OxSurface> indexed(CreateSurface(6, 3, 2, PF_INDEXED, 3));
    EXPECT_EQ(256, indexed->paletteCount);
    EXPECT_EQ(Bytes(768, 0), indexed->paletteStore);
    EXPECT_EQ(-1, indexed->colorKey);
    EXPECT_EQ(Bytes(6, 0), indexed->pixelStore);
    EXPECT_EQ(indexed->readPixels, indexed->writePixels);
    EXPECT_EQ(1, indexed->refCount);

    OxHolder<OxSurface> rgb(CreateSurface(12, 2, 2, PF_RGB, 6));
    EXPECT_EQ(0, rgb->paletteCount);
    EXPECT_TRUE(rgb->paletteStore.empty());
    EXPECT_EQ(Bytes(3, 0), Bytes(rgb->keyColor, rgb->keyColor + 3));
}

TEST(CreateSurfaceFromRows, CopiesRowsByStride)
{
    const Bytes rows = {1, 2, 3, 4, 5, 6, 99, 7, 8, 9, 10, 11, 12, 99};  // stride 7
    OxHolder<OxSurface> surface(CreateSurfaceFromRows(7, 2, 2, rows.data()));
    ASSERT_TRUE(surface);
    EXPECT_EQ(PF_RGB, surface->format);
    EXPECT_EQ(7, surface->pitch);
    EXPECT_EQ(rows, surface->pixelStore);

    const Bytes packed = {1, 2, 3, 4, 5, 6};
    OxHolder<OxSurface> defaulted(CreateSurfaceFromRows(0, 2, 1, packed.data()));
    ASSERT_TRUE(defaulted);
    EXPECT_EQ(6, defaulted->pitch);
    EXPECT_EQ(packed, defaulted->pixelStore);

    EXPECT_EQ(nullptr, CreateSurfaceFromRows(1 << 20, 1, 1 << 12, packed.data()))
        << "a byte size past 32 bits";

    // Rows of width 0 copy nothing (the sanitizer build catches a copy into no store).
    OxHolder<OxSurface> empty(CreateSurfaceFromRows(0, 0, 3, packed.data()));
    ASSERT_TRUE(empty);
    EXPECT_EQ(0, empty->width);
    EXPECT_EQ(3, empty->height);
}

}  // namespace
