// SSE2 converter of the histogram: 16 pixels a step, the same integer
// arithmetic as HistogramPixelToYCbCr, so the counts are identical.
#include "effects/Histogram.h"

#include <emmintrin.h>

namespace {

// Pixels 0-3 of a group of 4 BGR pixels (12 bytes from the bottom of G)
// spread into one 32-bit lane each; the lane's top byte is garbage.
inline __m128i Spread3(__m128i G)
{
    const __m128i p01 = _mm_unpacklo_epi32(G, _mm_srli_si128(G, 3));
    const __m128i p23 = _mm_unpacklo_epi32(_mm_srli_si128(G, 6), _mm_srli_si128(G, 9));
    return _mm_unpacklo_epi64(p01, p23);
}

// Y, Cb, Cr of 8 pixels given as 16-bit B, G, R lanes (0..255), as 16-bit lanes.
inline void Convert8(__m128i B, __m128i G, __m128i R, __m128i& Y, __m128i& Cb, __m128i& Cr)
{
    // pmaddwd multipliers must fit a signed word: 38470 G is split into
    // 22086 G + 16384 G, and 32768 x is taken as 16384 x + 16384 x.
    const __m128i kYRG = _mm_set1_epi32((22086 << 16) | 19595);
    const __m128i kYBG = _mm_set1_epi32((16384 << 16) | 7471);
    const __m128i kCbRG = _mm_set1_epi32(int32_t(uint32_t(uint16_t(-21709)) << 16 | uint16_t(-11059)));
    const __m128i kCrGB = _mm_set1_epi32(int32_t(uint32_t(uint16_t(-5329)) << 16 | uint16_t(-27439)));
    const __m128i kHalf = _mm_set1_epi32((16384 << 16) | 16384);
    const __m128i rY = _mm_set1_epi32(32768);
    const __m128i rC = _mm_set1_epi32(128 * 65536 + 32767);

    __m128i y2[2], cb2[2], cr2[2];
    for (int h = 0; h < 2; ++h) {
        const auto lo = [h](__m128i A, __m128i C) {
            return h == 0 ? _mm_unpacklo_epi16(A, C) : _mm_unpackhi_epi16(A, C);
        };
        const __m128i rg = lo(R, G), bg = lo(B, G), bb = lo(B, B), rr = lo(R, R), gb = lo(G, B);
        y2[h] =
            _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rg, kYRG), _mm_madd_epi16(bg, kYBG)), rY), 16);
        cb2[h] =
            _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rg, kCbRG), _mm_madd_epi16(bb, kHalf)), rC), 16);
        cr2[h] =
            _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rr, kHalf), _mm_madd_epi16(gb, kCrGB)), rC), 16);
    }
    Y = _mm_packs_epi32(y2[0], y2[1]);
    Cb = _mm_packs_epi32(cb2[0], cb2[1]);
    Cr = _mm_packs_epi32(cr2[0], cr2[1]);
}

// B, G, R of 8 pixels held one per 32-bit lane in A (pixels 0-3) and C (4-7).
inline void Split(__m128i A, __m128i C, __m128i& B, __m128i& G, __m128i& R)
{
    const __m128i m = _mm_set1_epi32(0xFF);
    B = _mm_packs_epi32(_mm_and_si128(A, m), _mm_and_si128(C, m));
    G = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(A, 8), m), _mm_and_si128(_mm_srli_epi32(C, 8), m));
    R = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(A, 16), m), _mm_and_si128(_mm_srli_epi32(C, 16), m));
}

} // namespace

void HistogramToYCbCrSSE2(const uint8_t* Src, uint32_t SrcBytes, uint8_t* Dst, uint32_t Width, uint32_t Channels)
{
    const uint64_t s = HistogramPlaneStride(Width);
    const uint32_t stepBytes = 16 * Channels;
    // Whole steps only while the row's stride holds them; the rest pixel by pixel.
    uint64_t steps = s / 16;
    if (steps * stepBytes > SrcBytes)
        steps = SrcBytes / stepBytes;
    uint64_t x = 0;
    for (uint64_t k = 0; k < steps; ++k, x += 16) {
        const uint8_t* p = Src + k * stepBytes;
        __m128i px[4];
        if (Channels == 4) {
            for (int i = 0; i < 4; ++i)
                px[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + i);
        } else {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + 1);
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + 2);
            px[0] = Spread3(a);                                                         // bytes 0..11
            px[1] = Spread3(_mm_or_si128(_mm_srli_si128(a, 12), _mm_slli_si128(b, 4))); // 12..23
            px[2] = Spread3(_mm_or_si128(_mm_srli_si128(b, 8), _mm_slli_si128(c, 8)));  // 24..35
            px[3] = Spread3(_mm_srli_si128(c, 4));                                      // 36..47
        }
        __m128i b0, g0, r0, b1, g1, r1, y0, cb0, cr0, y1, cb1, cr1;
        Split(px[0], px[1], b0, g0, r0);
        Split(px[2], px[3], b1, g1, r1);
        Convert8(b0, g0, r0, y0, cb0, cr0);
        Convert8(b1, g1, r1, y1, cb1, cr1);
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + x), _mm_packus_epi16(y0, y1));
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + s + x), _mm_packus_epi16(cb0, cb1));
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 2 * s + x), _mm_packus_epi16(cr0, cr1));
    }
    for (; x < Width; ++x)
        HistogramPixelToYCbCr(Src + x * Channels, Dst + x, Dst + s + x, Dst + 2 * s + x);
}
