// Size rules at their ties: a square picture, and a box whose side the
// rounded other side meets exactly.
#include "effects/ResizeFilter.h"
#include "core/ImageLoader.h"
#include "effects/DecreaseColor.h"
#include "effects/Effect.h"
#include "effects/TrimmingFilter.h"
#include "EffectTestUtil.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

#include <gtest/gtest.h>

namespace {

TSize Rule(int64_t W, int64_t H, int32_t R, double V1, double V2)
{
    TSize S{W, H};
    CalcNewSize(S, R, V1, V2, 1, false);
    return S;
}

} // namespace

TEST(SweepSizeRule, SquaresCountAsLandscapeAndTiesKeepTheWidth)
{
    const struct {
        int64_t W, H;
        int32_t Rule;
        double V1, V2;
        int64_t CW, CH;
    } Rows[] = {
        // A square picture takes the wide side first, as a landscape one does.
        {500, 500, RULE_WN_PIXEL, 640, 480, 640, 480},
        {500, 500, RULE_WN_PERCENT, 50, 20, 250, 100},
        {480, 500, RULE_WN_PIXEL, 640, 480, 480, 640},
        {500, 480, RULE_WN_PERCENT, 50, 20, 250, 96},
        {480, 500, RULE_WN_PERCENT, 50, 20, 96, 250},
        // Circumscribed: at width 100 the height rounds to 67, the box's own
        // height: the width stays 100 (not 100.5 rounded up from the height).
        {300, 200, RULE_CIRCUMSCRIBED, 100, 67, 100, 67},
        {300, 200, RULE_CIRCUMSCRIBED, 100, 68, 102, 68},
        {300, 200, RULE_INSCRIBED, 100, 67, 100, 67},
        {300, 200, RULE_INSCRIBED, 100, 66, 99, 66},
    };
    for (const auto& R : Rows) {
        const TSize S = Rule(R.W, R.H, R.Rule, R.V1, R.V2);
        EXPECT_EQ(std::make_pair(S.cx, S.cy), std::make_pair(R.CW, R.CH))
            << R.W << "x" << R.H << " rule " << R.Rule << " " << R.V1 << "," << R.V2;
    }
}

// A picture already of the asked aspect, within the rounding of its height,
// is not cut by a pixel: 102 x 57 is 16:9 (57.375 rounds to 57).
TEST(SweepTrim, APictureOfTheAskedAspectStaysWhole)
{
    const struct {
        int64_t W, H;
        double A, B;
        bool Cut;
        int64_t CW, CH;
    } Rows[] = {
        {102, 57, 16, 9, false, 102, 57}, {160, 90, 16, 9, false, 160, 90}, {56, 100, 9, 16, false, 56, 100},
        {100, 100, 16, 9, true, 100, 56}, {100, 100, 9, 16, true, 56, 100}, {300, 100, 4, 3, true, 133, 100},
    };
    for (const auto& R : Rows) {
        TSize S{R.W, R.H};
        const bool Valid = CalcTrimRect(TRIM_ASPECT, S, R.A, R.B, 50, 50);
        EXPECT_TRUE(Valid);
        EXPECT_EQ(S.cx != R.W || S.cy != R.H, R.Cut) << R.W << "x" << R.H;
        EXPECT_EQ(std::make_pair(S.cx, S.cy), std::make_pair(R.CW, R.CH)) << R.W << "x" << R.H;
    }
}

// The colour-reduction tool gets the options of the dialog: the palette
// tools' dither strength 0..10 as a share (10 is 1), none as --nofs; the
// quantiser's quality as its speed (11 - quality); the palette size.
TEST(SweepDecreaseColor, TheToolIsCalledWithTheDialogsOptions)
{
    EnsureKodex();
    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    const std::string SavedExe = Startup.ExeDir, SavedTemp = Startup.TempDir;
    Startup.ExeDir = Scratch.Path;
    Startup.TempDir = Scratch.Path;
    fs::create_directories(Dir / "bin");
    std::ofstream(Dir / "bin" / "pngquant")
        << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << (Dir / "args").string() << "'\nexit 4\n";
    fs::permissions(Dir / "bin" / "pngquant", fs::perms::owner_all);
    const struct {
        int32_t Mode, Dither, Strength, Quality, Entries;
        const char* Args; // without the file names
    } Rows[] = {
        {2, 2, 10, 9, 16, "--force --floyd=1 --output 16 --"},
        {2, 1, 5, 9, 200, "--force --floyd=0.5 --output 200 --"},
        {2, 0, 5, 9, 256, "--force --nofs --output 256 --"},
        {3, 2, 5, 9, 64, "--force --speed 2 --floyd=1 --output 64 --"},
        {3, 0, 5, 1, 8, "--force --speed 10 --nofs --output 8 --"},
        {3, 1, 0, 10, 2, "--force --speed 1 --floyd=1 --output 2 --"},
    };
    for (const auto& R : Rows) {
        TDecreaseColorEffect E;
        E.FMode = R.Mode;
        E.FDitherType = R.Dither;
        E.FDitherStr = R.Strength;
        E.FQuality = R.Quality;
        E.FPaletteEntries = R.Entries;
        TTestPicture Pic(8, 8, 3);
        TEffectParams P;
        P.OutFileName = (Dir / "out.png").string();
        P.ToolOutFileName = (Dir / "out-new.png").string();
        EXPECT_NE(ErrorOf([&] { E.DoEffect(Pic.I, P); }), "");
        std::ifstream In(Dir / "args");
        std::string Args;
        for (std::string L; std::getline(In, L);)
            if (!L.starts_with("/"))
                Args += (Args.empty() ? "" : " ") + L;
        EXPECT_EQ(Args, R.Args) << "mode " << R.Mode;
    }
    Startup.ExeDir = SavedExe;
    Startup.TempDir = SavedTemp;
}

// The effect strip's entries: the chain's effects, then the colour reduction
// right after them; ticking one ticks that one only.
TEST(SweepEffectList, TheEntryAfterTheChainIsTheColourReduction)
{
    TEffectList L;
    L.AddFilter(std::make_unique<TResizeFilter>());
    L.AddFilter(std::make_unique<TTrimmingFilter>());
    auto Reduce = std::make_unique<TDecreaseColorEffect>();
    Reduce->FMode = 2;
    TEffect* R = Reduce.get();
    L.SetDecreaseColorEffect(std::move(Reduce));
    ASSERT_EQ(L.Count(), 2);
    const bool Resize0 = L.Items(0)->FUse;
    L.ChangeState(2, true);
    EXPECT_TRUE(R->FUse);
    EXPECT_EQ(L.Items(0)->FUse, Resize0);
    EXPECT_FALSE(L.Items(1)->FUse);
    L.ChangeState(1, true);
    EXPECT_TRUE(L.Items(1)->FUse);
    L.ChangeState(2, false);
    EXPECT_FALSE(R->FUse);
    EXPECT_TRUE(L.Items(1)->FUse);
    L.ChangeState(-1, true); // nothing
    EXPECT_FALSE(R->FUse);
    Settings.ColorReductionDropsAlpha = false; // a global the effect sets
}
