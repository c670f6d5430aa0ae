#include "effects/ColorAdjust.h"

#include "core/ColorCorrectionFunc.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"
#include "effects/IniFloat.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

constexpr char kSection[] = "ColorCorrection";

struct TTables {
    alignas(64) int16_t YCbCr8[YCbCrLUT8Size];
    alignas(64) int16_t RGB[RGBLUTSize];
    alignas(64) int16_t YCbCr12[YCbCrLUT12Size];
};

// The process-wide tables and the values they hold (see the header for who
// writes them and when).
struct TSharedTables {
    TTables Tables;
    TColorAdjustParam For;
    bool Built = false;
    std::mutex Lock;
};

TSharedTables& Shared()
{
    static TSharedTables S;
    return S;
}

void Build(const TColorAdjustParam& P, TTables& T)
{
    BuildYCbCrLUT8(P.LumaMin, P.LumaMax, P.Chroma, P.YGamma, T.YCbCr8);
    BuildRGBLUT(P.Hue, P.Contrast, T.RGB, P.RGBGamma);
    BuildYCbCrLUT12(P.LumaMin, P.LumaMax, P.Chroma, P.YGamma, T.YCbCr12);
}

// Both stages on a picture; IsYCbCr says it holds 8-bit Y, Cb, Cr.
void Apply(TImgInfo& Img, bool& IsYCbCr, const TColorAdjustParam& P, const TTables& T)
{
    if (!Img.Mem || Img.Width == 0 || Img.Height == 0)
        return;
    if (P.UsesYCbCrStage()) {
        if (IsYCbCr) {
            ApplyYCbCrLUT8(Img, T.YCbCr8);
        } else {
            switch (Img.Channels) {
            case 1:
                ApplyYCbCrLUT8(Img, T.YCbCr8);
                break;
            case 3:
                RGB3ToYCbCr16(Img);
                ApplyYCbCrLUT16(Img, T.YCbCr12);
                YCbCr16ToRGB3(Img);
                break;
            case 4:
                RGB4ToYCbCr16(Img);
                ApplyYCbCrLUT16(Img, T.YCbCr12);
                YCbCr16ToRGB4(Img);
                break;
            default:
                break; // gray+alpha has no luma/chroma form
            }
        }
    }
    if (P.UsesRGBStage()) {
        YCbCrToBGRInPlace(Img, IsYCbCr);
        ApplyRGBLUT(Img, T.RGB);
    }
}

} // namespace

TColorAdjust::TColorAdjust() : TEffect(LoadResText(SColorAdjust), 'H', kSection, EFFECT_COLORADJUST)
{
}

TColorAdjustParam TColorAdjust::Param() const
{
    return {FLumaMin, FLumaMax, FChroma, FHue, FContrast, FRGBGamma, FYGamma};
}

void TColorAdjust::BuildTables() const
{
    const TColorAdjustParam P = Param();
    std::lock_guard<std::mutex> lock(Shared().Lock);
    Build(P, Shared().Tables);
    Shared().For = P;
    Shared().Built = true;
}

void TColorAdjust::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    const TColorAdjustParam P = Param();
    {
        // The first picture of a run builds them; the others find them built.
        std::lock_guard<std::mutex> lock(Shared().Lock);
        const TColorAdjustParam& B = Shared().For;
        if (!Shared().Built || B.LumaMin != P.LumaMin || B.LumaMax != P.LumaMax || B.Chroma != P.Chroma ||
            B.Hue != P.Hue || B.Contrast != P.Contrast || B.RGBGamma != P.RGBGamma || B.YGamma != P.YGamma) {
            Build(P, Shared().Tables);
            Shared().For = P;
            Shared().Built = true;
        }
    }
    Apply(Img, Params.IsYCbCr, P, Shared().Tables);
}

void TColorAdjust::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    FLumaMin = Ini.ReadInteger(kSection, "LumaMin", 0);
    FLumaMax = Ini.ReadInteger(kSection, "LumaMax", 0);
    FChroma = Ini.ReadInteger(kSection, "Chroma", 0);
    FHue = Ini.ReadInteger(kSection, "Hue", 0);
    FContrast = Ini.ReadInteger(kSection, "Contrast", 0);
    FRGBGamma = std::max(ReadIniFloat(Ini, kSection, "RGBGamma", 1.0), 0.2);
    FYGamma = std::max(ReadIniFloat(Ini, kSection, "YGamma", 1.0), 0.2);
    FPreview = Ini.ReadBool(kSection, "Preview", true);
    FHistogram = Ini.ReadBool(kSection, "Histogram", true);
}

void TColorAdjust::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteInteger(kSection, "LumaMin", FLumaMin);
    Ini.WriteInteger(kSection, "LumaMax", FLumaMax);
    Ini.WriteInteger(kSection, "Chroma", FChroma);
    Ini.WriteInteger(kSection, "Hue", FHue);
    Ini.WriteInteger(kSection, "Contrast", FContrast);
    WriteIniFloat(Ini, kSection, "RGBGamma", FRGBGamma);
    WriteIniFloat(Ini, kSection, "YGamma", FYGamma);
    Ini.WriteBool(kSection, "Preview", FPreview);
    Ini.WriteBool(kSection, "Histogram", FHistogram);
}

void ApplyColorAdjustPreview(TImgInfo& Img, const TColorAdjustParam& P)
{
    if (!P.UsesYCbCrStage() && !P.UsesRGBStage())
        return;
    auto Tables = std::make_unique<TTables>();
    Build(P, *Tables);
    bool IsYCbCr = false;
    Apply(Img, IsYCbCr, P, *Tables);
}
