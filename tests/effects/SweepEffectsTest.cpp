// Size rules at their ties: a square picture, and a box whose side the
// rounded other side meets exactly.
#include "effects/ResizeFilter.h"

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
