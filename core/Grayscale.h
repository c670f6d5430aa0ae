// Gray levels of pixels and colours, from one process-wide weight vector.
//
// Gray = red x w0 + green x w1 + blue x w2 in single precision (summed in that
// order), limited to 0..255 and rounded to nearest with ties to even. The row
// kernels exist as a plain reference and an SSE2 family that give the same
// bytes; the procedure variables hold the family chosen at start-up.
#pragma once
#include "core/Global.h"
#include "core/ImgInfo.h"

// Red, green and blue weights; the fourth value is unused. Written by the
// grayscale effect on the GUI thread while no batch runs, read everywhere.
// Starts with the BT.601 weights.
alignas(16) extern float GrayWeights[4];

// Replaces a 3-channel picture by a new 1-channel one of the same size (stride
// by the rule of the image record) and frees the old block. Raises EOutOfMemory
// before anything changes when the block cannot be had. Other channel counts
// are left alone.
void RGBToGraySSE(TImgInfo& Img, const float* Weights);

// Turns a 4-channel picture into gray with alpha in place: pixel i of each row
// becomes the pair (gray, alpha) at bytes 2i and 2i + 1; stride and block stay,
// Channels becomes 2. Other channel counts are left alone.
void RGBAToGrayAlphaSSE(TImgInfo& Img, const float* Weights);

// Replaces a 1-channel picture by a 3-channel one with the gray value in all
// three channels; any other picture is left. Raises EOutOfMemory.
void ExpandGrayToRGB(TImgInfo& Img);

// RGBAToGrayAlphaSSE with the process-wide weights.
void ConvertToGrayAlpha(TImgInfo& Img);

// Sets C.Gray from C.Red, C.Green and C.Blue: the weighted sum plus 0.5,
// truncated and limited to 0..255 (double precision).
void GrayOfColor(TBGColor& C);

// Row kernels. Both work on groups of four pixels, Groups = (Width + 3) / 4,
// so they read up to three pixels past the row's end and write their results
// too; the stride rule leaves room for that.
// Dst receives one gray byte per pixel of the 3-channel row Src.
using TRGBToGrayRow = void (*)(uint8_t* Dst, const uint8_t* Src, uint32_t Groups, const float* Weights);
// A row of 4-channel pixels becomes (gray, alpha) pairs in place.
using TRGBAToGrayAlphaRow = void (*)(uint8_t* Row, uint32_t Groups, const float* Weights);

void RGBToGrayRowPlain(uint8_t* Dst, const uint8_t* Src, uint32_t Groups, const float* Weights);
void RGBToGrayRowSSE2(uint8_t* Dst, const uint8_t* Src, uint32_t Groups, const float* Weights);
void RGBAToGrayAlphaRowPlain(uint8_t* Row, uint32_t Groups, const float* Weights);
void RGBAToGrayAlphaRowSSE2(uint8_t* Row, uint32_t Groups, const float* Weights);

// The row kernels in use.
struct TGrayProcs {
    TRGBToGrayRow RGBToGrayRow;
    TRGBAToGrayAlphaRow RGBAToGrayAlphaRow;
};
extern TGrayProcs GrayProcs;

// Chooses the row kernels for a processor feature word (CPU_SSE2 selects the
// SSE2 family, otherwise the plain one). Runs once on its own at start-up.
void InitGrayProcs(uint32_t Features);
