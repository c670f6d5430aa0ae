#include "app/WindowFuncs.h"
#include "TestApp.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

TEST(WindowFuncs, ScreenRectangleAndPlacement)
{
    EnsureApp();
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(IsWindowPosOnScreen(0, 0, g.width(), g.height()));
    EXPECT_FALSE(IsWindowPosOnScreen(-1, 0, 10, 10));
    EXPECT_FALSE(IsWindowPosOnScreen(0, 0, g.width() + 1, 10));
    EXPECT_FALSE(IsWindowPosOnScreen(0, -1000, 10, 10));

    QWidget w;
    w.setGeometry(10, 20, 30, 40);
    EXPECT_EQ(RightOfControl(&w), 44);

    const QImage img = CreateFilledBitmap(3, 2, QImage::Format_RGB32, 0x00332211);
    ASSERT_EQ(img.size(), QSize(3, 2));
    EXPECT_EQ(img.pixel(2, 1), qRgb(0x11, 0x22, 0x33)); // red is the low byte of a colour value
}
