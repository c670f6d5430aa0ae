// Switching groups of controls on and off, and the bitmaps the windows start
// from: what the option and effect dialogs see when their boxes and lists are
// worked.
#include "effects/AddBlankFilter.h"
#include "effects/TrimmingFilter.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/TrimmingDlg.h"
#include "effects/ui/WindowFuncs.h"
#include "tests/effectsui/UiTestApp.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

namespace {

// The top-level windows on screen now.
QSet<QWidget*> ShownWindows()
{
    QSet<QWidget*> Shown;
    for (QWidget* W : QApplication::topLevelWidgets())
        if (W->isVisible())
            Shown.insert(W);
    return Shown;
}

} // namespace

// A list that was opened once keeps its popup as a child window; hiding and
// showing the panel it sits on must not pop that list up again, and the
// controls (and their own parts) come back whole.
TEST(SetControlsVisible, ShowingAPanelAgainPopsUpNoListThatWasClosed)
{
    TestApp();
    QWidget Panel;
    auto* List = new QComboBox(&Panel);
    List->addItems({"one", "two", "three"});
    auto* Spin = new QSpinBox(&Panel);
    auto* Edit = new QLineEdit(&Panel);
    auto* Group = new QGroupBox(&Panel);
    auto* Inside = new QLabel("inside", Group);
    Panel.show();
    List->showPopup();
    ASSERT_TRUE(PumpUntil([&] { return ShownWindows().size() > 1; }));
    List->hidePopup();
    ASSERT_TRUE(PumpUntil([&] { return ShownWindows().size() == 1; }));
    const QSet<QWidget*> Before = ShownWindows();

    for (const bool On : {false, true}) {
        SetControlsVisible(&Panel, On);
        QCoreApplication::processEvents();
        for (QWidget* W : {static_cast<QWidget*>(List), static_cast<QWidget*>(Spin), static_cast<QWidget*>(Edit),
                           static_cast<QWidget*>(Group), static_cast<QWidget*>(Inside)})
            EXPECT_EQ(W->isVisible(), On) << W->metaObject()->className();
    }
    EXPECT_EQ(ShownWindows(), Before) << "a window came up with the panel";
    EXPECT_FALSE(List->view()->isVisible());

    // The list form: only the listed controls, each with what is inside it.
    SetControlsVisible({List, Group}, false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(List->isVisible() || Group->isVisible() || Inside->isVisible());
    EXPECT_TRUE(Spin->isVisible() && Edit->isVisible());
    SetControlsVisible({List, Group}, true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(List->isVisible() && Group->isVisible() && Inside->isVisible());
    EXPECT_EQ(ShownWindows(), Before);
}

TEST(SetControlsEnabled, TheListFormSwitchesTheListedControlsAndNothingBeside)
{
    TestApp();
    QWidget Panel;
    auto* Label = new QLabel("size", &Panel);
    auto* Spin = new QSpinBox(&Panel);
    auto* Group = new QGroupBox(&Panel);
    auto* Inside = new QLineEdit(Group);
    auto* Beside = new QLineEdit(&Panel);
    auto* Off = new QLineEdit(&Panel);
    Off->setEnabled(false);
    Panel.show();
    for (const bool On : {false, true, false, true}) {
        SetControlsEnabled({Label, Spin, Group}, On);
        for (QWidget* W : {static_cast<QWidget*>(Label), static_cast<QWidget*>(Spin), static_cast<QWidget*>(Group),
                           static_cast<QWidget*>(Inside)})
            EXPECT_EQ(W->isEnabled(), On) << W->metaObject()->className();
        for (QWidget* W : Spin->findChildren<QWidget*>()) {
            if (!W->isWindow()) {
                EXPECT_EQ(W->isEnabled(), On) << "inside the spin box: " << W->metaObject()->className();
            }
        }
        EXPECT_TRUE(Beside->isEnabled());
        EXPECT_FALSE(Off->isEnabled());
        EXPECT_TRUE(Panel.isEnabled());
    }
}

TEST(CreateFilledBitmap, AColourOfTheWindowsPaletteFillsEveryPixel)
{
    TestApp();
    for (const QImage::Format F : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_ARGB32_Premultiplied}) {
        for (const QColor C : {QColor(0xEF, 0xEB, 0xE7), QColor(Qt::white), QColor(0x12, 0x34, 0x56)}) {
            const QImage I = CreateFilledBitmap(7, 4, F, C);
            ASSERT_EQ(I.size(), QSize(7, 4));
            EXPECT_EQ(I.format(), F);
            for (const QPoint P : {QPoint(0, 0), QPoint(6, 3), QPoint(3, 2)})
                EXPECT_EQ(I.pixelColor(P), C) << int(F) << " " << C.name().toStdString();
            // The same colour as a colour value (red in the low byte) gives the same bitmap.
            EXPECT_EQ(I, CreateFilledBitmap(7, 4, F, uint32_t(C.red() | C.green() << 8 | C.blue() << 16)));
        }
    }
    EXPECT_TRUE(CreateFilledBitmap(3, 0, QImage::Format_RGB32, QColor(Qt::red)).isNull());
}

// The tone curve's grid lies on the dialog's button colour: the outermost
// column and row show it, inside the grey frame the field is white.
TEST(ToneCurveForm, TheGridLiesOnTheButtonColour)
{
    TestApp();
    // Button and window colours apart, as in many a desktop's palette.
    const QPalette Kept = QApplication::palette();
    QPalette Apart = Kept;
    Apart.setColor(QPalette::Button, QColor(0xD4, 0xD0, 0xC8));
    Apart.setColor(QPalette::Window, QColor(0xEC, 0xE9, 0xD8));
    QApplication::setPalette(Apart);
    TToneCurveOptionForm F;
    QApplication::setPalette(Kept);
    const QColor Button = Apart.color(QPalette::Button);
    ASSERT_EQ(F.Graph.size(), QSize(260, 260));
    for (const QPoint P : {QPoint(0, 0), QPoint(0, 130), QPoint(259, 0), QPoint(130, 0), QPoint(0, 259)})
        EXPECT_EQ(F.Graph.pixelColor(P), Button) << P.x() << "," << P.y();
    EXPECT_EQ(F.Graph.pixelColor(3, 3), QColor(Qt::white));
}

// Under "ALL" the second value set's label and edit are hidden; any other
// branch, chosen by the keys, shows both again.
TEST(BranchList, AllHidesTheSecondSetAndTheOtherBranchesShowIt)
{
    TestApp();
    auto Work = [](auto& F) {
        const struct {
            int Key;
            bool Shown;
        } Steps[] = {{Qt::Key_End, false},
                     {Qt::Key_Home, true},
                     {Qt::Key_End, false},
                     {Qt::Key_Up, true},
                     {Qt::Key_Down, false}};
        for (const auto& S : Steps) {
            QTest::keyClick(F.BranchList, Qt::Key(S.Key));
            EXPECT_EQ(F.SecondSetLabel->isVisibleTo(&F), S.Shown) << F.BranchList->currentIndex();
            EXPECT_EQ(F.SecondSetEdit->isVisibleTo(&F), S.Shown) << F.BranchList->currentIndex();
            EXPECT_TRUE(F.FirstSetEdit->isVisibleTo(&F));
        }
    };
    RegisterAddBlankForm(nullptr);
    TAddBlankFilter Blank;
    WhenShown<TAddBlankForm>(false, [&](TAddBlankForm& F) { Work(F); });
    Blank.ShowConfigDialog();

    RegisterTrimmingOptionForm(nullptr);
    TTrimmingFilter Trim;
    WhenShown<TTrimmingOptionForm>(false, [&](TTrimmingOptionForm& F) { Work(F); });
    Trim.ShowConfigDialog();
}
