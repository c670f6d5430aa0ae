#include "core/AlphaBlend.h"

#include "core/Grayscale.h"

TFlattenAlphaProc FlattenAlphaProc = FlattenAlpha;

void InitFlattenAlphaProc(uint32_t Features)
{
    // The eight-pixel kernel is written in SSE2 (every x86-64 processor has it).
    FlattenAlphaProc = (Features & CPU_SSE2) ? FlattenAlphaSIMD : FlattenAlpha;
}

namespace {
const bool FlattenChosen = (InitFlattenAlphaProc(GetCPUFeatures()), true);

bool Fits(const TImgInfo& Dst, const TImgInfo& Src, uint32_t DstC, uint32_t SrcC)
{
    return Dst.Mem && Src.Mem && Dst.Channels == DstC && Src.Channels == SrcC && Dst.Width == Src.Width &&
        Dst.Height == Src.Height;
}
} // namespace

void FlattenAlpha(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background)
{
    if (!Fits(Dst, Src, 3, 4))
        return;
    const uint8_t bg[3] = {uint8_t(Background.Blue), uint8_t(Background.Green), uint8_t(Background.Red)};
    for (uint32_t r = 0; r < Src.Height; ++r) {
        const uint8_t* s = MemRow(Src, r);
        uint8_t* d = MemRow(Dst, r);
        for (uint32_t x = 0; x < Src.Width; ++x, s += 4, d += 3) {
            const uint32_t a = s[3];
            for (int c = 0; c < 3; ++c)
                d[c] = (a == 255) ? s[c] : (a == 0) ? bg[c] : FlattenSample(s[c], a, bg[c]);
        }
    }
}

void FlattenGrayAlpha(TImgInfo& Dst, const TImgInfo& Src, const TBGColor& Background)
{
    if (!Fits(Dst, Src, 1, 2))
        return;
    TBGColor c = Background;
    GrayOfColor(c);
    const uint8_t bg = uint8_t(c.Gray);
    for (uint32_t r = 0; r < Src.Height; ++r) {
        const uint8_t* s = MemRow(Src, r);
        uint8_t* d = MemRow(Dst, r);
        for (uint32_t x = 0; x < Src.Width; ++x, s += 2)
            d[x] = (s[1] == 255) ? s[0] : (s[1] == 0) ? bg : FlattenSample(s[0], s[1], bg);
    }
}
