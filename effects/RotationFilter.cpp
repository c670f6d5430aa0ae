#include "effects/RotationFilter.h"

#include "core/IniFile.h"
#include "core/ResourceText.h"
#include "core/Rotate.h"

TRotationFilter::TRotationFilter() : TEffect(LoadResText(SRotation), 'O', "RotationFilter", EFFECT_ROTATION)
{
}

bool TRotationFilter::Excluded(int64_t Width, int64_t Height) const
{
    return (FType == ROTATE_LANDSCAPE && Width <= Height) || (FType == ROTATE_PORTRAIT && Height <= Width);
}

void TRotationFilter::DoEffect(TImgInfo& Img, TEffectParams&)
{
    if (Excluded(Img.Width, Img.Height))
        return;
    if (Img.Channels != 1 && Img.Channels != 3 && Img.Channels != 4)
        return;
    switch (FValue) {
    case ROTATE_90:
        RotateImage90(Img, true);
        break;
    case ROTATE_180:
        RotateImage180(Img);
        break;
    case ROTATE_270:
        RotateImage90(Img, false);
        break;
    case ROTATE_MIRROR:
        MirrorImage(Img);
        break;
    case ROTATE_FLIP:
        FlipImage(Img);
        break;
    default:
        break;
    }
}

bool TRotationFilter::IsChange(const TImageInfo& Info, const TRunSettings&)
{
    if (Excluded(Info.Width, Info.Height))
        return false;
    return FUse;
}

void TRotationFilter::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    FType = Ini.ReadInteger(FSectionName, "Type", 0);
    FValue = Ini.ReadInteger(FSectionName, "Value", 0);
}

void TRotationFilter::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteInteger(FSectionName, "Type", FType);
    Ini.WriteInteger(FSectionName, "Value", FValue);
}
