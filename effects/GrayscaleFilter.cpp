#include "effects/GrayscaleFilter.h"

#include "core/Grayscale.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"

#include <algorithm>

TGrayscaleFilter::TGrayscaleFilter() : TEffect(LoadResText(SGrayscale), 'G', "GrayscaleFilter", EFFECT_GRAYSCALE)
{
}

void TGrayscaleFilter::SetGrayWeights() const
{
    switch (FType) {
    case GRAY_BT601:
        GrayWeights[0] = 0.299f;
        GrayWeights[1] = 0.587f;
        GrayWeights[2] = 0.114f;
        GrayWeights[3] = 0.0f;
        break;
    case GRAY_BT709:
        GrayWeights[0] = 0.2125f;
        GrayWeights[1] = 0.7154f;
        GrayWeights[2] = 0.0721f;
        GrayWeights[3] = 0.0f;
        break;
    default: {
        float W[3] = {float(FRed) / 10000.0f, float(FGreen) / 10000.0f, float(FBlue) / 10000.0f};
        const double Sum = double(W[0]) + double(W[1]) + double(W[2]);
        // Weights that already sum to 1 are used exactly as typed; all-zero
        // weights stay zero (every picture becomes black) rather than NaN.
        if (Sum != 0.0 && Sum != 1.0)
            for (float& V : W)
                V = float(double(V) / Sum);
        std::copy(W, W + 3, GrayWeights);
        break;
    }
    }
}

void TGrayscaleFilter::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    if (Img.Channels != 3 && Img.Channels != 4)
        return;
    // Gray is a weighted sum of red, green and blue: pixels still in the
    // luma/chroma working form must be turned back first, or the weights would
    // apply to Y, Cb and Cr.
    YCbCrToBGRInPlace(Img, Params.IsYCbCr);
    if (Img.Channels == 3)
        RGBToGraySSE(Img, GrayWeights);
    else
        Params.ToGrayAlpha = true;
}

void TGrayscaleFilter::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    // The dialog only ever stores 0..10000; anything else was typed into the
    // file and would give negative or runaway weights.
    auto Weight = [&](const char* Key) { return std::clamp(Ini.ReadInteger(FSectionName, Key, 0), 0, MaxGrayWeight); };
    FRed = Weight("Red");
    FGreen = Weight("Green");
    FBlue = Weight("Blue");
    FType = Ini.ReadInteger(FSectionName, "Type", 0);
    SetGrayWeights();
}

void TGrayscaleFilter::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteInteger(FSectionName, "Red", FRed);
    Ini.WriteInteger(FSectionName, "Green", FGreen);
    Ini.WriteInteger(FSectionName, "Blue", FBlue);
    Ini.WriteInteger(FSectionName, "Type", FType);
}
