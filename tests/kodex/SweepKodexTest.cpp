// The PNG predictors at their ties, worked by hand: where two predictions are
// equally near, the left one (a) beats the upper left (c) and the upper one
// (b) beats the upper left; both the plain form and the vector form.
#include "kodex/PngUnfilter.h"

#include <gtest/gtest.h>

#include <array>

TEST(SweepPaeth, TiesGoToTheLeftThenTheUpperPixel)
{
    const struct {
        uint8_t A, B, C; // left, above, above left
        uint8_t Predicted;
    } Rows[] = {
        {4, 13, 10, 4},    // pa 3, pb 6, pc 3: a before c
        {13, 4, 10, 4},    // pa 6, pb 3, pc 3: b before c
        {7, 7, 7, 7},      // all equal
        {10, 200, 0, 200}, // pa 200, pb 10, pc 210: b nearest
        {0, 100, 200, 0},  // pa 100, pb 200, pc 300: a nearest
        {100, 0, 200, 0},  // pa 200, pb 100, pc 300: b nearest
    };
    for (const auto& R : Rows) {
        for (bool Vector : {false, true}) {
            // One byte per pixel: the first pixel decodes to a (it adds the
            // one above, c), the second adds the prediction to 1.
            std::array<uint8_t, 2> Row{uint8_t(R.A - R.C), 1}, Prev{R.C, R.B};
            ASSERT_TRUE(Vector ? kodex::UnfilterRow(4, Row.data(), Prev.data(), 2, 1)
                               : kodex::ref::UnfilterRow(4, Row.data(), Prev.data(), 2, 1));
            EXPECT_EQ(Row[0], R.A);
            EXPECT_EQ(Row[1], uint8_t(1 + R.Predicted))
                << int(R.A) << "," << int(R.B) << "," << int(R.C) << (Vector ? " vector" : " plain");
        }
    }
}
