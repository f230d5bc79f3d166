// The fast processor-side glow pass against the one-pixel-at-a-time pass it replaced.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/glow/glow_reference.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/globals.h"
#include "src/glow.h"

namespace {

struct GlowSettings {
    float r, g, b, level;
};

void Apply(const GlowSettings& settings)
{
    g_weightR = settings.r;
    g_weightG = settings.g;
    g_weightB = settings.b;
    g_power = settings.level;
}

OxSurface* RgbaSurface(const std::vector<uint8_t>& bytes, int width, int height)
{
    OxSurface* surface = CreateSurface(int(bytes.size()), width, height, PF_RGBA, width * 4);
    std::copy(bytes.begin(), bytes.end(), surface->writePixels);
    return surface;
}



// Every RGB colour once, in a 4096 x 4096 picture, each with its own alpha.
OxSurface* AllColours()
{
    const int side = 4096;
    OxSurface* surface = CreateSurface(side * side * 4, side, side, PF_RGBA, side * 4);
    uint8_t* pixel = surface->writePixels;
    for (uint32_t colour = 0; colour < (1u << 24); ++colour, pixel += 4) {
        pixel[0] = uint8_t(colour >> 16);
        pixel[1] = uint8_t(colour >> 8);
        pixel[2] = uint8_t(colour);
        pixel[3] = uint8_t(colour * 7 + (colour >> 11));
    }
    return surface;
}

void SetGlow(int weights, float power)
{
    g_weightR = float(weights >> 2 & 1);
    g_weightG = float(weights >> 1 & 1);
    g_weightB = float(weights & 1);
    g_power = power;
}

// The first pixel where the two differ, or -1.
int64_t FirstDifference(const OxSurface* a, const OxSurface* b)
{
    const size_t bytes = size_t(a->height) * size_t(a->pitch);
    if (std::memcmp(a->readPixels, b->readPixels, bytes) == 0)
        return -1;
    for (size_t i = 0; i < bytes; i += 4) {
        if (std::memcmp(a->readPixels + i, b->readPixels + i, 4) != 0)
            return int64_t(i / 4);
    }
    return -1;
}

// The reference pass over the picture, in bands on all cores: it is slow, the more so in
// the sanitizer build. Each band is a picture of its own over the same rows.
OxSurface* ReferenceOnAllCores(const OxSurface* picture)
{
    const int bands = int(std::max(2u, std::thread::hardware_concurrency()));
    OxSurface* out = CreateSurface(picture->pitch * picture->height, picture->width,
                                   picture->height, PF_RGBA, picture->pitch);
    std::vector<std::thread> threads;
    for (int i = 0; i < bands; ++i) {
        threads.emplace_back([=] {
            const int begin = picture->height * i / bands;
            const int end = picture->height * (i + 1) / bands;
            OxHolder<OxSurface> band(CreateSurface(0, picture->width, end - begin, PF_RGBA,
                                                   picture->pitch));
            band->readPixels = picture->readPixels + size_t(begin) * size_t(picture->pitch);
            OxHolder<OxSurface> glowed(CreateGlowCopyReference(band.get()));
            std::memcpy(out->writePixels + size_t(begin) * size_t(out->pitch),
                        glowed->readPixels, size_t(end - begin) * size_t(out->pitch));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    return out;
}

class FastGlowPassTest : public ::testing::Test {
protected:
    void TearDown() override { SetGlow(6, 10.0f); }
};

}  // namespace

TEST_F(FastGlowPassTest, EveryColourMatchesTheOnePixelPass)
{
    OxHolder<OxSurface> colours(AllColours());
    ASSERT_TRUE(colours);
    for (float power : {1.0f, 2.0f, 10.0f, 37.0f, 100.0f}) {
        for (int weights = 0; weights < 8; ++weights) {
            SCOPED_TRACE(testing::Message() << "R" << (weights >> 2) << " G" << (weights >> 1 & 1)
                                            << " B" << (weights & 1) << " LEVEL=" << power);
            SetGlow(weights, power);
            OxHolder<OxSurface> want(ReferenceOnAllCores(colours.get()));
            OxHolder<OxSurface> got(CreateGlowCopy(colours.get()));
            ASSERT_TRUE(want && got);
            ASSERT_EQ(got->format, PF_RGBA);
            ASSERT_EQ(got->pitch, want->pitch);
            const int64_t at = FirstDifference(got.get(), want.get());
            ASSERT_EQ(at, -1) << "colour " << std::hex << (at >= 0 ? at : 0);
        }
    }
}

// Small pictures take the paths without tables; odd powers and other formats go through
// pow and the converter; the thread count must not change a byte.
TEST_F(FastGlowPassTest, SmallPicturesFormatsAndThreadsMatchTheOnePixelPass)
{
    struct Case {
        int format;
        int width, height;
        float power;
        int threads;
    };
    const Case cases[] = {
        {PF_RGBA, 97, 61, 10.0f, 1},  {PF_RGBA, 97, 61, 2.5f, 1},  {PF_RGBA, 300, 900, 37.0f, 2},
        {PF_RGBA, 300, 900, 7.0f, 5}, {PF_RGB, 47, 33, 10.0f, 1},  {PF_GREY, 47, 33, 3.0f, 2},
        {PF_RGBA, 1, 1, 100.0f, 4},   {PF_RGB, 600, 600, 0.5f, 2},
    };
    for (const Case& c : cases) {
        const int bytesPerPixel = BytesPerPixel(c.format);
        const int pitch = c.width * bytesPerPixel + 3;  // rows with a gap after them
        OxHolder<OxSurface> picture(
            CreateSurface(pitch * c.height, c.width, c.height, c.format, pitch));
        for (size_t i = 0; i < picture->pixelStore.size(); ++i)
            picture->pixelStore[i] = uint8_t(i * 131 + i / 7);
        for (int weights = 0; weights < 8; ++weights) {
            SCOPED_TRACE(testing::Message() << "format " << c.format << " " << c.width << "x"
                                            << c.height << " weights " << weights << " power "
                                            << c.power << " threads " << c.threads);
            SetGlow(weights, c.power);
            OxHolder<OxSurface> want(CreateGlowCopyReference(picture.get()));
            OxHolder<OxSurface> got(CreateGlowCopyOnThreads(picture.get(), c.threads));
            ASSERT_TRUE(want && got);
            ASSERT_EQ(got->pitch, c.width * 4);
            EXPECT_EQ(FirstDifference(got.get(), want.get()), -1);
        }
    }
}

TEST_F(FastGlowPassTest, RefusesWhatCannotBeShown)
{
    OxHolder<OxSurface> empty(CreateSurface(0, 0, 0, PF_RGBA, 0));
    EXPECT_EQ(CreateGlowCopyOnThreads(empty.get(), 2), nullptr);
    OxHolder<OxSurface> unknown(CreateSurface(16, 2, 2, 99, 4));
    EXPECT_EQ(CreateGlowCopyOnThreads(unknown.get(), 1), nullptr);
    EXPECT_EQ(CreateGlowCopyOnThreads(nullptr, 1), nullptr);
}

TEST(GlowPassTest, KnownPixelCases)
{
    struct Case {
        GlowSettings settings;
        uint8_t in[4];
        uint8_t want[4];
    };
    const GlowSettings start = {1, 1, 0, 10};
    const Case cases[] = {
        {start, {255, 0, 0, 128}, {255, 0, 0, 128}},
        {start, {0, 0, 0, 255}, {255, 255, 255, 255}},
        {start, {0, 0, 255, 255}, {255, 255, 255, 255}},  // blue is not weighted
        {start, {128, 128, 128, 255}, {132, 132, 132, 255}},
        {{1, 1, 0, 1}, {255, 0, 0, 128}, {255, 127, 127, 128}},
        {{0, 0, 0, 10}, {12, 200, 99, 7}, {255, 255, 255, 7}},
        {{0, 0, 0, 100}, {255, 255, 255, 0}, {255, 255, 255, 0}},
        {{1, 1, 1, 100}, {255, 255, 255, 200}, {255, 255, 255, 200}},
    };
    for (const Case& c : cases) {
        Apply(c.settings);
        // The pixel sits in the middle of a 3 x 2 picture to catch row and pixel stepping.
        std::vector<uint8_t> bytes(3 * 2 * 4, 0);
        std::copy(c.in, c.in + 4, bytes.begin() + (1 * 3 + 1) * 4);
        OxHolder<OxSurface> source(RgbaSurface(bytes, 3, 2));
        OxHolder<OxSurface> copy(CreateGlowCopy(source.get()));
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->format, PF_RGBA);
        EXPECT_EQ(copy->pitch, 12);
        const uint8_t* got = copy->readPixels + (1 * 3 + 1) * 4;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(c.want, c.want + 4))
            << "in " << int(c.in[0]) << "," << int(c.in[1]) << "," << int(c.in[2]) << " R"
            << c.settings.r << " G" << c.settings.g << " B" << c.settings.b << " LEVEL="
            << c.settings.level;
        EXPECT_EQ(source->readPixels[(1 * 3 + 1) * 4], c.in[0]) << "the source is unchanged";
    }
    // Every alpha byte comes back unchanged.
    std::vector<uint8_t> alphas(256 * 4, 0);
    for (int a = 0; a < 256; ++a)
        alphas[size_t(a) * 4 + 3] = uint8_t(a);
    OxHolder<OxSurface> source(RgbaSurface(alphas, 256, 1));
    OxHolder<OxSurface> copy(CreateGlowCopy(source.get()));
    for (int a = 0; a < 256; ++a)
        ASSERT_EQ(copy->readPixels[a * 4 + 3], a);
    EXPECT_EQ(CreateGlowCopy(nullptr), nullptr);
}
