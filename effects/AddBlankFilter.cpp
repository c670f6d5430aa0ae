#include "effects/AddBlankFilter.h"

#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/IniFile.h"
#include "core/PictureMemory.h"
#include "core/ResourceText.h"
#include "core/WeightedMean.h"
#include "effects/AddTextEffect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const char Section[] = "AddBlankFilter";

// Sides beyond this cannot be held by an image record.
constexpr int64_t MaxSide = 0x3FFFFFFF;

// Integer part of V + 0.5 for the non-negative values the evaluator gives,
// saturated so that absurd values fail on allocation instead of wrapping.
int64_t Round(double V)
{
    if (!(V >= 0))
        return 0;
    return int64_t(std::min(V + 0.5, double(MaxSide) * 4));
}

int32_t FrameWidth(bool Use, int32_t Width)
{
    return Use ? std::max(Width, 0) : 0;
}

struct TValues {
    double A, B, C, D;
    int Base; // 0 or 4: the set used
};

TValues Evaluate(const TAddBlankParam& P, int64_t W, int64_t H)
{
    TValues V;
    V.Base = (P.ExpType == 2 || W > H || (W == H && P.ExpType == 0)) ? 0 : 4;
    double* Out[4] = {&V.A, &V.B, &V.C, &V.D};
    for (int i = 0; i < 4; ++i)
        *Out[i] = EvaluateExpression(SubstituteWidthHeight(P.Value[size_t(V.Base + i)], W, H));
    return V;
}

int64_t FrameSum(const TAddBlankParam& P)
{
    return int64_t(FrameWidth(P.UseFrame1, P.Frame1Width)) + FrameWidth(P.UseFrame2, P.Frame2Width) +
        FrameWidth(P.UseFrame3, P.Frame3Width);
}

void CanvasSize(TSize& S, const TAddBlankParam& P, const TValues& V)
{
    const int64_t F = FrameSum(P);
    const int64_t W1 = S.cx + 2 * F, H1 = S.cy + 2 * F;
    if (P.BlankType == btAspect) {
        double A = V.A, B = V.B;
        if (!(A > 0) || !(B > 0))
            A = B = 1;
        const int64_t NeedH = Round(double(W1) * B / A), NeedW = Round(double(H1) * A / B);
        if (H1 < NeedH)
            S = {W1, NeedH};
        else
            S = {std::max(W1, NeedW), H1};
    } else if (P.BlankType == btPercent) {
        S.cx = W1 + Round(double(W1) * V.A / 100) + Round(double(W1) * V.C / 100);
        S.cy = H1 + Round(double(H1) * V.B / 100) + Round(double(H1) * V.D / 100);
    } else {
        S.cx = W1 + Round(V.A) + Round(V.C);
        S.cy = H1 + Round(V.B) + Round(V.D);
    }
}

// A colour value of the settings file in pixel byte order with alpha 255.
uint32_t PixelColor(uint32_t Channels, int32_t Color)
{
    if (Channels == 1)
        return uint32_t(Color);
    return SwapRB(uint32_t(Color) & 0xFFFFFF) | 0xFF000000u;
}

void SplitCommas(const std::string& S, std::vector<std::string>& Items)
{
    Items.clear();
    size_t Start = 0;
    for (;;) {
        const size_t P = S.find(',', Start);
        std::string Item = S.substr(Start, P == std::string::npos ? std::string::npos : P - Start);
        Item.erase(0, Item.find_first_not_of(' '));
        Item.erase(Item.find_last_not_of(' ') + 1);
        Items.push_back(Item);
        if (P == std::string::npos)
            break;
        Start = P + 1;
    }
}

// Frame i (0 outermost) of P.
struct TFrameFields {
    bool& Use;
    int32_t& Color;
    int32_t& Width;
};
TFrameFields FrameFields(TAddBlankParam& P, size_t i)
{
    if (i == 0)
        return {P.UseFrame1, P.Frame1Color, P.Frame1Width};
    if (i == 1)
        return {P.UseFrame2, P.Frame2Color, P.Frame2Width};
    return {P.UseFrame3, P.Frame3Color, P.Frame3Width};
}

TBlurLayerFields ShadowFields(TAddBlankParam& P)
{
    return {P.UseDropShadow, P.ShadowColor,    P.ShadowOpacity, P.ShadowRadius,
            P.ShadowStr,     &P.ShadowOffsetX, &P.ShadowOffsetY};
}

} // namespace

void CalcBlankCanvasSize(TSize& S, const TAddBlankParam& Param)
{
    CanvasSize(S, Param, Evaluate(Param, S.cx, S.cy));
}

void FillRectColor(TImgInfo& Img, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, uint32_t Color)
{
    const uint32_t N = Img.Channels;
    if (Right < Left || Bottom < Top || (N != 1 && N != 3 && N != 4))
        return;
    uint8_t Px[4];
    std::memcpy(Px, &Color, 4); // little endian: the low byte first
    for (int32_t y = Top; y <= Bottom; ++y) {
        uint8_t* p = ScanLine(Img, uint32_t(y)) + uint64_t(Left) * N;
        for (int32_t x = Left; x <= Right; ++x, p += N)
            std::memcpy(p, Px, N);
    }
}

void ApplyAddBlank(TImgInfo& Img, const TAddBlankParam& Param, TGaussianBlur* Blur)
{
    const int64_t W = Img.Width, H = Img.Height;
    const TValues V = Evaluate(Param, W, H);
    TSize S{W, H};
    CanvasSize(S, Param, V);
    const int64_t NW = S.cx, NH = S.cy;
    if (NW == W && NH == H)
        return;
    const uint32_t N = Img.Channels;
    if (NW > MaxSide || NH > MaxSide || CalcBpl(uint64_t(NW), N) * BlockRows(uint64_t(NH)) > (uint64_t(1) << 40))
        throw EOutOfMemory();
    const int64_t F = FrameSum(Param);
    const double Radius = std::isfinite(Param.ShadowRadius) ? std::clamp(Param.ShadowRadius, 0.0, 250.0) : 0;
    const int64_t e = int64_t(std::ceil(Radius + 0.5));
    // The canvas (and the shadow's mask beside it) is a result like the
    // resize's: within the picture budget, or refused before anything is
    // allocated, however large the margins a settings file asks for.
    const uint64_t MaskBytes =
        Param.UseDropShadow ? PictureBytes(uint64_t(W + 2 * F + 2 * e), uint64_t(H + 2 * F + 2 * e), 1) : 0;
    CheckResultMemory(ImgBytes(Img) + PictureBytes(uint64_t(NW), uint64_t(NH), N) + MaskBytes, uint32_t(NW),
                      uint32_t(NH));

    int64_t L, T;
    if (Param.BlankType == btAspect) {
        auto Position = [&](int i, double Value) {
            return Param.Value[size_t(V.Base + i)] == "-1" ? 50.0 : std::min(Value, 100.0);
        };
        L = Round(double(NW - W - 2 * F) * Position(2, V.C) / 100);
        T = Round(double(NH - H - 2 * F) * Position(3, V.D) / 100);
    } else if (Param.BlankType == btPercent) {
        L = Round(double(W) * V.A / 100);
        T = Round(double(H) * V.B / 100);
    } else {
        L = Round(V.A);
        T = Round(V.B);
    }
    if (Param.UseDropShadow && !Blur)
        throw EVestroError("No blur filter");

    TImgInfo New;
    AllocImg(New, uint64_t(NW), uint64_t(NH), N);
    try {
        uint32_t Margin = PixelColor(N, Param.Color);
        if (N != 1)
            Margin = SwapRB(uint32_t(Param.Color)); // keeps its own alpha byte
        if (Param.ColorType >= 0 && Param.ColorType <= 3 && W > 0 && H > 0 && N <= 4) {
            const uint32_t X = (Param.ColorType >= 2 ? Param.ColorType - 2 : Param.ColorType) ? uint32_t(W - 1) : 0;
            const uint32_t Y = Param.ColorType >= 2 ? uint32_t(H - 1) : 0;
            Margin = 0;
            std::memcpy(&Margin, ScanLine(Img, Y) + uint64_t(X) * N, N);
        }
        const int64_t R = L + W + 2 * F - 1, B = T + H + 2 * F - 1; // outer frame edge, inclusive
        FillRectColor(New, 0, 0, int32_t(NW - 1), int32_t(T - 1), Margin);
        FillRectColor(New, 0, int32_t(B + 1), int32_t(NW - 1), int32_t(NH - 1), Margin);
        FillRectColor(New, 0, int32_t(T), int32_t(L - 1), int32_t(B), Margin);
        FillRectColor(New, int32_t(R + 1), int32_t(T), int32_t(NW - 1), int32_t(B), Margin);

        if (Param.UseDropShadow) {
            struct TMask {
                TImgInfo M;
                ~TMask() { FreeImg(M); }
            } Mask;
            AllocImg(Mask.M, uint64_t(W + 2 * F + 2 * e), uint64_t(H + 2 * F + 2 * e), 1);
            for (int64_t y = e; y < e + H + 2 * F; ++y)
                std::memset(ScanLine(Mask.M, uint32_t(y)) + e, 255, size_t(W + 2 * F));
            Blur->SetGauusianBlurParam(Param.ShadowRadius);
            Blur->DoGauusianBlur(Mask.M, int32_t(std::clamp<int64_t>(int64_t(Param.ShadowStr) * 64, 0, INT32_MAX)));
            const auto At = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
            BlendColorThroughMask(New, Param.ShadowColor, uint16_t(std::clamp(Param.ShadowOpacity, 0, 100)), Mask.M,
                                  At(L + Param.ShadowOffsetX - e), At(T + Param.ShadowOffsetY - e));
        }

        const bool Use[3] = {Param.UseFrame1, Param.UseFrame2, Param.UseFrame3};
        const int32_t Widths[3] = {Param.Frame1Width, Param.Frame2Width, Param.Frame3Width};
        const int32_t Colors[3] = {Param.Frame1Color, Param.Frame2Color, Param.Frame3Color};
        int64_t o = 0;
        for (int i = 0; i < 3; ++i) {
            const int64_t f = FrameWidth(Use[i], Widths[i]);
            if (f == 0)
                continue;
            const uint32_t C = PixelColor(N, Colors[i]);
            const int32_t l = int32_t(L + o), t = int32_t(T + o), r = int32_t(R - o), b = int32_t(B - o);
            FillRectColor(New, l, t, r, int32_t(t + f - 1), C);
            FillRectColor(New, l, int32_t(b - f + 1), r, b, C);
            FillRectColor(New, l, int32_t(t + f), int32_t(l + f - 1), int32_t(b - f), C);
            FillRectColor(New, int32_t(r - f + 1), int32_t(t + f), r, int32_t(b - f), C);
            o += f;
        }
        CopyImageRect(Img, New, TRect{0, 0, int32_t(W), int32_t(H)}, int32_t(T + F), int32_t(L + F));
    } catch (...) {
        FreeImg(New);
        throw;
    }
    FreeImg(Img);
    Img = New;
}

TAddBlankFilter::TAddBlankFilter() : TEffect(LoadResText(SAddBlank), 'B', Section, EFFECT_ADDBLANK)
{
}

void TAddBlankFilter::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    ApplyAddBlank(Img, FAddBlankParam, Params.GaussianBlur);
}

void TAddBlankFilter::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    const std::string S = Section;
    TAddBlankParam& P = FAddBlankParam;
    const bool HasPreview = Ini.ValueExists(S, "Preview");
    FPreview = Ini.ReadBool(S, "Preview", true);
    const int32_t Type = Ini.ReadInteger(S, "BlankType", 1);
    P.BlankType = Type & 15;
    P.ExpType = (Type >> 4) & 15;
    P.ColorType = Ini.ReadInteger(S, "ColorType", 4);
    P.Color = Ini.ReadInteger(S, "BlankColor", -1);

    std::vector<std::string> Items;
    bool Ok = true;
    if (HasPreview) {
        SplitCommas(Ini.ReadString(S, "Value", "0,0,0,0,0,0,0,0"), Items);
        if (Items.size() == 8)
            std::copy(Items.begin(), Items.end(), P.Value.begin());
        else
            Ok = false;
    } else {
        // Settings from before the portrait set existed: one set for both.
        SplitCommas(Ini.ReadString(S, "Value", "0,0,0,0,1,1,50,50"), Items);
        auto BothSets = [&](size_t From) {
            for (size_t i = 0; i < 4; ++i)
                P.Value[i] = P.Value[i + 4] = Items[From + i];
        };
        if (Items.size() == 6 && P.BlankType == btAspect) {
            P.Value[0] = P.Value[4] = Items[4];
            P.Value[1] = P.Value[5] = Items[5];
            P.Value[2] = P.Value[3] = P.Value[6] = P.Value[7] = "-1";
        } else if (Items.size() == 6) {
            BothSets(0);
        } else if (Items.size() == 8) {
            BothSets(P.BlankType == btAspect ? 4 : 0);
        } else {
            Ok = false;
        }
    }
    for (size_t i = 0; Ok && i < 8; ++i) {
        try {
            EvaluateExpression(SubstituteWidthHeight(P.Value[i], 100, 100));
        } catch (const EVestroError&) {
            Ok = false;
        }
    }
    if (!Ok) {
        P.Value.fill("0");
        P.BlankType = btPixels;
    }

    // A black hairline, a wide white band and a black hairline again.
    static constexpr int32_t DefaultColor[3] = {0, 0xFFFFFF, 0}, DefaultWidth[3] = {1, 6, 1};
    for (size_t i = 0; i < 3; ++i) {
        const TFrameFields F = FrameFields(P, i);
        const std::string N = std::to_string(i + 1);
        F.Use = Ini.ReadBool(S, "UseFrame" + N, false);
        F.Color = Ini.ReadInteger(S, "Frame" + N + "Color", DefaultColor[i]);
        F.Width = Ini.ReadInteger(S, "Frame" + N + "Width", DefaultWidth[i]);
    }
    ReadBlurLayer(Ini, S, "Shadow", ShadowFields(P), {false, 0, 75, 4.0, 4, 4});
}

void TAddBlankFilter::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    const std::string S = Section;
    const TAddBlankParam& P = FAddBlankParam;
    Ini.WriteInteger(S, "BlankType", P.ExpType * 16 + P.BlankType);
    Ini.WriteInteger(S, "ColorType", P.ColorType);
    Ini.WriteInteger(S, "BlankColor", P.Color);
    std::string V = P.Value[0];
    for (size_t i = 1; i < 8; ++i)
        V += "," + P.Value[i];
    Ini.WriteString(S, "Value", V);
    for (size_t i = 0; i < 3; ++i) {
        const TFrameFields F = FrameFields(FAddBlankParam, i);
        const std::string N = std::to_string(i + 1);
        Ini.WriteBool(S, "UseFrame" + N, F.Use);
        Ini.WriteInteger(S, "Frame" + N + "Color", F.Color);
        Ini.WriteInteger(S, "Frame" + N + "Width", F.Width);
    }
    WriteBlurLayer(Ini, S, "Shadow", ShadowFields(FAddBlankParam));
    Ini.WriteBool(S, "Preview", FPreview);
}
