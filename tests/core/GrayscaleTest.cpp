#include "core/Grayscale.h"

#include <gtest/gtest.h>
#include <cstring>
#include <random>

namespace {

const float BT601[4] = {0.299f, 0.587f, 0.114f, 0};
const float BT709[4] = {0.2125f, 0.7154f, 0.0721f, 0};

// Random bytes everywhere, spare bytes at the row ends included: the kernels
// read past the last pixel and both families must agree on what they make of it.
TImgInfo RandomImage(uint32_t W, uint32_t H, uint32_t C, uint32_t Seed)
{
    TImgInfo img;
    AllocImg(img, W, H, C);
    std::mt19937 rng(Seed);
    for (uint64_t i = 0; i < uint64_t(img.Bpl) * BlockRows(H); ++i)
        img.Mem[i] = uint8_t(rng());
    return img;
}

TImgInfo Copy(const TImgInfo& Src)
{
    TImgInfo img;
    AllocImg(img, Src.Width, Src.Height, Src.Channels);
    std::memcpy(img.Mem, Src.Mem, uint64_t(Src.Bpl) * BlockRows(Src.Height));
    return img;
}

bool SameBlock(const TImgInfo& A, const TImgInfo& B)
{
    return A.Width == B.Width && A.Height == B.Height && A.Bpl == B.Bpl && A.Channels == B.Channels
           && std::memcmp(A.Mem, B.Mem, uint64_t(A.Bpl) * BlockRows(A.Height)) == 0;
}

// Runs Fn once with the plain row kernels and once with the SSE2 ones.
template <class F>
void WithBothFamilies(F Fn)
{
    InitGrayProcs(0);
    Fn(false);
    InitGrayProcs(CPU_SSE2);
    Fn(true);
    InitGrayProcs(GetCPUFeatures());
}

} // namespace

TEST(Grayscale, FamiliesGiveTheSameBytes)
{
    const float custom[4] = {1.7f, -0.4f, 0.33f, 0};
    for (const float* w : {BT601, BT709, custom})
        for (uint32_t width : {1u, 3u, 5u, 13u, 63u, 301u}) {
            SCOPED_TRACE(testing::Message() << "width " << width);
            const TImgInfo rgb = RandomImage(width, 7, 3, width);
            const TImgInfo rgba = RandomImage(width, 7, 4, width + 1000);
            TImgInfo gray[2], grayAlpha[2];
            WithBothFamilies([&](bool simd) {
                gray[simd] = Copy(rgb);
                RGBToGraySSE(gray[simd], w);
                EXPECT_EQ(gray[simd].Channels, 1u);
                EXPECT_EQ(gray[simd].Bpl, CalcBpl(width, 1));
                grayAlpha[simd] = Copy(rgba);
                RGBAToGrayAlphaSSE(grayAlpha[simd], w);
                EXPECT_EQ(grayAlpha[simd].Channels, 2u);
            });
            EXPECT_TRUE(SameBlock(gray[0], gray[1]));
            EXPECT_TRUE(SameBlock(grayAlpha[0], grayAlpha[1]));
            // Alpha is carried over unchanged and gray matches the 3-channel kernel.
            for (uint32_t y = 0; y < 7; ++y)
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* s = MemRow(rgba, y) + 4 * x;
                    const uint8_t* d = MemRow(grayAlpha[0], y) + 2 * x;
                    ASSERT_EQ(d[1], s[3]);
                    uint8_t px[16] = {s[0], s[1], s[2]}, g[4];
                    RGBToGrayRowPlain(g, px, 1, w);
                    ASSERT_EQ(d[0], g[0]);
                }
            for (TImgInfo* i : {&gray[0], &gray[1], &grayAlpha[0], &grayAlpha[1]})
                FreeImg(*i);
            TImgInfo a = rgb, b = rgba;
            FreeImg(a);
            FreeImg(b);
        }
}

TEST(Grayscale, KnownValues)
{
    // Blue, green, red order: red, green, blue, white, black.
    const uint8_t px[] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0};
    const float redOnly[4] = {1, 0, 0, 0};
    const float none[4] = {0, 0, 0, 0};
    WithBothFamilies([&](bool) {
        TImgInfo img;
        AllocImg(img, 5, 1, 3);
        std::memcpy(img.Mem, px, sizeof px);
        TImgInfo red = Copy(img), black = Copy(img);
        RGBToGraySSE(img, BT601);
        EXPECT_EQ(std::memcmp(img.Mem, "\x4c\x96\x1d\xff\x00", 5), 0); // 76 150 29 255 0
        RGBToGraySSE(red, redOnly);
        EXPECT_EQ(std::memcmp(red.Mem, "\xff\x00\x00\xff\x00", 5), 0);
        RGBToGraySSE(black, none);
        EXPECT_EQ(std::memcmp(black.Mem, "\0\0\0\0\0", 5), 0);
        FreeImg(img);
        FreeImg(red);
        FreeImg(black);
    });

    float saved[4];
    std::memcpy(saved, GrayWeights, sizeof saved);
    std::memcpy(GrayWeights, BT601, sizeof saved);
    TBGColor c;
    c.Red = 255, c.Green = 0, c.Blue = 0;
    GrayOfColor(c);
    EXPECT_EQ(c.Gray, 76);
    c.Red = c.Green = c.Blue = 255;
    GrayOfColor(c);
    EXPECT_EQ(c.Gray, 255);
    std::memcpy(GrayWeights, saved, sizeof saved);
}

TEST(Grayscale, OtherChannelCountsAreLeftAlone)
{
    TImgInfo img;
    AllocImg(img, 4, 2, 1);
    uint8_t* mem = img.Mem;
    RGBToGraySSE(img, BT601);
    ConvertToGrayAlpha(img);
    EXPECT_EQ(img.Mem, mem);
    EXPECT_EQ(img.Channels, 1u);
    FreeImg(img);
}
