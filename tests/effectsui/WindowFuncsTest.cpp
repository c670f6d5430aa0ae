// The window utilities the effect dialogs share with the program's windows.
#include "effects/ui/WindowFuncs.h"

#include "core/Global.h"
#include "effects/ui/AddTextDlg.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/CompositeDlg.h"
#include "UiTestApp.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QTest>

#include <cstring>

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
        {W, 0, W + 300, 200, false},   // where a second screen to the right would be
        {0, H, 300, H + 200, false},   // or one below
        {-W, 0, -W + 300, 200, false}, // or one to the left
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

// A preview dialog opens at the preview window's right edge while it fits on
// the screen there, else over the preview's right part.
TEST(PreviewDialogPlacement, AtThePreviewsRightEdgeOnlyWhileItFits)
{
    TestApp();
    const TPreviewOption Kept = Settings.Preview;
    const int ScreenWidth = QGuiApplication::primaryScreen()->size().width();
    // Shows a colour dialog on a grey picture with its preview window Width
    // wide at the screen's top-left corner; the preview's and the dialog's
    // places.
    auto Show = [](int Width) {
        Settings.Preview.Left = 0;
        Settings.Preview.Top = 0;
        Settings.Preview.Width = Width;
        Settings.Preview.Height = 300;
        TColorAdjustForm F;
        AllocImg(F.Master, 40, 30, 3);
        std::memset(F.Master.Mem, 128, size_t(F.Master.Bpl) * 30);
        CopyImgInfo(F.Master, F.Src);
        F.FitPreviewImages();
        CopyImgInfo(F.Src, F.Dest);
        F.show();
        PumpUntil([&] { return F.isVisible(); });
        QRect Preview;
        for (QWidget* W : QApplication::topLevelWidgets())
            if (W != &F && W->isVisible() && W->inherits("TPreviewForm"))
                Preview = W->geometry();
        const QRect Dialog(F.pos(), F.size());
        F.hide();
        return std::make_pair(Preview, Dialog);
    };
    // The dialog's width, and where the preview's picture area starts (past
    // a frame, where the platform draws one).
    const auto [P0, D0] = Show(200);
    ASSERT_FALSE(P0.isNull());
    ASSERT_EQ(D0.topLeft(), QPoint(P0.right() + 1, P0.top())); // plenty of room
    for (const int Short : {0, 1}) { // pixels the screen lacks for the dialog at the preview's right edge
        const auto [P, D] = Show(ScreenWidth - D0.width() - P0.left() + Short);
        const QPoint Want = Short ? QPoint(P.right() + 1 - D.width(), P.top()) : QPoint(P.right() + 1, P.top());
        EXPECT_EQ(D.topLeft(), Want) << "short by " << Short;
    }
    Settings.Preview = Kept;
}

// Without a picture the add-text and composite dialogs show a plain grey
// field over the whole preview.
TEST(PreviewField, WithoutAPictureItIsPlainGrey)
{
    TestApp();
    TAddTextForm Text;
    TCompositeOptionForm Composite;
    for (const QImage* B : {&Text.BackBuffer(), &Composite.BackBuffer()}) {
        ASSERT_FALSE(B->isNull());
        EXPECT_GE(B->width(), 100);
        for (const QPoint P : {QPoint(0, 0), QPoint(B->width() - 1, B->height() - 1), QPoint(B->width() / 2, 3)})
            EXPECT_EQ(B->pixel(P) & 0xFFFFFF, 0x808080u) << P.x() << "," << P.y();
    }
}
