// The colour correction effect: a luma/chroma stage (luma black and white
// points, chroma gain, luma gamma) and then an RGB stage (hue, contrast, RGB
// gamma), both table-driven through the colour kernels. The effect and its
// dialog are "colour adjust" (TColorAdjust, TColorAdjustForm); the module
// and the settings section keep the older name ColorCorrection.
//
// The three tables are process-wide. They are built when a picture first
// needs them (a start that never adjusts colour never pays for them), under
// a lock, for the values of the effect, and again only when the values
// change (the dialog closes, the settings are read), never during a run: the
// workers then read them as built.
#pragma once
#include "effects/Effect.h"

#include <cstdint>

// The seven values of the effect.
struct TColorAdjustParam {
    int32_t LumaMin = 0; // 8-bit units; the dialog offers -255..255
    int32_t LumaMax = 0;
    int32_t Chroma = 0;
    int32_t Hue = 0;
    int32_t Contrast = 0;
    double RGBGamma = 1.0; // 0.2..3.0 in the dialog; loading raises lower values to 0.2
    double YGamma = 1.0;

    // The luma/chroma stage changes something.
    bool UsesYCbCrStage() const { return LumaMin != 0 || LumaMax != 0 || Chroma != 0 || YGamma != 1.0; }
    // The RGB stage changes something.
    bool UsesRGBStage() const { return Contrast != 0 || Hue != 0 || RGBGamma != 1.0; }
};

class TColorAdjust : public TEffect {
public:
    // Neutral values.
    TColorAdjust();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Rebuilds the process-wide tables from the values now. Never while a
    // batch runs.
    void BuildTables() const;

    // The values in one record (what the tables and the preview are built from).
    TColorAdjustParam Param() const;

    int32_t FLumaMin = 0;
    int32_t FLumaMax = 0;
    int32_t FChroma = 0;
    int32_t FHue = 0;
    int32_t FContrast = 0;
    double FRGBGamma = 1.0;
    double FYGamma = 1.0;
    bool FPreview = true;
    bool FHistogram = true;
};

// The preview's form of the effect on a BGR(A) or gray picture, with tables
// built for this call (the process-wide ones are left alone).
void ApplyColorAdjustPreview(TImgInfo& Img, const TColorAdjustParam& P);
