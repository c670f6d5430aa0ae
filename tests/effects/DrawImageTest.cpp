#include "effects/DrawImage.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>

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
