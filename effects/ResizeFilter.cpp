#include "effects/ResizeFilter.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/PictureMemory.h"

#include <cmath>

#include "core/Resize.h"
#include "core/ResourceText.h"

namespace {

void ResizeWith(TResizer* R, TImgInfo& Img, uint32_t W, uint32_t H)
{
    if (W == Img.Width && H == Img.Height)
        return;
    if (!R)
        throw EVestroError("No resampler");
    R->ResizeImage(Img, W, H, Img.Channels == 4);
}

} // namespace

namespace {

// Trunc(x + 0.5) for the non-negative sides the rules produce, saturated so
// that a huge or undefined value never wraps. NaN and negatives give 0 (the
// caller raises every side to at least 1).
int64_t RoundSide(double X)
{
    const double R = X + 0.5;
    if (!(R >= 1.0))
        return 0;
    if (R >= double(MaxResizeSide) + 1.0)
        return MaxResizeSide + 1;
    return int64_t(R);
}

} // namespace

void CalcNewSize(TSize& S, int32_t Rule, double V1, double V2, int32_t DownScale, bool NoExpand)
{
    const int64_t W = S.cx, H = S.cy;
    if (W < 1 || H < 1)
        return;
    const double w = double(W), h = double(H), D = double(DownScale);
    const bool Portrait = H > W;
    int64_t NW = 0, NH = 0;

    auto FixedWidth = [&] {
        NW = RoundSide(V1);
        NH = RoundSide(h * double(NW) / w);
    };
    auto FixedHeight = [&] {
        NH = RoundSide(V1);
        NW = RoundSide(w * double(NH) / h);
    };
    auto PercentPair = [&](double PW, double PH) {
        NW = RoundSide(w * PW * D / 100.0);
        NH = RoundSide(h * PH * D / 100.0);
    };
    // Inscribed (Cover false) and circumscribed (Cover true): t is the height
    // at width V1.
    auto FitBox = [&](bool Cover) {
        const int64_t T = RoundSide(h * V1 / w);
        const double TV = double(T);
        if (Cover ? TV < V2 : TV > V2) {
            NH = RoundSide(V2);
            NW = RoundSide(w * V2 / h);
        } else {
            NW = RoundSide(V1);
            NH = RoundSide(h * V1 / w);
        }
    };

    switch (Rule) {
    case RULE_PERCENT:
        PercentPair(V1, V1);
        break;
    case RULE_WIDESIDE:
        Portrait ? FixedHeight() : FixedWidth();
        break;
    case RULE_NARROWSIDE:
        Portrait ? FixedWidth() : FixedHeight();
        break;
    case RULE_WIDTH:
        FixedWidth();
        break;
    case RULE_HEIGHT:
        FixedHeight();
        break;
    case RULE_WN_PERCENT:
        Portrait ? PercentPair(V2, V1) : PercentPair(V1, V2);
        break;
    case RULE_WH_PERCENT:
        PercentPair(V1, V2);
        break;
    case RULE_WN_PIXEL:
        NW = RoundSide(Portrait ? V2 : V1);
        NH = RoundSide(Portrait ? V1 : V2);
        break;
    case RULE_WH_PIXEL:
        NW = RoundSide(V1);
        NH = RoundSide(V2);
        break;
    case RULE_INSCRIBED:
        FitBox(false);
        break;
    default:
        FitBox(true);
        break; // 9 (History), 11 and anything else
    }
    if (NW < 1)
        NW = 1;
    if (NH < 1)
        NH = 1;
    if (NoExpand && (NW > W || NH > H))
        return;
    S.cx = NW;
    S.cy = NH;
}

TResizeFilter::TResizeFilter() : TEffect(LoadResText(SResize), 'R', "ResizeFilter", EFFECT_RESIZE)
{
    FUse = true;
}

void TResizeFilter::GetNewSize(TSize& S, int32_t DownScale, bool NoExpand) const
{
    if (!FOwner)
        return;
    CalcNewSize(S, FOwner->FResizeType, FOwner->FResizeValue, FOwner->FResizeValue2, DownScale, NoExpand);
}

bool TResizeFilter::IsChange(const TImageInfo& Info, const TRunSettings& Settings)
{
    if (!FUse)
        return false;
    TSize S{Info.Width, Info.Height};
    GetNewSize(S, 1, Settings.Resize.NoExpand);
    return S.cx != Info.Width || S.cy != Info.Height;
}

void TResizeFilter::ShowConfigDialog()
{
    if (EffectHost)
        EffectHost->ShowResizeSettings();
}

TSize TResizeFilter::ResultSize(uint32_t Width, uint32_t Height, uint32_t Channels, int32_t DownScale,
                                bool NoExpand) const
{
    TSize S{Width, Height};
    GetNewSize(S, DownScale, NoExpand);
    // No image record can hold such a picture: fail the file, never wrap.
    // The file itself is fine; the result is what is too large.
    if (S.cx > MaxResizeSide || S.cy > MaxResizeSide ||
        CalcBpl(uint64_t(S.cx), Channels) * BlockRows(uint64_t(S.cy)) > (uint64_t(1) << 40))
        RaiseResultTooLarge(PictureBytes(uint64_t(S.cx), uint64_t(S.cy), Channels), uint64_t(S.cx), uint64_t(S.cy));
    return S;
}

void TResizeFilter::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    const TSize S = ResultSize(Img.Width, Img.Height, Img.Channels, Params.DownScale, Params.Settings.Resize.NoExpand);
    if (Params.CheckResult)
        Params.CheckResult(S.cx, S.cy, Img.Channels);
    if (Params.Settings.Resize.Degamma)
        YCbCrToBGRInPlace(Img, Params.IsYCbCr);
    ResizeWith(Params.Resizer, Img, uint32_t(S.cx), uint32_t(S.cy));
    Params.DownScale = 1;
}
