// The small effect dialogs: values come in when the dialog opens and go back
// to the effect on OK only.
#include "effects/RotationOptionFrm.h"
#include "effects/ui/RotationOptionDlg.h"
#include "tests/effectsui/UiTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

// Runs Edit on the modal dialog of type Form once it is up, then presses its
// OK (Button1) or Cancel (Button2).
template <class Form, class Fn> void WhenShown(Fn Edit, bool Ok)
{
    QTimer::singleShot(0, [=] {
        auto* F = qobject_cast<Form*>(QApplication::activeModalWidget());
        ASSERT_NE(F, nullptr);
        Edit(*F);
        (Ok ? F->Button1 : F->Button2)->click();
    });
}

} // namespace

TEST(RotationOptionForm, OkWritesBackCancelKeeps)
{
    TestApp();
    RegisterRotationOptionForm(nullptr);
    TRotationFilter E;
    E.FType = ROTATE_PORTRAIT;
    E.FValue = ROTATE_MIRROR;

    // Opens showing the effect's values; OK takes the edited ones.
    WhenShown<TRotationOptionForm>([](TRotationOptionForm& F) {
        EXPECT_TRUE(F.RadioButton3->isChecked());
        EXPECT_EQ(F.ComboBox1->currentIndex(), ROTATE_MIRROR);
        F.RadioButton2->setChecked(true);
        F.ComboBox1->setCurrentIndex(ROTATE_FLIP);
    }, true);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, ROTATE_LANDSCAPE);
    EXPECT_EQ(E.FValue, ROTATE_FLIP);

    WhenShown<TRotationOptionForm>([](TRotationOptionForm& F) {
        F.RadioButton1->setChecked(true);
        F.ComboBox1->setCurrentIndex(ROTATE_180);
    }, false);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, ROTATE_LANDSCAPE);
    EXPECT_EQ(E.FValue, ROTATE_FLIP);
}

TEST(RotationOptionForm, OutOfRangeSettingsShowDefaults)
{
    TestApp();
    TRotationOptionForm F;
    F.SetParams(9, 7);
    EXPECT_TRUE(F.RadioButton1->isChecked());
    EXPECT_EQ(F.ComboBox1->currentIndex(), 0);
    F.SetParams(ROTATE_PORTRAIT, -1);
    int Type = -1, Value = -1;
    F.GetParams(Type, Value);
    EXPECT_EQ(Type, ROTATE_PORTRAIT);
    EXPECT_EQ(Value, 0);
}
