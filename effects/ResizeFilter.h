// The resize step and the size rule of the main window.
#pragma once
#include "effects/Effect.h"

// Size rules (the list's FResizeType); any value outside 0..11 acts as 11.
enum : int32_t {
    RULE_PERCENT = 0,
    RULE_WIDESIDE = 1,
    RULE_NARROWSIDE = 2,
    RULE_WIDTH = 3,
    RULE_HEIGHT = 4,
    RULE_WN_PERCENT = 5,
    RULE_WH_PERCENT = 6,
    RULE_WN_PIXEL = 7,
    RULE_WH_PIXEL = 8,
    RULE_HISTORY = 9,
    RULE_INSCRIBED = 10,
    RULE_CIRCUMSCRIBED = 11,
};

// The largest side the resize step will produce; beyond it the file fails with
// the out-of-memory error rather than wrapping in the image record's 32 bits.
inline constexpr int64_t MaxResizeSide = 0x3FFFFFFF;

// The target size of a picture of S.cx x S.cy under Rule with the values V1,
// V2. Percent rules multiply by DownScale (the picture was decoded at
// 1/DownScale of the source). Sides are rounded half up and raised to at least
// 1; absurd values saturate instead of wrapping. With NoExpand a result larger
// than S on either side leaves S unchanged. A picture with a side below 1 is
// left unchanged.
void CalcNewSize(TSize& S, int32_t Rule, double V1, double V2, int32_t DownScale, bool NoExpand);

class TResizeFilter : public TEffect {
public:
    TResizeFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    // The rule and its values come from the owner list; without an owner the
    // size is left unchanged.
    void GetNewSize(TSize& S, int32_t DownScale, bool NoExpand) const;
    // The size the effect gives a Width x Height picture of Channels decoded
    // at 1/DownScale. Raises EOutOfMemory for a result no record can hold.
    TSize ResultSize(uint32_t Width, uint32_t Height, uint32_t Channels, int32_t DownScale, bool NoExpand) const;
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    bool IsChange(const TImageInfo& Info, const TRunSettings& S) override;
    void ShowConfigDialog() override;
};
