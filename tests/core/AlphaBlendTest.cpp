#include "core/AlphaBlend.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

// Alpha in runs of fully opaque, fully clear and mixed values, so that every
// path of the eight-pixel kernel meets every other at group borders.
TImgInfo RandomRGBA(uint32_t W, uint32_t H)
{
    TImgInfo img;
    AllocImg(img, W, H, 4);
    std::mt19937 rng(W);
    for (uint32_t y = 0; y < H; ++y) {
        uint8_t* p = MemRow(img, y);
        int kind = 0, left = 0;
        for (uint32_t x = 0; x < W; ++x, p += 4) {
            if (left-- <= 0)
                kind = int(rng() % 3), left = int(rng() % 20);
            p[0] = uint8_t(rng()), p[1] = uint8_t(rng()), p[2] = uint8_t(rng());
            p[3] = kind == 0 ? 255 : kind == 1 ? 0 : uint8_t(rng());
        }
    }
    return img;
}

// A 3-channel target whose rows are padded only to 4 bytes (as a bitmap
// handed to a viewer is), filled with a guard value.
struct TightTarget {
    std::vector<uint8_t> Block;
    TImgInfo Img;
    TightTarget(uint32_t W, uint32_t H)
    {
        Img.Width = W, Img.Height = H, Img.Channels = 3, Img.Bpl = (W * 3 + 3) & ~3u;
        Block.assign(uint64_t(Img.Bpl) * H, 0xA5);
        Img.Mem = Block.data();
    }
};

} // namespace

TEST(AlphaBlend, KernelsAgreeWithTheRoundedBlendAndStayInTheirRows)
{
    TBGColor bg;
    bg.Red = 12, bg.Green = 200, bg.Blue = 0x1FF; // only the low byte counts
    const int bgc[3] = {0xFF, 200, 12};
    for (uint32_t w : {1u, 7u, 8u, 13u, 100u, 257u}) {
        SCOPED_TRACE(testing::Message() << "width " << w);
        TImgInfo src = RandomRGBA(w, 9);
        TightTarget plain(w, 9), simd(w, 9);
        FlattenAlpha(plain.Img, src, bg);
        FlattenAlphaSIMD(simd.Img, src, bg);
        EXPECT_EQ(plain.Block, simd.Block);
        for (uint32_t y = 0; y < 9; ++y) {
            const uint8_t* s = MemRow(src, y);
            const uint8_t* d = MemRow(plain.Img, y);
            for (uint32_t x = 0; x < w; ++x, s += 4, d += 3)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(d[c], (s[c] * s[3] + bgc[c] * (255 - s[3]) + 127) / 255);
            for (uint32_t k = w * 3; k < simd.Img.Bpl; ++k) // row padding untouched
                ASSERT_EQ(MemRow(simd.Img, y)[k], 0xA5);
        }
        FreeImg(src);
    }
}
