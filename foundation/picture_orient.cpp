// Turning a decoded picture upright by its EXIF orientation: rows placed where they
// belong, a turn by a quarter written as a transpose in blocks that stay in cache.
#include <cstddef>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "foundation/exif.h"
#include "foundation/picture_codec.h"

namespace {

// Rows of the source read together when a quarter turn writes them as columns: each
// upright row then gets a run of this many pixels at a time, and the source rows stay
// in cache while every column of them is written.
constexpr int kBlockRows = 64;

// Where the stored pixel (x, y) lands in the upright store: origin + x * xStep + y * yStep
// bytes, for a stored picture `width` x `height` and upright rows `pitch` bytes apart.
struct Placement {
    ptrdiff_t origin;
    ptrdiff_t xStep;
    ptrdiff_t yStep;
};

Placement PlacementFor(int orientation, ptrdiff_t width, ptrdiff_t height, ptrdiff_t bytes,
                       ptrdiff_t pitch)
{
    const ptrdiff_t lastX = width - 1;
    const ptrdiff_t lastY = height - 1;
    switch (orientation) {
    case 2: return {lastX * bytes, -bytes, pitch};                     // mirrored left to right
    case 3: return {lastY * pitch + lastX * bytes, -bytes, -pitch};    // half a turn
    case 4: return {lastY * pitch, bytes, -pitch};                     // mirrored top to bottom
    case 5: return {0, pitch, bytes};                                  // transposed
    case 6: return {lastY * bytes, pitch, -bytes};                     // a quarter turn clockwise
    case 7: return {lastX * pitch + lastY * bytes, -pitch, -bytes};    // transversed
    case 8: return {lastX * pitch, -pitch, bytes};                     // a quarter turn back
    default: return {0, bytes, pitch};
    }
}

// Upright rows ahead of the one being written, fetched early: the runs of a quarter turn
// land a whole row apart, where the processor's own prefetching does not look.
constexpr int kPrefetchAhead = 8;

// Every cache line of the run of `count` pixels that starts at `run`, fetched for writing.
void PrefetchRun(const uint8_t* run, const Placement& place, int count, int bytes)
{
#if defined(__GNUC__)
    const ptrdiff_t length = ptrdiff_t(count) * bytes;
    const uint8_t* low = place.yStep < 0 ? run - length + bytes : run;
    for (ptrdiff_t at = 0; at < length + 63; at += 64)
        __builtin_prefetch(low + at, 1);
#else
    (void)run;
    (void)place;
    (void)count;
    (void)bytes;
#endif
}

// The runs of upright rows x + kPrefetchAhead onwards (`columns` of them), while there are.
void PrefetchColumns(uint8_t* origin, const Placement& place, int x, int columns, int count,
                     int width, int bytes)
{
    if (x + kPrefetchAhead + columns > width)
        return;
    for (int i = 0; i < columns; ++i)
        PrefetchRun(origin + (x + kPrefetchAhead + i) * place.xStep, place, count, bytes);
}

// How many of a block's first rows a quarter turn has written with vector moves, across
// the whole width: all but the last count % 4 for pixels of four bytes; none for other
// sizes, which are moved one at a time.
template <int Bytes>
int TurnQuads(const uint8_t*, ptrdiff_t, int, int, uint8_t*, const Placement&)
{
    return 0;
}

#if defined(__SSE2__)
// The last columns of the rows turned in vectors, one pixel at a time.
void TurnLastColumns(const uint8_t* rows, ptrdiff_t rowPitch, int count, int firstColumn, int width,
                     uint8_t* origin, const Placement& place)
{
    for (int x = firstColumn; x < width; ++x) {
        for (int y = 0; y < count; ++y)
            std::memcpy(origin + x * place.xStep + y * place.yStep, rows + y * rowPitch + x * 4, 4);
    }
}

int TurnQuadsSse(const uint8_t* rows, ptrdiff_t rowPitch, int count, int width, uint8_t* origin,
                 const Placement& place)
{
    const int quadRows = count & ~3;
    const int quadColumns = width & ~3;
    // A run of four rows is written backwards when rows go right to left upright.
    const bool backwards = place.yStep < 0;
    const ptrdiff_t runStart = backwards ? 3 * place.yStep : 0;
    for (int x = 0; x < quadColumns; x += 4) {
        PrefetchColumns(origin, place, x, 4, quadRows, width, 4);
        for (int y = 0; y < quadRows; y += 4) {
            // Rows read last to first give each column backwards, as a backwards run needs.
            const uint8_t* from = rows + y * rowPitch + ptrdiff_t(x) * 4 + (backwards ? 3 * rowPitch : 0);
            const ptrdiff_t step = backwards ? -rowPitch : rowPitch;
            const __m128i row0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            const __m128i row1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + step));
            const __m128i row2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2 * step));
            const __m128i row3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * step));
            const __m128i low01 = _mm_unpacklo_epi32(row0, row1);   // 00 10 01 11
            const __m128i high01 = _mm_unpackhi_epi32(row0, row1);  // 02 12 03 13
            const __m128i low23 = _mm_unpacklo_epi32(row2, row3);   // 20 30 21 31
            const __m128i high23 = _mm_unpackhi_epi32(row2, row3);  // 22 32 23 33
            const __m128i columns[4] = {_mm_unpacklo_epi64(low01, low23),
                                        _mm_unpackhi_epi64(low01, low23),
                                        _mm_unpacklo_epi64(high01, high23),
                                        _mm_unpackhi_epi64(high01, high23)};
            uint8_t* to = origin + x * place.xStep + y * place.yStep + runStart;
            for (int i = 0; i < 4; ++i, to += place.xStep)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to), columns[i]);
        }
    }
    TurnLastColumns(rows, rowPitch, quadRows, quadColumns, width, origin, place);
    return quadRows;
}

#if defined(__GNUC__) && defined(__x86_64__)
#define GLOWVIEW_TURN_AVX2 1
// TurnQuadsSse eight by eight, where the processor has AVX2: half the moves a pixel.
__attribute__((target("avx2"))) int TurnEightsAvx2(const uint8_t* rows, ptrdiff_t rowPitch,
                                                     int count, int width, uint8_t* origin,
                                                     const Placement& place)
{
    const int eightRows = count & ~7;
    const int eightColumns = width & ~7;
    const bool backwards = place.yStep < 0;
    const ptrdiff_t runStart = backwards ? 7 * place.yStep : 0;
    for (int x = 0; x < eightColumns; x += 8) {
        PrefetchColumns(origin, place, x, 8, eightRows, width, 4);
        for (int y = 0; y < eightRows; y += 8) {
            const uint8_t* from = rows + y * rowPitch + ptrdiff_t(x) * 4;
            // Rows read last to first give each column backwards, as a backwards run needs.
            __m256i r[8];
            for (int i = 0; i < 8; ++i) {
                const int row = backwards ? 7 - i : i;
                r[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + row * rowPitch));
            }
            // Within each half: pairs of rows interleaved, then pairs of pairs; the halves
            // (columns 0-3 and 4-7) are swapped into place last.
            __m256i t[8];
            for (int i = 0; i < 8; i += 2) {
                t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
                t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
            }
            __m256i u[8];
            for (int i = 0; i < 8; i += 4) {
                u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
                u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
                u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
                u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
            }
            uint8_t* to = origin + x * place.xStep + y * place.yStep + runStart;
            for (int i = 0; i < 8; ++i, to += place.xStep) {
                const int k = i & 3;
                const __m256i column = i < 4 ? _mm256_permute2x128_si256(u[k], u[k + 4], 0x20)
                                             : _mm256_permute2x128_si256(u[k], u[k + 4], 0x31);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), column);
            }
        }
    }
    TurnLastColumns(rows, rowPitch, eightRows, eightColumns, width, origin, place);
    return eightRows;
}
#endif

template <>
int TurnQuads<4>(const uint8_t* rows, ptrdiff_t rowPitch, int count, int width, uint8_t* origin,
                 const Placement& place)
{
    int done = 0;
#if defined(GLOWVIEW_TURN_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        done = TurnEightsAvx2(rows, rowPitch, count, width, origin, place);
#endif
    return done + TurnQuadsSse(rows + done * rowPitch, rowPitch, count - done, width,
                               origin + done * place.yStep, place);
}
#endif

// Pixels of Bytes bytes each: copied with a fixed size so the compiler moves them whole.
template <int Bytes>
void PlaceRowsFixed(const uint8_t* rows, ptrdiff_t rowPitch, int count, int width,
                    uint8_t* origin, const Placement& place)
{
    if (place.xStep == Bytes) {  // rows stay rows, the same way round
        for (int y = 0; y < count; ++y)
            std::memcpy(origin + y * place.yStep, rows + y * rowPitch, size_t(width) * Bytes);
        return;
    }
    if (place.xStep == -Bytes) {  // rows stay rows, mirrored
        for (int y = 0; y < count; ++y) {
            const uint8_t* from = rows + y * rowPitch;
            uint8_t* to = origin + y * place.yStep;
            for (int x = 0; x < width; ++x, from += Bytes, to -= Bytes)
                std::memcpy(to, from, Bytes);
        }
        return;
    }
    // Rows become columns: a block of rows at a time, each column of the block written
    // as one run of an upright row.
    for (int top = 0; top < count; top += kBlockRows) {
        const int rowsInBlock = count - top < kBlockRows ? count - top : kBlockRows;
        const uint8_t* blockRows = rows + top * rowPitch;
        uint8_t* blockOrigin = origin + top * place.yStep;
        const int turned = TurnQuads<Bytes>(blockRows, rowPitch, rowsInBlock, width, blockOrigin, place);
        if (turned == rowsInBlock)
            continue;
        blockRows += turned * rowPitch;
        blockOrigin += turned * place.yStep;
        for (int x = 0; x < width; ++x) {
            const uint8_t* from = blockRows + ptrdiff_t(x) * Bytes;
            uint8_t* to = blockOrigin + x * place.xStep;
            PrefetchColumns(blockOrigin, place, x, 1, rowsInBlock - turned, width, Bytes);
            for (int y = turned; y < rowsInBlock; ++y, from += rowPitch, to += place.yStep)
                std::memcpy(to, from, Bytes);
        }
    }
}

}  // namespace

void PlaceStoredRows(const uint8_t* rows, int rowPitch, int first, int count, int storedWidth,
                     int orientation, OxSurface* upright)
{
    const int bytes = BytesPerPixel(upright->format);
    if (count <= 0 || storedWidth <= 0 || bytes <= 0)
        return;
    const int storedHeight = OrientationSwapsSides(orientation) ? upright->width : upright->height;
    const Placement place =
        PlacementFor(orientation, storedWidth, storedHeight, bytes, upright->pitch);
    uint8_t* origin = upright->writePixels + place.origin + ptrdiff_t(first) * place.yStep;
    switch (bytes) {
    case 1: PlaceRowsFixed<1>(rows, rowPitch, count, storedWidth, origin, place); break;
    case 3: PlaceRowsFixed<3>(rows, rowPitch, count, storedWidth, origin, place); break;
    case 4: PlaceRowsFixed<4>(rows, rowPitch, count, storedWidth, origin, place); break;
    default: break;  // every decoded format is one of these
    }
}

OxSurface* OrientSurface(ReadContext& context, OxSurface* stored)
{
    OxHolder<OxSurface> source(stored);
    const int orientation = context.Orientation();
    if (orientation == kOrientationUpright)
        return source.Detach();
    const bool swap = OrientationSwapsSides(orientation);
    const int width = swap ? stored->height : stored->width;
    const int height = swap ? stored->width : stored->height;
    const int pitch = width * BytesPerPixel(stored->format);
    const int byteSize = StoreSize(height, pitch);
    if (byteSize < 0) {
        context.TooLarge(uint32_t(stored->width), uint32_t(stored->height));
        return nullptr;
    }
    OxSurface* upright =
        CreateDecodeSurface(context, byteSize, width, height, stored->format, pitch);
    if (upright == nullptr)
        return nullptr;
    upright->paletteCount = stored->paletteCount;
    try {
        upright->paletteStore = stored->paletteStore;
    } catch (const std::bad_alloc&) {
        OxRelease(upright);
        context.Fail(PICTURE_NO_MEMORY, "OUT_OF_MEMORY");
        return nullptr;
    }
    upright->colorKey = stored->colorKey;
    std::memcpy(upright->keyColor, stored->keyColor, sizeof(upright->keyColor));
    PlaceStoredRows(stored->writePixels, stored->pitch, 0, stored->height, stored->width,
                    orientation, upright);
    return upright;
}
