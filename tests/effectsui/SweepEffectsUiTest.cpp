// Effect dialogs opened on stored values a hand-edited or older settings file
// may hold, driven by the keys a user presses.
#include "tests/effectsui/UiTestApp.h"

#include "core/IniFile.h"
#include "effects/RotationFilter.h"
#include "effects/ui/RotationOptionDlg.h"

#include <QComboBox>
#include <QRadioButton>
#include <QTest>

// A stored rotation outside the list shows its first entry and the "All"
// choice; Enter stores what the dialog showed, not the stored nonsense. A
// value inside the list is shown as stored.
TEST(SweepRotationDialog, AStoredValueOutsideTheListShowsTheFirstEntry)
{
    TestApp();
    RegisterRotationOptionForm(nullptr);
    const struct {
        int32_t Type, Value;
        int Shown;           // the entry the list shows
        const char* Checked; // the size choice shown
        int32_t StoredType, StoredValue;
    } Rows[] = {
        {7, 5, 0, "All", 0, 0},      {0, -1, 0, "All", 0, 0},      {-3, 99, 0, "All", 0, 0},
        {2, 4, 4, "Portrait", 2, 4}, {1, 3, 3, "Landscape", 1, 3},
    };
    for (const auto& R : Rows) {
        SCOPED_TRACE(std::to_string(R.Type) + " " + std::to_string(R.Value));
        TRotationFilter E;
        E.FType = R.Type;
        E.FValue = R.Value;
        QTimer::singleShot(0, [&] {
            auto* D = qobject_cast<TRotationOptionForm*>(QApplication::activeModalWidget());
            ASSERT_NE(D, nullptr);
            EXPECT_EQ(D->RotationList->currentIndex(), R.Shown);
            EXPECT_EQ(D->RotationList->currentText(), D->RotationList->itemText(R.Shown));
            for (QRadioButton* B : {D->AllButton, D->LandscapeButton, D->PortraitButton})
                EXPECT_EQ(B->isChecked(), B->text() == R.Checked) << B->text().toStdString();
            QTest::keyClick(D, Qt::Key_Return);
            if (D->isVisible())
                D->reject(), ADD_FAILURE() << "Enter left the dialog open";
        });
        EXPECT_TRUE(ShowEffectDialog(E));
        TMemIniFile Ini("");
        E.WriteIniFile(Ini);
        EXPECT_EQ(Ini.ReadInteger("RotationFilter", "Type", -100), R.StoredType);
        EXPECT_EQ(Ini.ReadInteger("RotationFilter", "Value", -100), R.StoredValue);
    }
    SetEffectDialog(EFFECT_ROTATION, nullptr);
}
