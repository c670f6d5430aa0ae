// Plain reference kernels of the blur and the unsharp mask, one sample at a
// time. The SSE2 kernels must give the same bytes.
#include "core/UnsharpKernels.h"

#include "core/Filter.h"

#include <algorithm>
#include <cmath>

#include <cstring>

using namespace usmpx;

namespace {

template <typename T> inline int16_t SampleAt(const uint8_t* Row, uint32_t I)
{
    return int16_t(reinterpret_cast<const T*>(Row)[I]);
}

// Gathers one block of 4 rows: per pixel pair and channel, rows 0..3 of
// (p, p + 1) as 16-bit words; pixels at or past Width gather as 0.
template <typename T, uint32_t C>
void Gather(const uint8_t* Src, uint32_t SrcBpl, uint32_t Width, uint32_t Pairs, int16_t* Work)
{
    for (uint32_t q = 0; q < Pairs; ++q)
        for (uint32_t c = 0; c < C; ++c)
            for (uint32_t r = 0; r < 4; ++r)
                for (uint32_t k = 0; k < 2; ++k) {
                    const uint32_t p = 2 * q + k;
                    *Work++ = p < Width ? SampleAt<T>(Src + uint64_t(r) * SrcBpl, p * C + c) : 0;
                }
}

template <typename T, uint32_t C>
void HFilter(uint8_t* Tmp, const uint8_t* Src, TWeightInfo Info, uint8_t* Work, uint32_t Pairs, uint32_t Width,
             uint32_t Count, uint32_t TmpBpl, uint32_t SrcBpl)
{
    int16_t* work = reinterpret_cast<int16_t*>(Work);
    for (uint32_t blk = 0; blk < Count; ++blk) {
        Gather<T, C>(Src, SrcBpl, Width, Pairs, work);
        for (uint32_t x = 0; x < Width; ++x) {
            const int16_t* w = reinterpret_cast<const int16_t*>(Info[2 * x + 1]);
            const int16_t* g = reinterpret_cast<const int16_t*>(Work + Info[2 * x]);
            const uint32_t n = WeightCount(w);
            for (uint32_t c = 0; c < C; ++c)
                for (uint32_t r = 0; r < 4; ++r) {
                    int32_t sum = 0;
                    for (uint32_t k = 0; k < n; ++k) {
                        const int16_t* s = g + k * 8 * C + c * 8 + r * 2;
                        sum += int32_t(w[2 * k]) * s[0] + int32_t(w[2 * k + 1]) * s[1];
                    }
                    const int16_t v = Sat16(Round14(sum));
                    // Rows 0, 1 into the first double row, rows 2, 3 into the second.
                    uint8_t* pair = Tmp + uint64_t(r / 2) * 2 * TmpBpl;
                    const uint32_t j = 2 * (x * C + c) + (r & 1);
                    if constexpr (sizeof(T) == 1)
                        pair[j] = SatU8(v);
                    else
                        reinterpret_cast<int16_t*>(pair)[j] = v;
                }
        }
        Src += uint64_t(4) * SrcBpl;
        Tmp += uint64_t(4) * TmpBpl;
    }
}

// Mode 1: sharpen 8-bit samples; 2: sharpen 16-bit samples.
template <int Mode>
void VFilter(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows, uint32_t DestBpl,
             uint32_t TmpBpl, const TUSMCoeffs& K)
{
    const uint64_t pairStep = uint64_t(2) * TmpBpl;
    for (uint32_t y = 0; y < Rows; ++y) {
        const int16_t* w = reinterpret_cast<const int16_t*>(Info[2 * y + 1]);
        const uint8_t* t0 = Tmp + Info[2 * y];
        const uint32_t n = WeightCount(w);
        uint8_t* d = Dest + uint64_t(y) * DestBpl;
        for (uint32_t j = 0; j < Blocks * 8; ++j) {
            int32_t sum = 0;
            for (uint32_t k = 0; k < n; ++k) {
                const uint8_t* pair = t0 + k * pairStep;
                const int16_t up = Mode == 2 ? SampleAt<int16_t>(pair, 2 * j) : SampleAt<uint8_t>(pair, 2 * j);
                const int16_t lo = Mode == 2 ? SampleAt<int16_t>(pair, 2 * j + 1) : SampleAt<uint8_t>(pair, 2 * j + 1);
                sum += int32_t(w[2 * k]) * up + int32_t(w[2 * k + 1]) * lo;
            }
            const int16_t b = Sat16(Round14(sum));
            if constexpr (Mode == 1) {
                d[j] = SatU8(Sharpen(d[j], b, K));
            } else {
                int16_t o;
                std::memcpy(&o, d + 2 * j, 2);
                const int16_t v = Sat16(Sharpen(o, b, K));
                std::memcpy(d + 2 * j, &v, 2);
            }
        }
    }
}

template <bool Is16>
void LinearVFilter(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                   uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    for (uint32_t s0 = 0; s0 < Blocks; s0 += 32) {
        const uint32_t s1 = std::min(Blocks, s0 + 32);
        for (uint32_t y = 0; y < Rows; ++y) {
            const float* w = reinterpret_cast<const float*>(Info[2 * y + 1]);
            const uint32_t n = *reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(w) - 4);
            const uint8_t* t0 = Tmp + Info[2 * y];
            uint8_t* d = Dest + uint64_t(y) * DestBpl;
            for (uint32_t j = s0 * 8; j < s1 * 8; ++j) {
                float sum = 0;
                for (uint32_t k = 0; k < n; ++k)
                    sum = sum + w[k] * reinterpret_cast<const float*>(t0 + uint64_t(k) * TmpBpl)[j];
                const float c = sum > 0 ? std::min(sum, 8192.0f) : 0.0f; // a NaN counts as 0
                const int32_t lin = int32_t(std::nearbyint(c));
                if constexpr (Is16) {
                    int16_t o;
                    std::memcpy(&o, d + 2 * j, 2);
                    const int16_t v = Sat16(Sharpen(o, int16_t(LinearToSRGB12[lin]), K));
                    std::memcpy(d + 2 * j, &v, 2);
                } else {
                    d[j] = SatU8(Sharpen(d[j], int16_t(LinearToSRGB8[lin]), K));
                }
            }
        }
    }
}

} // namespace

void LinearUSMVFilter8Ref(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                          uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    LinearVFilter<false>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}
void LinearUSMVFilter16Ref(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                           uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    LinearVFilter<true>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}

void USMHFilter16Ref(uint8_t* Tmp, const uint8_t* Src, TWeightInfo Info, uint8_t* Work, uint32_t Pairs, uint32_t Width,
                     uint32_t Count, uint32_t TmpBpl, uint32_t SrcBpl)
{
    HFilter<int16_t, 1>(Tmp, Src, Info, Work, Pairs, Width, Count, TmpBpl, SrcBpl);
}

void USMVFilter8Ref(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                    uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    VFilter<1>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}
void USMVFilter16Ref(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                     uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K)
{
    VFilter<2>(Dest, Tmp, Info, Blocks, Rows, DestBpl, TmpBpl, K);
}
