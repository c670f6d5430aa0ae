#include "core/Rotate.h"
#include "core/Errors.h"

#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A picture whose every byte differs from its neighbours, so that a pixel
// moved to the wrong place or a channel swapped cannot go unnoticed.
TImgInfo RandomImage(uint32_t W, uint32_t H, uint32_t C, uint32_t Seed)
{
    TImgInfo img;
    AllocImg(img, W, H, C);
    std::mt19937 rng(Seed);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W * C; ++x)
            ScanLine(img, y)[x] = uint8_t(rng());
    return img;
}

// The picture bytes only (no spare bytes at the row ends), top row first.
std::vector<uint8_t> Pixels(const TImgInfo& Img)
{
    std::vector<uint8_t> v;
    for (uint32_t y = 0; y < Img.Height; ++y)
        v.insert(v.end(), ScanLine(Img, y), ScanLine(Img, y) + uint64_t(Img.Width) * Img.Channels);
    return v;
}

const uint8_t* Pixel(const TImgInfo& Img, uint32_t X, uint32_t Y)
{
    return ScanLine(Img, Y) + uint64_t(X) * Img.Channels;
}

struct Size { uint32_t W, H; };
const Size Sizes[] = {{1, 1}, {3, 1}, {1, 5}, {7, 5}, {65, 3}, {129, 67}, {200, 131}};

} // namespace

TEST(Rotate, QuarterTurnsAndFlipsGiveIdentity)
{
    for (uint32_t c = 1; c <= 4; ++c)
        for (const Size s : Sizes) {
            SCOPED_TRACE(testing::Message() << s.W << "x" << s.H << "x" << c);
            TImgInfo img = RandomImage(s.W, s.H, c, s.W * 31 + c);
            const auto orig = Pixels(img);
            for (int i = 0; i < 4; ++i)
                RotateImage90(img, true);
            EXPECT_EQ(Pixels(img), orig);
            for (int i = 0; i < 4; ++i)
                RotateImage90(img, false);
            EXPECT_EQ(Pixels(img), orig);
            RotateImage90(img, true);
            RotateImage90(img, false);
            EXPECT_EQ(Pixels(img), orig);
            MirrorImage(img);
            MirrorImage(img);
            FlipImage(img);
            FlipImage(img);
            RotateImage180(img);
            RotateImage180(img);
            EXPECT_EQ(Pixels(img), orig);
            EXPECT_EQ(img.Width, s.W);
            EXPECT_EQ(img.Height, s.H);

            // Mirror plus flip is the half turn; two quarter turns are too.
            TImgInfo half = RandomImage(s.W, s.H, c, s.W * 31 + c);
            RotateImage180(half);
            MirrorImage(img);
            FlipImage(img);
            EXPECT_EQ(Pixels(img), Pixels(half));
            RotateImage90(img, true);
            RotateImage90(img, true);
            EXPECT_EQ(Pixels(img), orig);
            FreeImg(half);
            FreeImg(img);
        }
}

TEST(Rotate, QuarterTurnMovesCornersAndSwapsSizes)
{
    for (uint32_t c = 1; c <= 4; ++c) {
        const uint32_t W = 131, H = 70;
        TImgInfo src = RandomImage(W, H, c, 7 + c);
        TImgInfo cw = RandomImage(W, H, c, 7 + c);
        TImgInfo ccw = RandomImage(W, H, c, 7 + c);
        RotateImage90(cw, true);
        RotateImage90(ccw, false);
        for (const TImgInfo* r : {&cw, &ccw}) {
            EXPECT_EQ(r->Width, H);
            EXPECT_EQ(r->Height, W);
            EXPECT_EQ(r->Bpl, CalcBpl(H, c));
        }
        auto same = [c](const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, c) == 0; };
        // Clockwise: the bottom-left corner goes to the top-left, top-left to top-right.
        EXPECT_TRUE(same(Pixel(cw, 0, 0), Pixel(src, 0, H - 1)));
        EXPECT_TRUE(same(Pixel(cw, H - 1, 0), Pixel(src, 0, 0)));
        EXPECT_TRUE(same(Pixel(cw, H - 1, W - 1), Pixel(src, W - 1, 0)));
        EXPECT_TRUE(same(Pixel(cw, 0, W - 1), Pixel(src, W - 1, H - 1)));
        EXPECT_TRUE(same(Pixel(cw, 10, 100), Pixel(src, 100, H - 11)));
        // Counter-clockwise: the top-right corner goes to the top-left.
        EXPECT_TRUE(same(Pixel(ccw, 0, 0), Pixel(src, W - 1, 0)));
        EXPECT_TRUE(same(Pixel(ccw, 0, W - 1), Pixel(src, 0, 0)));
        EXPECT_TRUE(same(Pixel(ccw, H - 1, 0), Pixel(src, W - 1, H - 1)));
        EXPECT_TRUE(same(Pixel(ccw, 10, 100), Pixel(src, W - 101, 10)));
        FreeImg(src);
        FreeImg(cw);
        FreeImg(ccw);
    }
}

TEST(Rotate, SmallPictures)
{
    // 3 x 1 turned clockwise: 1 x 3 with the left pixel at the top.
    TImgInfo img;
    AllocImg(img, 3, 1, 3);
    for (int i = 0; i < 9; ++i)
        img.Mem[i] = uint8_t(i + 1);
    RotateImage90(img, true);
    ASSERT_EQ(img.Width, 1u);
    ASSERT_EQ(img.Height, 3u);
    EXPECT_EQ(Pixel(img, 0, 0)[0], 1);
    EXPECT_EQ(Pixel(img, 0, 2)[0], 7);
    FreeImg(img);

    // One row turned by 180 degrees is reversed.
    AllocImg(img, 4, 1, 1);
    std::memcpy(img.Mem, "\1\2\3\4", 4);
    RotateImage180(img);
    EXPECT_EQ(std::memcmp(img.Mem, "\4\3\2\1", 4), 0);
    FreeImg(img);
}
