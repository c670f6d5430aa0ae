// The add-blank effect: enlarges the canvas around the picture by margins in
// pixels, in percent or up to an aspect ratio, fills them with a fixed colour
// or a corner pixel's, draws up to three nested frames and an optional
// blurred drop shadow under the framed picture.
//
// Sizes are expressions in W and H (the picture's width and height). Two sets
// of four: the first for landscape pictures, the second for portrait ones;
// ExpType says which set a square picture takes.
#pragma once
#include "effects/Effect.h"

#include <array>
#include <cstdint>
#include <string>

class TMemIniFile;

enum : int32_t { btAspect = 0, btPixels = 1, btPercent = 2 };

struct TAddBlankParam {
    int32_t BlankType = 0; // 0 aspect ratio, 1 margins in pixels, 2 margins in percent
    int32_t ExpType = 0;   // squares take set 1 (0), set 2 (1); 2: set 1 for all
    int32_t ColorType = 0; // 0..3 top-left, top-right, bottom-left, bottom-right pixel; else Color
    // [0..3] first set, [4..7] second. Aspect: ratio width, ratio height,
    // horizontal and vertical position (percent of the free space, "-1" = 50);
    // margins: left, top, right, bottom.
    std::array<std::string, 8> Value;
    int32_t Color = 0; // margin colour, red low; bits 24-31 the alpha of 4-channel pictures
    bool UseFrame1 = false, UseFrame2 = false, UseFrame3 = false; // 1 outermost
    int32_t Frame1Color = 0, Frame2Color = 0, Frame3Color = 0;
    int32_t Frame1Width = 0, Frame2Width = 0, Frame3Width = 0; // pixels; below 0 counts as 0
    bool UseDropShadow = false;
    int32_t ShadowColor = 0;
    int32_t ShadowOpacity = 0; // percent
    double ShadowRadius = 0;   // pixels
    int32_t ShadowStr = 0;     // 4 keeps the blurred level
    int32_t ShadowOffsetX = 0, ShadowOffsetY = 0;
};

// The canvas size for a picture of S (in: picture, out: canvas). Raises the
// evaluation error when a value does not evaluate for this size.
void CalcBlankCanvasSize(TSize& S, const TAddBlankParam& Param);

// Replaces Img by the enlarged picture (its old block freed); unchanged when
// the canvas has the picture's size. Blur is needed only for the drop shadow.
// Raises the evaluation error or EOutOfMemory with Img unchanged.
void ApplyAddBlank(TImgInfo& Img, const TAddBlankParam& Param, TGaussianBlur* Blur);

// Fills the rectangle Left..Right x Top..Bottom (inclusive, rows from the top,
// inside the image) with Color's low byte (1 channel), low three bytes (3:
// blue, green, red in memory order) or all four (4). Empty rectangles and
// other channel counts change nothing.
void FillRectColor(TImgInfo& Img, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, uint32_t Color);

class TAddBlankFilter : public TEffect {
public:
    TAddBlankFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;

    TAddBlankParam FAddBlankParam;
    bool FPreview = true; // the dialog's Preview box
};
