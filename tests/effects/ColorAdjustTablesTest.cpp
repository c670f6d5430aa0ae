// The colour adjustment's tables are built when a picture needs them: for
// the values read from the settings, and again when the values change.
#include "effects/ColorAdjust.h"

#include "EffectTestUtil.h"
#include "core/IniFile.h"

#include <functional>
#include <memory>
#include <thread>
#include <vector>

TEST(ColorAdjustTables, PicturesGetTheValuesReadLastWithoutAnExplicitBuild)
{
    TColorAdjust ca;
    TMemIniFile ini("");
    ini.WriteInteger("ColorCorrection", "LumaMin", 40);
    ini.WriteInteger("ColorCorrection", "Hue", 25);
    ca.ReadIniFile(ini);
    TEffectParams prm;
    for (int round = 0; round < 2; ++round) {
        // Four workers at once on the first pictures of a run.
        std::vector<std::unique_ptr<TPatternPicture>> pics, previews;
        for (int i = 0; i < 4; ++i) {
            pics.push_back(std::make_unique<TPatternPicture>(21, 6, 3));
            previews.push_back(std::make_unique<TPatternPicture>(21, 6, 3));
        }
        std::vector<std::thread> workers;
        for (auto& p : pics)
            workers.emplace_back([&ca, &p] {
                TEffectParams own;
                ca.DoEffect(p->I, own);
            });
        for (auto& w : workers)
            w.join();
        for (size_t i = 0; i < pics.size(); ++i) {
            ApplyColorAdjustPreview(previews[i]->I, ca.Param());
            EXPECT_TRUE(previews[i]->SameAs(pics[i]->I)) << round;
            EXPECT_FALSE(TPatternPicture(21, 6, 3).SameAs(pics[i]->I)) << round; // it did change them
        }
        ca.FChroma = -90; // the dialog's next values
        ca.FRGBGamma = 1.7;
    }
    // Each value on its own brings new tables.
    const std::function<void()> changes[] = {
        [&] { ca.FLumaMin = 12; },  [&] { ca.FLumaMax = -30; },  [&] { ca.FChroma = 60; }, [&] { ca.FHue = -40; },
        [&] { ca.FContrast = 35; }, [&] { ca.FRGBGamma = 0.6; }, [&] { ca.FYGamma = 2.2; }};
    for (size_t k = 0; k < std::size(changes); ++k) {
        changes[k]();
        TPatternPicture p(9, 4, 3), preview(9, 4, 3);
        ca.DoEffect(p.I, prm);
        ApplyColorAdjustPreview(preview.I, ca.Param());
        EXPECT_TRUE(preview.SameAs(p.I)) << k;
    }
    ca.FLumaMin = ca.FLumaMax = ca.FHue = ca.FChroma = ca.FContrast = 0;
    ca.FRGBGamma = ca.FYGamma = 1.0;
    TPatternPicture p(9, 4, 3);
    ca.DoEffect(p.I, prm); // neutral again: nothing changes
    EXPECT_TRUE(TPatternPicture(9, 4, 3).SameAs(p.I));
}
