// The add-text effect: a text with per-file tokens drawn at an anchor, with an
// optional background box, blurred drop shadow and blurred glow; and the mask
// blends the add-blank effect and the dialogs' previews share.
//
// Masks are 1-channel TImgInfo records (rows bottom-up, the image stride
// rule): 0 no coverage, 255 full. Positions count from the top-left pixel of
// an image or mask whatever the storage order. Colours are red in the low
// byte, green next, blue in bits 16-23. Opacities are percentages.
#pragma once
#include "effects/Effect.h"
#include "effects/FontCache.h"

#include <cstdint>
#include <string>

class TMemIniFile;

// The effect's section of the settings file.
inline constexpr char kAddTextSection[] = "AddText";

// Anchor 0..8 counted column by column: column = anchor div 3 (left, centre,
// right), row = anchor mod 3 (top, middle, bottom). Gives the top-left corner
// of a Layer-sized block on a Base-sized image, plus the offset (positive to
// the right and downwards). Anchors outside 0..8 are taken as 8. 64 bits:
// offsets from the settings file cannot wrap.
int64_t AnchorPosition(int32_t Anchor, bool Vertical, int64_t Base, int64_t Layer, int64_t Offset);

// The part of a W x H layer placed at (X, Y) that lies on an IW x IH image:
// from layer column SX, row SY, landing at (DX, DY), CW x CH pixels. All
// zero when nothing overlaps.
struct TLayerClip {
    uint32_t SX = 0, SY = 0, DX = 0, DY = 0, CW = 0, CH = 0;
};
TLayerClip ClipLayer(int64_t IW, int64_t IH, int64_t W, int64_t H, int64_t X, int64_t Y);

struct TAddTextParam {
    int32_t Position = 0;    // anchor 0..8
    int32_t XOffset = 0;     // pixels, positive to the right
    int32_t YOffset = 0;     // pixels, positive downwards
    int32_t FontOpacity = 0; // 0 draws no letters
    int32_t BackColor = 0;
    int32_t BackOpacity = 0; // 0: no box
    int32_t MarginX = 0;     // pixels left and right of the text block
    int32_t MarginY = 0;     // pixels above and below
    double LinePitch = 0;    // extra pixels between lines
    bool Shadow = false;
    int32_t ShadowColor = 0;
    int32_t ShadowOpacity = 0;
    double ShadowRadius = 0; // blur radius in pixels
    int32_t ShadowStr = 0;   // 4 keeps the blurred level, each unit adds a quarter
    int32_t ShadowOffsetX = 0;
    int32_t ShadowOffsetY = 0;
    bool Glow = false;
    int32_t GlowColor = 0;
    int32_t GlowOpacity = 0;
    double GlowRadius = 0;
    int32_t GlowStr = 0;
};

class TAddTextEffect : public TEffect {
public:
    TAddTextEffect();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;

    std::string FText; // lines separated by CR LF; tokens expanded per file
    TFont FFont;
    TAddTextParam FParam;
};

// Draws Text (tokens already expanded) onto Img: box, shadow, glow and letters
// in that order. Resizer shrinks the 4x text rendering; Blur blurs shadow and
// glow (needed only when one is on). TextRect receives the part of Img the
// text block (margins included) covers, clipped to Img; (0, 0, 0, 0) for an
// empty text. Raises what the font cache and the blur raise.
void RenderTextOverlay(TImgInfo& Img, const TAddTextParam& Param, const TFont& Font, TResizer* Resizer,
                       TGaussianBlur* Blur, const std::string& Text, TFontCache& Cache, TRect& TextRect);

// Blends the solid Color with Opacity (percent, above 100 counts as 100)
// through Mask placed with its top-left pixel at (X, Y), clipped to Img.
// 1 and 3 channels mix; 2 and 4 channels compose "over" their alpha, touching
// only pixels with coverage. Other channel counts are left alone.
void BlendColorThroughMask(TImgInfo& Img, int32_t Color, uint16_t Opacity, const TImgInfo& Mask, int32_t X, int32_t Y);

// Scales each pixel of Dest covered by Src placed at (X, Y) by (255 - s) / 255,
// rounded: cuts Src's shape out of Dest.
void MaskMultiplyInverse(TImgInfo& Dest, const TImgInfo& Src, int32_t X, int32_t Y);

// Decimal numbers in the settings file: written with a point in the shortest
// form that reads back exactly; read with a point or a comma, Default when the
// value is missing or not a finite number.
double ReadIniDecimal(const TMemIniFile& Ini, const std::string& Section, const char* Key, double Default);
void WriteIniDecimal(TMemIniFile& Ini, const std::string& Section, const char* Key, double Value);

// A blurred layer drawn under the text or the picture (drop shadow, glow) as
// a section stores it: keys Name, Name "Color", "Opacity", "Radius" and
// "Str", and for a layer with an offset Name "OffsetX" and "OffsetY".
struct TBlurLayerFields {
    bool& Use;
    int32_t& Color;
    int32_t& Opacity;
    double& Radius;
    int32_t& Str;
    int32_t* OffsetX = nullptr; // null: the layer has no offset
    int32_t* OffsetY = nullptr;
};
struct TBlurLayerDefaults {
    bool Use;
    int32_t Color, Opacity;
    double Radius;
    int32_t Str, Offset;
};
void ReadBlurLayer(const TMemIniFile& Ini, const std::string& Section, const std::string& Name,
                   const TBlurLayerFields& F, const TBlurLayerDefaults& D);
void WriteBlurLayer(TMemIniFile& Ini, const std::string& Section, const std::string& Name, const TBlurLayerFields& F);
