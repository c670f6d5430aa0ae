// The eight-pixel flattening kernel: the same bytes as FlattenAlpha.
#include "core/AlphaBlend.h"

#include <cstring>
#include <emmintrin.h>

namespace {

// Packs four blue-green-red-x pixels into their first 12 bytes.
inline __m128i Pack3(__m128i V)
{
    const __m128i m0 = _mm_and_si128(V, _mm_set_epi32(0, 0, 0, 0x00FFFFFF));
    const __m128i m1 = _mm_srli_si128(_mm_and_si128(V, _mm_set_epi32(0, 0, 0x00FFFFFF, 0)), 1);
    const __m128i m2 = _mm_srli_si128(_mm_and_si128(V, _mm_set_epi32(0, 0x00FFFFFF, 0, 0)), 2);
    const __m128i m3 = _mm_srli_si128(_mm_and_si128(V, _mm_set_epi32(0x00FFFFFF, 0, 0, 0)), 3);
    return _mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3));
}

// Writes exactly 24 bytes: eight packed pixels from two vectors.
inline void Store24(uint8_t* D, __m128i A, __m128i B)
{
    const __m128i a = Pack3(A), b = Pack3(B);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(D), a);
    const int32_t a2 = _mm_cvtsi128_si32(_mm_srli_si128(a, 8));
    std::memcpy(D + 8, &a2, 4);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(D + 12), b);
    const int32_t b2 = _mm_cvtsi128_si32(_mm_srli_si128(b, 8));
    std::memcpy(D + 20, &b2, 4);
}

// Two pixels widened to 16-bit lanes, blended onto Bg (b g r x b g r x).
inline __m128i Blend2(__m128i S, __m128i Bg)
{
    __m128i a = _mm_shufflelo_epi16(S, _MM_SHUFFLE(3, 3, 3, 3));
    a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128i ia = _mm_sub_epi16(_mm_set1_epi16(255), a);
    // At most 255 x 255 + 128 = 65153: the unsigned 16-bit lanes never wrap.
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(S, a), _mm_mullo_epi16(Bg, ia));
    t = _mm_add_epi16(t, _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

inline __m128i Blend4(__m128i V, __m128i Bg)
{
    const __m128i zero = _mm_setzero_si128();
    return _mm_packus_epi16(Blend2(_mm_unpacklo_epi8(V, zero), Bg), Blend2(_mm_unpackhi_epi8(V, zero), Bg));
}

// Eight pixels (32 bytes at S) flattened into 24 bytes at D.
inline void Group(uint8_t* D, const uint8_t* S, __m128i Bg16, __m128i Bg8)
{
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 16));
    const int alphaBits = 0x8888; // mask bits of the alpha bytes
    const __m128i ones = _mm_set1_epi8(-1), zero = _mm_setzero_si128();
    const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi8(v0, ones)) & _mm_movemask_epi8(_mm_cmpeq_epi8(v1, ones));
    if ((opaque & alphaBits) == alphaBits) {
        Store24(D, v0, v1);
        return;
    }
    const int clear = _mm_movemask_epi8(_mm_cmpeq_epi8(v0, zero)) & _mm_movemask_epi8(_mm_cmpeq_epi8(v1, zero));
    if ((clear & alphaBits) == alphaBits) {
        Store24(D, Bg8, Bg8);
        return;
    }
    Store24(D, Blend4(v0, Bg16), Blend4(v1, Bg16));
}

} // namespace

void FlattenAlphaSIMD(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background)
{
    if (!Dst.Mem || !Src.Mem || Dst.Channels != 3 || Src.Channels != 4 || Dst.Width != Src.Width ||
        Dst.Height != Src.Height)
        return;
    const int16_t b = uint8_t(Background.Blue), g = uint8_t(Background.Green), r = uint8_t(Background.Red);
    const __m128i bg16 = _mm_setr_epi16(b, g, r, 0, b, g, r, 0);
    const __m128i bg8 = _mm_packus_epi16(bg16, bg16);
    const uint32_t full = Src.Width / 8, rest = Src.Width % 8;
    for (uint32_t row = 0; row < Src.Height; ++row) {
        const uint8_t* s = MemRow(Src, row);
        uint8_t* d = MemRow(Dst, row);
        for (uint32_t i = 0; i < full; ++i, s += 32, d += 24)
            Group(d, s, bg16, bg8);
        if (rest) {
            // The last pixels go through scratch space so that nothing is read
            // or written past the row's last pixel. All three paths give the
            // same bytes, so the unused slots cannot change the result.
            alignas(16) uint8_t in[32] = {}, out[24];
            std::memcpy(in, s, rest * 4);
            Group(out, in, bg16, bg8);
            std::memcpy(d, out, rest * 3);
        }
    }
}
