#include "effects/ColorAdjust.h"
#include "effects/ToneCurveEffect.h"

#include "EffectTestUtil.h"
#include "core/ColorCorrectionFunc.h"
#include "core/Grayscale.h"
#include "core/IniFile.h"
#include "effects/GrayscaleFilter.h"

#include <algorithm>

TEST(ColorEffects, NeutralSettingsChangeNothing)
{
    TColorAdjust ca;
    TToneCurveEffect tc;
    tc.BuildToneCurveTables();
    for (TEffect* e : {static_cast<TEffect*>(&ca), static_cast<TEffect*>(&tc)})
        for (uint32_t c : {1u, 2u, 3u, 4u})
            for (bool ycc : {false, true}) {
                TPatternPicture p(9, 5, c), ref(9, 5, c);
                TEffectParams prm;
                prm.IsYCbCr = ycc;
                e->DoEffect(p.I, prm);
                EXPECT_TRUE(ref.SameAs(p.I)) << e->FName << c;
                EXPECT_EQ(prm.IsYCbCr, ycc);
            }
}

// The previews do on a BGR picture what the batch does.
TEST(ColorEffects, PreviewsMatchTheBatch)
{
    TColorAdjust ca;
    ca.FLumaMin = 30;
    ca.FRGBGamma = 1.4;
    ca.FChroma = -100;
    ca.FHue = 20;
    ca.BuildTables();
    TToneCurveEffect tc;
    tc.FControlPoints[tcGreen] = {{0, 20}, {255, 235}};
    tc.FControlPoints[tcLuma] = {{0, 0}, {128, 110}, {255, 255}};
    tc.FControlPoints[tcChroma] = {{0, 0}, {128, 128}, {200, 230}, {255, 255}};
    tc.BuildToneCurveTables();
    for (uint32_t c : {1u, 3u, 4u}) {
        TPatternPicture a(33, 7, c), b(33, 7, c), x(33, 7, c), y(33, 7, c);
        TEffectParams prm;
        ca.DoEffect(a.I, prm);
        ApplyColorAdjustPreview(b.I, ca.Param());
        EXPECT_TRUE(b.SameAs(a.I)) << c;
        tc.DoEffect(x.I, prm);
        ApplyToneCurvePreview(y.I, tc.FControlPoints);
        EXPECT_TRUE(y.SameAs(x.I)) << c;
    }
}

namespace {

// The weight vector is process-wide: every test leaves it as it found it.
class GrayscaleEffect : public testing::Test {
protected:
    void SetUp() override { std::copy(GrayWeights, GrayWeights + 4, Saved); }
    void TearDown() override { std::copy(Saved, Saved + 4, GrayWeights); }
    float Saved[4];
    TGrayscaleFilter G;
};

} // namespace

TEST_F(GrayscaleEffect, PicturesByChannelCount)
{
    TMemIniFile Ini("/nonexistent/gray.ini");
    G.ReadIniFile(Ini); // the default weights
    TEffectParams P;
    TTestPicture Rgb(5, 2, 3), Rgba(2, 2, 4), Luma(1, 1, 3);
    Rgb.Px(4, 1)[2] = 255; // pure red
    G.DoEffect(Rgb.I, P);
    G.DoEffect(Rgb.I, P); // now 1 channel: unchanged
    EXPECT_EQ(Rgb.I.Channels, 1u);
    EXPECT_EQ(*Rgb.Px(4, 1), 76);
    EXPECT_FALSE(P.ToGrayAlpha);
    // With alpha the picture keeps 4 channels for the effects that follow; the
    // chain turns it gray+alpha after its last effect.
    G.DoEffect(Rgba.I, P);
    EXPECT_EQ(Rgba.I.Channels, 4u);
    EXPECT_TRUE(P.ToGrayAlpha);
    // Pixels in the luma/chroma working form: a neutral gray of luma 200.
    Luma.Px(0, 0)[0] = 200;
    Luma.Px(0, 0)[1] = Luma.Px(0, 0)[2] = 128;
    P.IsYCbCr = true;
    G.DoEffect(Luma.I, P);
    EXPECT_FALSE(P.IsYCbCr);
    EXPECT_NEAR(*Luma.Px(0, 0), 200, 1);
}

// The weights a user types: custom weights are divided by their sum (all zero
// stays zero, a sum of exactly one is kept as typed, values beyond the
// dialog's range are brought back into it), and the gray of pure red follows.
TEST_F(GrayscaleEffect, WeightsFromTheSettings)
{
    struct TCase {
        int Type, Red, Green, Blue;
        float R, G, B;
        int RedGray; // gray of pure red
    };
    const TCase Cases[] = {
        {GRAY_BT601, 5000, 0, 0, 0.299f, 0.587f, 0.114f, 76},
        {GRAY_BT709, 5000, 0, 0, 0.2125f, 0.7154f, 0.0721f, 54},
        {GRAY_CUSTOM, 2000, 2000, 1000, 0.4f, 0.4f, 0.2f, 102},
        {GRAY_CUSTOM, 3000, 3000, 4000, 0.3f, 0.3f, 0.4f, 77},
        {GRAY_CUSTOM, 0, 0, 0, 0.0f, 0.0f, 0.0f, 0},
        {GRAY_CUSTOM, 20000, -5, 0, 1.0f, 0.0f, 0.0f, 255},
        {7, 0, 10000, 10000, 0.0f, 0.5f, 0.5f, 0},
    };
    for (const TCase& c : Cases) {
        SCOPED_TRACE("type " + std::to_string(c.Type) + " weights " + std::to_string(c.Red) + "/" +
                     std::to_string(c.Green) + "/" + std::to_string(c.Blue));
        TMemIniFile Ini("/nonexistent/gray.ini");
        Ini.WriteInteger("GrayscaleFilter", "Type", c.Type);
        Ini.WriteInteger("GrayscaleFilter", "Red", c.Red);
        Ini.WriteInteger("GrayscaleFilter", "Green", c.Green);
        Ini.WriteInteger("GrayscaleFilter", "Blue", c.Blue);
        G.ReadIniFile(Ini);
        EXPECT_FLOAT_EQ(GrayWeights[0], c.R);
        EXPECT_FLOAT_EQ(GrayWeights[1], c.G);
        EXPECT_FLOAT_EQ(GrayWeights[2], c.B);
        TEffectParams P;
        TTestPicture Red(3, 1, 3);
        Red.Px(1, 0)[2] = 255;
        G.DoEffect(Red.I, P);
        EXPECT_NEAR(*Red.Px(1, 0), c.RedGray, 1);
    }
}
