// The rotation effect: turns or flips every picture, or only landscape or
// only portrait ones.
#pragma once
#include "effects/Effect.h"

// Which pictures the rotation effect touches (FType); any other value acts as
// all pictures.
enum : int32_t { ROTATE_ALL = 0, ROTATE_LANDSCAPE = 1, ROTATE_PORTRAIT = 2 };
// The operation (FValue); any other value does nothing.
enum : int32_t {
    ROTATE_90 = 0,
    ROTATE_180 = 1,
    ROTATE_270 = 2,
    ROTATE_MIRROR = 3,
    ROTATE_FLIP = 4,
};

class TRotationFilter : public TEffect {
public:
    TRotationFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    // Skips a picture whose shape FType excludes (a square is neither
    // landscape nor portrait); pictures of 1, 3 or 4 channels only.
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    // False for a file whose probed shape FType excludes; else the use flag.
    bool IsChange(const TImageInfo& Info, const TRunSettings& S) override;
    // [RotationFilter] "Type" and "Value", both defaulting to 0.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;

    int32_t FType = ROTATE_ALL;
    int32_t FValue = ROTATE_90;

private:
    bool Excluded(int64_t Width, int64_t Height) const;
};
