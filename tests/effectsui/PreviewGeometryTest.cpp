#include "effects/ui/PreviewFrm.h"

#include <gtest/gtest.h>

using namespace previewgeom;

TEST(PreviewGeometry, ViewRectCoversEveryVisiblePixel)
{
    const TRect R = MagnifiedViewRect(100, 80, 50, 30, 7, 5, 2.0);
    EXPECT_EQ(R.Left, 3);
    EXPECT_EQ(R.Right, 29);   // Trunc((50 + 7 + 1) / 2)
    EXPECT_EQ(R.Bottom, 78);  // memory rows: 80 - Trunc(5 / 2)
    EXPECT_EQ(R.Top, 62);     // 80 - Trunc((30 + 5 + 1) / 2)
    // Cut at the picture's right edge and at its bottom memory row.
    EXPECT_EQ(MagnifiedViewRect(100, 80, 50, 400, 160, 0, 2.0).Right, 100);
    EXPECT_EQ(MagnifiedViewRect(100, 80, 50, 400, 160, 0, 2.0).Top, 0);

    // Every view pixel shows picture point Trunc((V + origin) / Zoom) (rows
    // from the top); the rectangle must hold every one of them, or the spot
    // preview leaves unprocessed pixels on screen.
    const uint32_t W = 37, H = 23;
    for (int Z = 1; Z <= 4; ++Z)
        for (int VX = 0; VX <= int(W) * Z - 10; VX += 3)
            for (int VY = 0; VY <= int(H) * Z - 9; VY += 2) {
                const TRect M = MagnifiedViewRect(W, H, 10, 9, VX, VY, Z);
                for (int X = 0; X < 10; ++X) {
                    const int C = (X + VX) / Z;
                    ASSERT_TRUE(C >= M.Left && C < M.Right) << Z << " " << VX << " " << X;
                }
                for (int Y = 0; Y < 9; ++Y) {
                    const int MemRow = int(H) - 1 - (Y + VY) / Z;
                    ASSERT_TRUE(MemRow >= M.Top && MemRow < M.Bottom) << Z << " " << VY << " " << Y;
                }
            }
}

TEST(PreviewGeometry, SelectionHandles)
{
    // 40 x 40 selection at 100 per cent: handles 16 pixels deep.
    EXPECT_EQ(HitTestSelection(10, 10, 10, 10, 50, 50, 1.0), 1);
    EXPECT_EQ(HitTestSelection(30, 10, 10, 10, 50, 50, 1.0), 2);
    EXPECT_EQ(HitTestSelection(30, 30, 10, 10, 50, 50, 1.0), 5);
    EXPECT_EQ(HitTestSelection(50, 50, 50, 50, 10, 10, 1.0), 9); // corners in any order
    EXPECT_EQ(HitTestSelection(9, 30, 10, 10, 50, 50, 1.0), 0);
    EXPECT_EQ(HitTestSelection(26, 30, 10, 10, 50, 50, 1.0), 4);
    EXPECT_EQ(HitTestSelection(27, 30, 10, 10, 50, 50, 1.0), 5);
    EXPECT_EQ(HitTestSelection(34, 30, 10, 10, 50, 50, 1.0), 6);
    // 40 x 30: the handles of half the height leave no middle row.
    EXPECT_EQ(HitTestSelection(30, 25, 10, 10, 50, 40, 1.0), 2);
    EXPECT_EQ(HitTestSelection(30, 26, 10, 10, 50, 40, 1.0), 8);
    // Large selection: handles never exceed 16 pixels.
    EXPECT_EQ(HitTestSelection(16, 50, 0, 0, 100, 100, 1.0), 4);
    EXPECT_EQ(HitTestSelection(17, 50, 0, 0, 100, 100, 1.0), 5);
    // Small one (4 view pixels): handles of half its size.
    EXPECT_EQ(HitTestSelection(12, 13, 10, 10, 14, 14, 1.0), 4 + 3);
    // Handles are measured in view pixels: at 200 per cent the same
    // selection is twice as wide on screen.
    EXPECT_EQ(HitTestSelection(60, 60, 10, 10, 50, 50, 2.0), 5);
}

TEST(PreviewGeometry, FitSize)
{
    const struct {
        int W, H, ViewW, ViewH, Cx, Cy;
    } Cases[] = {
        {100, 50, 400, 300, 100, 50},   {1000, 500, 400, 300, 400, 200}, {500, 1000, 400, 300, 150, 300},
        {1, 4000, 200, 100, 1, 100},    // thin pictures keep at least one pixel across
        {4000, 1, 200, 100, 200, 1},
        {640, 480, 0, 0, 1, 1},         // a window not laid out yet still gives a usable size
    };
    for (const auto& k : Cases) {
        const TSize S = FitSize(k.W, k.H, k.ViewW, k.ViewH);
        EXPECT_EQ(S.cx, k.Cx) << k.W << "x" << k.H << " in " << k.ViewW << "x" << k.ViewH;
        EXPECT_EQ(S.cy, k.Cy) << k.W << "x" << k.H << " in " << k.ViewW << "x" << k.ViewH;
    }
}
