#include "effects/ToneCurveEffect.h"

#include "core/ColorCorrectionFunc.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

const std::array<const char*, tcCount> ToneCurveKeys = {"RGB", "Red", "Green", "Blue", "Luma", "Chroma"};
const std::array<const char*, tcCount> ToneCurveDefaults = {"0,0,255,255", "0,0,255,255", "0,0,255,255",
                                                            "0,0,255,255", "0,0,255,255", "0,0,128,128,255,255"};

namespace {

constexpr char kSection[] = "ToneCurve";

const TPointArray IdentityPoints{{0, 0}, {255, 255}};
const TPointArray ChromaIdentityPoints{{0, 0}, {128, 128}, {255, 255}};

// The process-wide tables (see the header for who writes them and when).
// The 12-bit chroma part starts 4096 entries after the luma part, where the
// table kernel reads it.
alignas(64) int16_t RGBTable[RGBLUTSize];
alignas(64) int16_t YCbCrTable8[YCbCrLUT8Size];
alignas(64) int16_t YCbCrTable12[YCbCrLUT12Size];

} // namespace

std::vector<std::string> SplitItems(const std::string& S)
{
    std::vector<std::string> out;
    const auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
    size_t p = 0;
    const size_t n = S.size();
    while (p < n && blank(S[p]))
        ++p;
    while (p < n && S[p] != '\0') {
        std::string item;
        if (S[p] == '"') {
            for (++p; p < n; ++p) {
                if (S[p] == '"') {
                    if (p + 1 < n && S[p + 1] == '"') {
                        item += '"';
                        ++p;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += S[p];
            }
        } else {
            while (p < n && !blank(S[p]) && S[p] != ',' && S[p] != '\0')
                item += S[p++];
        }
        out.push_back(std::move(item));
        while (p < n && blank(S[p]))
            ++p;
        if (p < n && S[p] == ',') {
            if (p + 1 == n)
                out.emplace_back();
            do
                ++p;
            while (p < n && blank(S[p]));
        }
    }
    return out;
}

namespace {

// Trunc(V + 0.5) limited to 0..Max; a value that is not a number gives 0.
int32_t RoundClamp(double V, int32_t Max)
{
    const double r = V + 0.5;
    if (!(r > 0))
        return 0;
    if (r >= double(Max))
        return Max;
    return int32_t(r);
}

struct TLocalTables {
    alignas(64) int16_t RGB[RGBLUTSize];
    alignas(64) int16_t YCbCr8[YCbCrLUT8Size];
    alignas(64) int16_t YCbCr12[YCbCrLUT12Size];
};

bool RGBSideIsIdentity(const TCurveSet& Pt)
{
    return IsIdentityCurve(Pt[tcRGB], false) && IsIdentityCurve(Pt[tcRed], false) &&
        IsIdentityCurve(Pt[tcGreen], false) && IsIdentityCurve(Pt[tcBlue], false);
}

bool YCCSideIsIdentity(const TCurveSet& Pt)
{
    return IsIdentityCurve(Pt[tcChroma], true) && IsIdentityCurve(Pt[tcLuma], false);
}

void BuildRGBSide(const TCurveSet& Pt, int16_t* RGB)
{
    uint16_t t[4][256];
    for (int i = 0; i < 4; ++i)
        CurveToTable(Pt[size_t(i)], t[i]);
    ComposeRGBTables(t[tcRGB], t[tcRed], t[tcGreen], t[tcBlue], RGB);
}

void BuildYCCSide(const TCurveSet& Pt, int16_t* YCbCr8, int16_t* YCbCr12, bool With8)
{
    if (With8) {
        uint16_t luma[256], chroma[256];
        CurveToTable(Pt[tcLuma], luma);
        CurveToTable(Pt[tcChroma], chroma);
        for (int i = 0; i < 256; ++i) {
            YCbCr8[i] = int16_t(luma[i]);
            YCbCr8[256 + i] = int16_t(chroma[i]);
        }
    }
    CurveToLargeTable(Pt[tcLuma], YCbCr12, false);
    CurveToLargeTable(Pt[tcChroma], YCbCr12 + 4096, true);
}

// The luma/chroma stage of a BGR(A) or gray picture (8-bit table for gray,
// the 16-bit form with the 12-bit tables for colour).
void ApplyYCCStage(TImgInfo& Img, const int16_t* YCbCr8, const int16_t* YCbCr12)
{
    switch (Img.Channels) {
    case 1:
        ApplyYCbCrLUT8(Img, YCbCr8);
        break;
    case 3:
        RGB3ToYCbCr16(Img);
        ApplyYCbCrLUT16(Img, YCbCr12);
        YCbCr16ToRGB3(Img);
        break;
    case 4:
        RGB4ToYCbCr16(Img);
        ApplyYCbCrLUT16(Img, YCbCr12);
        YCbCr16ToRGB4(Img);
        break;
    default:
        break;
    }
}

bool HasPixels(const TImgInfo& Img)
{
    return Img.Mem && Img.Width > 0 && Img.Height > 0;
}

} // namespace

// ---- Points ----

std::string PointsToStr(const TPointArray& P)
{
    std::string s;
    char buf[32];
    for (size_t i = 0; i < P.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? ",%d,%d" : "%d,%d", int(P[i].x), int(P[i].y));
        s += buf;
    }
    return s;
}

bool StrToPoints(const std::string& S, TPointArray& P)
{
    const std::vector<std::string> items = SplitItems(S);
    bool ok = !items.empty() && items.size() % 2 == 0;
    TPointArray out;
    if (ok) {
        out.reserve(items.size() / 2);
        for (size_t i = 0; i < items.size(); i += 2) {
            int32_t x = -1, y = -1;
            if (!TryStrToInt(items[i], x))
                x = -1;
            if (!TryStrToInt(items[i + 1], y))
                y = -1;
            if (x < 0 || x > 255 || y < 0 || y > 255) {
                ok = false;
                break;
            }
            out.push_back({x, y});
        }
    }
    P = ok ? std::move(out) : IdentityPoints;
    return ok;
}

TPointArray SortCurvePoints(const TPointArray& P)
{
    TPointArray s = P;
    for (TCurvePoint& q : s) {
        q.x = std::clamp(q.x, 0, 255);
        q.y = std::clamp(q.y, 0, 255);
    }
    std::stable_sort(s.begin(), s.end(), [](const TCurvePoint& a, const TCurvePoint& b) { return a.x < b.x; });
    s.erase(std::unique(s.begin(), s.end(), [](const TCurvePoint& a, const TCurvePoint& b) { return a.x == b.x; }),
            s.end());
    return s;
}

bool IsIdentityCurve(const TPointArray& P, bool IsChroma)
{
    return P == IdentityPoints || (IsChroma && P == ChromaIdentityPoints);
}

// ---- Curve maths ----

TDPoint BezierPoint(const TDPoint& P0, const TDPoint& P1, const TDPoint& P2, const TDPoint& P3, double t)
{
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * P0.x + b * P1.x + c * P2.x + d * P3.x, a * P0.y + b * P1.y + c * P2.y + d * P3.y};
}

std::vector<TDPoint> BuildBezierControls(const TPointArray& P)
{
    const size_t n = P.size();
    if (n == 0)
        return {};
    // Q[1..n] are the points, padded at both ends with copies of the end points.
    std::vector<TDPoint> Q(n + 2);
    for (size_t i = 0; i < n; ++i)
        Q[i + 1] = {double(P[i].x), double(P[i].y)};
    Q[0] = Q[1];
    Q[n + 1] = Q[n];
    const auto len = [](const TDPoint& a, const TDPoint& b) { return std::hypot(b.x - a.x, b.y - a.y); };

    std::vector<TDPoint> C(3 * (n - 1) + 1);
    C[0] = Q[1];
    for (size_t i = 1; i < n; ++i) {
        const double d = 0.3 * len(Q[i], Q[i + 1]);
        const double la = len(Q[i - 1], Q[i + 1]), lb = len(Q[i + 2], Q[i]);
        TDPoint A = Q[i], B = Q[i + 1];
        // With x strictly increasing neither chord can be of length zero.
        if (la > 0)
            A = {Q[i].x + d * (Q[i + 1].x - Q[i - 1].x) / la, Q[i].y + d * (Q[i + 1].y - Q[i - 1].y) / la};
        if (lb > 0)
            B = {Q[i + 1].x + d * (Q[i].x - Q[i + 2].x) / lb, Q[i + 1].y + d * (Q[i].y - Q[i + 2].y) / lb};
        // Keep x rising along the segment; y is free.
        A.x = std::max(A.x, Q[i].x);
        B.x = std::max(B.x, Q[i].x);
        A.x = std::min(A.x, Q[i + 1].x);
        B.x = std::min(B.x, Q[i + 1].x);
        C[3 * i - 2] = A;
        C[3 * i - 1] = B;
        C[3 * i] = Q[i + 1];
    }
    return C;
}

TBezierYForX::TBezierYForX(const TPointArray& P) : C(BuildBezierControls(P))
{
    for (size_t s = 1; s < P.size(); ++s)
        Steps.push_back(32 * (P[s].x - P[s - 1].x));
}

double TBezierYForX::operator()(double X)
{
    if (C.empty())
        return X;
    if (X < C[0].x)
        return C[0].y;
    for (;;) {
        if (3 * Seg > C.size())
            return C[3 * (Seg - 1)].y;
        if (C[3 * Seg].x == X)
            return C[3 * Seg].y;
        if (C[3 * Seg].x > X)
            break;
        ++Seg;
        Lo = 0;
    }
    const TDPoint* S = &C[3 * Seg - 3];
    const int32_t N = Steps[Seg - 1];
    int32_t hi = N;
    // Both brackets start at the segment's ends on every call, even when the
    // lower step carries over from the previous x.
    TDPoint L = S[0];
    TDPoint H = S[3];
    int32_t mid = (Lo + hi) / 2;
    do {
        const TDPoint Pt = BezierPoint(S[0], S[1], S[2], S[3], double(mid) / N);
        if (Pt.x < X) {
            Lo = mid;
            L = Pt;
        } else if (Pt.x > X) {
            hi = mid;
            H = Pt;
        } else {
            return Pt.y;
        }
        mid = (Lo + hi) / 2;
    } while (mid != Lo);
    if (!(H.x > L.x))
        return L.y;
    return L.y + (H.y - L.y) * (X - L.x) / (H.x - L.x);
}

void CurveToTable(const TPointArray& P, uint16_t* Out)
{
    const TPointArray s = SortCurvePoints(P);
    if (s.empty()) {
        for (int x = 0; x < 256; ++x)
            Out[x] = uint16_t(x);
        return;
    }
    TBezierYForX f(s);
    for (int x = 0; x < 256; ++x)
        Out[x] = uint16_t(RoundClamp(f(x), 255));
}

void CurveToLargeTable(const TPointArray& P, int16_t* Out, bool IsChroma)
{
    const TPointArray s = SortCurvePoints(P);
    const int32_t bias = IsChroma ? 2040 : 0;
    if (s.empty()) {
        for (int v = 0; v <= 4080; ++v)
            Out[v] = int16_t(v - bias);
        return;
    }
    TBezierYForX f(s);
    for (int v = 0; v <= 4080; ++v) {
        const double y = f(double(v) * 255 / 4080);
        Out[v] = int16_t(RoundClamp(y * 4080 / 255, 4080) - bias);
    }
}

void ComposeRGBTables(const uint16_t* Master, const uint16_t* Red, const uint16_t* Green, const uint16_t* Blue,
                      int16_t* Out)
{
    for (int i = 0; i < 256; ++i) {
        const uint16_t m = std::min<uint16_t>(Master[i], 255);
        Out[i] = int16_t(Blue[m]);
        Out[256 + i] = int16_t(Green[m]);
        Out[512 + i] = int16_t(Red[m]);
        Out[768 + i] = int16_t(m);
    }
}

TRect MarkerRect(int32_t x, int32_t y, int32_t r)
{
    return TRect{x - r + 1, y - r + 1, x + r, y + r};
}

// ---- The effect ----

TToneCurveEffect::TToneCurveEffect() : TEffect(LoadResText(SToneCurve), 'S', kSection, EFFECT_TONECURVE)
{
    for (int i = 0; i < tcCount; ++i)
        StrToPoints(ToneCurveDefaults[size_t(i)], FControlPoints[size_t(i)]);
}

void TToneCurveEffect::BuildToneCurveTables()
{
    FSkipRGB = RGBSideIsIdentity(FControlPoints);
    if (!FSkipRGB)
        BuildRGBSide(FControlPoints, RGBTable);
    FSkipYCC = YCCSideIsIdentity(FControlPoints);
    if (!FSkipYCC)
        BuildYCCSide(FControlPoints, YCbCrTable8, YCbCrTable12, true);
}

void TToneCurveEffect::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    if (!HasPixels(Img))
        return;
    if (!FSkipYCC) {
        if (Params.IsYCbCr)
            ApplyYCbCrLUT8(Img, YCbCrTable8);
        else
            ApplyYCCStage(Img, YCbCrTable8, YCbCrTable12);
    }
    if (!FSkipRGB) {
        YCbCrToBGRInPlace(Img, Params.IsYCbCr);
        ApplyRGBLUT(Img, RGBTable);
    }
}

void TToneCurveEffect::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    FPreview = Ini.ReadBool(kSection, "Preview", true);
    for (size_t i = 0; i < tcCount; ++i) {
        StrToPoints(Ini.ReadString(kSection, ToneCurveKeys[i], ToneCurveDefaults[i]), FControlPoints[i]);
        FControlPoints[i] = SortCurvePoints(FControlPoints[i]);
    }
    const int32_t h = Ini.ReadInteger(kSection, "Histogram", 0);
    FHistogram = h < 2;
    FHistogramType = h & 1;
    BuildToneCurveTables();
}

void TToneCurveEffect::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    for (size_t i = 0; i < tcCount; ++i)
        Ini.WriteString(kSection, ToneCurveKeys[i], PointsToStr(FControlPoints[i]));
    Ini.WriteInteger(kSection, "Histogram", FHistogramType + (FHistogram ? 0 : 2));
    Ini.WriteBool(kSection, "Preview", FPreview);
}

void ApplyToneCurvePreview(TImgInfo& Img, const TCurveSet& Pt)
{
    if (!HasPixels(Img))
        return;
    const bool skipRGB = RGBSideIsIdentity(Pt), skipYCC = YCCSideIsIdentity(Pt);
    if (skipRGB && skipYCC)
        return;
    auto t = std::make_unique<TLocalTables>();
    if (!skipYCC) {
        BuildYCCSide(Pt, t->YCbCr8, t->YCbCr12, Img.Channels == 1);
        ApplyYCCStage(Img, t->YCbCr8, t->YCbCr12);
    }
    if (!skipRGB) {
        BuildRGBSide(Pt, t->RGB);
        ApplyRGBLUT(Img, t->RGB);
    }
}

// ---- Presets ----

std::string ToneCurvePresetDir()
{
    return Startup.DataDir + "ToneCurve/";
}

std::vector<std::string> ToneCurvePresetNames()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(ToneCurvePresetDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.extension() == ".txt" && it->is_regular_file(ec))
            names.push_back(p.stem().string());
    }
    return names;
}

void ReadToneCurvePreset(const std::string& FileName, TCurveSet& Pt)
{
    for (size_t i = 0; i < tcCount; ++i)
        StrToPoints(ToneCurveDefaults[i], Pt[i]);
    try {
        const TMemIniFile Ini(FileName);
        for (size_t i = 0; i < tcCount; ++i) {
            StrToPoints(Ini.ReadString(kSection, ToneCurveKeys[i], ToneCurveDefaults[i]), Pt[i]);
            Pt[i] = SortCurvePoints(Pt[i]);
        }
    } catch (const EVestroError&) {
        // An unreadable preset gives identity curves; the editor shows no message.
    }
}

void WriteToneCurvePreset(const std::string& FileName, const TCurveSet& Pt)
{
    TMemIniFile Ini(FileName);
    for (size_t i = 0; i < tcCount; ++i)
        Ini.WriteString(kSection, ToneCurveKeys[i], PointsToStr(Pt[i]));
    Ini.UpdateFile();
}
