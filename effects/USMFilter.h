// The sharpening effect: the unsharp mask of the imaging core applied to the
// whole picture, or to its luma alone (the chroma then passes through
// untouched), with the four plane routines that cut the luma out and put it
// back.
#pragma once
#include "effects/Effect.h"

#include <cstdint>

// Luma planes: one-channel records of the picture's width and height with
// their own block (8-bit: CalcBpl stride; 16-bit: CalcBpl16). Extract fills
// Plane with a new block (whatever it held is not freed) from sample 0 of
// each 3-sample pixel of Src (8-bit Y, Cb, Cr bytes; or the 16-bit form);
// raises EOutOfMemory. Store writes the plane back into sample 0 of each
// pixel of Dest, then frees the plane's block and clears the record.
void ExtractLumaPlane8(const TImgInfo& Src, TImgInfo& Plane);
void ExtractLumaPlane16(const TImgInfo& Src, TImgInfo& Plane);
void StoreLumaPlane8(TImgInfo& Dest, TImgInfo& Plane);
void StoreLumaPlane16(TImgInfo& Dest, TImgInfo& Plane);

class TUSMFilter : public TEffect {
public:
    TUSMFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    // Sharpens with Params.UnSharpMask (raises EVestroError when there is
    // none). Luma only applies to 3-channel pictures; others are sharpened
    // whole: of a picture with alpha (2 or 4 channels) the colour, with the
    // alpha kept as it is.
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    // Values are kept as stored; afterwards the process-wide filter (the one
    // start-up keeps in PreviewParams.UnSharpMask) takes them.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Hands the values to a filter. Amounts and threshold are process-wide,
    // so this sets them for every filter; negative values count as 0.
    void ApplyParam(TUnsharpMask& Filter) const;

    int32_t FHighlight = 100; // amount on the bright side, percent (dialog 0..500)
    int32_t FShadow = 100;    // amount on the dark side, percent
    double FRadius = 1.0;     // pixels (dialog 0.5..5.0)
    int32_t FThreshold = 0;   // 8-bit units (dialog 0..255)
    bool FDegamma = false;    // blur in linear light
    bool FLumaOnly = true;
    bool FPreview = true;
    bool FHistogram = true;
};

// The preview's form of the effect on a BGR(A) or gray picture, with the
// preview worker's own filter.
void ApplyUSMPreview(TImgInfo& Img, TUnsharpMask& Filter, bool LumaOnly);
