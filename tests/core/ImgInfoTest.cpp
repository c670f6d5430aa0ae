#include "core/Errors.h"
#include "PictureTestUtil.h"

TEST(ImgInfo, AllocRefusesSizesThatDoNotFit)
{
    TImgInfo img;
    EXPECT_THROW(AllocImg(img, 0x100000000ull, 1, 3), EOutOfMemory);
    EXPECT_THROW(AllocImg(img, 0x7FFFFFFF, 0x7FFFFFFF, 4), EOutOfMemory);
    EXPECT_THROW(AllocImg(img, 0, 10, 3), EOutOfMemory);
    EXPECT_EQ(img.Mem, nullptr);
}

namespace {
TImgInfo Numbered(uint32_t w, uint32_t h, uint32_t ch)
{
    TImgInfo img;
    AllocImg(img, w, h, ch);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w * ch; ++x)
            ScanLine(img, y)[x] = uint8_t(y * 16 + x + 1);
    return img;
}
} // namespace

TEST(ImgInfo, CopyImageRectClipsEverySide)
{
    const TImgHolder pic{Numbered(6, 5, 1)};
    const TImgInfo& src = pic.I;
    struct Case { TRect r; int dy, dx; };
    const Case cases[] = {
        {{0, 0, 6, 5}, 0, 0}, {{-3, -2, 4, 3}, 1, 1}, {{2, 1, 10, 9}, -1, -2},
        {{0, 0, 6, 5}, 3, 4}, {{-10, -10, -5, -5}, 0, 0}, {{1, 1, 3, 3}, -5, 100},
        {{4, 3, 2, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        TPicture out(4, 4, 1);
        TImgInfo& dst = out.I;
        CopyImageRect(src, dst, c.r, c.dy, c.dx);
        // Reference: copy pixel by pixel where both points exist.
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int sx = c.r.Left + (x - c.dx), sy = c.r.Top + (y - c.dy);
                const bool inside = sx >= c.r.Left && sx < c.r.Right && sy >= c.r.Top && sy < c.r.Bottom &&
                                    sx >= 0 && sy >= 0 && sx < 6 && sy < 5;
                const uint8_t want = inside ? ScanLine(src, sy)[sx] : 0;
                EXPECT_EQ(ScanLine(dst, y)[x], want) << "rect " << c.r.Left << "," << c.r.Top << " at " << x << "," << y;
            }
    }
}
