// Pass kernels of the Gaussian blur and the unsharp mask (integer forms).
//
// Weights are 14-bit fixed point in 16-bit pairs (w0, w1) that weigh two
// neighbouring source units at once; a weight list is a 32-bit pair count
// followed by the weights, and the list's address is that of its first weight.
// Sums are 32-bit and round as (sum + 8192) >> 14 (arithmetic shift).
//
// Temporary image between the passes: rows 2m and 2m + 1 share one double row
// of 2 x TmpBpl bytes in which, for every sample j of a row, the value of row
// 2m is followed by that of row 2m + 1 (bytes, or 16-bit words in 16-bit mode).
//
// Every kernel exists as a plain reference (*Ref) and an SSE2 kernel (*SSE2)
// giving the same bytes.
#pragma once
#include <cstdint>

// One pass's weight lists: entry 2i is the byte offset of position i's first
// source unit (for the horizontal pass: in the gathered work memory; for the
// vertical pass: from the temporary's first double row), entry 2i + 1 the
// address of the position's weight list.
using TWeightInfo = const uintptr_t*;

// Pair count of a weight list.
inline uint32_t WeightCount(const int16_t* List)
{
    return *reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(List) - 4);
}

// Amounts and threshold of one sharpening call, taken once before the passes
// start. Coefficients are -(amount x 4096) div 100, saturated to 16 bits.
struct TUSMCoeffs {
    int16_t Shadow = 0;     // for samples darker than their blur (d >= 0)
    int16_t Highlight = 0;  // for samples brighter than their blur (d < 0)
    uint16_t Threshold = 0; // in the samples' own units (x 16 already applied in 16-bit mode)
};

// The 8-bit horizontal passes and the blur's vertical pass are the shared
// integer resampling kernels (FilterKernels.h), which use the same weight
// lists, work memory and temporary layout. These are the rest.

// Horizontal pass of one-channel 16-bit samples (the luma plane), Count
// blocks of 4 rows. Src: the block's first source row; Tmp: the block's first
// double row. Each block is gathered into Work (16-bit words, 16 bytes per
// pixel pair: rows 0..3 of p, p + 1) before its output is written. Width
// output positions per row; the gather covers Pairs pixel pairs. Sums are
// saturated to signed 16 bits.
using TUSMHFilterProc = void (*)(uint8_t* Tmp, const uint8_t* Src, TWeightInfo Info, uint8_t* Work, uint32_t Pairs,
                                 uint32_t Width, uint32_t Count, uint32_t TmpBpl, uint32_t SrcBpl);
void USMHFilter16Ref(uint8_t*, const uint8_t*, TWeightInfo, uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
void USMHFilter16SSE2(uint8_t*, const uint8_t*, TWeightInfo, uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t,
                      uint32_t);

// Unsharp combine over Blocks column blocks of 8 samples and Rows output
// rows: the blur B of each sample from the temporary, then the sample (read
// from Dest, the image itself) pushed away from B with the amounts of K.
// Dest: the share's first sample in the image's first row; Tmp: the same
// column in the temporary's first double row. 8-bit results are saturated to
// 0..255; 16-bit results to the signed 16-bit range only.
using TUSMVFilterProc = void (*)(uint8_t* Dest, const uint8_t* Tmp, TWeightInfo Info, uint32_t Blocks, uint32_t Rows,
                                 uint32_t DestBpl, uint32_t TmpBpl, const TUSMCoeffs& K);
void USMVFilter8Ref(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t, const TUSMCoeffs&);
void USMVFilter8SSE2(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t, const TUSMCoeffs&);
void USMVFilter16Ref(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t, const TUSMCoeffs&);
void USMVFilter16SSE2(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t, const TUSMCoeffs&);
// Linear-light unsharp combine: the temporary holds plain rows of floats
// (linear light, 8192 = full) TmpBpl apart, and the lists are float taps, one
// temporary row per tap. The sum is clamped to 0..8192, rounded half to even
// and turned back into a sample through the linear-to-sRGB table of the
// image's scale; the sharpening step is that of the integer combine. Column
// blocks are taken in strips of 32 (1 KB of each temporary row).
void LinearUSMVFilter8Ref(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t,
                          const TUSMCoeffs&);
void LinearUSMVFilter8SSE2(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t,
                           const TUSMCoeffs&);
void LinearUSMVFilter16Ref(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t,
                           const TUSMCoeffs&);
void LinearUSMVFilter16SSE2(uint8_t*, const uint8_t*, TWeightInfo, uint32_t, uint32_t, uint32_t, uint32_t,
                            const TUSMCoeffs&);

namespace usmpx {

inline int16_t Sat16(int32_t V)
{
    return int16_t(V < -32768 ? -32768 : V > 32767 ? 32767 : V);
}
inline uint8_t SatU8(int32_t V)
{
    return uint8_t(V < 0 ? 0 : V > 255 ? 255 : V);
}
inline int32_t Round14(int32_t Sum)
{
    return (Sum + 8192) >> 14;
}

// The sharpening step for one sample: O the sample before, B its blur.
// Returns O + c as a 32-bit value; the caller saturates it to its form.
inline int32_t Sharpen(int16_t O, int16_t B, const TUSMCoeffs& K)
{
    const int16_t d = Sat16(int32_t(B) - O);
    const int16_t s = d < 0 ? -1 : 0;
    const uint16_t a = uint16_t(d ^ s);
    // r = a - max(T - a, 0), floored at 0: differences below the threshold
    // fade out instead of stopping dead.
    const uint16_t t = K.Threshold > a ? uint16_t(K.Threshold - a) : 0;
    const uint16_t r = a > t ? uint16_t(a - t) : 0;
    const int16_t dd = int16_t(int16_t(r) ^ s);
    const int16_t k = s ? K.Highlight : K.Shadow;
    const int16_t c = Sat16((int32_t(dd) * k) >> 12);
    return int32_t(O) + c;
}

} // namespace usmpx
