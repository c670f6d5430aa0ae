// Luma/chroma conversions and the colour-correction lookup tables.
//
// Two luma/chroma forms exist beside BGR(A):
//  - 8-bit YCbCr: Y, Cb, Cr (then alpha) in the places of B, G, R (then A);
//    Y 0..255, Cb and Cr 0..255 centred on 128 (JPEG data left unconverted).
//  - 16-bit YCbCr: 16-bit words per pixel, stride from CalcBpl16: Y on the
//    12-bit scale (8-bit value x 16, 0..4080), Cb and Cr signed and centred on
//    0 (-2040..2040), then (4 channels) alpha 0..255 not rescaled.
// All conversions use the full-range JFIF matrix in 16-bit fixed point.
//
// Every kernel exists as a plain reference and as an SSE2 kernel giving the
// same bytes; the functions below go through one table of the kernels in
// use, which InitColorProcs fills once at start-up. The kernels are
// re-entrant.
#pragma once
#include "core/ImgInfo.h"

#include <cstdint>

using TColorConvProc = void (*)(TImgInfo& Info);
using TApplyLUTProc = void (*)(TImgInfo& Info, const int16_t* Table);

// 8-bit YCbCr to BGR (3 channels) / BGRA (4 channels, alpha kept), in place.
inline void YCbCrToRGB3(TImgInfo& Info);
inline void YCbCrToRGB4(TImgInfo& Info);
// BGR(A) to the 16-bit form and back. These replace the pixel block and the
// stride of Info (Width, Height, Channels stay); pointers into the old block
// are invalid afterwards. When the new block cannot be had they raise
// EOutOfMemory and leave Info as it was. The caller picks 3 or 4 by Channels.
inline void RGB3ToYCbCr16(TImgInfo& Info);
inline void YCbCr16ToRGB3(TImgInfo& Info);
inline void RGB4ToYCbCr16(TImgInfo& Info);
inline void YCbCr16ToRGB4(TImgInfo& Info);

// Table appliers, in place; tables are signed 16-bit words (layouts below).
// ApplyRGBLUT: 1 channel through entries 768..1023, 3/4 channels byte k through
// 256k..256k+255 (alpha kept); results saturated to 0..255.
inline void ApplyRGBLUT(TImgInfo& Info, const int16_t* Table);
// ApplyYCbCrLUT8: 1 channel through the luma part, 3/4 channels (8-bit YCbCr)
// Y through 0..255 and Cb, Cr through 256..511 (alpha kept); saturated to 0..255.
inline void ApplyYCbCrLUT8(TImgInfo& Info, const int16_t* Table);
// ApplyYCbCrLUT16: 16-bit form (1 channel: a luma plane). Luma is looked up at
// Y clamped to 0..4080, chroma c at 6136 + c with c clamped to -2040..2040;
// words are stored unsaturated, alpha kept.
inline void ApplyYCbCrLUT16(TImgInfo& Info, const int16_t* Table);

// The kernels in use.
struct TColorProcs {
    TColorConvProc YCbCrToRGB3, YCbCrToRGB4, RGB3ToYCbCr16, YCbCr16ToRGB3, RGB4ToYCbCr16, YCbCr16ToRGB4;
    TApplyLUTProc ApplyRGBLUT, ApplyYCbCrLUT8, ApplyYCbCrLUT16;
};
extern TColorProcs ColorProcs;

// Fills the table with the SSE2 kernels (UseSSE2) or the plain ones. Call
// once at start-up, before any image is processed.
void InitColorProcs(bool UseSSE2);

inline void YCbCrToRGB3(TImgInfo& Info)
{
    ColorProcs.YCbCrToRGB3(Info);
}
inline void YCbCrToRGB4(TImgInfo& Info)
{
    ColorProcs.YCbCrToRGB4(Info);
}
inline void RGB3ToYCbCr16(TImgInfo& Info)
{
    ColorProcs.RGB3ToYCbCr16(Info);
}
inline void YCbCr16ToRGB3(TImgInfo& Info)
{
    ColorProcs.YCbCr16ToRGB3(Info);
}
inline void RGB4ToYCbCr16(TImgInfo& Info)
{
    ColorProcs.RGB4ToYCbCr16(Info);
}
inline void YCbCr16ToRGB4(TImgInfo& Info)
{
    ColorProcs.YCbCr16ToRGB4(Info);
}
inline void ApplyRGBLUT(TImgInfo& Info, const int16_t* Table)
{
    ColorProcs.ApplyRGBLUT(Info, Table);
}
inline void ApplyYCbCrLUT8(TImgInfo& Info, const int16_t* Table)
{
    ColorProcs.ApplyYCbCrLUT8(Info, Table);
}
inline void ApplyYCbCrLUT16(TImgInfo& Info, const int16_t* Table)
{
    ColorProcs.ApplyYCbCrLUT16(Info, Table);
}

// Table sizes in 16-bit words.
constexpr int YCbCrLUT8Size = 512;   // 0..255 luma, 256..511 chroma (centred on 128)
constexpr int YCbCrLUT12Size = 8192; // 0..4080 luma, 4096 + (c + 2040) signed chroma c
constexpr int RGBLUTSize = 1024;     // blue, green, red, then a copy of green for gray

// Luma black/white points, chroma gain and luma gamma. LumaMin > 0 lifts the
// output black, < 0 clips the input black; LumaMax > 0 clips the input white,
// < 0 lowers the output white (8-bit units). Chroma 0 keeps chroma, -255
// removes it, > 0 multiplies it by (Chroma + 128) / 128. Gamma below 0.01 (or
// not a number) counts as 0.01.
void BuildYCbCrLUT8(int32_t LumaMin, int32_t LumaMax, int32_t Chroma, double Gamma, int16_t* Table);
// The same on the 12-bit scale (offsets x 16, 4080 for 255), chroma signed.
void BuildYCbCrLUT12(int32_t LumaMin, int32_t LumaMax, int32_t Chroma, double Gamma, int16_t* Table);
// Hue > 0 shifts towards blue, < 0 towards red; Contrast steepens (> 0) or
// flattens (< 0) around 127.5 and is clamped to -255..255; Gamma as above.
// Hue 0, Contrast 0, Gamma 1 give the identity.
void BuildRGBLUT(int32_t Hue, int32_t Contrast, int16_t* Table, double Gamma);
