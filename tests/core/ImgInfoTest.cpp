#include "core/ImgInfo.h"
#include "core/Errors.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstring>

TEST(ImgInfo, StrideRule)
{
    EXPECT_EQ(CalcBpl16(100, 3), CalcBpl(200, 3));
    for (uint64_t w = 1; w < 3000; ++w)
        for (uint64_t c = 1; c <= 4; ++c) {
            const uint64_t s = CalcBpl(w, c);
            EXPECT_EQ(s % 128, 0u);
            EXPECT_NE(s % 1024, 0u);
            EXPECT_GE(s, w * c + 64);
        }
    // No wrap for sizes that would overflow 32 bits.
    EXPECT_GT(CalcBpl(0x80000000ull, 4), 0xFFFFFFFFull);
}

TEST(ImgInfo, AllocRoundsRowsAndFreeZeroes)
{
    TImgInfo img;
    AllocImg(img, 7, 5, 3);
    EXPECT_EQ(img.Bpl, CalcBpl(7, 3));
    // The block holds 8 rows: touching the last byte of row 7 is legal.
    img.Mem[uint64_t(img.Bpl) * 8 - 1] = 1;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(img.Mem) % 4096, 0u);
    FreeImg(img);
    EXPECT_EQ(img.Mem, nullptr);
    EXPECT_EQ(img.Width | img.Height | img.Bpl | img.Channels, 0u);
    FreeImg(img); // a zeroed record is fine
}

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
    TImgInfo src = Numbered(6, 5, 1);
    struct Case { TRect r; int dy, dx; };
    const Case cases[] = {
        {{0, 0, 6, 5}, 0, 0}, {{-3, -2, 4, 3}, 1, 1}, {{2, 1, 10, 9}, -1, -2},
        {{0, 0, 6, 5}, 3, 4}, {{-10, -10, -5, -5}, 0, 0}, {{1, 1, 3, 3}, -5, 100},
        {{4, 3, 2, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        TImgInfo dst;
        AllocImg(dst, 4, 4, 1);
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
        FreeImg(dst);
    }
    FreeImg(src);
}

TEST(ImgInfo, ColourSwapAndResolution)
{
    EXPECT_EQ(SwapRB(0x80112233u), 0x80332211u);
    EXPECT_EQ(SwapRB(SwapRB(0x12345678u)), 0x12345678u);
    int32_t x = 0, y = 0;
    ResolutionToDPI(x, y, {28.35, 28.35, 2});
    EXPECT_EQ(x, 72); EXPECT_EQ(y, 72);
    ResolutionToDPI(x, y, {300, 300, 7});
    EXPECT_EQ(x, 1); EXPECT_EQ(y, 1);
    ResolutionToPPM(x, y, {72, 96, 1});
    EXPECT_EQ(x, 2835); EXPECT_EQ(y, 3780);
    ResolutionToPPM(x, y, {72, 72, 0});
    EXPECT_EQ(x, 0); EXPECT_EQ(y, 0);
    // A file's 4294967295/1 saturates instead of wrapping to a negative value.
    ResolutionToDPI(x, y, {4294967295.0, 4294967295.0, 1});
    EXPECT_EQ(x, INT32_MAX); EXPECT_EQ(y, INT32_MAX);
    ResolutionToPPM(x, y, {4294967295.0, 1e300, 1});
    EXPECT_EQ(x, INT32_MAX); EXPECT_EQ(y, INT32_MAX);
}
