#include "effects/AddTextFrm.h"

#include "core/Global.h"
#include "core/ImgInfo.h"
#include "core/IniFile.h"
#include "core/Resize.h"
#include "core/WeightedMean.h"

#include <gtest/gtest.h>
#include <QGuiApplication>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Text needs the font system: one application object for the whole binary,
// made on the main thread before any test runs.
class TGuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int Argc = 1;
        static char Arg0[] = "test_effects";
        static char* Argv[] = {Arg0, nullptr};
        App = new QGuiApplication(Argc, Argv);
        InitTextRendering();
    }
    void TearDown() override { delete App; }
    QGuiApplication* App = nullptr;
};
[[maybe_unused]] ::testing::Environment* const GuiEnv = ::testing::AddGlobalTestEnvironment(new TGuiEnvironment);

struct TOwnedImg {
    TImgInfo I;
    TOwnedImg() = default;
    TOwnedImg(uint32_t W, uint32_t H, uint32_t C, uint8_t Fill = 0)
    {
        AllocImg(I, W, H, C);
        std::memset(I.Mem, Fill, size_t(uint64_t(I.Bpl) * BlockRows(H)));
    }
    TOwnedImg(const TOwnedImg&) = delete;
    ~TOwnedImg() { FreeImg(I); }
};

bool SamePixels(const TImgInfo& A, const TImgInfo& B)
{
    if (A.Width != B.Width || A.Height != B.Height || A.Channels != B.Channels)
        return false;
    for (uint32_t y = 0; y < A.Height; ++y)
        if (std::memcmp(ScanLine(A, y), ScanLine(B, y), size_t(A.Width) * A.Channels) != 0)
            return false;
    return true;
}

void CopyInto(const TImgInfo& Src, TOwnedImg& Dst)
{
    AllocImg(Dst.I, Src.Width, Src.Height, Src.Channels);
    std::memcpy(Dst.I.Mem, Src.Mem, size_t(uint64_t(Src.Bpl) * BlockRows(Src.Height)));
}

// Bounding box of the pixels that differ (right and bottom exclusive).
TRect Changed(const TImgInfo& A, const TImgInfo& B)
{
    TRect R{INT32_MAX, INT32_MAX, -1, -1};
    for (uint32_t y = 0; y < A.Height; ++y)
        for (uint32_t x = 0; x < A.Width; ++x)
            if (std::memcmp(ScanLine(A, y) + x * A.Channels, ScanLine(B, y) + x * B.Channels, A.Channels)) {
                R.Left = std::min(R.Left, int32_t(x)), R.Top = std::min(R.Top, int32_t(y));
                R.Right = std::max(R.Right, int32_t(x) + 1), R.Bottom = std::max(R.Bottom, int32_t(y) + 1);
            }
    return R;
}

struct TShrinker {
    TResizer R;
    TShrinker()
    {
        R.SetDecimationMode(1, CreateWeightSetter(1, 0, 0, 0));
        R.SetInterpolationMode(1, CreateWeightSetter(1, 0, 0, 0));
        R.SetSIMDMode(3, false);
        R.SetMaxThreadNum(1);
    }
};

TFont TestFont()
{
    TFont F;
    F.Name = "DejaVu Sans";
    F.Size = 12;
    F.Color = 0x0000FF; // red
    return F;
}

TAddTextParam LettersOnly()
{
    TAddTextParam P;
    P.FontOpacity = 100;
    return P;
}

struct TTextFixture : ::testing::Test {
    TShrinker Shrink;
    TGaussianBlur Blur;
    TFontCache Cache;
    TFont Font = TestFont();
};

} // namespace

TEST_F(TTextFixture, TextLandsAtEveryAnchor)
{
    TOwnedImg Ref(240, 160, 3, 0x40);
    for (int32_t Anchor = 0; Anchor <= 8; ++Anchor) {
        SCOPED_TRACE(Anchor);
        TOwnedImg Img;
        CopyInto(Ref.I, Img);
        TAddTextParam P = LettersOnly();
        P.Position = Anchor;
        const int32_t Col = Anchor / 3, Row = Anchor % 3;
        // Offsets towards the inside, so that the whole block shows.
        const int32_t DX = Col == 2 ? -5 : 5, DY = Row == 0 ? 3 : -3;
        P.XOffset = DX;
        P.YOffset = DY;
        P.MarginX = 2;
        TRect R;
        RenderTextOverlay(Img.I, P, Font, &Shrink.R, &Blur, "Hello\r\nWorld", Cache, R);
        const int32_t TW = R.Right - R.Left, TH = R.Bottom - R.Top;
        const int32_t X = Col == 0 ? DX : Col == 1 ? (240 - TW) / 2 + DX : 240 - TW + DX;
        const int32_t Y = Row == 0 ? DY : Row == 1 ? (160 - TH) / 2 + DY : 160 - TH + DY;
        EXPECT_EQ(R.Left, X);
        EXPECT_EQ(R.Top, Y);
        const TRect C = Changed(Ref.I, Img.I);
        ASSERT_LT(C.Left, C.Right) << "nothing drawn";
        EXPECT_GE(C.Left, R.Left + 2); // the margin stays clear
        EXPECT_LE(C.Right, R.Right);
        EXPECT_GE(C.Top, R.Top);
        EXPECT_LE(C.Bottom, R.Bottom);
        EXPECT_GT(C.Bottom - C.Top, 20); // two lines of 12 points
    }
}

TEST_F(TTextFixture, ZeroOpacitiesAndEmptyTextChangeNothing)
{
    TOwnedImg Ref(100, 60, 4, 0x80), Img;
    CopyInto(Ref.I, Img);
    TAddTextParam P;
    P.Position = 4;
    P.Shadow = P.Glow = true; // on, but at opacity 0
    P.ShadowRadius = P.GlowRadius = 2;
    P.ShadowStr = P.GlowStr = 8;
    TRect R;
    RenderTextOverlay(Img.I, P, Font, &Shrink.R, &Blur, "Text", Cache, R);
    EXPECT_TRUE(SamePixels(Ref.I, Img.I));
    P.FontOpacity = 100;
    RenderTextOverlay(Img.I, P, Font, &Shrink.R, &Blur, "", Cache, R);
    EXPECT_TRUE(SamePixels(Ref.I, Img.I));
    EXPECT_EQ(R.Right, 0);
    // A block wholly off the picture draws nothing and covers nothing.
    P.XOffset = 1000;
    RenderTextOverlay(Img.I, P, Font, &Shrink.R, &Blur, "Text", Cache, R);
    EXPECT_TRUE(SamePixels(Ref.I, Img.I));
    EXPECT_EQ(R.Right - R.Left, 0);
}

// Shadow and glow surround the letters but leave the place where they stand.
TEST_F(TTextFixture, ShadowAndGlowSurroundTheLetters)
{
    for (bool Shadow : {true, false}) {
        SCOPED_TRACE(Shadow ? "shadow" : "glow");
        TOwnedImg Ref(200, 100, 3, 0x80), Img;
        CopyInto(Ref.I, Img);
        TAddTextParam P;
        P.Position = 4;
        P.Shadow = Shadow;
        P.Glow = !Shadow;
        P.ShadowRadius = P.GlowRadius = 2;
        P.ShadowStr = P.GlowStr = 8;
        P.ShadowOpacity = P.GlowOpacity = 100;
        P.ShadowOffsetX = P.ShadowOffsetY = 0;
        TRect R;
        RenderTextOverlay(Img.I, P, Font, &Shrink.R, &Blur, "Mw", Cache, R);
        const double e = std::ceil(2 + 0.5);
        TOwnedImg T;
        Cache.GetAntialiasingText("Mw", Font, T.I, 0, e, e, e, e, &Shrink.R);
        ASSERT_EQ(int32_t(T.I.Width), R.Right - R.Left);
        int Under = 0, Around = 0;
        for (uint32_t y = 0; y < T.I.Height; ++y)
            for (uint32_t x = 0; x < T.I.Width; ++x) {
                const uint8_t m = ScanLine(T.I, y)[x];
                const bool Diff = std::memcmp(ScanLine(Ref.I, R.Top + y) + 3 * (R.Left + x),
                                              ScanLine(Img.I, R.Top + y) + 3 * (R.Left + x), 3) != 0;
                Under += m == 255 && Diff;
                Around += m == 0 && Diff;
            }
        EXPECT_EQ(Under, 0);
        EXPECT_GT(Around, 50);
    }
}

TEST(BlendColorThroughMask, CoverageAndAlpha)
{
    TOwnedImg Mask(3, 1, 1);
    uint8_t* m = ScanLine(Mask.I, 0);
    m[0] = 255, m[1] = 0, m[2] = 1;
    const int32_t Color = 0x306090; // red 0x90, green 0x60, blue 0x30

    TOwnedImg Rgb(3, 1, 3, 7);
    BlendColorThroughMask(Rgb.I, Color, 100, Mask.I, 0, 0);
    const uint8_t* p = ScanLine(Rgb.I, 0);
    EXPECT_EQ(p[0], 0x30);
    EXPECT_EQ(p[1], 0x60);
    EXPECT_EQ(p[2], 0x90);
    EXPECT_EQ(p[3], 7); // no coverage, no change

    TOwnedImg Rgba(3, 1, 4, 0);
    p = ScanLine(Rgba.I, 0);
    Rgba.I.Mem[Rgba.I.Bpl * 0 + 4 * 2 + 3] = 255; // third pixel opaque black
    BlendColorThroughMask(Rgba.I, Color, 100, Mask.I, 0, 0);
    EXPECT_EQ(p[0], 0x30);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(p[4 + 3], 0); // transparent and uncovered: untouched
    EXPECT_EQ(p[8 + 3], 254); // t carries no rounding term

    m[0] = 200;
    std::memset(Rgba.I.Mem, 0, 16);
    BlendColorThroughMask(Rgba.I, Color, 100, Mask.I, 0, 0);
    EXPECT_EQ(p[3], 200) << "a transparent pixel takes the coverage as alpha";
    EXPECT_EQ(p[2], 0x90);

    // Half opacity: a = 128, so full coverage mixes at 127.
    m[0] = 255;
    TOwnedImg Gray(1, 1, 1, 0);
    BlendColorThroughMask(Gray.I, 0xFFFFFF, 50, Mask.I, 0, 0);
    EXPECT_EQ(ScanLine(Gray.I, 0)[0], 127);
    // A hand-edited opacity above 100 acts as 100 instead of wrapping.
    TOwnedImg Over(1, 1, 3, 10);
    BlendColorThroughMask(Over.I, 0xFFFFFF, 250, Mask.I, 0, 0);
    EXPECT_EQ(ScanLine(Over.I, 0)[0], 255);

    // Placed partly off the image: only the overlap is touched.
    TOwnedImg Off(2, 1, 1, 0);
    BlendColorThroughMask(Off.I, 0xFFFFFF, 100, Mask.I, -2, 0);
    EXPECT_EQ(ScanLine(Off.I, 0)[0], 1); // the mask's third pixel
    EXPECT_EQ(ScanLine(Off.I, 0)[1], 0);
    BlendColorThroughMask(Off.I, 0xFFFFFF, 100, Mask.I, 1, 0);
    EXPECT_EQ(ScanLine(Off.I, 0)[1], 255);
}

TEST_F(TTextFixture, CacheKeyAndEmptyLine)
{
    TOwnedImg A, B, C, D;
    Cache.GetAntialiasingText("Key", Font, A.I, 0, 1, 1, 1, 1, &Shrink.R);
    Cache.GetAntialiasingText("Key", Font, B.I, 0, 1, 1, 1, 1, &Shrink.R);
    EXPECT_NE(A.I.Mem, B.I.Mem); // every caller owns its block
    EXPECT_TRUE(SamePixels(A.I, B.I));
    Cache.GetAntialiasingText("Key", Font, C.I, 0, 5, 1, 1, 1, &Shrink.R);
    EXPECT_EQ(C.I.Width, A.I.Width + 4);
    TFont Bold = Font;
    Bold.Style = fsBold;
    Cache.GetAntialiasingText("Key", Bold, D.I, 0, 1, 1, 1, 1, &Shrink.R);
    EXPECT_FALSE(SamePixels(A.I, D.I));

    TOwnedImg E, Two;
    Cache.GetAntialiasingText("", Font, E.I, 0, 2, 3, 2, 3, &Shrink.R);
    EXPECT_EQ(E.I.Width, 4u);
    for (uint32_t y = 0; y < E.I.Height; ++y)
        for (uint32_t x = 0; x < E.I.Width; ++x)
            ASSERT_EQ(ScanLine(E.I, y)[x], 0);
    Cache.GetAntialiasingText("\r\n\r\n", Font, Two.I, 2.5, 2, 3, 2, 3, &Shrink.R);
    EXPECT_GT(Two.I.Height, E.I.Height) << "two lines and the pitch between them";
}

TEST(FontCache, ThreadsRenderTheSameMask)
{
    TShrinker S0;
    TFontCache Ref;
    const std::string Text = "Threads <1>\r\nline two";
    TOwnedImg Expected;
    Ref.GetAntialiasingText(Text, TestFont(), Expected.I, 1, 3, 3, 3, 3, &S0.R);
    constexpr int N = 6;
    std::vector<int> Same(N, 0);
    std::vector<std::thread> Th;
    for (int t = 0; t < N; ++t)
        Th.emplace_back([&, t] {
            TShrinker S;
            for (int Round = 0; Round < 4; ++Round) {
                TFontCache C; // a fresh cache renders anew each round
                TOwnedImg M;
                C.GetAntialiasingText(Text, TestFont(), M.I, 1, 3, 3, 3, 3, &S.R);
                Same[size_t(t)] += SamePixels(M.I, Expected.I);
            }
        });
    for (auto& T : Th)
        T.join();
    for (int t = 0; t < N; ++t)
        EXPECT_EQ(Same[size_t(t)], 4) << "thread " << t;
}

TEST(AddTextIni, LegacyAnchorLineBreaksAndDecimals)
{
    TMemIniFile Ini("");
    Ini.WriteInteger("AddText", "Position", 1);
    Ini.WriteString("AddText", "Text", "one\\Ntwo");
    Ini.WriteString("AddText", "LinePitch", "1,5");
    Ini.WriteString("AddText", "FontName", "No Such Family 123");
    TAddTextEffect E;
    E.ReadIniFile(Ini);
    EXPECT_EQ(E.FParam.Position, 2);
    EXPECT_FALSE(Ini.ValueExists("AddText", "Position"));
    EXPECT_EQ(E.FText, "one\r\ntwo");
    EXPECT_DOUBLE_EQ(E.FParam.LinePitch, 1.5);
    EXPECT_EQ(E.FFont.Name, MenuFontName());
    EXPECT_TRUE(E.FParam.Shadow);
    EXPECT_EQ(E.FParam.GlowColor, 0xFFFF00);
    EXPECT_DOUBLE_EQ(E.FParam.ShadowRadius, 2.0);

    E.FParam.GlowRadius = 6.25;
    E.WriteIniFile(Ini);
    EXPECT_EQ(Ini.ReadString("AddText", "Text", ""), "one\\ntwo");
    EXPECT_EQ(Ini.ReadInteger("AddText", "BasePos", -1), 2);
    EXPECT_FALSE(Ini.ValueExists("AddText", "Position"));
    TAddTextEffect F;
    F.ReadIniFile(Ini);
    EXPECT_EQ(F.FText, E.FText);
    EXPECT_DOUBLE_EQ(F.FParam.GlowRadius, 6.25);
    EXPECT_EQ(F.FParam.Position, 2);

    // No anchor key at all: bottom-right.
    TMemIniFile Empty("");
    F.ReadIniFile(Empty);
    EXPECT_EQ(F.FParam.Position, 8);
    EXPECT_EQ(F.FText, "<ymdhn>");
}

TEST(AddTextEffect, ExpandsTokensAndFreesNothingItDoesNotOwn)
{
    TShrinker S;
    TGaussianBlur Blur;
    TAddTextEffect E;
    TMemIniFile Ini("");
    E.ReadIniFile(Ini);
    E.FText = "<s10><n>";
    E.FFont = TestFont();
    TEffectParams Params;
    Params.Antialiasing = &S.R;
    Params.GaussianBlur = &Blur;
    Params.Number = 3;
    TOwnedImg Img(120, 60, 3, 0);
    E.DoEffect(Img.I, Params);
    ASSERT_NE(Params.FontCache, nullptr);
    EXPECT_EQ(Params.FontCache->FText, "13"); // start value plus the entry number
    FreeFontCache(Params.FontCache);
    EXPECT_EQ(Params.FontCache, nullptr);
}
