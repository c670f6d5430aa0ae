#include "core/Rotate.h"
#include "PictureTestUtil.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// Pixel (X, Y) top-down, or the whole picture when X < 0.
std::vector<uint8_t> Px(const TImgInfo& Img, int X = -1, uint32_t Y = 0)
{
    std::vector<uint8_t> v;
    for (uint32_t y = 0; y < Img.Height; ++y) {
        const uint8_t* row = ScanLine(Img, y);
        if (X < 0)
            v.insert(v.end(), row, row + Img.Width * Img.Channels);
        else if (y == Y)
            v.assign(row + X * Img.Channels, row + (X + 1) * Img.Channels);
    }
    return v;
}

} // namespace

TEST(Rotate, TurnsAndFlipsGiveIdentity)
{
    const uint32_t sizes[][2] = {{1, 1}, {3, 1}, {1, 5}, {7, 5}, {65, 3}, {129, 67}};
    for (uint32_t c = 1; c <= 4; ++c)
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << "x" << c);
            TImgInfo img = RandomImage(s[0], s[1], c, c), half = RandomImage(s[0], s[1], c, c);
            const auto orig = Px(img);
            for (bool cw : {true, false}) {
                for (int i = 0; i < 4; ++i)
                    RotateImage90(img, cw);
                EXPECT_EQ(Px(img), orig);
            }
            // Mirror plus flip is the half turn, and so are two quarter turns.
            RotateImage180(half);
            MirrorImage(img);
            FlipImage(img);
            EXPECT_EQ(Px(img), Px(half));
            RotateImage90(img, false);
            RotateImage90(img, false);
            EXPECT_EQ(Px(img), orig);
            FreeImg(img);
            FreeImg(half);
        }
}
