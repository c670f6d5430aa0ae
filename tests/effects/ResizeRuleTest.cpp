#include "core/Errors.h"
#include "effects/ResizeFilter.h"

#include <gtest/gtest.h>

namespace {

TSize Rule(int64_t W, int64_t H, int32_t R, double V1, double V2 = 0, int32_t D = 1, bool NoExpand = false)
{
    TSize S{W, H};
    CalcNewSize(S, R, V1, V2, D, NoExpand);
    return S;
}

#define EXPECT_SIZE(S, W, H)                                                                       \
    do {                                                                                           \
        const TSize s_ = (S);                                                                      \
        EXPECT_EQ(s_.cx, W);                                                                       \
        EXPECT_EQ(s_.cy, H);                                                                       \
    } while (0)

} // namespace

TEST(SizeRule, WorkedCases)
{
    EXPECT_SIZE(Rule(1000, 750, RULE_WIDTH, 640), 640, 480);
    EXPECT_SIZE(Rule(1000, 1, RULE_WIDTH, 640), 640, 1); // 0.64 raised to 1
    EXPECT_SIZE(Rule(750, 1000, RULE_WIDESIDE, 640), 480, 640);
    EXPECT_SIZE(Rule(1000, 1000, RULE_INSCRIBED, 800, 600), 600, 600);
    EXPECT_SIZE(Rule(1000, 1000, RULE_CIRCUMSCRIBED, 800, 600), 800, 800);
    EXPECT_SIZE(Rule(1000, 750, RULE_WIDTH, 2000, 0, 1, true), 1000, 750);
    // 50 % of a source decoded at half size is 50 % of the full source.
    EXPECT_SIZE(Rule(500, 375, RULE_PERCENT, 50, 0, 2), 500, 375);
}

TEST(SizeRule, RoundingIsHalfUpAndUsesTheRoundedSide)
{
    // 333 x 0.5 = 166.5 goes up.
    EXPECT_SIZE(Rule(333, 333, RULE_PERCENT, 50), 167, 167);
    // Width 100.4 rounds to 100 first; the height then follows 100, not 100.4.
    EXPECT_SIZE(Rule(1000, 999, RULE_WIDTH, 100.4), 100, 100);
}

TEST(SizeRule, DecodeFactorAppliesToPercentRulesOnly)
{
    EXPECT_SIZE(Rule(250, 200, RULE_WH_PERCENT, 50, 25, 4), 500, 200);
    EXPECT_SIZE(Rule(250, 200, RULE_WN_PERCENT, 50, 25, 4), 500, 200);
    EXPECT_SIZE(Rule(250, 200, RULE_WIDTH, 640, 0, 4), 640, 512);
    EXPECT_SIZE(Rule(250, 200, RULE_WH_PIXEL, 640, 480, 8), 640, 480);
}

TEST(SizeRule, NoExpandKeepsTheWholeSizeWhenEitherSideGrows)
{
    // Width shrinks, height grows: no resize at all.
    EXPECT_SIZE(Rule(1000, 100, RULE_WH_PIXEL, 500, 200, 1, true), 1000, 100);
    EXPECT_SIZE(Rule(1000, 750, RULE_WIDTH, 500, 0, 1, true), 500, 375);
    EXPECT_SIZE(Rule(1000, 750, RULE_PERCENT, 100, 0, 1, true), 1000, 750);
}

TEST(SizeRule, AbsurdValuesSaturateInsteadOfWrapping)
{
    const TSize S = Rule(60000, 40000, RULE_PERCENT, 1e12);
    EXPECT_GT(S.cx, MaxResizeSide);
    EXPECT_GT(S.cy, MaxResizeSide);
    // Zero, negative and undefined values give the smallest picture.
    EXPECT_SIZE(Rule(1000, 750, RULE_PERCENT, 0), 1, 1);
    EXPECT_SIZE(Rule(1000, 750, RULE_WH_PIXEL, -5, 0.0 / 0.0), 1, 1);
}

TEST(SizeRule, ResizeStepFailsHugeTargetsWithOutOfMemory)
{
    TEffectList L;
    L.AddFilter(std::make_unique<TResizeFilter>());
    L.SetResizeParam(RULE_PERCENT, 1e9, 0);
    TImgInfo Img;
    AllocImg(Img, 64, 64, 3);
    TEffectParams P;
    EXPECT_THROW(L.Items(0)->DoEffect(Img, P), EOutOfMemory);
    EXPECT_EQ(Img.Width, 64u); // the picture is left as it was
    FreeImg(Img);
}
