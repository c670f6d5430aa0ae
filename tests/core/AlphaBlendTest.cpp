#include "core/AlphaBlend.h"
#include "core/Grayscale.h"

#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Alpha in runs of fully opaque, fully clear and mixed values, so that every
// path of the eight-pixel kernel meets every other at group borders.
TImgInfo RandomRGBA(uint32_t W, uint32_t H, uint32_t Seed)
{
    TImgInfo img;
    AllocImg(img, W, H, 4);
    std::mt19937 rng(Seed);
    for (uint32_t y = 0; y < H; ++y) {
        uint8_t* p = MemRow(img, y);
        int kind = 0, left = 0;
        for (uint32_t x = 0; x < W; ++x, p += 4) {
            if (left-- <= 0) {
                kind = int(rng() % 3);
                left = int(rng() % 20);
            }
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(rng());
            p[3] = kind == 0 ? 255 : kind == 1 ? 0 : uint8_t(rng());
        }
    }
    return img;
}

// A 3-channel target in a caller's block whose rows are padded only to 4 bytes
// (as a bitmap is), filled with a guard value.
struct TightTarget {
    std::vector<uint8_t> Block;
    TImgInfo Img;
    TightTarget(uint32_t W, uint32_t H)
    {
        Img.Width = W, Img.Height = H, Img.Channels = 3;
        Img.Bpl = (W * 3 + 3) & ~3u;
        Block.assign(uint64_t(Img.Bpl) * H + 64, 0xA5);
        Img.Mem = Block.data();
    }
};

} // namespace

TEST(AlphaBlend, KernelsGiveTheSameBytesAndStayInTheirRows)
{
    TBGColor bg;
    bg.Red = 12, bg.Green = 200, bg.Blue = 0x1FF; // only the low byte counts
    for (uint32_t w : {1u, 7u, 8u, 13u, 31u, 100u, 257u}) {
        SCOPED_TRACE(testing::Message() << "width " << w);
        TImgInfo src = RandomRGBA(w, 9, w);
        TightTarget plain(w, 9), simd(w, 9);
        FlattenAlpha(plain.Img, src, bg);
        FlattenAlphaSIMD(simd.Img, src, bg);
        EXPECT_EQ(plain.Block, simd.Block);
        for (uint32_t y = 0; y < 9; ++y) {
            const uint8_t* s = MemRow(src, y);
            const uint8_t* d = MemRow(plain.Img, y);
            for (uint32_t x = 0; x < w; ++x, s += 4, d += 3) {
                const int bgc[3] = {0xFF, 200, 12};
                for (int c = 0; c < 3; ++c) {
                    // Exact rounded blend in integers.
                    const int want = (s[c] * s[3] + bgc[c] * (255 - s[3]) + 127) / 255;
                    ASSERT_EQ(d[c], want);
                }
            }
            // The padding after the last pixel is untouched.
            for (uint32_t k = w * 3; k < plain.Img.Bpl; ++k)
                ASSERT_EQ(simd.Img.Mem[uint64_t(y) * simd.Img.Bpl + k], 0xA5);
        }
        EXPECT_EQ(simd.Block.back(), 0xA5);
        FreeImg(src);
    }
}

TEST(AlphaBlend, KnownValuesAndGray)
{
    TBGColor black;
    black.Red = black.Green = black.Blue = 0;
    TImgInfo src;
    AllocImg(src, 3, 1, 4);
    // Half-transparent white, fully clear, fully opaque.
    const uint8_t px[12] = {255, 255, 255, 128, 9, 9, 9, 0, 1, 2, 3, 255};
    std::memcpy(src.Mem, px, sizeof px);
    for (TFlattenAlphaProc f : {FlattenAlpha, FlattenAlphaSIMD}) {
        TImgInfo dst;
        AllocImg(dst, 3, 1, 3);
        f(dst, src, black);
        EXPECT_EQ(std::memcmp(dst.Mem, "\x80\x80\x80\0\0\0\1\2\3", 9), 0);
        FreeImg(dst);
    }
    FreeImg(src);

    // Gray with alpha over the gray of the background (BT.601 red 255 -> 76),
    // not over the record's own gray word.
    float saved[4];
    std::memcpy(saved, GrayWeights, sizeof saved);
    const float bt601[4] = {0.299f, 0.587f, 0.114f, 0};
    std::memcpy(GrayWeights, bt601, sizeof saved);
    TBGColor red;
    red.Red = 255, red.Green = 0, red.Blue = 0, red.Gray = 200;
    AllocImg(src, 3, 1, 2);
    std::memcpy(src.Mem, "\xff\x80\x05\x00\x07\xff", 6);
    TImgInfo dst;
    AllocImg(dst, 3, 1, 1);
    FlattenGrayAlpha(dst, src, red);
    EXPECT_EQ(dst.Mem[0], FlattenSample(255, 128, 76));
    EXPECT_EQ(dst.Mem[1], 76);
    EXPECT_EQ(dst.Mem[2], 7);
    std::memcpy(GrayWeights, saved, sizeof saved);
    FreeImg(src);
    FreeImg(dst);
}
