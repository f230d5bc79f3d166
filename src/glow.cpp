// The processor-side glow pass: the glow of each pixel from tables or whole-number powers, rows
// spread over the cores, every byte as the one-pixel-at-a-time pass gives it.
#include "src/glow.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define GLOWVIEW_AVX2 1
#endif

#include "foundation/log.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/globals.h"

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
// Rows a thread of the pass takes at a time.
constexpr int kRowsPerSlice = 32;
// Pixels whose glows are found before their bytes are written, a row piece at a time.
constexpr int kChunkPixels = 256;

// Everything one pass needs, fixed at its start from the glow settings.
struct GlowPass {
    float channel[256];     // a channel byte as the pass sees it: float(byte / 255.0)
    double term[3][256];    // weight * c * c of red, green and blue, rounded as the pass does
    int summed[3] = {0, 0, 0};  // channels whose term is not always zero, in adding order
    int summedCount = 0;
    double power = 0.0;
    int wholePower = 0;     // power when it is a whole number in [1, kMaxWholePower], else 0
    std::vector<float> table;  // the glow keyed on the summed channels' bytes, when made
    std::vector<double> pairSums;  // with three summed: the first two terms' sum, keyed alike
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
    if (pass->power >= 1.0 && pass->power <= kMaxWholePower &&
        pass->power == std::floor(pass->power))
        pass->wholePower = int(pass->power);
    return pass;
}

// Runs work(begin, end) over [0, count) on up to threadCount threads, this one among them.
// The threads take slices of `grain` in turn until none is left, so a thread the system
// holds back for a moment leaves its share to the others instead of keeping them waiting.
template <class Work>
void RunSliced(int count, int threadCount, int grain, const Work& work)
{
    threadCount = std::max(1, std::min(threadCount, count));
    grain = std::max(1, grain);
    std::atomic<int> next{0};
    const auto takeSlices = [&next, count, grain, &work] {
        for (int begin = next.fetch_add(grain); begin < count; begin = next.fetch_add(grain))
            work(begin, std::min(count, begin + grain));
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < threadCount; ++i) {
        try {
            threads.emplace_back(takeSlices);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones there take the slices
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    takeSlices();
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
    RunSliced(256, threadCount, 8, [&p, table](int begin, int end) {
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

#if defined(__SSE2__)
// PutPixel for four pixels at once. b * (1 / 255.0) in double differs from b / 255.0 by
// at most a unit, and b / 255 (the byte repeated in every 8 bits) is nowhere near
// halfway between two floats, so both round to the same float.
inline void PutFourPixels(const uint8_t* in, uint8_t* out, const float* glow)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    const __m128i pixels[4] = {_mm_unpacklo_epi16(low, zero), _mm_unpackhi_epi16(low, zero),
                               _mm_unpacklo_epi16(high, zero), _mm_unpackhi_epi16(high, zero)};
    const __m128d inverse = _mm_set1_pd(1.0 / 255.0);
    const __m128d scale = _mm_set1_pd(255.0);
    __m128i results[4];
    for (int i = 0; i < 4; ++i) {
        const __m128d c01 = _mm_mul_pd(_mm_cvtepi32_pd(pixels[i]), inverse);
        const __m128d c23 =
            _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(pixels[i], pixels[i])), inverse);
        const __m128 c = _mm_movelh_ps(_mm_cvtpd_ps(c01), _mm_cvtpd_ps(c23));
        const __m128 sum = _mm_add_ps(c, _mm_set1_ps(glow[i]));
        const __m128i v01 = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtps_pd(sum), scale));
        const __m128i v23 =
            _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(sum, sum)), scale));
        results[i] = _mm_unpacklo_epi64(v01, v23);
    }
    // Saturating packs clamp to 0..255 as ToByte does.
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(results[0], results[1]),
                                            _mm_packs_epi32(results[2], results[3]));
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    const __m128i merged =
        _mm_or_si128(_mm_andnot_si128(alpha, packed), _mm_and_si128(alpha, bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), merged);
}
#endif

#if defined(GLOWVIEW_AVX2)
// PutPixel for eight pixels, two in each wide register, in single precision only:
// q = b / 255 rounded once and corrected by its exact remainder is float(b / 255.0), and
// the product with 255, rounded, drops below a whole number only where its exact
// remainder says so; both checked for every byte and glow by the tests.
__attribute__((target("avx2,fma"))) void PutEightPixelsAvx2(const uint8_t* in, uint8_t* out,
                                                            const float* glow)
{
    const __m256 inverse = _mm256_set1_ps(1.0f / 255.0f);
    const __m256 scale = _mm256_set1_ps(255.0f);
    const __m256 glows = _mm256_loadu_ps(glow);
    __m256i results[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * i));
        const __m256 b = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(two));
        const __m256 rough = _mm256_mul_ps(b, inverse);
        const __m256 c = _mm256_fmadd_ps(_mm256_fnmadd_ps(rough, scale, b), inverse, rough);
        const __m256i pick = _mm256_setr_epi32(2 * i, 2 * i, 2 * i, 2 * i, 2 * i + 1,
                                               2 * i + 1, 2 * i + 1, 2 * i + 1);
        const __m256 sum = _mm256_add_ps(c, _mm256_permutevar8x32_ps(glows, pick));
        const __m256 product = _mm256_mul_ps(sum, scale);
        const __m256 remainder = _mm256_fmsub_ps(sum, scale, product);
        const __m256i whole = _mm256_cvttps_epi32(product);
        const __m256 wasWhole = _mm256_cmp_ps(_mm256_cvtepi32_ps(whole), product, _CMP_EQ_OQ);
        const __m256 below = _mm256_cmp_ps(remainder, _mm256_setzero_ps(), _CMP_LT_OQ);
        results[i] = _mm256_add_epi32(whole, _mm256_castps_si256(_mm256_and_ps(wasWhole, below)));
    }
    // The packs work within halves: pixels come out as 0 2 4 6 | 1 3 5 7.
    const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(results[0], results[1]),
                                               _mm256_packs_epi32(results[2], results[3]));
    const __m256i ordered =
        _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i alpha = _mm256_set1_epi32(int(0xFF000000u));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_blendv_epi8(ordered, bytes, alpha));
}

__attribute__((target("avx2,fma"))) void PutPixelsAvx2(const uint8_t* in, uint8_t* out,
                                                       const float* glow, int count)
{
    for (int x = 0; x + 8 <= count; x += 8)
        PutEightPixelsAvx2(in + size_t(x) * 4, out + size_t(x) * 4, glow + x);
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}
#endif

// Writes count pixels with their glows.
void PutPixels(const GlowPass& pass, const uint8_t* in, uint8_t* out, const float* glow,
               int count)
{
    int x = 0;
#if defined(GLOWVIEW_AVX2)
    if (HasAvx2()) {
        PutPixelsAvx2(in, out, glow, count);
        x = count / 8 * 8;
    }
#endif
#if defined(__SSE2__)
    for (; x + 4 <= count; x += 4)
        PutFourPixels(in + size_t(x) * 4, out + size_t(x) * 4, glow + x);
#endif
    for (; x < count; ++x)
        PutPixel(pass, in + size_t(x) * 4, out + size_t(x) * 4, glow[x]);
}

// glow[] of t[] (each a sum plus one, in single precision).
void GlowsOfTs(const GlowPass& pass, const float* ts, float* glow, int count)
{
    for (int x = 0; x < count; ++x)
        glow[x] = Glow(pass, float(1.0 / ts[x]));
}

#if defined(GLOWVIEW_AVX2)
// float(1.0 / t) of four t, widened again.
__attribute__((target("avx2"))) inline __m256d BasesAvx2(const float* t)
{
    const __m256d quotient = _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_cvtps_pd(_mm_loadu_ps(t)));
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(quotient));
}

// GlowsOfTs for a whole power, four at a time; a lane whose rounding is unsure goes
// through Glow (and pow) on its own.
__attribute__((target("avx2"))) void GlowsOfTsAvx2(const GlowPass& pass, const float* ts,
                                                   float* glow, int count)
{
    const int power = pass.wholePower;
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d negligible = _mm256_set1_pd(kNegligibleGlow);
    const int64_t guard = 2 * int64_t(power) + 16;
    const __m256i droppedMask = _mm256_set1_epi64x((int64_t(1) << 29) - 1);
    const __m256i lowest = _mm256_set1_epi64x((int64_t(1) << 28) - guard - 1);
    const __m256i highest = _mm256_set1_epi64x((int64_t(1) << 28) + guard + 1);
    // Sixteen at once: each power is a chain of dependent products, and four independent
    // chains side by side keep the multipliers busy.
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        __m256d s0 = BasesAvx2(ts + x);
        __m256d s1 = BasesAvx2(ts + x + 4);
        __m256d s2 = BasesAvx2(ts + x + 8);
        __m256d s3 = BasesAvx2(ts + x + 12);
        __m256d r0 = one, r1 = one, r2 = one, r3 = one;
        for (int n = power;;) {
            if (n & 1) {
                r0 = _mm256_mul_pd(r0, s0);
                r1 = _mm256_mul_pd(r1, s1);
                r2 = _mm256_mul_pd(r2, s2);
                r3 = _mm256_mul_pd(r3, s3);
            }
            n >>= 1;
            if (n == 0)
                break;
            s0 = _mm256_mul_pd(s0, s0);
            s1 = _mm256_mul_pd(s1, s1);
            s2 = _mm256_mul_pd(s2, s2);
            s3 = _mm256_mul_pd(s3, s3);
        }
        const __m256d results[4] = {r0, r1, r2, r3};
        for (int g = 0; g < 4; ++g) {
            const __m256d tiny =
                _mm256_cmp_pd(_mm256_andnot_pd(sign, results[g]), negligible, _CMP_LT_OQ);
            const __m256i dropped =
                _mm256_and_si256(_mm256_castpd_si256(results[g]), droppedMask);
            const __m256i unsure = _mm256_and_si256(_mm256_cmpgt_epi64(dropped, lowest),
                                                    _mm256_cmpgt_epi64(highest, dropped));
            float* out = glow + x + 4 * g;
            _mm_storeu_ps(out, _mm256_cvtpd_ps(_mm256_andnot_pd(tiny, results[g])));
            const int recheck =
                _mm256_movemask_pd(_mm256_castsi256_pd(unsure)) & ~_mm256_movemask_pd(tiny);
            for (int i = 0; recheck != 0 && i < 4; ++i) {
                if (recheck & (1 << i))
                    out[i] = Glow(pass, float(1.0 / ts[x + 4 * g + i]));
            }
        }
    }
    GlowsOfTs(pass, ts + x, glow + x, count - x);
}
#endif

// The glows of count pixels into glow[].
void FindGlows(const GlowPass& pass, const uint8_t* in, float* glow, int count)
{
    const int a = pass.summed[0];
    const int b = pass.summed[pass.summedCount > 1 ? 1 : 0];
    const int c = pass.summed[pass.summedCount > 2 ? 2 : 0];
    const float* table = pass.table.data();
    const double* ta = pass.term[a];
    const double* tb = pass.term[b];
    const double* tc = pass.term[c];
    if (pass.summedCount == 0) {
        const float constant = GlowOfSum(pass, 0.0);
        for (int x = 0; x < count; ++x)
            glow[x] = constant;
    } else if (!pass.table.empty() && pass.summedCount == 1) {
        for (int x = 0; x < count; ++x, in += 4)
            glow[x] = table[in[a]];
    } else if (!pass.table.empty()) {
        for (int x = 0; x < count; ++x, in += 4)
            glow[x] = table[in[a] * 256 + in[b]];
    } else {
        // The sums first, the powers after, so that the powers can go four at a time.
        float ts[kChunkPixels];
        if (pass.summedCount == 3 && !pass.pairSums.empty()) {
            const double* pairSums = pass.pairSums.data();
            for (int x = 0; x < count; ++x, in += 4)
                ts[x] = float((pairSums[in[a] * 256 + in[b]] + tc[in[c]]) + 1.0);
        } else if (pass.summedCount == 3) {
            for (int x = 0; x < count; ++x, in += 4)
                ts[x] = float(((ta[in[a]] + tb[in[b]]) + tc[in[c]]) + 1.0);
        } else if (pass.summedCount == 2) {
            for (int x = 0; x < count; ++x, in += 4)
                ts[x] = float((ta[in[a]] + tb[in[b]]) + 1.0);
        } else {
            for (int x = 0; x < count; ++x, in += 4)
                ts[x] = float(ta[in[a]] + 1.0);
        }
#if defined(GLOWVIEW_AVX2)
        if (pass.wholePower > 0 && HasAvx2()) {
            GlowsOfTsAvx2(pass, ts, glow, count);
            return;
        }
#endif
        GlowsOfTs(pass, ts, glow, count);
    }
}

// Rows [begin, end) of the picture with their glow.
void GlowRows(const GlowPass& pass, const uint8_t* pixels, int pitch, OxSurface* out, int begin,
              int end)
{
    float glow[kChunkPixels];
    for (int y = begin; y < end; ++y) {
        const uint8_t* in = pixels + size_t(y) * size_t(pitch);
        uint8_t* row = out->writePixels + size_t(y) * size_t(out->pitch);
        for (int x = 0; x < out->width; x += kChunkPixels) {
            const int count = std::min(kChunkPixels, out->width - x);
            FindGlows(pass, in + size_t(x) * 4, glow, count);
            PutPixels(pass, in + size_t(x) * 4, row + size_t(x) * 4, glow, count);
        }
    }
}

// Makes the table of glows where the picture is large enough to pay for it.
void ChooseTable(GlowPass* pass, int64_t pixels, int threadCount)
{
    const bool pays = pixels >= kPixelsPerTableEntry * 65536;
    if (pass->summedCount == 1 || (pass->summedCount == 2 && pays))
        MakeTable(pass, threadCount);
    if (pass->summedCount == 3 && pays) {
        try {
            pass->pairSums.resize(65536);
        } catch (const std::bad_alloc&) {
            return;  // each sum is then made in full
        }
        const double* first = pass->term[pass->summed[0]];
        const double* second = pass->term[pass->summed[1]];
        for (int i = 0; i < 256; ++i) {
            for (int j = 0; j < 256; ++j)
                pass->pairSums[size_t(i) * 256 + size_t(j)] = first[i] + second[j];
        }
    }
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
    OxSurface* surface = CreateSurfaceForOverwrite(int(byteSize), picture->width,
                                                   picture->height, PF_RGBA, picture->width * 4);
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
    ChooseTable(&pass, int64_t(copy->width) * copy->height, threadCount);
    OxSurface* out = copy.get();
    RunSliced(copy->height, threadCount, kRowsPerSlice,
              [&pass, pixels, pitch, out](int begin, int end) {
                  GlowRows(pass, pixels, pitch, out, begin, end);
              });
    return copy.Detach();
}

OxSurface* CreateGlowCopy(const OxSurface* picture)
{
    return CreateGlowCopyOnThreads(picture, 0);
}
