#include "core/Grayscale.h"
#include "PictureTestUtil.h"

namespace {

const float BT601[4] = {0.299f, 0.587f, 0.114f, 0};

} // namespace

TEST(Grayscale, FamiliesGiveTheSameBytes)
{
    const float bt709[4] = {0.2125f, 0.7154f, 0.0721f, 0};
    const float odd[4] = {1.7f, -0.4f, 0.33f, 0}; // sums outside 0..255
    for (const float* w : {BT601, bt709, odd})
        for (uint32_t width : {1u, 5u, 13u, 63u, 301u}) {
            SCOPED_TRACE(testing::Message() << "width " << width);
            TImgHolder out[2][2];
            for (int simd : {0, 1}) {
                InitGrayProcs(simd ? uint32_t(CPU_SSE2) : 0u);
                out[simd][0] = TImgHolder(RandomImage(width, 7, 3, width + 3, true));
                RGBToGraySSE(out[simd][0].I, w);
                out[simd][1] = TImgHolder(RandomImage(width, 7, 4, width + 4, true));
                RGBAToGrayAlphaSSE(out[simd][1].I, w);
            }
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(out[0][k].I.Channels, k ? 2u : 1u);
                EXPECT_TRUE(SameBlocks(out[0][k].I, out[1][k].I));
            }
        }
    InitGrayProcs(GetCPUFeatures());
}
