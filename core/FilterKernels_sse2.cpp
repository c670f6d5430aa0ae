// SSE2 pass kernels. Same work-memory layouts, same arithmetic and the same
// order of float sums as the scalar reference, so the bytes are identical:
// integer sums are exact, float sums run tap by tap in each lane, divisions
// are exact (no approximate reciprocal) and rounding is the processor's
// round-to-nearest-even in both.
#include "core/FilterKernels.h"
#include "core/Filter.h"
#include "core/FilterKernelsSIMD.h"

#include <emmintrin.h>
#include <cstring>

namespace {

using namespace kern;

inline __m128i Load32(const uint8_t* P)
{
    return _mm_cvtsi32_si128(Word32(P));
}

inline __m128i Round14(__m128i Acc)
{
    return _mm_srai_epi32(_mm_add_epi32(Acc, _mm_set1_epi32(8192)), 14);
}

// ---------------------------------------------------------------- integer

void IntConvert1(uint8_t* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    const __m128i z = _mm_setzero_si128();
    const uint32_t groups = (Width + 7) / 8;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint8_t* s = Src + 8 * size_t(g);
        // 16-bit units are pixel pairs: gather each pair of the 4 rows.
        const __m128i a = _mm_unpacklo_epi16(Load64(s), Load64(s + Bpl));
        const __m128i b = _mm_unpacklo_epi16(Load64(s + 2 * Bpl), Load64(s + 3 * Bpl));
        const __m128i lo = _mm_unpacklo_epi32(a, b), hi = _mm_unpackhi_epi32(a, b);
        __m128i* d = reinterpret_cast<__m128i*>(W + 64 * size_t(g));
        _mm_store_si128(d, _mm_unpacklo_epi8(lo, z));
        _mm_store_si128(d + 1, _mm_unpackhi_epi8(lo, z));
        _mm_store_si128(d + 2, _mm_unpacklo_epi8(hi, z));
        _mm_store_si128(d + 3, _mm_unpackhi_epi8(hi, z));
    }
}

template <bool Final>
void IntH1(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
           uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    for (uint32_t it = 0; it < Count; ++it) {
        IntConvert1(Work, Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const uint8_t* s = Work + Info[2 * x];
            const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            __m128i acc0 = _mm_setzero_si128(), acc1 = _mm_setzero_si128();
            uint32_t j = 0;
            for (; j + 2 <= p; j += 2) {
                const __m128i w = Load64(wt + 4 * j);
                acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(Load(s + 16 * j), _mm_shuffle_epi32(w, 0x00)));
                acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(Load(s + 16 * j + 16), _mm_shuffle_epi32(w, 0x55)));
            }
            if (j < p)
                acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(Load(s + 16 * j), _mm_shuffle_epi32(Load32(wt + 4 * j), 0)));
            __m128i v = Round14(_mm_add_epi32(acc0, acc1));
            v = _mm_packs_epi32(v, v);
            const uint32_t b = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
            if (Final) {
                Dest[x] = uint8_t(b);
                Dest[DestBpl + x] = uint8_t(b >> 8);
                Dest[2 * DestBpl + x] = uint8_t(b >> 16);
                Dest[3 * DestBpl + x] = uint8_t(b >> 24);
            } else {
                const uint16_t r01 = uint16_t(b), r23 = uint16_t(b >> 16);
                std::memcpy(Dest + 2 * size_t(x), &r01, 2);
                std::memcpy(Dest + 2 * DestBpl + 2 * size_t(x), &r23, 2);
            }
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

void IntConvert3(uint8_t* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    const __m128i z = _mm_setzero_si128();
    const uint32_t pairs = (Width + 1) / 2;
    for (uint32_t q = 0; q < pairs; ++q) {
        const uint8_t* s = Src + 6 * size_t(q);
        __m128i t[4];
        for (uint32_t r = 0; r < 4; ++r) {
            // Pixel p and p + 1 side by side: (B B) (G G) (R R) as 16-bit units.
            const __m128i x = Load64(s + r * Bpl);
            t[r] = _mm_unpacklo_epi8(x, _mm_srli_si128(x, 3));
        }
        const __m128i a = _mm_unpacklo_epi16(t[0], t[1]);
        const __m128i b = _mm_unpacklo_epi16(t[2], t[3]);
        const __m128i lo = _mm_unpacklo_epi32(a, b), hi = _mm_unpackhi_epi32(a, b);
        __m128i* d = reinterpret_cast<__m128i*>(W + 48 * size_t(q));
        _mm_store_si128(d, _mm_unpacklo_epi8(lo, z));
        _mm_store_si128(d + 1, _mm_unpackhi_epi8(lo, z));
        _mm_store_si128(d + 2, _mm_unpacklo_epi8(hi, z));
    }
}

template <bool Final>
void IntH3(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
           uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    const __m128i z = _mm_setzero_si128();
    for (uint32_t it = 0; it < Count; ++it) {
        IntConvert3(Work, Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const uint8_t* s = Work + Info[2 * x];
            const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            __m128i b = z, g = z, r = z;
            for (uint32_t j = 0; j < p; ++j, s += 48) {
                const __m128i w = _mm_shuffle_epi32(Load32(wt + 4 * j), 0);
                b = _mm_add_epi32(b, _mm_madd_epi16(Load(s), w));
                g = _mm_add_epi32(g, _mm_madd_epi16(Load(s + 16), w));
                r = _mm_add_epi32(r, _mm_madd_epi16(Load(s + 32), w));
            }
            IntOut3<Final>(Dest, x, DestBpl, Round14(b), Round14(g), Round14(r));
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

inline __m128i PackRounded(__m128i Lo, __m128i Hi)
{
    const __m128i v = _mm_packs_epi32(Round14(Lo), Round14(Hi));
    return _mm_packus_epi16(v, v);
}

// Vertical kernels, 8 result bytes per item; two items per step where the
// share allows, for independent sums.
template <bool Direct>
void IntVT(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows, size_t DestBpl,
           size_t SrcBpl)
{
    const __m128i z = _mm_setzero_si128();
    const size_t in = Direct ? 8 : 16; // input bytes per item
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s0 = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * y + 1]);
        const uint32_t p = WeightCount(wt);
        auto rowpair = [&](const uint8_t* S) {
            return Direct ? _mm_unpacklo_epi8(Load64(S), Load64(S + SrcBpl)) : Load(S);
        };
        uint32_t i = 0;
        for (; i + 2 <= Count; i += 2) {
            __m128i a0 = z, a1 = z, a2 = z, a3 = z;
            const uint8_t* s = s0 + i * in;
            for (uint32_t j = 0; j < p; ++j, s += 2 * SrcBpl) {
                const __m128i w = _mm_shuffle_epi32(Load32(wt + 4 * j), 0);
                const __m128i v0 = rowpair(s), v1 = rowpair(s + in);
                a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(v0, z), w));
                a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(v0, z), w));
                a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(v1, z), w));
                a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(v1, z), w));
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Dest + 8 * size_t(i)), PackRounded(a0, a1));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Dest + 8 * size_t(i) + 8), PackRounded(a2, a3));
        }
        if (i < Count) {
            __m128i a0 = z, a1 = z;
            const uint8_t* s = s0 + i * in;
            for (uint32_t j = 0; j < p; ++j, s += 2 * SrcBpl) {
                const __m128i w = _mm_shuffle_epi32(Load32(wt + 4 * j), 0);
                const __m128i v0 = rowpair(s);
                a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(v0, z), w));
                a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(v0, z), w));
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Dest + 8 * size_t(i)), PackRounded(a0, a1));
        }
        Dest += DestBpl;
    }
}

// ----------------------------------------------------------- integer RGBA

// Two pixels B G R A B G R A -> words with colour premultiplied (c x a shr 2),
// alpha kept.
inline __m128i Premul2(const uint8_t* P)
{
    const __m128i w = _mm_unpacklo_epi8(Load64(P), _mm_setzero_si128());
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, 0xFF), 0xFF);
    const __m128i m = _mm_srli_epi16(_mm_mullo_epi16(w, a), 2);
    const __m128i alpha = _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1);
    return _mm_or_si128(_mm_andnot_si128(alpha, m), _mm_and_si128(alpha, w));
}

// Integer sums B G R A of one pixel -> rounded 32-bit values (see IntRGBAOut
// of the reference).
inline __m128i RGBAFinish(__m128 F)
{
    const __m128 a = _mm_shuffle_ps(F, F, 0xFF);
    const __m128 colour = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
    const __m128 keep = _mm_and_ps(_mm_cmpgt_ps(a, _mm_set1_ps(0.5f)), colour);
    __m128 r = _mm_or_ps(_mm_and_ps(keep, _mm_div_ps(F, a)), _mm_andnot_ps(colour, F));
    r = _mm_min_ps(_mm_max_ps(r, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvtps_epi32(r);
}

inline __m128i IntRGBAOut(__m128i Acc)
{
    const __m128 scale = _mm_setr_ps(1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 16384.0f);
    return RGBAFinish(_mm_mul_ps(_mm_cvtepi32_ps(Acc), scale));
}

inline __m128i Pack2(__m128i P0, __m128i P1)
{
    const __m128i v = _mm_packs_epi32(P0, P1);
    return _mm_packus_epi16(v, v);
}

template <bool Final>
void IntRGBAH(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
              uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    const uint32_t pairs = (SrcWidth + 1) / 2;
    for (uint32_t it = 0; it < Count; ++it) {
        for (uint32_t q = 0; q < pairs; ++q)
            for (uint32_t r = 0; r < 2; ++r) {
                const __m128i m = Premul2(Src + r * SrcBpl + 8 * size_t(q));
                _mm_store_si128(reinterpret_cast<__m128i*>(Work + 32 * size_t(q) + 16 * r),
                                _mm_unpacklo_epi16(m, _mm_srli_si128(m, 8)));
            }
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const uint8_t* s = Work + Info[2 * x];
            const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            __m128i a0 = _mm_setzero_si128(), a1 = _mm_setzero_si128();
            for (uint32_t j = 0; j < p; ++j, s += 32) {
                const __m128i w = _mm_shuffle_epi32(Load32(wt + 4 * j), 0);
                a0 = _mm_add_epi32(a0, _mm_madd_epi16(Load(s), w));
                a1 = _mm_add_epi32(a1, _mm_madd_epi16(Load(s + 16), w));
            }
            if (Final) {
                const __m128i v = Pack2(IntRGBAOut(a0), IntRGBAOut(a1));
                Store32(Dest + 4 * size_t(x), v);
                Store32(Dest + DestBpl + 4 * size_t(x), _mm_srli_si128(v, 4));
            } else {
                const __m128i v = _mm_packs_epi32(Round14(a0), Round14(a1));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + 16 * size_t(x)),
                                 _mm_unpacklo_epi16(v, _mm_srli_si128(v, 8)));
            }
        }
        Src += 2 * SrcBpl;
        Dest += 2 * DestBpl;
    }
}

template <bool Direct>
void IntRGBAVT(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows,
               size_t DestBpl, size_t SrcBpl)
{
    const size_t in = Direct ? 8 : 32;
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s0 = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * y + 1]);
        const uint32_t p = WeightCount(wt);
        for (uint32_t i = 0; i < Count; ++i) {
            __m128i a0 = _mm_setzero_si128(), a1 = _mm_setzero_si128();
            const uint8_t* s = s0 + i * in;
            for (uint32_t j = 0; j < p; ++j, s += 2 * SrcBpl) {
                const __m128i w = _mm_shuffle_epi32(Load32(wt + 4 * j), 0);
                __m128i v0, v1;
                if (Direct) {
                    const __m128i e = Premul2(s), o = Premul2(s + SrcBpl);
                    v0 = _mm_unpacklo_epi16(e, o);
                    v1 = _mm_unpackhi_epi16(e, o);
                } else {
                    v0 = Load(s);
                    v1 = Load(s + 16);
                }
                a0 = _mm_add_epi32(a0, _mm_madd_epi16(v0, w));
                a1 = _mm_add_epi32(a1, _mm_madd_epi16(v1, w));
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Dest + 8 * size_t(i)), Pack2(IntRGBAOut(a0), IntRGBAOut(a1)));
        }
        Dest += DestBpl;
    }
}

// ------------------------------------------------------- float and linear

inline __m128i Clamp255(__m128 V)
{
    return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(V, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
}

// Linear light -> four sRGB bytes (as the low bytes of 4 ints).
inline void LinearOut4(uint8_t* D, size_t Stride, __m128 V)
{
    alignas(16) int32_t idx[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(idx),
                    _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(V, _mm_setzero_ps()), _mm_set1_ps(8192.0f))));
    for (uint32_t k = 0; k < 4; ++k)
        D[k * Stride] = LinearToSRGB8[idx[k]];
}

// Four samples of four rows, or one of each: floats.
inline __m128 Widen4(__m128i Bytes)
{
    const __m128i z = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(Bytes, z), z));
}

template <bool Linear, bool Wide> void FloatConvert1(float* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    if (Wide) {
        for (uint32_t p = 0; p < Width; ++p)
            for (uint32_t r = 0; r < 4; ++r) {
                uint16_t v;
                std::memcpy(&v, Src + r * Bpl + 2 * size_t(p), 2);
                W[p * 4 + r] = SRGB12ToLinear[v < 4080 ? v : 4080];
            }
        return;
    }
    if (Linear) {
        for (uint32_t p = 0; p < Width; ++p)
            for (uint32_t r = 0; r < 4; ++r)
                W[p * 4 + r] = SRGB8ToLinear[Src[r * Bpl + p]];
        return;
    }
    const __m128i z = _mm_setzero_si128();
    for (uint32_t g = 0; g < (Width + 3) / 4; ++g) {
        const uint8_t* s = Src + 4 * size_t(g);
        const __m128i u01 = _mm_unpacklo_epi8(Load32(s), Load32(s + Bpl));
        const __m128i u23 = _mm_unpacklo_epi8(Load32(s + 2 * Bpl), Load32(s + 3 * Bpl));
        const __m128i t = _mm_unpacklo_epi16(u01, u23); // per pixel: rows 0..3
        const __m128i lo = _mm_unpacklo_epi8(t, z), hi = _mm_unpackhi_epi8(t, z);
        float* d = W + 16 * size_t(g);
        _mm_store_ps(d, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, z)));
        _mm_store_ps(d + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, z)));
        _mm_store_ps(d + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, z)));
        _mm_store_ps(d + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, z)));
    }
}

template <bool Linear> void FloatConvert3(float* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    if (Linear) {
        for (uint32_t p = 0; p < Width; ++p)
            for (uint32_t c = 0; c < 3; ++c)
                for (uint32_t r = 0; r < 4; ++r)
                    W[p * 12 + c * 4 + r] = SRGB8ToLinear[Src[r * Bpl + 3 * p + c]];
        return;
    }
    const __m128i z = _mm_setzero_si128();
    for (uint32_t p = 0; p < Width; ++p) {
        const uint8_t* s = Src + 3 * size_t(p);
        const __m128i u01 = _mm_unpacklo_epi8(Load32(s), Load32(s + Bpl));
        const __m128i u23 = _mm_unpacklo_epi8(Load32(s + 2 * Bpl), Load32(s + 3 * Bpl));
        const __m128i t = _mm_unpacklo_epi16(u01, u23); // B rows 0..3, G, R, next B
        const __m128i lo = _mm_unpacklo_epi8(t, z), hi = _mm_unpackhi_epi8(t, z);
        float* d = W + 12 * size_t(p);
        _mm_store_ps(d, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, z)));
        _mm_store_ps(d + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, z)));
        _mm_store_ps(d + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, z)));
    }
}

inline __m128 Bcast(const float* W, uint32_t K)
{
    return _mm_set1_ps(W[K]);
}

template <bool Linear, bool Final, bool Wide = false>
void FloatH1(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
             uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    for (uint32_t it = 0; it < Count; ++it) {
        FloatConvert1<Linear, Wide>(reinterpret_cast<float*>(Work), Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const auto* s = reinterpret_cast<const float*>(Work + Info[2 * x]);
            const auto* wt = reinterpret_cast<const float*>(Info[2 * x + 1]);
            const uint32_t n = WeightCount(wt);
            __m128 acc = _mm_setzero_ps();
            for (uint32_t k = 0; k < n; ++k)
                acc = _mm_add_ps(acc, _mm_mul_ps(Bcast(wt, k), _mm_load_ps(s + 4 * k)));
            if (!Final) {
                alignas(16) float v[4];
                _mm_store_ps(v, acc);
                for (uint32_t r = 0; r < 4; ++r)
                    std::memcpy(Dest + r * DestBpl + 4 * size_t(x), v + r, 4);
            } else if (Linear) {
                LinearOut4(Dest + x, DestBpl, acc);
            } else {
                __m128i v = Clamp255(acc);
                v = _mm_packs_epi32(v, v);
                const uint32_t b = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
                for (uint32_t r = 0; r < 4; ++r)
                    Dest[r * DestBpl + x] = uint8_t(b >> (8 * r));
            }
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

template <bool Linear, bool Final>
void FloatH3(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
             uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    // Sums of channel B, G, R (rows 0..3 in the lanes) of output X, tap by tap.
    struct TSum {
        const float* S;
        const float* W;
        uint32_t N;
        __m128 B = _mm_setzero_ps(), G = _mm_setzero_ps(), R = _mm_setzero_ps();
        TSum(uint8_t* Work, const uintptr_t* Info, uint32_t X)
            : S(reinterpret_cast<const float*>(Work + Info[2 * X])), W(reinterpret_cast<const float*>(Info[2 * X + 1])),
              N(WeightCount(W))
        {
        }
        void Tap(uint32_t K)
        {
            const __m128 w = Bcast(W, K);
            const float* s = S + 12 * size_t(K);
            B = _mm_add_ps(B, _mm_mul_ps(w, _mm_load_ps(s)));
            G = _mm_add_ps(G, _mm_mul_ps(w, _mm_load_ps(s + 4)));
            R = _mm_add_ps(R, _mm_mul_ps(w, _mm_load_ps(s + 8)));
        }
    };
    auto out = [&](uint32_t X, TSum& T) {
        __m128 z = _mm_setzero_ps();
        _MM_TRANSPOSE4_PS(T.B, T.G, T.R, z); // now rows 0..3: B G R 0
        const __m128 rows[4] = {T.B, T.G, T.R, z};
        for (uint32_t row = 0; row < 4; ++row) {
            uint8_t* d = Dest + row * DestBpl;
            if (!Final) {
                // 16-byte store: the spare float is the next pixel's, written after.
                _mm_storeu_ps(reinterpret_cast<float*>(d + 12 * size_t(X)), rows[row]);
            } else if (Linear) {
                LinearOut4(d + 3 * size_t(X), 1, rows[row]);
            } else {
                __m128i v = Clamp255(rows[row]);
                v = _mm_packs_epi32(v, v);
                Store32(d + 3 * size_t(X), _mm_packus_epi16(v, v));
            }
        }
    };
    for (uint32_t it = 0; it < Count; ++it) {
        FloatConvert3<Linear>(reinterpret_cast<float*>(Work), Src, SrcWidth, SrcBpl);
        uint32_t x = 0;
        // Two outputs at a time: six independent sums instead of three.
        for (; x + 2 <= DestWidth; x += 2) {
            TSum a(Work, Info, x), b(Work, Info, x + 1);
            const uint32_t m = a.N < b.N ? a.N : b.N;
            uint32_t k = 0;
            for (; k < m; ++k) {
                a.Tap(k);
                b.Tap(k);
            }
            for (uint32_t j = k; j < a.N; ++j)
                a.Tap(j);
            for (uint32_t j = k; j < b.N; ++j)
                b.Tap(j);
            out(x, a);
            out(x + 1, b);
        }
        if (x < DestWidth) {
            TSum a(Work, Info, x);
            for (uint32_t k = 0; k < a.N; ++k)
                a.Tap(k);
            out(x, a);
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

// Premultiplied pixel (colour x alpha, alpha) as floats.
template <bool Linear> inline __m128 PremulF(const uint8_t* P)
{
    __m128 v;
    if (Linear)
        v = _mm_setr_ps(SRGB8ToLinear[P[0]], SRGB8ToLinear[P[1]], SRGB8ToLinear[P[2]], float(P[3]));
    else
        v = Widen4(Load32(P));
    const __m128 a = _mm_shuffle_ps(v, v, 0xFF);
    const __m128 colour = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
    return _mm_or_ps(_mm_and_ps(colour, _mm_mul_ps(v, a)), _mm_andnot_ps(colour, v));
}

// Premultiplied sums -> 4 bytes (low 32 bits of the result).
template <bool Linear> inline void RGBAOut(uint8_t* D, __m128 Acc)
{
    if (!Linear) {
        const __m128i v = RGBAFinish(Acc);
        Store32(D, Pack2(v, v));
        return;
    }
    const __m128 a = _mm_shuffle_ps(Acc, Acc, 0xFF);
    const __m128 keep = _mm_cmpgt_ps(a, _mm_set1_ps(0.5f));
    const __m128 c = _mm_and_ps(keep, _mm_div_ps(Acc, a));
    LinearOut4(D, 1, c);
    const __m128i al = Clamp255(Acc);
    D[3] = uint8_t(_mm_cvtsi128_si32(_mm_srli_si128(al, 12)));
}

template <bool Linear, bool Final>
void FloatRGBAH(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
                uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    auto* wf = reinterpret_cast<float*>(Work);
    for (uint32_t it = 0; it < Count; ++it) {
        for (uint32_t p = 0; p < SrcWidth; ++p) {
            _mm_store_ps(wf + 8 * size_t(p), PremulF<Linear>(Src + 4 * size_t(p)));
            _mm_store_ps(wf + 8 * size_t(p) + 4, PremulF<Linear>(Src + SrcBpl + 4 * size_t(p)));
        }
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const auto* s = reinterpret_cast<const float*>(Work + Info[2 * x]);
            const auto* wt = reinterpret_cast<const float*>(Info[2 * x + 1]);
            const uint32_t n = WeightCount(wt);
            __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps();
            for (uint32_t k = 0; k < n; ++k, s += 8) {
                const __m128 w = Bcast(wt, k);
                a0 = _mm_add_ps(a0, _mm_mul_ps(w, _mm_load_ps(s)));
                a1 = _mm_add_ps(a1, _mm_mul_ps(w, _mm_load_ps(s + 4)));
            }
            if (Final) {
                RGBAOut<Linear>(Dest + 4 * size_t(x), a0);
                RGBAOut<Linear>(Dest + DestBpl + 4 * size_t(x), a1);
            } else {
                _mm_storeu_ps(reinterpret_cast<float*>(Dest + 16 * size_t(x)), a0);
                _mm_storeu_ps(reinterpret_cast<float*>(Dest + DestBpl + 16 * size_t(x)), a1);
            }
        }
        Src += 2 * SrcBpl;
        Dest += 2 * DestBpl;
    }
}

template <bool Linear> inline void LoadSamples16(__m128* V, const uint8_t* S)
{
    if (Linear) {
        for (uint32_t q = 0; q < 4; ++q)
            V[q] = _mm_setr_ps(SRGB8ToLinear[S[4 * q]], SRGB8ToLinear[S[4 * q + 1]], SRGB8ToLinear[S[4 * q + 2]],
                               SRGB8ToLinear[S[4 * q + 3]]);
        return;
    }
    const __m128i z = _mm_setzero_si128();
    const __m128i b = Load(S);
    const __m128i lo = _mm_unpacklo_epi8(b, z), hi = _mm_unpackhi_epi8(b, z);
    V[0] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, z));
    V[1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, z));
    V[2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, z));
    V[3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, z));
}

// Vertical, 16 samples per item, from float rows or (Direct) from 8-bit rows;
// two items per step where the share allows, for eight independent sums.
template <bool Linear, bool Direct, uint32_t Items>
inline void FloatVItems(uint8_t* D, const uint8_t* S, const float* Wt, uint32_t N, size_t SrcBpl)
{
    constexpr size_t in = Direct ? 16 : 64;
    __m128 a[4 * Items];
    for (auto& v : a)
        v = _mm_setzero_ps();
    for (uint32_t k = 0; k < N; ++k, S += SrcBpl) {
        const __m128 w = Bcast(Wt, k);
        for (uint32_t it = 0; it < Items; ++it) {
            __m128 v[4];
            if (Direct) {
                LoadSamples16<Linear>(v, S + it * in);
            } else {
                for (uint32_t q = 0; q < 4; ++q)
                    v[q] = _mm_loadu_ps(reinterpret_cast<const float*>(S + it * in) + 4 * q);
            }
            for (uint32_t q = 0; q < 4; ++q)
                a[4 * it + q] = _mm_add_ps(a[4 * it + q], _mm_mul_ps(w, v[q]));
        }
    }
    for (uint32_t it = 0; it < Items; ++it) {
        uint8_t* d = D + 16 * size_t(it);
        const __m128* r = a + 4 * it;
        if (Linear) {
            for (uint32_t q = 0; q < 4; ++q)
                LinearOut4(d + 4 * q, 1, r[q]);
        } else {
            const __m128i lo = _mm_packs_epi32(Clamp255(r[0]), Clamp255(r[1]));
            const __m128i hi = _mm_packs_epi32(Clamp255(r[2]), Clamp255(r[3]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
        }
    }
}

template <bool Linear, bool Direct>
void FloatVT(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows,
             size_t DestBpl, size_t SrcBpl)
{
    const size_t in = Direct ? 16 : 64;
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s0 = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const float*>(Info[2 * y + 1]);
        const uint32_t n = WeightCount(wt);
        uint32_t i = 0;
        for (; i + 2 <= Count; i += 2)
            FloatVItems<Linear, Direct, 2>(Dest + 16 * size_t(i), s0 + i * in, wt, n, SrcBpl);
        if (i < Count)
            FloatVItems<Linear, Direct, 1>(Dest + 16 * size_t(i), s0 + i * in, wt, n, SrcBpl);
        Dest += DestBpl;
    }
}

template <bool Linear, bool Direct>
void FloatRGBAVT(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows,
                 size_t DestBpl, size_t SrcBpl)
{
    const size_t in = Direct ? 8 : 32;
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s0 = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const float*>(Info[2 * y + 1]);
        const uint32_t n = WeightCount(wt);
        for (uint32_t i = 0; i < Count; ++i) {
            __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps();
            const uint8_t* s = s0 + i * in;
            for (uint32_t k = 0; k < n; ++k, s += SrcBpl) {
                const __m128 w = Bcast(wt, k);
                __m128 v0, v1;
                if (Direct) {
                    v0 = PremulF<Linear>(s);
                    v1 = PremulF<Linear>(s + 4);
                } else {
                    v0 = _mm_loadu_ps(reinterpret_cast<const float*>(s));
                    v1 = _mm_loadu_ps(reinterpret_cast<const float*>(s) + 4);
                }
                a0 = _mm_add_ps(a0, _mm_mul_ps(w, v0));
                a1 = _mm_add_ps(a1, _mm_mul_ps(w, v1));
            }
            RGBAOut<Linear>(Dest + 8 * size_t(i), a0);
            RGBAOut<Linear>(Dest + 8 * size_t(i) + 4, a1);
        }
        Dest += DestBpl;
    }
}

} // namespace

const TResizeKernels SSE2ResizeKernels = {
    "SSE2",
    IntH1<false>,
    IntH1<true>,
    IntH3<false>,
    IntH3<true>,
    IntVT<false>,
    IntVT<true>,
    IntRGBAH<false>,
    IntRGBAH<true>,
    IntRGBAVT<false>,
    IntRGBAVT<true>,
    FloatH1<false, false>,
    FloatH1<false, true>,
    FloatH3<false, false>,
    FloatH3<false, true>,
    FloatVT<false, false>,
    FloatVT<false, true>,
    FloatRGBAH<false, false>,
    FloatRGBAH<false, true>,
    FloatRGBAVT<false, false>,
    FloatRGBAVT<false, true>,
    FloatH1<true, false>,
    FloatH1<true, true>,
    FloatH3<true, false>,
    FloatH3<true, true>,
    FloatVT<true, false>,
    FloatVT<true, true>,
    FloatRGBAH<true, false>,
    FloatRGBAH<true, true>,
    FloatRGBAVT<true, false>,
    FloatRGBAVT<true, true>,
    FloatH1<true, false, true>,
};
