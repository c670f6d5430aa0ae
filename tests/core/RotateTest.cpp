#include "core/Rotate.h"
#include "PictureTestUtil.h"

TEST(Rotate, TurnsAndFlipsGiveIdentity)
{
    const uint32_t sizes[][2] = {{1, 1}, {3, 1}, {1, 5}, {7, 5}, {65, 3}, {129, 67}};
    for (uint32_t c = 1; c <= 4; ++c)
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << "x" << c);
            TImgHolder pic{RandomImage(s[0], s[1], c, c)}, turned{RandomImage(s[0], s[1], c, c)};
            TImgInfo &img = pic.I, &half = turned.I;
            const auto orig = Pixels(img);
            for (bool cw : {true, false}) {
                for (int i = 0; i < 4; ++i)
                    RotateImage90(img, cw);
                EXPECT_EQ(Pixels(img), orig);
            }
            // Mirror plus flip is the half turn, and so are two quarter turns.
            RotateImage180(half);
            MirrorImage(img);
            FlipImage(img);
            EXPECT_EQ(Pixels(img), Pixels(half));
            RotateImage90(img, false);
            RotateImage90(img, false);
            EXPECT_EQ(Pixels(img), orig);
        }
}
