// Small SSE2 pieces shared by the SIMD kernel files (FilterKernels_sse2.cpp,
// FilterKernels_avx2.cpp). Everything here is static: each kernel file gets
// its own copy built with its own instruction-set flags, so the AVX2 file's
// copy can never stand in for the SSE2 file's at link time.
#pragma once
#include <emmintrin.h>
#include <cstdint>
#include <cstring>

namespace kern {

static inline __m128i Load(const uint8_t* P)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
}

static inline __m128i Load64(const uint8_t* P)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(P));
}

// 4 bytes at any alignment (an integer weight pair).
static inline int32_t Word32(const uint8_t* P)
{
    int32_t v;
    std::memcpy(&v, P, 4);
    return v;
}

static inline void Store32(uint8_t* P, __m128i V)
{
    const int32_t v = _mm_cvtsi128_si32(V);
    std::memcpy(P, &v, 4);
}

// Output X of one integer 3-channel item from its rounded sums (B, G, R:
// rows 0..3 in the four lanes). Final: 8-bit pixels into rows 0..3 of Dest;
// else the row-pair interleaved temporary (rows 0/1 at Dest, 2/3 at
// Dest + 2 x DestBpl).
template <bool Final>
static inline void IntOut3(uint8_t* Dest, uint32_t X, size_t DestBpl, __m128i B, __m128i G, __m128i R)
{
    const __m128i z = _mm_setzero_si128();
    if (Final) {
        const __m128i t0 = _mm_unpacklo_epi32(B, G), t1 = _mm_unpackhi_epi32(B, G);
        const __m128i u0 = _mm_unpacklo_epi32(R, z), u1 = _mm_unpackhi_epi32(R, z);
        const __m128i p01 = _mm_packs_epi32(_mm_unpacklo_epi64(t0, u0), _mm_unpackhi_epi64(t0, u0));
        const __m128i p23 = _mm_packs_epi32(_mm_unpacklo_epi64(t1, u1), _mm_unpackhi_epi64(t1, u1));
        const __m128i v = _mm_packus_epi16(p01, p23); // rows 0..3: B G R 0
        uint8_t* d = Dest + 3 * size_t(X);
        // 4-byte stores: the spare byte is the next pixel's, written after.
        Store32(d, v);
        Store32(d + DestBpl, _mm_srli_si128(v, 4));
        Store32(d + 2 * DestBpl, _mm_srli_si128(v, 8));
        Store32(d + 3 * DestBpl, _mm_srli_si128(v, 12));
    } else {
        const __m128i p0 = _mm_packs_epi32(_mm_unpacklo_epi64(B, G), _mm_unpackhi_epi64(B, G));
        const __m128i v = _mm_packus_epi16(p0, _mm_packs_epi32(R, R));
        // v: B0 B1 G0 G1 | B2 B3 G2 G3 | R0 R1 R2 R3
        const uint32_t bg01 = uint32_t(_mm_cvtsi128_si32(v));
        const uint32_t bg23 = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(v, 4)));
        const uint32_t rr = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
        const uint16_t r01 = uint16_t(rr), r23 = uint16_t(rr >> 16);
        uint8_t* d = Dest + 6 * size_t(X);
        std::memcpy(d, &bg01, 4);
        std::memcpy(d + 4, &r01, 2);
        std::memcpy(d + 2 * DestBpl, &bg23, 4);
        std::memcpy(d + 2 * DestBpl + 4, &r23, 2);
    }
}

} // namespace kern
