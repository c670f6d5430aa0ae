// Flattening of alpha onto a background colour.
//
// Per channel, with alpha a, sample s and background b: a = 255 copies s,
// a = 0 writes b, otherwise t = s x a + b x (255 - a) + 128 and the result is
// (t + (t >> 8)) >> 8, a rounded division by 255. The background is the low
// byte of the record's red, green and blue words.
//
// Dst must have the size of Src and is allocated by the caller; its stride may
// be any (a bitmap block with rows padded to 4 bytes is fine): the kernels write
// exactly Width pixels per row. Nothing is done when the sizes or channel
// counts do not fit.
#pragma once
#include "core/Global.h"
#include "core/ImgInfo.h"

// Src 4 channels (blue, green, red, alpha) into Dst 3 channels: the plain kernel.
void FlattenAlpha(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background);
// The same bytes, eight pixels per step in SSE2.
void FlattenAlphaSIMD(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background);

// Src 2 channels (gray, alpha) into Dst 1 channel. The background gray comes
// from the record's red, green and blue by GrayOfColor; its Gray word is not used.
void FlattenGrayAlpha(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background);

// One pixel channel by the rule above.
inline uint8_t FlattenSample(uint32_t S, uint32_t A, uint32_t B)
{
    const uint32_t t = S * A + B * (255 - A) + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

using TFlattenAlphaProc = void (*)(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background);

// The flattening kernel that readers and the viewer hand-off use: the SIMD one
// when the processor has it, else the plain one. Chosen once at start-up.
extern TFlattenAlphaProc FlattenAlphaProc;
void InitFlattenAlphaProc(uint32_t Features);
