#include "core/Errors.h"
#include "core/PictureMemory.h"
#include "effects/ResizeFilter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::StartsWith;

namespace {

TSize Rule(int64_t W, int64_t H, int32_t R, double V1, double V2 = 0, int32_t D = 1, bool NoExpand = false)
{
    TSize S{W, H};
    CalcNewSize(S, R, V1, V2, D, NoExpand);
    return S;
}

} // namespace

TEST(SizeRule, WorkedCases)
{
    const struct {
        int64_t W, H;
        int32_t Rule;
        double V1, V2;
        int32_t Decoded; // the factor the source was decoded smaller by
        bool NoExpand;
        int64_t CW, CH;
    } cases[] = {
        {1000, 750, RULE_WIDTH, 640, 0, 1, false, 640, 480},
        {1000, 1, RULE_WIDTH, 640, 0, 1, false, 640, 1}, // 0.64 raised to 1
        {750, 1000, RULE_WIDESIDE, 640, 0, 1, false, 480, 640},
        {1000, 1000, RULE_INSCRIBED, 800, 600, 1, false, 600, 600},
        {1000, 1000, RULE_CIRCUMSCRIBED, 800, 600, 1, false, 800, 800},
        // Rounding is half up (333 x 0.5 = 166.5 goes up); a width of 100.4
        // rounds to 100 first and the height then follows 100, not 100.4.
        {333, 333, RULE_PERCENT, 50, 0, 1, false, 167, 167},
        {1000, 999, RULE_WIDTH, 100.4, 0, 1, false, 100, 100},
        // The decode factor applies to percent rules only: 50 % of a source
        // decoded at half size is 50 % of the full source.
        {500, 375, RULE_PERCENT, 50, 0, 2, false, 500, 375},
        {250, 200, RULE_WH_PERCENT, 50, 25, 4, false, 500, 200},
        {250, 200, RULE_WN_PERCENT, 50, 25, 4, false, 500, 200},
        {250, 200, RULE_WIDTH, 640, 0, 4, false, 640, 512},
        {250, 200, RULE_WH_PIXEL, 640, 480, 8, false, 640, 480},
        // No expansion keeps the whole size when either side would grow.
        {1000, 750, RULE_WIDTH, 2000, 0, 1, true, 1000, 750},
        {1000, 100, RULE_WH_PIXEL, 500, 200, 1, true, 1000, 100},
        {1000, 750, RULE_WIDTH, 500, 0, 1, true, 500, 375},
        {1000, 750, RULE_PERCENT, 100, 0, 1, true, 1000, 750},
    };
    for (const auto& c : cases) {
        const TSize S = Rule(c.W, c.H, c.Rule, c.V1, c.V2, c.Decoded, c.NoExpand);
        EXPECT_EQ(std::make_pair(S.cx, S.cy), std::make_pair(c.CW, c.CH))
            << c.W << "x" << c.H << " rule " << c.Rule << " " << c.V1 << "," << c.V2 << " /" << c.Decoded;
    }
}

TEST(SizeRule, AbsurdValuesSaturateInsteadOfWrapping)
{
    const TSize S = Rule(60000, 40000, RULE_PERCENT, 1e12);
    EXPECT_GT(S.cx, MaxResizeSide);
    EXPECT_GT(S.cy, MaxResizeSide);
    // Zero, negative and undefined values give the smallest picture.
    for (const TSize& Z : {Rule(1000, 750, RULE_PERCENT, 0), Rule(1000, 750, RULE_WH_PIXEL, -5, 0.0 / 0.0)})
        EXPECT_EQ(std::make_pair(Z.cx, Z.cy), std::make_pair(int64_t(1), int64_t(1)));
}

TEST(SizeRule, ResizeStepFailsHugeTargetsAsResultTooLarge)
{
    TEffectList L;
    L.AddFilter(std::make_unique<TResizeFilter>());
    L.SetResizeParam(RULE_PERCENT, 1e9, 0);
    TImgInfo Img;
    AllocImg(Img, 64, 64, 3);
    TEffectParams P;
    // The picture is fine; what it would become is too large, and the reason says so.
    try {
        L.Items(0)->DoEffect(Img, P);
        ADD_FAILURE() << "no error";
    } catch (const EResultTooLarge& E) {
        EXPECT_THAT(E.what(), StartsWith("result too large: 640000000 x 640000000 ("));
    }
    EXPECT_EQ(Img.Width, 64u); // the picture is left as it was
    FreeImg(Img);
}
