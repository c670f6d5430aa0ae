#include "effects/ColorCorrectionFrm.h"
#include "effects/ToneCurveFrm.h"

#include "EffectTestUtil.h"
#include "core/IniFile.h"
#include "core/ColorCorrectionFunc.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(ColorAdjustEffect, StagesAndWorkingForm)
{
    // Contrast alone on Y, Cb, Cr: one conversion to RGB, then the RGB table.
    TColorAdjust e;
    e.FContrast = 60;
    e.BuildTables();
    TPatternPicture p(11, 4, 3), ref(11, 4, 3);
    TEffectParams prm;
    prm.IsYCbCr = true;
    e.DoEffect(p.I, prm);
    EXPECT_FALSE(prm.IsYCbCr);
    std::vector<int16_t> t(YCbCrLUT12Size);
    BuildRGBLUT(0, 60, t.data(), 1.0);
    YCbCrToRGB3(ref.I);
    ApplyRGBLUT(ref.I, t.data());
    EXPECT_TRUE(ref.SameAs(p.I));

    // Luma values on Y, Cb, Cr: the 8-bit table in place, the form kept.
    e.FContrast = 0;
    e.FLumaMin = 30;
    e.BuildTables();
    TPatternPicture y(6, 3, 3), yref(6, 3, 3);
    prm.IsYCbCr = true;
    e.DoEffect(y.I, prm);
    EXPECT_TRUE(prm.IsYCbCr);
    BuildYCbCrLUT8(30, 0, 0, 1.0, t.data());
    ApplyYCbCrLUT8(yref.I, t.data());
    EXPECT_TRUE(yref.SameAs(y.I));

    // The preview does on a BGR picture what the batch does.
    prm.IsYCbCr = false;
    e.FRGBGamma = 1.4;
    e.FChroma = -100;
    e.FHue = 20;
    e.BuildTables();
    for (uint32_t c : {1u, 3u, 4u}) {
        TPatternPicture a(17, 3, c), b(17, 3, c);
        e.DoEffect(a.I, prm);
        ApplyColorAdjustPreview(b.I, e.Param());
        EXPECT_TRUE(b.SameAs(a.I)) << c;
    }
}

TEST(ColorAdjustEffect, SettingsReadWithCorrections)
{
    TTestDir d;
    TColorAdjust e;
    TMemIniFile a(d.File("a.ini", "[ColorCorrection]\nLumaMin=400\nRGBGamma=0.1\nYGamma=1,5\nPreview=0\n"));
    e.ReadIniFile(a);
    EXPECT_EQ(e.FLumaMin, 400); // kept as stored
    EXPECT_EQ(e.FRGBGamma, 0.2);
    EXPECT_EQ(e.FYGamma, 1.5);
    EXPECT_FALSE(e.FPreview);

    // Values no dialog produces still give a picture, never a crash.
    TMemIniFile b(d.File("b.ini", "[ColorCorrection]\nLumaMin=-100000\nLumaMax=2147483647\nChroma=99999\n"
                                  "Hue=-99999\nContrast=100000\nRGBGamma=1e300\nYGamma=nan\n"));
    e.ReadIniFile(b);
    EXPECT_EQ(e.FYGamma, 1.0);
    TPatternPicture p(8, 3, 3);
    TEffectParams prm;
    e.DoEffect(p.I, prm);
}
