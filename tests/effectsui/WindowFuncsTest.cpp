// The window utilities the effect dialogs share with the program's windows.
#include "effects/ui/WindowFuncs.h"

#include "UiTestApp.h"

#include <QGuiApplication>
#include <QScreen>

TEST(IsWindowPosOnScreen, OnlyTheWholeRectangleOnThePrimaryScreenCounts)
{
    TestApp();
    const QScreen* S = QGuiApplication::primaryScreen();
    ASSERT_NE(S, nullptr);
    const int W = S->geometry().width(), H = S->geometry().height();
    const struct {
        int L, T, R, B;
        bool On;
    } Cases[] = {
        {0, 0, W, H, true},             // the whole screen, right and bottom exclusive
        {W - 200, H - 100, W, H, true}, // in the bottom-right corner
        {-1, 0, 100, 100, false},       // a pixel off the left edge
        {0, -1, 100, 100, false},       // under a top panel's edge
        {0, 0, W + 1, 100, false},
        {0, 0, 100, H + 1, false},
        {W, 0, W + 300, 200, false},    // where a second screen to the right would be
        {0, H, 300, H + 200, false},    // or one below
        {-W, 0, -W + 300, 200, false},  // or one to the left
    };
    for (const auto& C : Cases)
        EXPECT_EQ(IsWindowPosOnScreen(C.L, C.T, C.R, C.B), C.On) << C.L << "," << C.T << "-" << C.R << "," << C.B;
}

TEST(CreateFilledBitmap, EveryPixelHoldsTheColourValue)
{
    // Red in the low byte: 0x204080 is red 0x80, green 0x40, blue 0x20.
    for (const QImage::Format F : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_ARGB32}) {
        const QImage I = CreateFilledBitmap(5, 3, F, 0x204080);
        ASSERT_EQ(I.size(), QSize(5, 3));
        EXPECT_EQ(I.format(), F);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(I.pixel(x, y), qRgb(0x80, 0x40, 0x20)) << x << "," << y << " format " << int(F);
    }
    EXPECT_TRUE(CreateFilledBitmap(0, 3, QImage::Format_RGB32, 0).isNull());
}
