#include "effects/ColorCorrectionFrm.h"
#include "effects/ToneCurveFrm.h"

#include "EffectTestUtil.h"
#include "core/ColorCorrectionFunc.h"

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

TEST(ColorAdjustEffect, PreviewMatchesTheBatch)
{
    TColorAdjust e;
    TEffectParams prm;
    e.FLumaMin = 30;
    // The preview does on a BGR picture what the batch does.
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
