// The grayscale effect. Its settings also define the process-wide gray weight
// vector (GrayWeights) that every gray computation of the program uses,
// whether or not the effect is in use.
#pragma once
#include "effects/Effect.h"

// Which weights (FType); any other value acts as custom.
enum : int32_t { GRAY_BT601 = 0, GRAY_BT709 = 1, GRAY_CUSTOM = 2 };

// The largest custom weight: weights are ten-thousandths, 0..10000.
inline constexpr int32_t MaxGrayWeight = 10000;

class TGrayscaleFilter : public TEffect {
public:
    TGrayscaleFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    // 3 channels become 1-channel gray now; 4 channels ask the chain for
    // gray+alpha after its last effect (the picture keeps its alpha for the
    // effects that follow); other channel counts pass unchanged.
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    // [GrayscaleFilter] "Red", "Green", "Blue", "Type" (all default 0), then
    // SetGrayWeights. Custom weights outside 0..10000 are brought into range.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Sets GrayWeights from the settings: BT.601 (0.299, 0.587, 0.114, 0),
    // BT.709 (0.2125, 0.7154, 0.0721, 0), or the custom weights / 10000
    // divided by their sum when that sum is neither 0 nor 1 (the fourth value
    // is then left as it was). GUI thread only, while no batch runs.
    void SetGrayWeights() const;

    int32_t FRed = 0; // custom weights, ten-thousandths
    int32_t FGreen = 0;
    int32_t FBlue = 0;
    int32_t FType = GRAY_BT601;
};
