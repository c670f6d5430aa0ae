// SSE2 kernels of the blur and the unsharp mask. One multiply-add of 16-bit
// pairs weighs two source units for four rows (horizontal) or both rows of a
// double row for four samples (vertical). Temporary rows and image rows start
// 128-byte aligned and column blocks are 8 or 16 bytes, so the vertical loads
// and stores are aligned; the horizontal work memory is 128-byte aligned.
#include "core/UnsharpKernels.h"

#include "core/Filter.h"

#include <algorithm>

#include <emmintrin.h>
#include <cstring>

using namespace usmpx;

namespace {

inline __m128i Load(const void* P)
{
    return _mm_load_si128(static_cast<const __m128i*>(P));
}
inline void Store(void* P, __m128i V)
{
    _mm_store_si128(static_cast<__m128i*>(P), V);
}

// Broadcasts weight pair K of a list: (w0, w1) in every 32-bit lane.
inline __m128i WeightPair(const int16_t* W, uint32_t K)
{
    int32_t v;
    std::memcpy(&v, W + 2 * K, 4);
    return _mm_set1_epi32(v);
}

// Gathers 16 pixels (8 pairs) of 4 one-channel rows given as words
// R[r][0] (pixels 0..7) and R[r][1] (pixels 8..15) into 8 work pairs.
inline void StorePairs(const __m128i R[4][2], int16_t* Work)
{
    for (int h = 0; h < 2; ++h) {
        const __m128i a0 = _mm_unpacklo_epi32(R[0][h], R[1][h]), a1 = _mm_unpackhi_epi32(R[0][h], R[1][h]);
        const __m128i b0 = _mm_unpacklo_epi32(R[2][h], R[3][h]), b1 = _mm_unpackhi_epi32(R[2][h], R[3][h]);
        int16_t* w = Work + h * 32;
        Store(w, _mm_unpacklo_epi64(a0, b0));
        Store(w + 8, _mm_unpackhi_epi64(a0, b0));
        Store(w + 16, _mm_unpacklo_epi64(a1, b1));
        Store(w + 24, _mm_unpackhi_epi64(a1, b1));
    }
}

// One-channel gather of a 4-row block; whole groups of 8 pairs. Pixels past
// the row's end are gathered too (they only ever meet zero weights).
template <bool Is16> void Gather1(const uint8_t* Src, uint32_t SrcBpl, uint32_t Pairs, int16_t* Work)
{
    const uint32_t groups = (Pairs + 7) / 8;
    const __m128i zero = _mm_setzero_si128();
    for (uint32_t g = 0; g < groups; ++g) {
        __m128i r[4][2];
        for (uint32_t row = 0; row < 4; ++row) {
            const uint8_t* s = Src + uint64_t(row) * SrcBpl;
            if constexpr (Is16) {
                r[row][0] = Load(s + 32 * g);
                r[row][1] = Load(s + 32 * g + 16);
            } else {
                const __m128i v = Load(s + 16 * g);
                r[row][0] = _mm_unpacklo_epi8(v, zero);
                r[row][1] = _mm_unpackhi_epi8(v, zero);
            }
        }
        StorePairs(r, Work + 64 * g);
    }
}

// Sums of rows 0..3 for one channel at Work + Offset (Step bytes per pair),
// rounded and saturated to signed 16 bits: words 0..3 of the result.
inline __m128i Sum4Rows(const uint8_t* G, const int16_t* W, uint32_t N, uint32_t Step)
{
    __m128i acc = _mm_setzero_si128();
    for (uint32_t k = 0; k < N; ++k)
        acc = _mm_add_epi32(acc, _mm_madd_epi16(Load(G + k * Step), WeightPair(W, k)));
    acc = _mm_srai_epi32(_mm_add_epi32(acc, _mm_set1_epi32(8192)), 14);
    return _mm_packs_epi32(acc, acc);
}

template <bool Is16, uint32_t C>
void HFilter(uint8_t* Tmp, const uint8_t* Src, TWeightInfo Info, uint8_t* Work, uint32_t Pairs, uint32_t Width,
             uint32_t Count, uint32_t TmpBpl, uint32_t SrcBpl)
{
    constexpr uint32_t Step = 16 * C;
    int16_t* work = reinterpret_cast<int16_t*>(Work);
    for (uint32_t blk = 0; blk < Count; ++blk) {
        static_assert(C == 1, "one-channel planes only");
        Gather1<Is16>(Src, SrcBpl, Pairs, work);
        uint8_t* pair0 = Tmp;
        uint8_t* pair1 = Tmp + uint64_t(2) * TmpBpl;
        for (uint32_t x = 0; x < Width; ++x) {
            const int16_t* w = reinterpret_cast<const int16_t*>(Info[2 * x + 1]);
            const uint8_t* g = Work + Info[2 * x];
            const uint32_t n = WeightCount(w);
            for (uint32_t c = 0; c < C; ++c) {
                const __m128i v = Sum4Rows(g + 16 * c, w, n, Step);
                const uint32_t j = x * C + c;
                if constexpr (Is16) {
                    // Words 0,1 (rows 0,1) and 2,3 (rows 2,3) as 32-bit pairs.
                    const int32_t lo = _mm_cvtsi128_si32(v), hi = _mm_cvtsi128_si32(_mm_srli_si128(v, 4));
                    std::memcpy(pair0 + 4 * j, &lo, 4);
                    std::memcpy(pair1 + 4 * j, &hi, 4);
                } else {
                    const uint32_t b = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
                    pair0[2 * j] = uint8_t(b);
                    pair0[2 * j + 1] = uint8_t(b >> 8);
                    pair1[2 * j] = uint8_t(b >> 16);
                    pair1[2 * j + 1] = uint8_t(b >> 24);
                }
            }
        }
        Src += uint64_t(4) * SrcBpl;
        Tmp += uint64_t(4) * TmpBpl;
    }
}

// The sharpening step on 8 samples (see usmpx::Sharpen): O before, B blur.
inline __m128i SharpenDelta(__m128i O, __m128i B, __m128i T, __m128i KS, __m128i KH)
{
    const __m128i d = _mm_subs_epi16(B, O);
    const __m128i s = _mm_srai_epi16(d, 15);
    const __m128i a = _mm_xor_si128(d, s);
    const __m128i r = _mm_subs_epu16(a, _mm_subs_epu16(T, a));
    const __m128i dd = _mm_xor_si128(r, s);
    const __m128i k = _mm_or_si128(_mm_and_si128(s, KH), _mm_andnot_si128(s, KS));
    const __m128i lo = _mm_mullo_epi16(dd, k), hi = _mm_mulhi_epi16(dd, k);
    const __m128i p0 = _mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 12);
    const __m128i p1 = _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 12);
    return _mm_packs_epi32(p0, p1);
}

// Mode 1: sharpen 8-bit samples; 2: sharpen 16-bit samples.
template <int Mode>
void VFilter(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows, uint32_t DestBpl,
             uint32_t TmpBpl, const TUSMCoeffs& K)
{
    const uint64_t pairStep = uint64_t(2) * TmpBpl;
    const __m128i rnd = _mm_set1_epi32(8192), zero = _mm_setzero_si128();
    const __m128i T = _mm_set1_epi16(int16_t(K.Threshold));
    const __m128i KS = _mm_set1_epi16(K.Shadow), KH = _mm_set1_epi16(K.Highlight);
    constexpr uint32_t TmpBlock = Mode == 2 ? 32 : 16;
    for (uint32_t y = 0; y < Rows; ++y) {
        const int16_t* w = reinterpret_cast<const int16_t*>(Info[2 * y + 1]);
        const uint8_t* t0 = Tmp + Info[2 * y];
        const uint32_t n = WeightCount(w);
        uint8_t* d = Dest + uint64_t(y) * DestBpl;
        for (uint32_t b = 0; b < Blocks; ++b) {
            __m128i acc0 = zero, acc1 = zero;
            const uint8_t* t = t0 + b * TmpBlock;
            for (uint32_t k = 0; k < n; ++k, t += pairStep) {
                const __m128i wp = WeightPair(w, k);
                __m128i v0, v1;
                if constexpr (Mode == 2) {
                    v0 = Load(t);
                    v1 = Load(t + 16);
                } else {
                    const __m128i v = Load(t);
                    v0 = _mm_unpacklo_epi8(v, zero);
                    v1 = _mm_unpackhi_epi8(v, zero);
                }
                acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(v0, wp));
                acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(v1, wp));
            }
            const __m128i B = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(acc0, rnd), 14),
                                              _mm_srai_epi32(_mm_add_epi32(acc1, rnd), 14));
            if constexpr (Mode == 1) {
                const __m128i O = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d + 8 * b)), zero);
                const __m128i r = _mm_adds_epi16(O, SharpenDelta(O, B, T, KS, KH));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 8 * b), _mm_packus_epi16(r, r));
            } else {
                const __m128i O = Load(d + 16 * b);
                Store(d + 16 * b, _mm_adds_epi16(O, SharpenDelta(O, B, T, KS, KH)));
            }
        }
    }
}

// Float sums in tap order, as the reference adds them; no fused multiply-add.
template <bool Is16>
void LinearVFilter(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                   uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    const __m128i T = _mm_set1_epi16(int16_t(K.Threshold)), zero = _mm_setzero_si128();
    const __m128i KS = _mm_set1_epi16(K.Shadow), KH = _mm_set1_epi16(K.Highlight);
    const __m128 top = _mm_set1_ps(8192.0f), nil = _mm_setzero_ps();
    for (uint32_t s0 = 0; s0 < Blocks; s0 += 32) {
        const uint32_t s1 = std::min(Blocks, s0 + 32);
        for (uint32_t y = 0; y < Rows; ++y) {
            const float* w = reinterpret_cast<const float*>(Info[2 * y + 1]);
            const uint32_t n = *reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(w) - 4);
            const uint8_t* t0 = Tmp + Info[2 * y];
            uint8_t* d = Dest + uint64_t(y) * DestBpl;
            for (uint32_t b = s0; b < s1; ++b) {
                __m128 acc0 = nil, acc1 = nil;
                const uint8_t* t = t0 + uint64_t(b) * 32;
                for (uint32_t k = 0; k < n; ++k, t += TmpBpl) {
                    const __m128 wk = _mm_set1_ps(w[k]);
                    acc0 = _mm_add_ps(acc0, _mm_mul_ps(wk, _mm_load_ps(reinterpret_cast<const float*>(t))));
                    acc1 = _mm_add_ps(acc1, _mm_mul_ps(wk, _mm_load_ps(reinterpret_cast<const float*>(t + 16))));
                }
                // max with the NaN first gives 0, as the reference does.
                acc0 = _mm_min_ps(_mm_max_ps(acc0, nil), top);
                acc1 = _mm_min_ps(_mm_max_ps(acc1, nil), top);
                alignas(16) int32_t lin[8];
                _mm_store_si128(reinterpret_cast<__m128i*>(lin), _mm_cvtps_epi32(acc0));
                _mm_store_si128(reinterpret_cast<__m128i*>(lin + 4), _mm_cvtps_epi32(acc1));
                alignas(16) int16_t blur[8];
                for (int i = 0; i < 8; ++i)
                    blur[i] = int16_t(Is16 ? LinearToSRGB12[lin[i]] : LinearToSRGB8[lin[i]]);
                const __m128i B = Load(blur);
                if constexpr (Is16) {
                    const __m128i O = Load(d + 16 * b);
                    Store(d + 16 * b, _mm_adds_epi16(O, SharpenDelta(O, B, T, KS, KH)));
                } else {
                    const __m128i O =
                        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d + 8 * b)), zero);
                    const __m128i r = _mm_adds_epi16(O, SharpenDelta(O, B, T, KS, KH));
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 8 * b), _mm_packus_epi16(r, r));
                }
            }
        }
    }
}

} // namespace

void LinearUSMVFilter8SSE2(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                           uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    LinearVFilter<false>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}
void LinearUSMVFilter16SSE2(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                            uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    LinearVFilter<true>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}

void USMHFilter16SSE2(uint8_t* Tmp, const uint8_t* Src, TWeightInfo Info, uint8_t* Work, uint32_t Pairs, uint32_t Width,
                      uint32_t Count, uint32_t TmpBpl, uint32_t SrcBpl)
{
    HFilter<true, 1>(Tmp, Src, Info, Work, Pairs, Width, Count, TmpBpl, SrcBpl);
}

void USMVFilter8SSE2(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                     uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    VFilter<1>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}
void USMVFilter16SSE2(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                      uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    VFilter<2>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}
