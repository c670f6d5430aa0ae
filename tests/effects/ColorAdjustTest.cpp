#include "effects/ColorCorrectionFrm.h"

#include "EffectTestPictures.h"
#include "core/ColorCorrectionFunc.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void ReadSection(TColorAdjust& E, const TTestDir& D, const std::string& Body)
{
    TMemIniFile Ini(D.File("s.ini", "[ColorCorrection]\n" + Body));
    E.ReadIniFile(Ini);
}

} // namespace

TEST(ColorAdjustEffect, NeutralValuesChangeNothing)
{
    TColorAdjust e;
    for (uint32_t c : {1u, 2u, 3u, 4u})
        for (bool ycc : {false, true}) {
            TTestPicture p(9, 5, c), ref(9, 5, c);
            TEffectParams prm;
            prm.IsYCbCr = ycc;
            e.DoEffect(p.I, prm);
            EXPECT_TRUE(ref.SameAs(p.I)) << c;
            EXPECT_EQ(prm.IsYCbCr, ycc);
        }
}

TEST(ColorAdjustEffect, StagesAndWorkingForm)
{
    TColorAdjust e;
    // Contrast alone on Y, Cb, Cr: no luma/chroma stage, one conversion to
    // RGB, then the RGB table.
    e.FContrast = 60;
    e.BuildTables();
    TTestPicture p(11, 4, 3), ref(11, 4, 3);
    TEffectParams prm;
    prm.IsYCbCr = true;
    e.DoEffect(p.I, prm);
    EXPECT_FALSE(prm.IsYCbCr);
    std::vector<int16_t> rgb(RGBLUTSize);
    BuildRGBLUT(0, 60, rgb.data(), 1.0);
    YCbCrToRGB3(ref.I);
    ApplyRGBLUT(ref.I, rgb.data());
    EXPECT_TRUE(ref.SameAs(p.I));
    // Steeper around the middle: a dark sample gets darker.
    EXPECT_LT(rgb[40], 40);
    EXPECT_GT(rgb[256 + 215], 215);

    // Luma values on Y, Cb, Cr: the 8-bit table in place, the form kept.
    e.FContrast = 0;
    e.FLumaMin = 30;
    e.BuildTables();
    TTestPicture y(6, 3, 3), yref(6, 3, 3);
    prm.IsYCbCr = true;
    e.DoEffect(y.I, prm);
    EXPECT_TRUE(prm.IsYCbCr);
    std::vector<int16_t> ycc(YCbCrLUT8Size);
    BuildYCbCrLUT8(30, 0, 0, 1.0, ycc.data());
    ApplyYCbCrLUT8(yref.I, ycc.data());
    EXPECT_TRUE(yref.SameAs(y.I));
    EXPECT_GE(ycc[0], 25); // the black is lifted

    // Gray+alpha has no luma/chroma form: left as it is.
    TTestPicture ga(5, 2, 2), garef(5, 2, 2);
    prm.IsYCbCr = false;
    e.DoEffect(ga.I, prm);
    EXPECT_TRUE(garef.SameAs(ga.I));

    // The preview does on a BGR picture what the batch does.
    e.FRGBGamma = 1.4;
    e.FChroma = -100;
    e.FHue = 20;
    e.BuildTables();
    for (uint32_t c : {1u, 3u, 4u}) {
        TTestPicture a(17, 3, c), b(17, 3, c);
        e.DoEffect(a.I, prm);
        ApplyColorAdjustPreview(b.I, e.Param());
        EXPECT_TRUE(b.SameAs(a.I)) << c;
    }
}

TEST(ColorAdjustEffect, SettingsReadWithCorrections)
{
    TTestDir d;
    TColorAdjust e;
    ReadSection(e, d, "Use=1\nLumaMin=400\nRGBGamma=0.1\nYGamma=1,5\nContrast=-7\nPreview=0\n");
    EXPECT_TRUE(e.FUse);
    EXPECT_EQ(e.FLumaMin, 400); // kept as stored
    EXPECT_EQ(e.FRGBGamma, 0.2);
    EXPECT_EQ(e.FYGamma, 1.5);
    EXPECT_EQ(e.FContrast, -7);
    EXPECT_FALSE(e.FPreview);
    EXPECT_TRUE(e.FHistogram);
    ReadSection(e, d, "RGBGamma=nan\nYGamma=abc\n");
    EXPECT_EQ(e.FRGBGamma, 1.0);
    EXPECT_EQ(e.FYGamma, 1.0);

    // Values no dialog produces still give a picture, never a crash.
    ReadSection(e, d,
                "LumaMin=-100000\nLumaMax=2147483647\nChroma=99999\nHue=-99999\nContrast=100000\n"
                "RGBGamma=1e300\nYGamma=1e-300\n");
    TTestPicture p(8, 3, 3);
    TEffectParams prm;
    e.DoEffect(p.I, prm);
    ApplyColorAdjustPreview(p.I, e.Param());

    // Round trip.
    e.FLumaMin = -12, e.FLumaMax = 34, e.FChroma = 56, e.FHue = -78, e.FContrast = 90;
    e.FRGBGamma = 0.85, e.FYGamma = 2.25, e.FHistogram = false;
    TMemIniFile w((d.P / "w.ini").string());
    e.WriteIniFile(w);
    EXPECT_EQ(w.ReadSection("ColorCorrection"),
              (std::vector<std::string>{"Use", "Order", "LumaMin", "LumaMax", "Chroma", "Hue", "Contrast",
                                        "RGBGamma", "YGamma", "Preview", "Histogram"}));
    EXPECT_EQ(w.ReadString("ColorCorrection", "RGBGamma", ""), "0.85");
    TColorAdjust b;
    b.ReadIniFile(w);
    EXPECT_EQ(b.FLumaMin, -12);
    EXPECT_EQ(b.FLumaMax, 34);
    EXPECT_EQ(b.FChroma, 56);
    EXPECT_EQ(b.FHue, -78);
    EXPECT_EQ(b.FContrast, 90);
    EXPECT_EQ(b.FRGBGamma, 0.85);
    EXPECT_EQ(b.FYGamma, 2.25);
    EXPECT_FALSE(b.FHistogram);
}
