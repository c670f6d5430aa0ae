// The colour kernels behind the procedure variables of ColorCorrectionFunc.h,
// one set per family. The per-pixel arithmetic lives here so that the plain
// kernels and the tails of the SSE2 kernels compute it the same way.
#pragma once
#include "core/ImgInfo.h"

#include <algorithm>
#include <cstdint>

namespace colorpx {

inline int16_t Sat16(int32_t V)
{
    return int16_t(std::clamp(V, -32768, 32767));
}
inline uint8_t SatU8(int32_t V)
{
    return uint8_t(std::clamp(V, 0, 255));
}
// High half of a signed 16 x 16-bit product: floor(A x C / 65536).
inline int16_t MulHi(int16_t A, int16_t C)
{
    return int16_t((int32_t(A) * C) >> 16);
}
// Saturating 16-bit add and subtract: the 16-bit form may carry luma far
// outside 0..4080 after sharpening, and it must saturate, not wrap.
inline int16_t AddS(int16_t A, int16_t B)
{
    return Sat16(int32_t(A) + B);
}
inline int16_t SubS(int16_t A, int16_t B)
{
    return Sat16(int32_t(A) - B);
}

// 8-bit B, G, R to 16-bit Y (0..4080), Cb, Cr (-2040..2040). Y rounds halves
// up, Cb and Cr round halves down (arithmetic shifts).
inline void BGRToYCC16(uint8_t B8, uint8_t G8, uint8_t R8, int16_t* Out)
{
    const int32_t r = R8 * 16, g = G8 * 16, b = B8 * 16;
    Out[0] = int16_t((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
    Out[1] = int16_t((-11059 * r - 21709 * g + 32768 * b + 32767) >> 16);
    Out[2] = int16_t((32768 * r - 27439 * g - 5329 * b + 32767) >> 16);
}

// 16-bit Y, Cb, Cr to 8-bit B, G, R (saturated).
inline void YCC16ToBGR(int16_t Y, int16_t Cb, int16_t Cr, uint8_t* Out)
{
    const int16_t b = AddS(AddS(AddS(Y, AddS(Cb, Cb)), MulHi(Cb, -14942)), 8);
    const int16_t r = AddS(AddS(AddS(Y, Cr), MulHi(Cr, 26345)), 8);
    const int16_t gc = Sat16((-22554 * int32_t(Cb) + 18734 * int32_t(Cr)) >> 16);
    const int16_t g = AddS(SubS(AddS(Y, gc), Cr), 8);
    Out[0] = SatU8(b >> 4);
    Out[1] = SatU8(g >> 4);
    Out[2] = SatU8(r >> 4);
}

// 8-bit Y, Cb, Cr (chroma centred on 128) to B, G, R, in place. Chroma is
// doubled before the high-half product and halved after with + 1, which keeps
// one more bit of the small 8-bit chroma values.
inline void YCC8ToBGR(uint8_t* P)
{
    const int16_t y = P[0], x = int16_t(P[1] - 128), z = int16_t(P[2] - 128);
    const int32_t b = y + 2 * x + ((MulHi(int16_t(2 * x), -14942) + 1) >> 1);
    const int32_t r = y + z + ((MulHi(int16_t(2 * z), 26345) + 1) >> 1);
    const int32_t g = y + ((-22554 * int32_t(x) + 18734 * int32_t(z) + 32768) >> 16) - z;
    P[0] = SatU8(b);
    P[1] = SatU8(g);
    P[2] = SatU8(r);
}

inline uint8_t LookupU8(const int16_t* Table, uint32_t Index)
{
    return SatU8(Table[Index]);
}
inline uint32_t LumaIndex12(int16_t Y)
{
    return uint32_t(std::clamp<int32_t>(Y, 0, 4080));
}
inline uint32_t ChromaIndex12(int16_t C)
{
    return uint32_t(6136 + std::clamp<int32_t>(C, -2040, 2040));
}

} // namespace colorpx

// Row converters used by the block-replacing conversions: Width pixels from
// Src to Dst (rows of the old and the new block).
using TColorRowProc = void (*)(const uint8_t* Src, uint8_t* Dst, uint32_t Width);

// Converts every row of Info into a new block with the 16-bit stride
// (To16) or the 8-bit stride, then replaces Info's block. Raises EOutOfMemory
// with Info unchanged when the block cannot be had.
void ConvertIntoNewBlock(TImgInfo& Info, bool To16, TColorRowProc Row);

// Plain reference kernels.
void YCbCrToRGB3Ref(TImgInfo& Info);
void YCbCrToRGB4Ref(TImgInfo& Info);
void RGB3ToYCbCr16Ref(TImgInfo& Info);
void YCbCr16ToRGB3Ref(TImgInfo& Info);
void RGB4ToYCbCr16Ref(TImgInfo& Info);
void YCbCr16ToRGB4Ref(TImgInfo& Info);
void ApplyRGBLUTRef(TImgInfo& Info, const int16_t* Table);
void ApplyYCbCrLUT8Ref(TImgInfo& Info, const int16_t* Table);
void ApplyYCbCrLUT16Ref(TImgInfo& Info, const int16_t* Table);

// SSE2 kernels: aligned 16-byte loads and stores of whole pixel groups, the
// rest of a row through the per-pixel arithmetic above.
void YCbCrToRGB3SSE2(TImgInfo& Info);
void YCbCrToRGB4SSE2(TImgInfo& Info);
void RGB3ToYCbCr16SSE2(TImgInfo& Info);
void YCbCr16ToRGB3SSE2(TImgInfo& Info);
void RGB4ToYCbCr16SSE2(TImgInfo& Info);
void YCbCr16ToRGB4SSE2(TImgInfo& Info);
void ApplyRGBLUTSSE2(TImgInfo& Info, const int16_t* Table);
void ApplyYCbCrLUT8SSE2(TImgInfo& Info, const int16_t* Table);
void ApplyYCbCrLUT16SSE2(TImgInfo& Info, const int16_t* Table);
