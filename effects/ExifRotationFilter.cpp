#include "effects/ExifRotationFilter.h"

#include "core/ResourceText.h"
#include "core/Rotate.h"

void MakeUpright(TImgInfo& Img, int32_t Orientation)
{
    if (Img.Channels != 1 && Img.Channels != 3 && Img.Channels != 4)
        return;
    switch (Orientation) {
    case 2:
        MirrorImage(Img);
        break;
    case 3:
        RotateImage180(Img);
        break;
    case 4:
        FlipImage(Img);
        break;
    case 5: // transpose
        RotateImage90(Img, false);
        FlipImage(Img);
        break;
    case 6:
        RotateImage90(Img, true);
        break;
    case 7: // transverse
        RotateImage90(Img, true);
        FlipImage(Img);
        break;
    case 8:
        RotateImage90(Img, false);
        break;
    default:
        break;
    }
}

TExifRotationFilter::TExifRotationFilter()
    : TEffect(LoadResText(SExifRotation), 'E', "ExifRotationFilter", EFFECT_EXIFROTATION)
{
    FUse = true;
}

void TExifRotationFilter::SetUse(bool Value)
{
    TEffect::SetUse(Value);
    if (FOwner)
        FOwner->FExifRotationUse = Value;
}

void TExifRotationFilter::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    MakeUpright(Img, Params.ExifOrientation);
}

bool TExifRotationFilter::IsChange(const TImageInfo& Info, const TRunSettings&)
{
    return FUse && Info.Orientation() >= 2 && Info.Orientation() <= 8;
}

void TExifRotationFilter::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    if (FOwner)
        FOwner->FExifRotationUse = FUse;
}
