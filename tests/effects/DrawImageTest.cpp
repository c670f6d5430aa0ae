#include "effects/DrawImage.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>

#include <cstring>
#include <tuple>

namespace {

const QRgb Guard = qRgb(1, 2, 3);

// A 20 x 20 picture, transparent but for opaque pixels at (0, 0) and
// (10, 10), coloured blue = x, green = y, red = 200.
struct Fixture {
    TImgInfo Img;
    Fixture()
    {
        AllocImg(Img, 20, 20, 4);
        for (uint32_t x : {0u, 10u}) {
            uint8_t* p = ScanLine(Img, x) + 4 * x;
            p[0] = p[1] = uint8_t(x), p[2] = 200, p[3] = 255;
        }
    }
    ~Fixture() { FreeImg(Img); }
};

QImage Bitmap(int Size, QImage::Format F = QImage::Format_BGR888)
{
    QImage b(Size, Size, F);
    b.fill(QColor::fromRgb(Guard));
    return b;
}

int Untouched(const QImage& B)
{
    int n = 0;
    for (int y = 0; y < B.height(); ++y)
        for (int x = 0; x < B.width(); ++x)
            n += B.pixel(x, y) == Guard;
    return n;
}

} // namespace

TEST(DrawImage, ClipsToPictureAndBitmap)
{
    Fixture f;
    QImage b = Bitmap(16);
    DrawImageToBitmap(f.Img, TRect{0, 0, 20, 20}, b, 6, 6); // over the right and bottom edges
    EXPECT_EQ(b.pixel(6, 6), qRgb(200, 0, 0));
    EXPECT_EQ(Untouched(b), 16 * 16 - 10 * 10);

    b = Bitmap(16);
    DrawImageToBitmap(f.Img, TRect{0, 0, 20, 20}, b, -10, -10); // before the bitmap's origin
    EXPECT_EQ(b.pixel(0, 0), qRgb(200, 10, 10));
    EXPECT_EQ(Untouched(b), 16 * 16 - 10 * 10);

    b = Bitmap(40);
    DrawImageToBitmap(f.Img, TRect{-5, -3, 100, 100}, b, 0, 0); // before the picture's origin
    EXPECT_EQ(b.pixel(5 + 10, 3 + 10), qRgb(200, 10, 10));
    EXPECT_EQ(Untouched(b), 40 * 40 - 20 * 20);

    for (int d : {16, -20}) { // entirely outside
        b = Bitmap(16);
        DrawImageToBitmap(f.Img, TRect{0, 0, 20, 20}, b, d, 0);
        EXPECT_EQ(Untouched(b), 16 * 16);
    }
}

// A transparent picture shows the checkerboard: 8 x 8 cells of white and light
// gray, white first, counted from the first drawn row and column (not from
// the bitmap's corner); half-transparent pixels blend with their cell, and a
// gray picture with alpha blends its gray the same way.
TEST(DrawImage, CheckerboardCellsAndBlending)
{
    for (uint32_t Channels : {4u, 2u}) {
        TImgInfo Img;
        AllocImg(Img, 20, 20, Channels);
        for (uint32_t y = 0; y < 20; ++y)
            std::memset(ScanLine(Img, y), 0, 20 * Channels);
        // Top-left pixel: white at half alpha (or black at half alpha for gray).
        uint8_t* p = ScanLine(Img, 0);
        if (Channels == 4)
            p[0] = p[1] = p[2] = 255, p[3] = 128;
        else
            p[0] = 0, p[1] = 128;
        // Pixel (9, 0): the second cell, gray.
        uint8_t* q = ScanLine(Img, 0) + 9 * Channels;
        if (Channels == 4)
            q[0] = q[1] = q[2] = 255, q[3] = 128;
        else
            q[0] = 0, q[1] = 128;
        QImage b = Bitmap(30);
        DrawImageToBitmap(Img, TRect{0, 0, 20, 20}, b, 3, 2);
        const QRgb White = qRgb(255, 255, 255), Gray = qRgb(0xAA, 0xAA, 0xAA);
        for (const auto& [x, y, Want] :
             {std::tuple{2 + 1, 3 + 0, White}, std::tuple{2 + 7, 3 + 7, White}, std::tuple{2 + 8, 3 + 0, Gray},
              std::tuple{2 + 0, 3 + 8, Gray}, std::tuple{2 + 8, 3 + 8, White}, std::tuple{2 + 16, 3 + 11, Gray},
              std::tuple{2 + 19, 3 + 19, White}})
            EXPECT_EQ(b.pixel(x, y), Want) << Channels << " channels at " << x << "," << y;
        EXPECT_EQ(b.pixel(1, 3), Guard) << "nothing left of the drawn area";
        if (Channels == 4) {
            EXPECT_EQ(b.pixel(2, 3), qRgb(255, 255, 255)) << "white over white";
            EXPECT_EQ(b.pixel(2 + 9, 3), qRgb(213, 213, 213)) << "white at 128 over the gray cell";
        } else {
            EXPECT_EQ(b.pixel(2, 3), qRgb(127, 127, 127)) << "black at 128 over white";
            EXPECT_EQ(b.pixel(2 + 9, 3), qRgb(85, 85, 85)) << "black at 128 over the gray cell";
        }
        FreeImg(Img);
    }
}
