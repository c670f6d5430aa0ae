// Turns each picture upright by the EXIF orientation of its source.
#pragma once
#include "effects/Effect.h"

// Applies the operations that make a picture stored with EXIF Orientation
// (1..8) upright: 2 mirror, 3 half turn, 4 flip, 5 transpose, 6 quarter turn
// clockwise, 7 transverse, 8 quarter turn counter-clockwise. Any other value,
// and any channel count but 1, 3 or 4, leaves the picture as it is. Raises
// EOutOfMemory (picture unchanged) when a quarter turn cannot get its block.
void MakeUpright(TImgInfo& Img, int32_t Orientation);

class TExifRotationFilter : public TEffect {
public:
    // In use when created.
    TExifRotationFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    // Also keeps the owner list's FExifRotationUse in step: the EXIF writer
    // reads it to write an upright orientation into the output.
    void SetUse(bool Value) override;
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    // Only a source whose orientation is 2..8 is changed, so an upright JPEG
    // can still be copied losslessly.
    bool IsChange(const TImageInfo& Info, const TRunSettings& S) override;
    void ReadIniFile(TMemIniFile& Ini) override;
};
