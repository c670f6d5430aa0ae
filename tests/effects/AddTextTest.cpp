#include "effects/AddTextEffect.h"

#include "EffectTestUtil.h"
#include "core/IniFile.h"
#include "core/Resize.h"
#include "core/WeightedMean.h"
#include "effects/WindowFuncs.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>

#include <cmath>
#include <cstdio>
#include <thread>

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

// Bounding box of the pixels that differ (right and bottom exclusive).
TRect Changed(const TTestImg& A, const TTestImg& B)
{
    TRect R{INT32_MAX, INT32_MAX, -1, -1};
    for (uint32_t y = 0; y < A.I.Height; ++y)
        for (uint32_t x = 0; x < A.I.Width; ++x)
            if (A.At(x, y) != B.At(x, y)) {
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

const TFont Font{"DejaVu Sans", 1, 12, 0x0000FF, 0}; // red

struct TText : ::testing::Test {
    TShrinker Shrink;
    TGaussianBlur Blur;
    TFontCache Cache;
    TRect Draw(TTestImg& Img, const TAddTextParam& P, const std::string& Text)
    {
        TRect R;
        RenderTextOverlay(Img.I, P, Font, &Shrink.R, &Blur, Text, Cache, R);
        return R;
    }
};

} // namespace

TEST_F(TText, LandsAtEveryAnchor)
{
    const TTestImg Ref(240, 160, {0x40, 0x40, 0x40});
    for (int32_t Anchor = 0; Anchor <= 8; ++Anchor) {
        SCOPED_TRACE(Anchor);
        TTestImg Img(Ref);
        TAddTextParam P;
        P.FontOpacity = 100;
        P.Position = Anchor;
        const int32_t Col = Anchor / 3, Row = Anchor % 3;
        P.XOffset = Col == 2 ? -5 : 5; // towards the inside: the whole block shows
        P.YOffset = Row == 0 ? 3 : -3;
        P.MarginX = 2;
        const TRect R = Draw(Img, P, "Hello\r\nWorld");
        const int32_t TW = R.Right - R.Left, TH = R.Bottom - R.Top;
        EXPECT_EQ(R.Left, Col == 0 ? 5 : Col == 1 ? (240 - TW) / 2 + 5 : 240 - TW - 5);
        EXPECT_EQ(R.Top, Row == 0 ? 3 : Row == 1 ? (160 - TH) / 2 - 3 : 160 - TH - 3);
        const TRect C = Changed(Ref, Img);
        ASSERT_LT(C.Left, C.Right) << "nothing drawn";
        EXPECT_TRUE(C.Left >= R.Left + 2 && C.Right <= R.Right && C.Top >= R.Top && C.Bottom <= R.Bottom)
            << "drawn outside its block or in the margin";
        EXPECT_GT(C.Bottom - C.Top, 20); // two lines of 12 points
    }
}

TEST_F(TText, ZeroOpacitiesEmptyTextAndOffPictureChangeNothing)
{
    const TTestImg Ref(100, 60, {0x80, 0x80, 0x80, 0x80});
    TTestImg Img(Ref);
    TAddTextParam P;
    P.Position = 4;
    P.Shadow = P.Glow = true; // on, but at opacity 0
    P.ShadowRadius = P.GlowRadius = 2;
    P.ShadowStr = P.GlowStr = 8;
    Draw(Img, P, "Text");
    EXPECT_TRUE(Img == Ref);
    P.FontOpacity = 100;
    EXPECT_EQ(Draw(Img, P, "").Right, 0);
    P.XOffset = 1000;
    const TRect R = Draw(Img, P, "Text");
    EXPECT_EQ(R.Right - R.Left, 0);
    EXPECT_TRUE(Img == Ref);
}

TEST_F(TText, ShadowAndGlowSurroundTheLetters)
{
    for (bool Shadow : {true, false}) {
        SCOPED_TRACE(Shadow ? "shadow" : "glow");
        const TTestImg Ref(200, 100, {0x80, 0x80, 0x80});
        TTestImg Img(Ref);
        TAddTextParam P{.Position = 4, .Shadow = Shadow, .Glow = !Shadow};
        P.ShadowRadius = P.GlowRadius = 2;
        P.ShadowStr = P.GlowStr = 8;
        P.ShadowOpacity = P.GlowOpacity = 100;
        const TRect R = Draw(Img, P, "Mw");
        const double e = std::ceil(2 + 0.5);
        TTestImg T;
        Cache.GetAntialiasingText("Mw", Font, T.I, 0, e, e, e, e, &Shrink.R);
        ASSERT_EQ(int32_t(T.I.Width), R.Right - R.Left);
        int Under = 0, Around = 0;
        for (uint32_t y = 0; y < T.I.Height; ++y)
            for (uint32_t x = 0; x < T.I.Width; ++x) {
                const bool Diff = Ref.At(R.Left + x, R.Top + y) != Img.At(R.Left + x, R.Top + y);
                Under += T.At(x, y)[0] == 255 && Diff;
                Around += T.At(x, y)[0] == 0 && Diff;
            }
        EXPECT_EQ(Under, 0);
        EXPECT_GT(Around, 50);
    }
}

TEST(BlendColorThroughMask, CoverageAndAlpha)
{
    TTestImg Mask(3, 1, {0});
    *Mask.Px(0, 0) = 255, *Mask.Px(2, 0) = 1;
    const int32_t Color = 0x306090; // red 0x90, green 0x60, blue 0x30

    TTestImg Rgb(3, 1, {7, 7, 7});
    BlendColorThroughMask(Rgb.I, Color, 100, Mask.I, 0, 0);
    EXPECT_EQ(Rgb.At(0, 0), V({0x30, 0x60, 0x90}));
    EXPECT_EQ(Rgb.At(1, 0), V({7, 7, 7}));

    TTestImg Rgba(3, 1, {0, 0, 0, 0});
    Rgba.Px(2, 0)[3] = 255;
    BlendColorThroughMask(Rgba.I, Color, 100, Mask.I, 0, 0);
    EXPECT_EQ(Rgba.At(0, 0), V({0x30, 0x60, 0x90, 255}));
    EXPECT_EQ(Rgba.At(1, 0), V({0, 0, 0, 0}));
    EXPECT_EQ(Rgba.At(2, 0)[3], 254); // t carries no rounding term
    *Mask.Px(0, 0) = 200;
    Rgba.Px(0, 0)[3] = 0;
    BlendColorThroughMask(Rgba.I, Color, 100, Mask.I, 0, 0);
    EXPECT_EQ(Rgba.At(0, 0), V({0x30, 0x60, 0x90, 200})) << "a clear pixel takes the coverage as alpha";

    // Half opacity gives a = 128: full coverage mixes at 127. A hand-edited
    // opacity above 100 acts as 100 instead of wrapping.
    *Mask.Px(0, 0) = 255;
    TTestImg Gray(1, 1, {0}), Over(1, 1, {10});
    BlendColorThroughMask(Gray.I, 0xFFFFFF, 50, Mask.I, 0, 0);
    BlendColorThroughMask(Over.I, 0xFFFFFF, 250, Mask.I, 0, 0);
    EXPECT_EQ(Gray.At(0, 0)[0], 127);
    EXPECT_EQ(Over.At(0, 0)[0], 255);
    // Placed partly off the image: only the overlap is touched.
    TTestImg Off(2, 1, {0});
    BlendColorThroughMask(Off.I, 0xFFFFFF, 100, Mask.I, -2, 0);
    EXPECT_EQ(Off.At(0, 0)[0], 1);
    EXPECT_EQ(Off.At(1, 0)[0], 0);
}

TEST(FontCache, ThreadsRenderTheSameMask)
{
    TShrinker S0;
    TFontCache Ref;
    const std::string Text = "Threads <1>\r\nline two";
    TTestImg Expected;
    Ref.GetAntialiasingText(Text, Font, Expected.I, 1, 3, 3, 3, 3, &S0.R);
    std::vector<int> Same(6, 0);
    std::vector<std::thread> Th;
    for (size_t t = 0; t < Same.size(); ++t)
        Th.emplace_back([&, t] {
            TShrinker S;
            for (int Round = 0; Round < 4; ++Round) {
                TFontCache C; // a fresh cache renders anew each round
                TTestImg M;
                C.GetAntialiasingText(Text, Font, M.I, 1, 3, 3, 3, 3, &S.R);
                Same[t] += M == Expected;
            }
        });
    for (auto& T : Th)
        T.join();
    EXPECT_EQ(Same, std::vector<int>(6, 4));
}

TEST(AddTextEffect, SettingsAndTokens)
{
    TMemIniFile Ini("");
    Ini.WriteInteger("AddText", "Position", 1);
    Ini.WriteString("AddText", "Text", "<s10><n>\\N<n>");
    Ini.WriteString("AddText", "LinePitch", "1,5");
    Ini.WriteString("AddText", "FontName", "No Such Family 123");
    TAddTextEffect E;
    E.ReadIniFile(Ini);
    EXPECT_EQ(E.FParam.Position, 2) << "the older anchor 1 is bottom-left";
    EXPECT_FALSE(Ini.ValueExists("AddText", "Position"));
    EXPECT_EQ(E.FText, "<s10><n>\r\n<n>");
    EXPECT_DOUBLE_EQ(E.FParam.LinePitch, 1.5);
    EXPECT_EQ(E.FFont.Name, MenuFontName());

    TShrinker S;
    TGaussianBlur Blur;
    TEffectParams Params;
    Params.Antialiasing = &S.R;
    Params.GaussianBlur = &Blur;
    Params.Number = 3;
    TTestImg Img(120, 60, {0, 0, 0});
    E.DoEffect(Img.I, Params);
    ASSERT_NE(Params.FontCache, nullptr);
    EXPECT_EQ(Params.FontCache->FText, "13\r\n13"); // start value plus the entry number
    FreeFontCache(Params.FontCache);
}

// One cache drawing a series of texts: every change of text, font or layout
// gives the mask a fresh cache would draw, never the one kept from before.
TEST(FontCache, DrawsAnewWhenTextFontOrMarginsChange)
{
    TShrinker S;
    struct TKey {
        std::string Text;
        TFont F;
        double Pitch, Left, Top, Right, Bottom;
    };
    TFont Bold = Font, Big = Font, Other = Font, Red = Font;
    Bold.Style = fsBold;
    Big.Size = 16;
    Other.Name = "DejaVu Serif";
    Red.Color = 0x00FF00; // colour is not part of the mask
    const TKey Keys[] = {
        {"Key A", Font, 1, 3, 3, 3, 3},   {"Key B", Font, 1, 3, 3, 3, 3},   {"Key B", Bold, 1, 3, 3, 3, 3},
        {"Key B", Big, 1, 3, 3, 3, 3},    {"Key B", Other, 1, 3, 3, 3, 3},  {"Key\nB", Other, 1, 3, 3, 3, 3},
        {"Key\nB", Other, 2, 3, 3, 3, 3}, {"Key\nB", Other, 2, 9, 3, 3, 3}, {"Key\nB", Other, 2, 9, 1, 3, 3},
        {"Key\nB", Other, 2, 9, 1, 7, 3}, {"Key\nB", Other, 2, 9, 1, 7, 0}, {"Key\nB", Red, 2, 9, 1, 7, 0},
    };
    TFontCache Kept;
    for (const TKey& k : Keys) {
        SCOPED_TRACE(k.Text + " size " + std::to_string(k.F.Size) + " style " + std::to_string(k.F.Style) + " " +
                     k.F.Name + " pitch " + std::to_string(k.Pitch) + " margins " + std::to_string(k.Left) + "," +
                     std::to_string(k.Top) + "," + std::to_string(k.Right) + "," + std::to_string(k.Bottom));
        TTestImg Got, Fresh;
        Kept.GetAntialiasingText(k.Text, k.F, Got.I, k.Pitch, k.Left, k.Top, k.Right, k.Bottom, &S.R);
        TFontCache New;
        New.GetAntialiasingText(k.Text, k.F, Fresh.I, k.Pitch, k.Left, k.Top, k.Right, k.Bottom, &S.R);
        EXPECT_TRUE(Got == Fresh);
    }
}

namespace {

// The font at Size points, four times over, as the cache draws it.
QFont Font4(int32_t Size)
{
    QFont F("DejaVu Sans");
    F.setPixelSize((Size * 4 * 96 + 36) / 72);
    return F;
}

::testing::AssertionResult HasTheStrideOfItsWidth(const TImgInfo& M)
{
    if (M.Bpl == CalcBpl(M.Width, 1))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << M.Width << " x " << M.Height << " mask with stride " << M.Bpl;
}

} // namespace

// Margins that eat the block but one row (or one column) of the drawing give
// a mask one pixel high (or wide): it has the stride of its width, and the
// copy the cache hands out next holds the same pixels within its block.
TEST(FontCache, MasksOfOneRowOrOneColumn)
{
    TShrinker S;
    const TFont Big{"DejaVu Sans", 1, 40, 0xFFFFFF, 0};
    const double H4 = QFontMetrics(Font4(Big.Size)).height();
    const double W4 = TextWidthItalicCorrected(Font4(Big.Size), "WWWW");
    // Margins in output pixels, a quarter of the drawing's: the top cut to
    // the middle of the line and the bottom up to the row below; the left cut
    // 40 pixels into the letters and the right up to the next column.
    struct TCut {
        double Left, Top, Right, Bottom;
        uint32_t Width, Height; // 0: not one pixel
    };
    const TCut Cuts[] = {{0, -H4 / 8, 0, (1 - H4) / 4 + H4 / 8, 0, 1}, {-40, 0, (1 - W4) / 4 + 40, 0, 1, 0}};
    for (const TCut& C : Cuts) {
        TFontCache Cache;
        TTestImg First, Again;
        Cache.GetAntialiasingText("WWWW", Big, First.I, 0, C.Left, C.Top, C.Right, C.Bottom, &S.R);
        Cache.GetAntialiasingText("WWWW", Big, Again.I, 0, C.Left, C.Top, C.Right, C.Bottom, &S.R);
        if (C.Height) {
            EXPECT_EQ(First.I.Height, C.Height);
        }
        if (C.Width) {
            EXPECT_EQ(First.I.Width, C.Width);
        }
        EXPECT_GT(First.I.Width * First.I.Height, 0u);
        EXPECT_TRUE(HasTheStrideOfItsWidth(First.I));
        EXPECT_TRUE(HasTheStrideOfItsWidth(Again.I));
        EXPECT_TRUE(First == Again);
        // The letters are in it.
        int Ink = 0;
        for (uint32_t y = 0; y < First.I.Height; ++y)
            for (uint32_t x = 0; x < First.I.Width; ++x)
                Ink += First.At(x, y)[0] != 0;
        EXPECT_GT(Ink, 0);
    }
}

// Text too large to draw is refused with the size it would have, in output
// pixels; beyond the font's measurable sizes too, where its measures wrap
// around. A text whose own layout leaves no letter in the block is refused
// rather than handed back as an empty mask.
TEST(FontCache, TextTooLargeOrNotDrawnIsRefused)
{
    TShrinker S;
    auto Refusal = [&](int32_t Size, const std::string& Text = "W", double Pitch = 0) {
        TFontCache Cache;
        TTestImg M;
        try {
            Cache.GetAntialiasingText(Text, TFont{"DejaVu Sans", 1, Size, 0, 0}, M.I, Pitch, 0, 0, 0, 0, &S.R);
        } catch (const EVestroError& E) {
            EXPECT_EQ(M.I.Mem, nullptr);
            return std::string(E.what());
        }
        return std::string();
    };
    EXPECT_EQ(Refusal(3000), "the text is too large to draw: 3955 x 4657 pixels");
    // Measured small and scaled: about 1.16 lines of 4/3 pixels a point.
    for (int32_t Size : {4096, 100000, 200000, INT32_MAX, -200000}) {
        const std::string Said = Refusal(Size);
        SCOPED_TRACE(Said);
        int64_t W = 0, H = 0;
        ASSERT_EQ(std::sscanf(Said.c_str(), "the text is too large to draw: %ld x %ld pixels", &W, &H), 2);
        const double Points = std::abs(double(Size));
        EXPECT_NEAR(double(H), Points * 4 / 3 * 1.164, Points * 0.02);
        EXPECT_NEAR(double(W), double(H) * 3955 / 4657, double(H) * 0.02);
    }
    // A dot at 3500 points would fit the block, but its measures do not hold.
    EXPECT_NE(Refusal(3500, "."), "");
    EXPECT_EQ(Refusal(3000, "."), "");
    // The second line pulled far above the first, off the block.
    EXPECT_EQ(Refusal(20, " \r\nW", -1000), "the text could not be drawn");
    EXPECT_EQ(Refusal(20, " \r\n ", -1000), "");
}
