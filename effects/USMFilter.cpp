#include "effects/USMFilter.h"

#include "core/ColorCorrectionFunc.h"
#include "core/Errors.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"
#include "core/WeightedMean.h"
#include "effects/IniFloat.h"

#include <algorithm>

namespace {

constexpr char kSection[] = "UnSharpMask";

template <typename T> void CopySample0(const TImgInfo& From, uint32_t FromStep, TImgInfo& To, uint32_t ToStep)
{
    for (uint32_t y = 0; y < To.Height; ++y) {
        const T* s = reinterpret_cast<const T*>(MemRow(From, y));
        T* d = reinterpret_cast<T*>(MemRow(To, y));
        for (uint32_t x = 0; x < To.Width; ++x)
            d[size_t(x) * ToStep] = s[size_t(x) * FromStep];
    }
}

// Sharpens the luma of a 3-channel BGR picture in its 16-bit luma/chroma form.
// Whatever fails on the way, the picture leaves in its 8-bit form when the
// memory for that can be had.
void SharpenLuma16(TImgInfo& Img, TUnsharpMask& F)
{
    RGB3ToYCbCr16(Img);
    TImgInfo plane;
    try {
        ExtractLumaPlane16(Img, plane);
        F.DoUnSharpMask(plane, false, true);
        StoreLumaPlane16(Img, plane);
    } catch (const EVestroError&) {
        FreeImg(plane);
        try {
            YCbCr16ToRGB3(Img);
        } catch (const EOutOfMemory&) {
            // The record still owns its (16-bit) block; the caller fails the file.
        }
        throw;
    }
    YCbCr16ToRGB3(Img);
}

// The Y bytes of a picture in the 8-bit luma/chroma form.
void SharpenLuma8(TImgInfo& Img, TUnsharpMask& F)
{
    TImgInfo plane;
    ExtractLumaPlane8(Img, plane);
    try {
        F.DoUnSharpMask(plane, false, false);
    } catch (const EVestroError&) {
        FreeImg(plane);
        throw;
    }
    StoreLumaPlane8(Img, plane);
}

bool HasPixels(const TImgInfo& Img)
{
    return Img.Mem && Img.Width > 0 && Img.Height > 0;
}

// Copies the first N samples of each pixel of From (FromStep bytes a pixel)
// into To (ToStep bytes a pixel); both of To's size.
void CopySamples(const TImgInfo& From, uint32_t FromStep, TImgInfo& To, uint32_t ToStep, uint32_t N)
{
    for (uint32_t y = 0; y < To.Height; ++y) {
        const uint8_t* s = MemRow(From, y);
        uint8_t* d = MemRow(To, y);
        for (uint32_t x = 0; x < To.Width; ++x, s += FromStep, d += ToStep)
            for (uint32_t c = 0; c < N; ++c)
                d[c] = s[c];
    }
}

// The whole picture sharpened. The filter knows 1 and 3 channels only: of a
// picture with alpha (gray+alpha, or colour+alpha) the colour is sharpened
// and the alpha kept, so that a transparent picture is sharpened too.
void SharpenWhole(TImgInfo& Img, TUnsharpMask& F)
{
    const uint32_t C = Img.Channels;
    if (C != 2 && C != 4) {
        F.DoUnSharpMask(Img, false, false);
        return;
    }
    TImgInfo colour;
    AllocImg(colour, Img.Width, Img.Height, C - 1);
    CopySamples(Img, C, colour, C - 1, C - 1);
    try {
        F.DoUnSharpMask(colour, false, false);
    } catch (...) {
        FreeImg(colour);
        throw;
    }
    CopySamples(colour, C - 1, Img, C, C - 1);
    FreeImg(colour);
}

} // namespace

void ExtractLumaPlane8(const TImgInfo& Src, TImgInfo& Plane)
{
    Plane = TImgInfo();
    AllocImg(Plane, Src.Width, Src.Height, 1);
    CopySample0<uint8_t>(Src, 3, Plane, 1);
}

void ExtractLumaPlane16(const TImgInfo& Src, TImgInfo& Plane)
{
    Plane = TImgInfo();
    AllocImg16(Plane, Src.Width, Src.Height, 1);
    CopySample0<uint16_t>(Src, 3, Plane, 1);
}

void StoreLumaPlane8(TImgInfo& Dest, TImgInfo& Plane)
{
    CopySample0<uint8_t>(Plane, 1, Dest, 3);
    FreeImg(Plane);
}

void StoreLumaPlane16(TImgInfo& Dest, TImgInfo& Plane)
{
    CopySample0<uint16_t>(Plane, 1, Dest, 3);
    FreeImg(Plane);
}

TUSMFilter::TUSMFilter() : TEffect(LoadResText(SUnsharpMask), 'U', kSection, EFFECT_USM)
{
}

void TUSMFilter::ApplyParam(TUnsharpMask& Filter) const
{
    // A hand-edited negative amount would otherwise become the strongest
    // sharpening there is, and a negative threshold would switch it off.
    const auto nonNeg = [](int32_t v) { return uint32_t(std::max(v, 0)); };
    Filter.SetUnSharpMaskParam(nonNeg(FHighlight), nonNeg(FShadow), nonNeg(FThreshold), FRadius, FDegamma);
}

void TUSMFilter::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    if (!HasPixels(Img))
        return;
    if (!Params.UnSharpMask)
        throw EVestroError("No unsharp mask");
    TUnsharpMask& f = *Params.UnSharpMask;
    if (FLumaOnly && Img.Channels == 3) {
        if (Params.IsYCbCr)
            SharpenLuma8(Img, f);
        else
            SharpenLuma16(Img, f);
        return;
    }
    // Linear light needs RGB; without it a Y, Cb, Cr picture is sharpened as it is.
    if (FDegamma && Img.Channels == 3)
        YCbCrToBGRInPlace(Img, Params.IsYCbCr);
    SharpenWhole(Img, f);
}

void TUSMFilter::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    FHighlight = Ini.ReadInteger(kSection, "StrengthW", 100);
    FShadow = Ini.ReadInteger(kSection, "StrengthB", 100);
    FRadius = ReadIniFloat(Ini, kSection, "Radius", 1.0);
    FThreshold = Ini.ReadInteger(kSection, "Threshold", 0);
    FDegamma = Ini.ReadBool(kSection, "Degamma", false);
    FLumaOnly = Ini.ReadBool(kSection, "LumaOnly", true);
    FPreview = Ini.ReadBool(kSection, "Preview", true);
    FHistogram = Ini.ReadBool(kSection, "Histogram", true);
    if (PreviewParams.UnSharpMask)
        ApplyParam(*PreviewParams.UnSharpMask);
}

void TUSMFilter::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteInteger(kSection, "StrengthW", FHighlight);
    Ini.WriteInteger(kSection, "StrengthB", FShadow);
    WriteIniFloat(Ini, kSection, "Radius", FRadius);
    Ini.WriteInteger(kSection, "Threshold", FThreshold);
    Ini.WriteBool(kSection, "Degamma", FDegamma);
    Ini.WriteBool(kSection, "LumaOnly", FLumaOnly);
    Ini.WriteBool(kSection, "Preview", FPreview);
    Ini.WriteBool(kSection, "Histogram", FHistogram);
}

void ApplyUSMPreview(TImgInfo& Img, TUnsharpMask& Filter, bool LumaOnly)
{
    if (!HasPixels(Img))
        return;
    if (LumaOnly && Img.Channels == 3)
        SharpenLuma16(Img, Filter);
    else
        SharpenWhole(Img, Filter);
}
