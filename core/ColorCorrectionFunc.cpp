#include "core/ColorCorrectionFunc.h"

#include "core/ColorKernels.h"
#include "platform/PageMemory.h"

#include <algorithm>
#include <cmath>

// The plain kernels until start-up picks a family, so that an early caller
// never jumps through a null pointer.
TColorProcs ColorProcs = {YCbCrToRGB3Ref,   YCbCrToRGB4Ref, RGB3ToYCbCr16Ref,  YCbCr16ToRGB3Ref,  RGB4ToYCbCr16Ref,
                          YCbCr16ToRGB4Ref, ApplyRGBLUTRef, ApplyYCbCrLUT8Ref, ApplyYCbCrLUT16Ref};

void InitColorProcs(bool UseSSE2)
{
    // Without SSE2 the plain kernels stand in for the narrow vector family:
    // they compute the same bytes.
    ColorProcs.YCbCrToRGB3 = UseSSE2 ? YCbCrToRGB3SSE2 : YCbCrToRGB3Ref;
    ColorProcs.YCbCrToRGB4 = UseSSE2 ? YCbCrToRGB4SSE2 : YCbCrToRGB4Ref;
    ColorProcs.RGB3ToYCbCr16 = UseSSE2 ? RGB3ToYCbCr16SSE2 : RGB3ToYCbCr16Ref;
    ColorProcs.YCbCr16ToRGB3 = UseSSE2 ? YCbCr16ToRGB3SSE2 : YCbCr16ToRGB3Ref;
    ColorProcs.RGB4ToYCbCr16 = UseSSE2 ? RGB4ToYCbCr16SSE2 : RGB4ToYCbCr16Ref;
    ColorProcs.YCbCr16ToRGB4 = UseSSE2 ? YCbCr16ToRGB4SSE2 : YCbCr16ToRGB4Ref;
    ColorProcs.ApplyRGBLUT = UseSSE2 ? ApplyRGBLUTSSE2 : ApplyRGBLUTRef;
    ColorProcs.ApplyYCbCrLUT8 = UseSSE2 ? ApplyYCbCrLUT8SSE2 : ApplyYCbCrLUT8Ref;
    ColorProcs.ApplyYCbCrLUT16 = UseSSE2 ? ApplyYCbCrLUT16SSE2 : ApplyYCbCrLUT16Ref;
}

void ConvertIntoNewBlock(TImgInfo& Info, bool To16, TColorRowProc Row)
{
    // The new block is taken before anything is touched: when it cannot be
    // had, AllocImg raises EOutOfMemory and the picture stays as it was.
    TImgInfo out;
    if (To16)
        AllocImg16(out, Info.Width, Info.Height, Info.Channels);
    else
        AllocImg(out, Info.Width, Info.Height, Info.Channels);
    for (uint32_t y = 0; y < Info.Height; ++y)
        Row(MemRow(Info, y), MemRow(out, y), Info.Width);
    platform::PageFree(Info.Mem);
    Info.Mem = out.Mem;
    Info.Bpl = out.Bpl;
}

// ---- Table builders (extended precision, truncation toward zero) ----

namespace {

using real = long double;

// A gamma of 0 would divide by zero and a tiny one overflows the power.
real SafeInvGamma(double Gamma)
{
    if (!(Gamma >= 0.01))
        Gamma = 0.01;
    return 1.0L / real(Gamma);
}

// Top x (I / Top)^Q. With Q exactly 1 the sample itself: I / Top x Top is
// not always I again in binary, and the identity settings must give the
// identity on the 12-bit scale too.
real GammaCurve(int32_t I, real Top, real Q)
{
    return Q == 1 ? real(I) : Top * std::pow(real(I) / Top, Q);
}

int16_t TruncWord(real V)
{
    return int16_t(std::clamp<real>(std::trunc(V), -32768.0L, 32767.0L));
}

// Luma part shared by the 8-bit and the 12-bit table: Scale is 255 or 4080,
// Unit 1 or 16 (the offsets are given in 8-bit units).
void BuildLuma(int32_t LumaMin, int32_t LumaMax, double Gamma, int32_t Scale, int32_t Unit, int16_t* Table)
{
    const real lmin = real(LumaMin) * Unit, lmax = real(LumaMax) * Unit, top = Scale;
    real inLo, outLo, inHi, outHi;
    if (LumaMin >= 0) {
        inLo = 0;
        outLo = lmin;
    } else {
        inLo = -lmin;
        outLo = 0;
    }
    if (LumaMax >= 0) {
        inHi = top - lmax;
        outHi = top;
    } else {
        inHi = top;
        outHi = top + lmax;
    }
    inHi = std::max(inHi, inLo);
    outHi = std::max(outHi, outLo);
    real din = inHi - inLo;
    if (din == 0)
        din = 1;
    const real dout = outHi - outLo;
    const real q = SafeInvGamma(Gamma);
    for (int32_t i = 0; i <= Scale; ++i) {
        const real v = GammaCurve(i, top, q);
        const real y = std::clamp<real>((v - inLo) * dout / din + outLo, 0, top);
        Table[i] = TruncWord(y);
    }
}

} // namespace

void BuildYCbCrLUT8(int32_t LumaMin, int32_t LumaMax, int32_t Chroma, double Gamma, int16_t* Table)
{
    BuildLuma(LumaMin, LumaMax, Gamma, 255, 1, Table);
    for (int32_t i = 0; i < 256; ++i) {
        // The product is an exact integer; only the division rounds.
        const real v =
            Chroma >= 0 ? real(int64_t(i - 128) * (Chroma + 128)) / 128 : real(int64_t(i - 128) * (Chroma + 255)) / 255;
        Table[256 + i] = TruncWord(v + 128.5L);
    }
}

void BuildYCbCrLUT12(int32_t LumaMin, int32_t LumaMax, int32_t Chroma, double Gamma, int16_t* Table)
{
    std::fill(Table, Table + YCbCrLUT12Size, int16_t(0));
    BuildLuma(LumaMin, LumaMax, Gamma, 4080, 16, Table);
    for (int32_t i = 0; i <= 4080; ++i) {
        const real v = Chroma >= 0 ? real(int64_t(i - 2040) * (Chroma + 128)) / 128
                                   : real(int64_t(i - 2040) * (Chroma + 255)) / 255;
        Table[4096 + i] = TruncWord(v);
    }
}

void BuildRGBLUT(int32_t Hue, int32_t Contrast, int16_t* Table, double Gamma)
{
    // 256 or more would give a zero or negative divisor (an inverted slope).
    Contrast = std::clamp(Contrast, -255, 255);
    real num, den;
    if (Contrast >= 0) {
        num = 256;
        den = 256 - Contrast;
    } else {
        num = Contrast + 255;
        den = 255;
    }
    const real q = SafeInvGamma(Gamma);
    auto entry = [](real v) {
        if (v > 255)
            v = 255;
        if (v < 0)
            v = 0;
        return TruncWord(v);
    };
    for (int32_t i = 0; i < 256; ++i) {
        const double g = double(GammaCurve(i, 255, q));
        Table[i] = entry(((real(Hue) + 512) * g / 512 - 127.5L) * num / den + 128);
        Table[256 + i] = entry((g - 127.5L) * num / den + 128);
        Table[512 + i] = entry(((1024 - real(Hue)) * g / 1024 - 127.5L) * num / den + 128);
        Table[768 + i] = Table[256 + i];
    }
}
