#include "effects/ui/PreviewFrm.h"

#include <gtest/gtest.h>

using namespace previewgeom;

TEST(PreviewGeometry, ViewRectCoversEveryVisiblePixel)
{
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
