#include "app/WindowFuncs.h"
#include "TestApp.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

TEST(WindowFuncs, EnablingAndShowingReachEveryDescendant)
{
    EnsureApp();
    QWidget top;
    auto* group = new QGroupBox(&top);
    auto* inner = new QCheckBox(group);
    auto* direct = new QCheckBox(&top);
    top.show();

    SetControlsEnabled(group, false);
    EXPECT_FALSE(group->isEnabled());
    EXPECT_TRUE(inner->testAttribute(Qt::WA_ForceDisabled)); // set on the child itself, not only inherited
    EXPECT_TRUE(direct->isEnabled());
    SetControlsEnabled(&top, true);
    EXPECT_TRUE(inner->isEnabled());

    SetControlsVisible(group, false);
    EXPECT_TRUE(inner->isHidden());
    EXPECT_FALSE(direct->isHidden());
    SetControlsVisible(group, true);
    EXPECT_FALSE(inner->isHidden());
}

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
