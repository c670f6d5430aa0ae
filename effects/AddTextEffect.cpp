#include "effects/AddTextEffect.h"

#include "core/Errors.h"
#include "core/Grayscale.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"
#include "core/WeightedMean.h"
#include "effects/IniFloat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

const char* const Section = kAddTextSection;

int32_t ClampInt32(int64_t V)
{
    return int32_t(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

// Pixels a blur of Radius reaches beyond the letters: ceiling(Radius + 0.5),
// the radius held to what the blur itself accepts.
int64_t BlurReach(double Radius)
{
    if (!(Radius == Radius))
        Radius = 0;
    return int64_t(std::ceil(std::clamp(Radius, 0.0, 250.0) + 0.5));
}

// The blur's opacity (1/256 units) of a strength in quarters.
int32_t StrengthOpacity(int32_t Str)
{
    return ClampInt32(int64_t(Str) * 64);
}

// CR LF, lone CR and lone LF all become the two characters "\n": a settings
// line cannot hold a line break.
std::string EscapeLineBreaks(const std::string& S)
{
    std::string R;
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] == '\r' || S[i] == '\n') {
            R += "\\n";
            if (S[i] == '\r' && i + 1 < S.size() && S[i + 1] == '\n')
                ++i;
        } else {
            R += S[i];
        }
    }
    return R;
}

std::string UnescapeLineBreaks(const std::string& S)
{
    std::string R;
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] == '\\' && i + 1 < S.size() && (S[i + 1] == 'n' || S[i + 1] == 'N')) {
            R += "\r\n";
            ++i;
        } else {
            R += S[i];
        }
    }
    return R;
}

TBlurLayerFields ShadowFields(TAddTextParam& P)
{
    return {P.Shadow, P.ShadowColor, P.ShadowOpacity, P.ShadowRadius, P.ShadowStr, &P.ShadowOffsetX, &P.ShadowOffsetY};
}

TBlurLayerFields GlowFields(TAddTextParam& P)
{
    return {P.Glow, P.GlowColor, P.GlowOpacity, P.GlowRadius, P.GlowStr};
}

} // namespace

TLayerClip ClipLayer(int64_t IW, int64_t IH, int64_t W, int64_t H, int64_t X, int64_t Y)
{
    TLayerClip O;
    const int64_t SX = X < 0 ? -X : 0, SY = Y < 0 ? -Y : 0;
    const int64_t DX = std::max<int64_t>(X, 0), DY = std::max<int64_t>(Y, 0);
    const int64_t CW = std::min(W - SX, IW - DX), CH = std::min(H - SY, IH - DY);
    if (CW <= 0 || CH <= 0)
        return O;
    O.SX = uint32_t(SX), O.SY = uint32_t(SY), O.DX = uint32_t(DX), O.DY = uint32_t(DY);
    O.CW = uint32_t(CW), O.CH = uint32_t(CH);
    return O;
}

int64_t AnchorPosition(int32_t Anchor, bool Vertical, int64_t Base, int64_t Layer, int64_t Offset)
{
    if (Anchor < 0 || Anchor > 8)
        Anchor = 8;
    switch (Vertical ? Anchor % 3 : Anchor / 3) {
    case 0:
        return Offset;
    case 1:
        return (Base - Layer) / 2 + Offset; // C++ division truncates toward zero
    default:
        return Base - Layer + Offset;
    }
}

double ReadIniDecimal(const TMemIniFile& Ini, const std::string& Sect, const char* Key, double Default)
{
    std::string S = Ini.ReadString(Sect, Key, "");
    S.erase(0, S.find_first_not_of(" \t"));
    S.erase(S.find_last_not_of(" \t") + 1);
    std::replace(S.begin(), S.end(), ',', '.');
    if (!S.empty() && S[0] == '+')
        S.erase(0, 1);
    double V = 0;
    const auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), V);
    if (S.empty() || Ec != std::errc() || End != S.data() + S.size() || !std::isfinite(V))
        return Default;
    return V;
}

void WriteIniDecimal(TMemIniFile& Ini, const std::string& Sect, const char* Key, double Value)
{
    WriteIniFloat(Ini, Sect, Key, Value);
}

void ReadBlurLayer(const TMemIniFile& Ini, const std::string& Sect, const std::string& Name, const TBlurLayerFields& F,
                   const TBlurLayerDefaults& D)
{
    F.Use = Ini.ReadBool(Sect, Name, D.Use);
    F.Color = Ini.ReadInteger(Sect, Name + "Color", D.Color);
    F.Opacity = Ini.ReadInteger(Sect, Name + "Opacity", D.Opacity);
    F.Radius = ReadIniDecimal(Ini, Sect, (Name + "Radius").c_str(), D.Radius);
    F.Str = Ini.ReadInteger(Sect, Name + "Str", D.Str);
    if (F.OffsetX)
        *F.OffsetX = Ini.ReadInteger(Sect, Name + "OffsetX", D.Offset);
    if (F.OffsetY)
        *F.OffsetY = Ini.ReadInteger(Sect, Name + "OffsetY", D.Offset);
}

void WriteBlurLayer(TMemIniFile& Ini, const std::string& Sect, const std::string& Name, const TBlurLayerFields& F)
{
    Ini.WriteBool(Sect, Name, F.Use);
    Ini.WriteInteger(Sect, Name + "Color", F.Color);
    Ini.WriteInteger(Sect, Name + "Opacity", F.Opacity);
    WriteIniDecimal(Ini, Sect, (Name + "Radius").c_str(), F.Radius);
    Ini.WriteInteger(Sect, Name + "Str", F.Str);
    if (F.OffsetX)
        Ini.WriteInteger(Sect, Name + "OffsetX", *F.OffsetX);
    if (F.OffsetY)
        Ini.WriteInteger(Sect, Name + "OffsetY", *F.OffsetY);
}

void MaskMultiplyInverse(TImgInfo& Dest, const TImgInfo& Src, int32_t X, int32_t Y)
{
    if (Dest.Channels != 1 || Src.Channels != 1 || !Dest.Mem || !Src.Mem)
        return;
    const TLayerClip O = ClipLayer(Dest.Width, Dest.Height, Src.Width, Src.Height, X, Y);
    for (uint32_t r = 0; r < O.CH; ++r) {
        const uint8_t* s = ScanLine(Src, O.SY + r) + O.SX;
        uint8_t* d = ScanLine(Dest, O.DY + r) + O.DX;
        for (uint32_t i = 0; i < O.CW; ++i)
            d[i] = uint8_t((((255u - s[i]) * d[i] + 127u) * 257u) >> 16);
    }
}

void BlendColorThroughMask(TImgInfo& Img, int32_t Color, uint16_t Opacity, const TImgInfo& Mask, int32_t X, int32_t Y)
{
    if (Opacity == 0 || Mask.Channels != 1 || !Img.Mem || !Mask.Mem)
        return;
    const TLayerClip O = ClipLayer(Img.Width, Img.Height, Mask.Width, Mask.Height, X, Y);
    if (O.CW == 0)
        return;
    // A hand-edited opacity above 100 would push m past 255 and wrap the bytes.
    const uint32_t a = std::min<uint32_t>((uint32_t(Opacity) * 256 + 50) / 100, 256);
    const uint32_t C = uint32_t(Color);
    const uint32_t R = C & 0xFF, G = (C >> 8) & 0xFF, B = (C >> 16) & 0xFF;
    TBGColor BG;
    BG.Red = uint16_t(R), BG.Green = uint16_t(G), BG.Blue = uint16_t(B);
    GrayOfColor(BG);
    const uint32_t Gray = BG.Gray & 0xFF;
    const uint32_t K[3] = {B, G, R}; // pixel byte order
    const uint32_t N = Img.Channels;
    if (N < 1 || N > 4)
        return;
    for (uint32_t r = 0; r < O.CH; ++r) {
        const uint8_t* v = ScanLine(Mask, O.SY + r) + O.SX;
        uint8_t* p = ScanLine(Img, O.DY + r) + uint64_t(O.DX) * N;
        for (uint32_t i = 0; i < O.CW; ++i, p += N) {
            const uint32_t m = (v[i] * a) >> 8;
            if (N == 1) {
                p[0] = uint8_t(((p[0] * (255 - m) + Gray * m + 127) * 257) >> 16);
            } else if (N == 3) {
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t(((p[c] * (255 - m) + K[c] * m + 127) * 257) >> 16);
            } else if (m != 0) {
                const uint32_t A = p[N - 1];
                const uint32_t t = ((255 - m) * A * 257) >> 16;
                const uint32_t S = m + t;
                for (uint32_t c = 0; c + 1 < N; ++c) {
                    const uint32_t k = N == 2 ? Gray : K[c];
                    p[c] = uint8_t((p[c] * t + k * m + S / 2) / S);
                }
                p[N - 1] = uint8_t(S);
            }
        }
    }
}

void RenderTextOverlay(TImgInfo& Img, const TAddTextParam& Param, const TFont& Font, TResizer* Resizer,
                       TGaussianBlur* Blur, const std::string& Text, TFontCache& Cache, TRect& TextRect)
{
    TextRect = TRect();
    if (Text.empty())
        return;
    int64_t e = 0;
    if (Param.Glow)
        e = BlurReach(Param.GlowRadius);
    if (Param.Shadow)
        e += BlurReach(Param.ShadowRadius);
    const double MX = double(std::max<int64_t>(0, e + Param.MarginX));
    const double MY = double(std::max<int64_t>(0, e + Param.MarginY));

    struct TMasks {
        TImgInfo T, W;
        ~TMasks()
        {
            FreeImg(T);
            FreeImg(W);
        }
    } M;
    Cache.GetAntialiasingText(Text, Font, M.T, Param.LinePitch, MX, MY, MX, MY, Resizer);
    const TImgInfo& T = M.T;
    const int64_t X = AnchorPosition(Param.Position, false, Img.Width, T.Width, Param.XOffset);
    const int64_t Y = AnchorPosition(Param.Position, true, Img.Height, T.Height, Param.YOffset);
    const int32_t x = ClampInt32(X), y = ClampInt32(Y);

    if ((Param.Shadow || Param.Glow) && !Blur)
        throw EVestroError("No blur filter");
    if (Param.BackOpacity != 0 || Param.Shadow || Param.Glow)
        AllocImg(M.W, T.Width, T.Height, 1);
    const uint64_t Bytes = uint64_t(T.Bpl) * BlockRows(T.Height);
    auto Opacity = [](int32_t P) { return uint16_t(std::clamp(P, 0, 100)); };

    if (Param.BackOpacity != 0) {
        std::memset(M.W.Mem, 255, size_t(Bytes));
        MaskMultiplyInverse(M.W, T, 0, 0);
        BlendColorThroughMask(Img, Param.BackColor, Opacity(Param.BackOpacity), M.W, x, y);
    }
    if (Param.Shadow) {
        // The blur replaces the block but keeps the stride: copy back into
        // the same geometry each time.
        std::memcpy(M.W.Mem, T.Mem, size_t(Bytes));
        Blur->SetGauusianBlurParam(Param.ShadowRadius);
        Blur->DoGauusianBlur(M.W, StrengthOpacity(Param.ShadowStr));
        MaskMultiplyInverse(M.W, T, ClampInt32(-int64_t(Param.ShadowOffsetX)),
                            ClampInt32(-int64_t(Param.ShadowOffsetY)));
        BlendColorThroughMask(Img, Param.ShadowColor, Opacity(Param.ShadowOpacity), M.W,
                              ClampInt32(X + Param.ShadowOffsetX), ClampInt32(Y + Param.ShadowOffsetY));
    }
    if (Param.Glow) {
        std::memcpy(M.W.Mem, T.Mem, size_t(Bytes));
        Blur->SetGauusianBlurParam(Param.GlowRadius);
        Blur->DoGauusianBlur(M.W, StrengthOpacity(Param.GlowStr));
        MaskMultiplyInverse(M.W, T, 0, 0);
        BlendColorThroughMask(Img, Param.GlowColor, Opacity(Param.GlowOpacity), M.W, x, y);
    }
    if (Param.FontOpacity != 0)
        BlendColorThroughMask(Img, Font.Color, Opacity(Param.FontOpacity), T, x, y);

    int64_t L = X, Tp = Y, W = T.Width, H = T.Height;
    if (L < 0)
        W += L, L = 0;
    if (Tp < 0)
        H += Tp, Tp = 0;
    W = std::max<int64_t>(0, std::min<int64_t>(W, int64_t(Img.Width) - L));
    H = std::max<int64_t>(0, std::min<int64_t>(H, int64_t(Img.Height) - Tp));
    TextRect.Left = ClampInt32(L);
    TextRect.Top = ClampInt32(Tp);
    TextRect.Right = ClampInt32(L + W);
    TextRect.Bottom = ClampInt32(Tp + H);
}

TAddTextEffect::TAddTextEffect() : TEffect(LoadResText(SAddText), 'I', Section, EFFECT_ADDTEXT)
{
}

void TAddTextEffect::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    YCbCrToBGRInPlace(Img, Params.IsYCbCr);
    if (!Params.FontCache)
        Params.FontCache = new TFontCache;
    std::string Rule = FText;
    const int32_t Number = ExtractStartNumber(Rule) + Params.Number;
    std::string Text;
    // The expander takes the output name first, then the input name.
    ExpandTextTokens(Rule, ExtractFileName(Params.OutFileName), ExtractFileName(Params.InFileName), Text, Number,
                     Params.Time);
    TRect Scratch;
    RenderTextOverlay(Img, FParam, FFont, Params.Antialiasing, Params.GaussianBlur, Text, *Params.FontCache, Scratch);
}

void TAddTextEffect::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    const std::string S = Section;
    FText = UnescapeLineBreaks(Ini.ReadString(S, "Text", "<ymdhn>"));
    FParam.Position = Ini.ReadInteger(S, "BasePos", -1);
    if (FParam.Position == -1) {
        // Settings from before the nine anchors knew four corners.
        switch (Ini.ReadInteger(S, "Position", 3)) {
        case 0:
            FParam.Position = 0;
            break;
        case 1:
            FParam.Position = 2;
            break;
        case 2:
            FParam.Position = 6;
            break;
        default:
            FParam.Position = 8;
            break;
        }
        Ini.DeleteKey(S, "Position");
    }
    FParam.XOffset = Ini.ReadInteger(S, "X", 0);
    FParam.YOffset = Ini.ReadInteger(S, "Y", 0);
    const std::string Menu = MenuFontName();
    FFont.Name = Ini.ReadString(S, "FontName", Menu);
    // Checked where fonts are set up anyway: not by a run at once that draws no text.
    if (!Menu.empty() && (FUse || TextRenderingReady()) && !FontFamilyExists(FFont.Name))
        FFont.Name = Menu;
    FFont.Charset = Ini.ReadInteger(S, "FontCharset", 128);
    FFont.Size = Ini.ReadInteger(S, "FontSize", 20);
    FFont.Color = Ini.ReadInteger(S, "FontColor", 0xFFFFFF);
    FFont.Style = uint8_t(Ini.ReadInteger(S, "FontStyle", 0) & 15);
    FParam.FontOpacity = Ini.ReadInteger(S, "FontOpacity", 100);
    FParam.BackColor = Ini.ReadInteger(S, "BackColor", 0xFFFFFF);
    FParam.BackOpacity = Ini.ReadInteger(S, "BackOpacity", 0);
    FParam.MarginX = Ini.ReadInteger(S, "MarginX", 0);
    FParam.MarginY = Ini.ReadInteger(S, "MarginY", 0);
    FParam.LinePitch = ReadIniDecimal(Ini, S, "LinePitch", 0.0);
    ReadBlurLayer(Ini, S, "Shadow", ShadowFields(FParam), {true, 0, 75, 2.0, 4, 2});
    ReadBlurLayer(Ini, S, "Glow", GlowFields(FParam), {true, 0xFFFF00, 75, 6.0, 8, 0});
}

void TAddTextEffect::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    const std::string S = Section;
    Ini.WriteString(S, "Text", EscapeLineBreaks(FText));
    Ini.WriteInteger(S, "BasePos", FParam.Position);
    // The save starts from the file as it is: an older file's anchor goes now.
    Ini.DeleteKey(S, "Position");
    Ini.WriteInteger(S, "X", FParam.XOffset);
    Ini.WriteInteger(S, "Y", FParam.YOffset);
    Ini.WriteString(S, "FontName", FFont.Name);
    Ini.WriteInteger(S, "FontCharset", FFont.Charset);
    Ini.WriteInteger(S, "FontSize", FFont.Size);
    Ini.WriteInteger(S, "FontColor", FFont.Color);
    Ini.WriteInteger(S, "FontStyle", FFont.Style);
    Ini.WriteInteger(S, "FontOpacity", FParam.FontOpacity);
    Ini.WriteInteger(S, "BackColor", FParam.BackColor);
    Ini.WriteInteger(S, "BackOpacity", FParam.BackOpacity);
    Ini.WriteInteger(S, "MarginX", FParam.MarginX);
    Ini.WriteInteger(S, "MarginY", FParam.MarginY);
    WriteIniDecimal(Ini, S, "LinePitch", FParam.LinePitch);
    WriteBlurLayer(Ini, S, "Shadow", ShadowFields(FParam));
    WriteBlurLayer(Ini, S, "Glow", GlowFields(FParam));
}
