#include "core/Grayscale.h"

#include <cmath>

alignas(16) float GrayWeights[4] = {0.299f, 0.587f, 0.114f, 0.0f};

TGrayProcs GrayProcs = {RGBToGrayRowPlain, RGBAToGrayAlphaRowPlain};

void InitGrayProcs(uint32_t Features)
{
    const bool sse2 = (Features & CPU_SSE2) != 0;
    GrayProcs.RGBToGrayRow = sse2 ? RGBToGrayRowSSE2 : RGBToGrayRowPlain;
    GrayProcs.RGBAToGrayAlphaRow = sse2 ? RGBAToGrayAlphaRowSSE2 : RGBAToGrayAlphaRowPlain;
}

namespace {
const bool GrayProcsChosen = (InitGrayProcs(GetCPUFeatures()), true);
} // namespace

void RGBToGraySSE(TImgInfo& Img, const float* Weights)
{
    if (Img.Channels != 3 || !Img.Mem)
        return;
    TImgInfo gray;
    AllocImg(gray, Img.Width, Img.Height, 1); // throws before Img changes
    const uint32_t groups = (Img.Width + 3) / 4;
    for (uint32_t r = 0; r < Img.Height; ++r)
        GrayProcs.RGBToGrayRow(MemRow(gray, r), MemRow(Img, r), groups, Weights);
    FreeImg(Img);
    Img = gray;
}

void RGBAToGrayAlphaSSE(TImgInfo& Img, const float* Weights)
{
    if (Img.Channels != 4 || !Img.Mem)
        return;
    const uint32_t groups = (Img.Width + 3) / 4;
    for (uint32_t r = 0; r < Img.Height; ++r)
        GrayProcs.RGBAToGrayAlphaRow(MemRow(Img, r), groups, Weights);
    Img.Channels = 2;
}

void ConvertToGrayAlpha(TImgInfo& Img)
{
    RGBAToGrayAlphaSSE(Img, GrayWeights);
}

void GrayOfColor(TBGColor& C)
{
    // The low byte of each word is the sample, as the flattening kernels see it.
    const double v = double(C.Red & 0xFF) * GrayWeights[0] + double(C.Green & 0xFF) * GrayWeights[1] +
        double(C.Blue & 0xFF) * GrayWeights[2] + 0.5;
    C.Gray = (v >= 255.0) ? 255 : (v > 0.0) ? uint16_t(v) : 0;
}

void ExpandGrayToRGB(TImgInfo& Img)
{
    if (Img.Channels != 1 || !Img.Mem)
        return;
    TImgInfo N;
    AllocImg(N, Img.Width, Img.Height, 3);
    for (uint32_t Y = 0; Y < Img.Height; ++Y) {
        const uint8_t* S = MemRow(Img, Y);
        uint8_t* D = MemRow(N, Y);
        for (uint32_t X = 0; X < Img.Width; ++X)
            D[X * 3] = D[X * 3 + 1] = D[X * 3 + 2] = S[X];
    }
    FreeImg(Img);
    Img = N;
}
