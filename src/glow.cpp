// The processor-side glow pass: the glow of each pixel from tables or whole-number powers, rows
// spread over the cores, every byte as the one-pixel-at-a-time pass gives it.
#include "src/glow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"

namespace {

const char* const kSource = "src/glow";

// Below this every channel byte comes out as with no glow at all: it is under half a
// step of any non-zero channel value and, times 255, under 1 for a zero one.
constexpr double kNegligibleGlow = 0x1p-64;
// Powers raised by squaring; others go through pow.
constexpr int kMaxWholePower = 1024;
// Two weighted channels are looked up in a table of 65536 glows when the picture has
// at least this many pixels per table entry; smaller pictures compute each glow.
constexpr int64_t kPixelsPerTableEntry = 4;
// Fewer rows than this per thread are not worth a thread.
constexpr int kMinRowsPerThread = 32;

// Everything one pass needs, fixed at its start from the glow settings.
struct GlowPass {
    float channel[256];     // a channel byte as the pass sees it: float(byte / 255.0)
    double term[3][256];    // weight * c * c of red, green and blue, rounded as the pass does
    int summed[3];          // channels whose term is not always zero, in the order they are added
    int summedCount = 0;
    double power = 0.0;
    int wholePower = 0;     // power when it is a whole number in [1, kMaxWholePower], else 0
    std::vector<float> table;  // the glow keyed on the summed channels' bytes, when made
};

uint8_t ToByte(double value)
{
    const long truncated = long(value);
    return uint8_t(std::clamp(truncated, 0L, 255L));
}

// x to the whole power n by repeated squaring: at most n - 1 roundings of one half unit each.
double RaiseWhole(double x, int n)
{
    double result = 1.0;
    for (;;) {
        if (n & 1)
            result *= x;
        n >>= 1;
        if (n == 0)
            return result;
        x *= x;
    }
}

// float(pow(base, power)), or a value that gives the same channel bytes.
float Glow(const GlowPass& pass, float base)
{
    if (pass.wholePower > 0) {
        const double raised = RaiseWhole(double(base), pass.wholePower);
        if (std::fabs(raised) < kNegligibleGlow)
            return 0.0f;
        // Rounding to float drops the low 29 bits of the mantissa. Both this value and pow's
        // lie within wholePower + 1 units of the true power; unless that is close to the
        // halfway point, both round to the same float.
        uint64_t bits;
        std::memcpy(&bits, &raised, sizeof(bits));
        const int64_t dropped = int64_t(bits & ((uint64_t(1) << 29) - 1));
        const int64_t guard = 2 * int64_t(pass.wholePower) + 16;
        if (std::llabs(dropped - (int64_t(1) << 28)) > guard)
            return float(raised);
    }
    return float(std::pow(double(base), pass.power));
}

// The glow of a weighted sum of squares, with the single-precision steps of the pass.
float GlowOfSum(const GlowPass& pass, double sum)
{
    const float t = float(sum + 1.0);
    const float base = float(1.0 / t);
    return Glow(pass, base);
}

GlowPass* PreparePass(GlowPass* pass)
{
    const double weights[3] = {double(g_weightR), double(g_weightG), double(g_weightB)};
    for (int b = 0; b < 256; ++b)
        pass->channel[b] = float(b / 255.0);
    for (int k = 0; k < 3; ++k) {
        for (int b = 0; b < 256; ++b) {
            const float c = pass->channel[b];
            pass->term[k][b] = weights[k] * c * c;
        }
    }
    // The pass adds green, red, blue in that order; a term that is zero for every byte
    // changes no sum and is left out.
    for (int k : {1, 0, 2}) {
        bool zero = true;
        for (int b = 0; b < 256 && zero; ++b)
            zero = pass->term[k][b] == 0.0;
        if (!zero)
            pass->summed[pass->summedCount++] = k;
    }
    pass->power = double(g_power);
    if (pass->power >= 1.0 && pass->power <= kMaxWholePower && pass->power == std::floor(pass->power))
        pass->wholePower = int(pass->power);
    return pass;
}

// Runs work(begin, end) over [0, count) in up to threadCount slices, the last on this thread.
template <class Work>
void RunSliced(int count, int threadCount, const Work& work)
{
    threadCount = std::max(1, std::min(threadCount, count));
    std::vector<std::thread> threads;
    int begin = 0;
    for (int i = 0; i < threadCount; ++i) {
        const int end = int(int64_t(count) * (i + 1) / threadCount);
        if (i + 1 < threadCount) {
            try {
                threads.emplace_back(work, begin, end);
            } catch (const std::system_error&) {
                work(begin, end);  // no thread to be had: this one does the slice
            } catch (const std::bad_alloc&) {
                work(begin, end);
            }
        } else {
            work(begin, end);
        }
        begin = end;
    }
    for (std::thread& thread : threads)
        thread.join();
}

// Fills the table of glows keyed on the bytes of the one or two summed channels.
bool MakeTable(GlowPass* pass, int threadCount)
{
    const int entries = pass->summedCount == 1 ? 256 : 65536;
    try {
        pass->table.resize(size_t(entries));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const GlowPass& p = *pass;
    float* table = pass->table.data();
    if (pass->summedCount == 1) {
        for (int b = 0; b < 256; ++b)
            table[b] = GlowOfSum(p, p.term[p.summed[0]][b]);
        return true;
    }
    RunSliced(256, threadCount, [&p, table](int begin, int end) {
        for (int first = begin; first < end; ++first) {
            for (int second = 0; second < 256; ++second)
                table[first * 256 + second] =
                    GlowOfSum(p, p.term[p.summed[0]][first] + p.term[p.summed[1]][second]);
        }
    });
    return true;
}

// Writes one pixel: each channel with the glow added, alpha as it was. in may be out.
inline void PutPixel(const GlowPass& pass, const uint8_t* in, uint8_t* out, float glow)
{
    const uint8_t alpha = in[3];
    for (int k = 0; k < 3; ++k)
        out[k] = ToByte(double(float(pass.channel[in[k]] + glow)) * 255.0);
    out[3] = alpha;
}

void GlowRowConstant(const GlowPass& pass, const uint8_t* in, uint8_t* out, int width)
{
    const float glow = GlowOfSum(pass, 0.0);
    for (int x = 0; x < width; ++x, in += 4, out += 4)
        PutPixel(pass, in, out, glow);
}

void GlowRowOneChannel(const GlowPass& pass, const uint8_t* in, uint8_t* out, int width)
{
    const float* table = pass.table.data();
    const int a = pass.summed[0];
    for (int x = 0; x < width; ++x, in += 4, out += 4)
        PutPixel(pass, in, out, table[in[a]]);
}

void GlowRowTwoChannels(const GlowPass& pass, const uint8_t* in, uint8_t* out, int width)
{
    const float* table = pass.table.data();
    const int a = pass.summed[0];
    const int b = pass.summed[1];
    for (int x = 0; x < width; ++x, in += 4, out += 4)
        PutPixel(pass, in, out, table[in[a] * 256 + in[b]]);
}

// Any summed channels without a table: the sum in the pass's order, then the power.
void GlowRowComputed(const GlowPass& pass, const uint8_t* in, uint8_t* out, int width)
{
    const int count = pass.summedCount;
    const double* t0 = pass.term[pass.summed[0]];
    const double* t1 = pass.term[pass.summed[count > 1 ? 1 : 0]];
    const double* t2 = pass.term[pass.summed[count > 2 ? 2 : 0]];
    const int a = pass.summed[0];
    const int b = pass.summed[count > 1 ? 1 : 0];
    const int c = pass.summed[count > 2 ? 2 : 0];
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
        double sum = t0[in[a]];
        if (count > 1)
            sum += t1[in[b]];
        if (count > 2)
            sum += t2[in[c]];
        PutPixel(pass, in, out, GlowOfSum(pass, sum));
    }
}

using RowGlow = void (*)(const GlowPass&, const uint8_t*, uint8_t*, int);

RowGlow ChooseRowGlow(GlowPass* pass, int64_t pixels, int threadCount)
{
    switch (pass->summedCount) {
    case 0:
        return GlowRowConstant;
    case 1:
        if (MakeTable(pass, threadCount))
            return GlowRowOneChannel;
        break;
    case 2:
        if (pixels >= kPixelsPerTableEntry * 65536 && MakeTable(pass, threadCount))
            return GlowRowTwoChannels;
        break;
    }
    return GlowRowComputed;
}

// A new PF_RGBA surface of the picture's size, rows width * 4 bytes apart, or null.
OxSurface* CreateRgbaSurface(const OxSurface* picture)
{
    const int64_t byteSize = int64_t(picture->width) * picture->height * 4;
    if (picture->width <= 0 || picture->height <= 0 || byteSize > INT32_MAX) {
        LogMessage(__LINE__, kSource, LOG_ERROR, "Picture of %d x %d pixels cannot be shown",
                   picture->width, picture->height);
        return nullptr;
    }
    OxSurface* surface = CreateSurface(int(byteSize), picture->width, picture->height, PF_RGBA,
                                       picture->width * 4);
    if (!surface)
        LogMessage(__LINE__, kSource, LOG_ERROR, "No memory for a %d x %d picture",
                   picture->width, picture->height);
    return surface;
}

}  // namespace

OxSurface* CreateGlowCopyOnThreads(const OxSurface* picture, int threadCount)
{
    if (!picture)
        return nullptr;
    OxHolder<OxSurface> copy(CreateRgbaSurface(picture));
    if (!copy)
        return nullptr;
    // An RGBA picture is read where it is; any other is first converted into the copy.
    const uint8_t* pixels = picture->readPixels;
    int pitch = picture->pitch;
    if (picture->format != PF_RGBA || pitch < picture->width * 4 || !pixels) {
        if (ConvertPixels(copy->pitch, copy->writePixels, PF_RGBA, picture) != 0) {
            LogMessage(__LINE__, kSource, LOG_ERROR, "Pixel format %d cannot be shown",
                       picture->format);
            return nullptr;
        }
        pixels = copy->readPixels;
        pitch = copy->pitch;
    }
    if (threadCount <= 0)
        threadCount = int(std::max(1u, std::thread::hardware_concurrency()));
    threadCount = std::min(threadCount, std::max(1, copy->height / kMinRowsPerThread));

    GlowPass pass;
    PreparePass(&pass);
    const RowGlow rowGlow =
        ChooseRowGlow(&pass, int64_t(copy->width) * copy->height, threadCount);
    OxSurface* out = copy.get();
    RunSliced(copy->height, threadCount, [&pass, rowGlow, pixels, pitch, out](int begin, int end) {
        for (int y = begin; y < end; ++y)
            rowGlow(pass, pixels + size_t(y) * size_t(pitch),
                    out->writePixels + size_t(y) * size_t(out->pitch), out->width);
    });
    return copy.Detach();
}

OxSurface* CreateGlowCopy(const OxSurface* picture)
{
    return CreateGlowCopyOnThreads(picture, 0);
}
