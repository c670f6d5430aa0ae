// The window utilities the effect dialogs share with the program's windows.
#include "effects/ui/WindowFuncs.h"

#include "effects/ui/AddTextDlg.h"
#include "UiTestApp.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QTest>

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

TEST(SetControlsEnabled, ReachesEveryControlInsideAndComesBack)
{
    TestApp();
    QWidget Panel;
    auto* Inner = new QWidget(&Panel);
    auto* Deep = new QPushButton(Inner);
    auto* Side = new QPushButton(&Panel);
    Panel.show();
    SetControlsEnabled(&Panel, false);
    for (QWidget* W : {&Panel, Inner, static_cast<QWidget*>(Deep), static_cast<QWidget*>(Side)})
        EXPECT_FALSE(W->isEnabled());
    EXPECT_TRUE(Deep->testAttribute(Qt::WA_Disabled)); // set on the control itself, not only inherited
    SetControlsEnabled(&Panel, true);
    for (QWidget* W : {&Panel, Inner, static_cast<QWidget*>(Deep), static_cast<QWidget*>(Side)})
        EXPECT_TRUE(W->isEnabled());
    SetControlsVisible(&Panel, false);
    EXPECT_TRUE(Deep->isHidden() && Side->isHidden() && Panel.isHidden());
    SetControlsVisible(&Panel, true);
    EXPECT_TRUE(Deep->isVisible() && Side->isVisible());
}

// The add-text dialog's shadow and glow boxes switch every control of their
// group, as a click of the user's does.
TEST(AddTextForm, TheShadowAndGlowBoxesSwitchTheirWholeGroups)
{
    TestApp();
    TAddTextForm Form;
    Form.show();
    for (auto [Box, Group] : {std::pair{Form.ShadowBox, Form.ShadowGroup}, std::pair{Form.GlowBox, Form.GlowGroup}}) {
        const auto Controls = Group->findChildren<QWidget*>();
        ASSERT_GE(Controls.size(), 4);
        for (const bool On : {true, false}) {
            QTest::mouseClick(Box, Qt::LeftButton, {}, QPoint(5, Box->height() / 2));
            ASSERT_EQ(Box->isChecked(), On);
            for (QWidget* W : Controls)
                EXPECT_EQ(W->isEnabled(), On) << W->metaObject()->className();
        }
    }
}
