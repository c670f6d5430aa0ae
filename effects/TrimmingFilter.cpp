#include "effects/TrimmingFilter.h"

#include "core/Funcs.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Far beyond any picture side, small enough that sums of two never overflow.
constexpr double kSaturate = double(int64_t(1) << 40);

// Trunc(X + 0.5), saturated at +-2^40; NaN gives 0.
int64_t R(double X)
{
    const double V = X + 0.5;
    if (!(V == V))
        return 0;
    if (V >= kSaturate)
        return int64_t(kSaturate);
    if (V <= -kSaturate)
        return -int64_t(kSaturate);
    return int64_t(V);
}

// The evaluator never gives negative values; other callers may.
double NonNegative(double V)
{
    return V > 0 ? V : 0; // also maps NaN to 0
}

} // namespace

bool CalcTrimRect(int32_t Type, TSize& S, double A, double B, double C, double D)
{
    A = NonNegative(A);
    B = NonNegative(B);
    C = NonNegative(C);
    D = NonNegative(D);
    const int64_t w = S.cx, h = S.cy;
    const double fw = double(w), fh = double(h);
    int64_t cw = 0, ch = 0;
    switch (Type) {
    case TRIM_RECT:
        cw = R(C);
        if (R(A) + cw > w)
            cw = w - R(A);
        ch = R(D);
        if (R(B) + ch > h)
            ch = h - R(B);
        break;
    case TRIM_MARGIN:
        cw = w - (R(A) + R(C));
        ch = h - (R(B) + R(D));
        break;
    case TRIM_PERCENT:
        cw = R((100 - C) * fw / 100) - R(fw * A / 100);
        ch = R((100 - D) * fh / 100) - R(fh * B / 100);
        break;
    case TRIM_ASPECT: {
        // The largest rectangle of aspect A : B inside the picture. A zero
        // ratio side gives a zero (or undefined, hence 0) crop side: no crop.
        const int64_t t = R(fw * B / A);
        if (h >= t) {
            cw = w;
            ch = t;
        } else {
            cw = R(fh * A / B);
            ch = h;
        }
        break;
    }
    default:
        return false;
    }
    if (cw < 1 || ch < 1)
        return false;
    S.cx = std::min(cw, w);
    S.cy = std::min(ch, h);
    return true;
}

void CalcTrimOrigin(int32_t Type, const TSize& Image, const TSize& Crop, double A, double B, double C, double D,
                    int64_t& X, int64_t& Y)
{
    A = NonNegative(A);
    B = NonNegative(B);
    const double fw = double(Image.cx), fh = double(Image.cy);
    switch (Type) {
    case TRIM_PERCENT:
        X = R(fw * A / 100);
        Y = R(fh * B / 100);
        break;
    case TRIM_ASPECT:
        // Positions are percentages of the free room. The dialog accepts
        // typed values beyond 0..100; the clamp below holds such a crop at
        // the picture's edge.
        X = R(double(Image.cx - Crop.cx) * C / 100);
        Y = R(double(Image.cy - Crop.cy) * D / 100);
        break;
    default:
        X = R(A);
        Y = R(B);
        break;
    }
    X = std::clamp<int64_t>(X, 0, std::max<int64_t>(Image.cx - Crop.cx, 0));
    Y = std::clamp<int64_t>(Y, 0, std::max<int64_t>(Image.cy - Crop.cy, 0));
}

std::array<double, 4> EvaluateTrimValues(const std::string* Values, int64_t Width, int64_t Height)
{
    std::array<double, 4> V{};
    for (size_t i = 0; i < 4; ++i)
        V[i] = EvaluateExpression(SubstituteWidthHeight(Values[i], Width, Height));
    return V;
}

TTrimmingFilter::TTrimmingFilter() : TEffect(LoadResText(STrimming), 'T', "TrimmingFilter", EFFECT_TRIMMING)
{
}

void TTrimmingFilter::DoEffect(TImgInfo& Img, TEffectParams&)
{
    if (!Img.Mem)
        return;
    const int64_t w = Img.Width, h = Img.Height;
    const bool First = FExp == TRIM_FIRST_ONLY || w > h || (w == h && FExp == TRIM_SQUARE_FIRST);
    const auto V = EvaluateTrimValues(FValue.data() + (First ? 0 : 4), w, h);
    const TSize Image{w, h};
    TSize S = Image;
    if (!CalcTrimRect(FType, S, V[0], V[1], V[2], V[3]))
        return;
    if (S.cx == w && S.cy == h)
        return;
    int64_t X = 0, Y = 0;
    CalcTrimOrigin(FType, Image, S, V[0], V[1], V[2], V[3], X, Y);

    TImgInfo Crop;
    AllocImg(Crop, uint64_t(S.cx), uint64_t(S.cy), Img.Channels);
    const uint64_t Bytes = uint64_t(S.cx) * Img.Channels;
    for (int64_t Row = 0; Row < S.cy; ++Row)
        std::memcpy(ScanLine(Crop, uint32_t(Row)), ScanLine(Img, uint32_t(Y + Row)) + uint64_t(X) * Img.Channels,
                    Bytes);
    FreeImg(Img);
    Img = Crop;
}

void TTrimmingFilter::CopyToOwner() const
{
    if (!FOwner)
        return;
    FOwner->FTrimmingType = FType;
    FOwner->FTrimmingValue = FValue;
}

void TTrimmingFilter::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    const int32_t T = Ini.ReadInteger(FSectionName, "Type", 1);
    FType = T & 15;
    FExp = (T & 0xF0) >> 4;
    const int32_t Style = Ini.ReadInteger(FSectionName, "Style", -1);
    FPreview = Ini.ReadBool(FSectionName, "Preview", true);

    // Older settings kept the size list under "SizeList" behind a leading
    // entry of their own.
    const std::string Old = Ini.ReadString(FSectionName, "SizeList", "");
    if (!Old.empty()) {
        std::vector<std::string> Items = SplitCommaText(Old);
        if (!Items.empty())
            Items.erase(Items.begin());
        FSizeList = JoinCommaText(Items);
    } else {
        FSizeList = Ini.ReadString(FSectionName, "SelectMode", "");
    }

    FValue.fill("0");
    std::vector<std::string> Items = SplitCommaText(Ini.ReadString(FSectionName, "Value", "0,0,0,0,0,0,0,0"));
    // Blanks are never part of an expression (the dialog drops them as they
    // are typed); a hand-edited file may hold some after the commas.
    for (std::string& S : Items)
        IsValidSizeExpression(S);
    if (Items.size() == 8) {
        std::copy(Items.begin(), Items.end(), FValue.begin());
    } else if (Items.size() == 4) {
        // Older settings held one set and a rule for the other.
        const std::array<std::string, 4> Same{Items[0], Items[1], Items[2], Items[3]};
        const std::array<std::string, 4> Turned{Items[1], Items[0], Items[3], Items[2]};
        switch (Style) {
        case 0:
            std::copy(Same.begin(), Same.end(), FValue.begin());
            std::copy(Same.begin(), Same.end(), FValue.begin() + 4);
            break;
        case 1:
            std::copy(Same.begin(), Same.end(), FValue.begin());
            std::copy(Turned.begin(), Turned.end(), FValue.begin() + 4);
            break;
        case 2:
            std::copy(Turned.begin(), Turned.end(), FValue.begin());
            std::copy(Same.begin(), Same.end(), FValue.begin() + 4);
            break;
        default:
            FType = TRIM_RECT;
            break;
        }
    } else {
        FType = TRIM_RECT;
    }
    CopyToOwner();
}

void TTrimmingFilter::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteInteger(FSectionName, "Type", FExp * 16 + FType);
    std::string Value;
    for (size_t i = 0; i < FValue.size(); ++i) {
        if (i)
            Value += ',';
        Value += FValue[i];
    }
    Ini.WriteString(FSectionName, "Value", Value);
    Ini.WriteBool(FSectionName, "Preview", FPreview);
    Ini.WriteString(FSectionName, "SelectMode", FSizeList);
    Ini.DeleteKey(FSectionName, "Style");
    Ini.DeleteKey(FSectionName, "SizeList");
}
