#include "effects/DrawImage.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>

namespace {

const QRgb Guard = qRgb(1, 2, 3);

// A 4-channel picture: transparent everywhere except one opaque pixel per
// (x, y) listed, coloured blue = x, green = y, red = 200.
TImgInfo Clear(uint32_t W, uint32_t H, std::initializer_list<std::pair<uint32_t, uint32_t>> Opaque)
{
    TImgInfo img;
    AllocImg(img, W, H, 4);
    for (auto [x, y] : Opaque) {
        uint8_t* p = ScanLine(img, y) + 4 * x;
        p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 200, p[3] = 255;
    }
    return img;
}

QImage Bitmap(int W, int H, QImage::Format F = QImage::Format_BGR888)
{
    QImage b(W, H, F);
    b.fill(QColor::fromRgb(Guard));
    return b;
}

int CountGuard(const QImage& B)
{
    int n = 0;
    for (int y = 0; y < B.height(); ++y)
        for (int x = 0; x < B.width(); ++x)
            n += B.pixel(x, y) == Guard;
    return n;
}

} // namespace

TEST(DrawImage, CheckerboardAndPixels)
{
    TImgInfo img = Clear(20, 20, {{3, 4}, {19, 19}});
    for (QImage::Format f : {QImage::Format_BGR888, QImage::Format_RGB888}) {
        QImage b = Bitmap(30, 30, f);
        DrawImageToBitmap(img, TRect{0, 0, 20, 20}, b, 5, 2);
        EXPECT_EQ(b.pixel(2, 5), qRgb(255, 255, 255));    // first cell white
        EXPECT_EQ(b.pixel(2 + 8, 5), qRgb(170, 170, 170)); // next column of cells gray
        EXPECT_EQ(b.pixel(2, 5 + 8), qRgb(170, 170, 170)); // next row of cells gray
        EXPECT_EQ(b.pixel(2 + 8, 5 + 8), qRgb(255, 255, 255));
        EXPECT_EQ(b.pixel(2 + 3, 5 + 4), qRgb(200, 4, 3)); // top-down, red/blue in place
        EXPECT_EQ(b.pixel(2 + 19, 5 + 19), qRgb(200, 19, 19));
        EXPECT_EQ(CountGuard(b), 30 * 30 - 20 * 20);
    }

    // Half-transparent gray with alpha over the white cell.
    TImgInfo ga;
    AllocImg(ga, 1, 1, 2);
    ga.Mem[0] = 0, ga.Mem[1] = 128;
    QImage b = Bitmap(4, 4);
    DrawImageToBitmap(ga, TRect{0, 0, 1, 1}, b, 0, 0);
    EXPECT_EQ(b.pixel(0, 0), qRgb(127, 127, 127));
    FreeImg(ga);
    FreeImg(img);
}

TEST(DrawImage, ClipsToPictureAndBitmap)
{
    TImgInfo img = Clear(20, 20, {{0, 0}, {10, 10}});
    {
        // Hangs over the bitmap's right and bottom edges: only the visible part.
        QImage b = Bitmap(16, 16);
        DrawImageToBitmap(img, TRect{0, 0, 20, 20}, b, 6, 6);
        EXPECT_EQ(b.pixel(6, 6), qRgb(200, 0, 0));
        EXPECT_EQ(b.pixel(15, 15), qRgb(255, 255, 255)); // cell (9, 9) of the drawn area
        EXPECT_EQ(CountGuard(b), 16 * 16 - 10 * 10);
    }
    {
        // Negative destination: the picture's top-left part is cut off.
        QImage b = Bitmap(16, 16);
        DrawImageToBitmap(img, TRect{0, 0, 20, 20}, b, -10, -10);
        EXPECT_EQ(b.pixel(0, 0), qRgb(200, 10, 10));
        EXPECT_EQ(CountGuard(b), 16 * 16 - 10 * 10);
    }
    {
        // Negative rectangle origin moves the destination; right and bottom past
        // the picture are limited to it.
        QImage b = Bitmap(40, 40);
        DrawImageToBitmap(img, TRect{-5, -3, 100, 100}, b, 0, 0);
        EXPECT_EQ(b.pixel(5, 3), qRgb(200, 0, 0));
        EXPECT_EQ(b.pixel(15, 13), qRgb(200, 10, 10));
        EXPECT_EQ(CountGuard(b), 40 * 40 - 20 * 20);
    }
    // Entirely outside, empty, or an unsupported bitmap: nothing is drawn.
    for (const auto& [r, dy, dx] : {std::tuple{TRect{0, 0, 20, 20}, 16, 0}, std::tuple{TRect{0, 0, 20, 20}, 0, -20},
                                    std::tuple{TRect{5, 5, 5, 20}, 0, 0}, std::tuple{TRect{25, 0, 30, 20}, 0, 0}}) {
        QImage b = Bitmap(16, 16);
        DrawImageToBitmap(img, r, b, dy, dx);
        EXPECT_EQ(CountGuard(b), 16 * 16);
    }
    QImage rgb32 = Bitmap(16, 16, QImage::Format_RGB32);
    DrawImageToBitmap(img, TRect{0, 0, 20, 20}, rgb32, 0, 0);
    EXPECT_EQ(CountGuard(rgb32), 16 * 16);
    FreeImg(img);
}
