// The PNG predictors at their ties, worked by hand: where two predictions are
// equally near, the left one (a) beats the upper left (c) and the upper one
// (b) beats the upper left; both the plain form and the vector form.
#include "kodex/PngUnfilter.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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
        // Pixels of 2 to 8 bytes, which the vector form works a pixel at a
        // time: every byte of the second pixel takes the same side.
        for (uint32_t Bpp : {2u, 3u, 4u, 6u, 8u}) {
            std::vector<uint8_t> Row(2 * Bpp, 1), Prev(2 * Bpp, R.B);
            std::fill_n(Row.begin(), Bpp, uint8_t(R.A - R.C));
            std::fill_n(Prev.begin(), Bpp, R.C);
            std::vector<uint8_t> Plain = Row;
            ASSERT_TRUE(kodex::ref::UnfilterRow(4, Plain.data(), Prev.data(), 2 * Bpp, Bpp));
            ASSERT_TRUE(kodex::UnfilterRow(4, Row.data(), Prev.data(), 2 * Bpp, Bpp));
            std::vector<uint8_t> Want(Bpp, R.A);
            Want.resize(2 * Bpp, uint8_t(1 + R.Predicted));
            EXPECT_EQ(Plain, Want) << int(R.A) << "," << int(R.B) << "," << int(R.C) << " plain, pixels of " << Bpp;
            EXPECT_EQ(Row, Want) << int(R.A) << "," << int(R.B) << "," << int(R.C) << " vector, pixels of " << Bpp;
        }
    }
}
