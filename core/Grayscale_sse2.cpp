// SSE2 gray row kernels: four pixels per step, the same bytes as the plain ones.
#include "core/Grayscale.h"

#include <cstring>
#include <emmintrin.h>

namespace {

// Gray of four pixels given as float vectors of red, green and blue. The sum
// runs in the order of the plain kernel; maxps turns a NaN into 0.
inline __m128i Gray4(__m128 R, __m128 G, __m128 B, const float* W)
{
    __m128 v = _mm_add_ps(_mm_mul_ps(R, _mm_set1_ps(W[0])), _mm_mul_ps(G, _mm_set1_ps(W[1])));
    v = _mm_add_ps(v, _mm_mul_ps(B, _mm_set1_ps(W[2])));
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvtps_epi32(v); // round to nearest, ties to even (default MXCSR)
}

} // namespace

void RGBToGrayRowSSE2(uint8_t* Dst, const uint8_t* Src, uint32_t Groups, const float* Weights)
{
    const __m128i zero = _mm_setzero_si128();
    for (uint32_t g = 0; g < Groups; ++g, Src += 12, Dst += 4) {
        // 16 bytes are loaded, 12 used: the row's spare bytes cover the rest.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src));
        const __m128i lo = _mm_unpacklo_epi8(v, zero);
        const __m128i hi = _mm_unpackhi_epi8(v, zero);
        const __m128 f0 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)); // b0 g0 r0 b1
        const __m128 f1 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)); // g1 r1 b2 g2
        const __m128 f2 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)); // r2 b3 g3 r3
        const __m128 B = _mm_shuffle_ps(f0, _mm_shuffle_ps(f1, f2, _MM_SHUFFLE(1, 1, 2, 2)), _MM_SHUFFLE(2, 0, 3, 0));
        const __m128 G = _mm_shuffle_ps(_mm_shuffle_ps(f0, f1, _MM_SHUFFLE(0, 0, 1, 1)),
                                        _mm_shuffle_ps(f1, f2, _MM_SHUFFLE(2, 2, 3, 3)), _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 R = _mm_shuffle_ps(_mm_shuffle_ps(f0, f1, _MM_SHUFFLE(1, 1, 2, 2)),
                                        _mm_shuffle_ps(f2, f2, _MM_SHUFFLE(3, 3, 0, 0)), _MM_SHUFFLE(2, 0, 2, 0));
        __m128i y = Gray4(R, G, B, Weights);
        y = _mm_packus_epi16(_mm_packs_epi32(y, zero), zero);
        const int32_t out = _mm_cvtsi128_si32(y);
        std::memcpy(Dst, &out, 4);
    }
}

void RGBAToGrayAlphaRowSSE2(uint8_t* Row, uint32_t Groups, const float* Weights)
{
    const __m128i low = _mm_set1_epi32(0xFF);
    for (uint32_t g = 0; g < Groups; ++g) {
        // Reads 16 bytes at 16g and writes 8 at 8g: never ahead of the reads.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + 16 * uint64_t(g)));
        const __m128 B = _mm_cvtepi32_ps(_mm_and_si128(v, low));
        const __m128 G = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, 8), low));
        const __m128 R = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, 16), low));
        const __m128i a = _mm_srli_epi32(v, 24);
        __m128i pair = _mm_or_si128(Gray4(R, G, B, Weights), _mm_slli_epi32(a, 8));
        // Sign-extend the 16-bit pairs so that the saturating pack keeps them.
        pair = _mm_srai_epi32(_mm_slli_epi32(pair, 16), 16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Row + 8 * uint64_t(g)), _mm_packs_epi32(pair, pair));
    }
}
