// Option dialogs work on a copy of the settings: every control a user can
// change is changed, then Escape must leave every setting as it was and OK
// must store the changes.
#include "TestApp.h"
#include "app/BitmapOptionFrm.h"
#include "app/CreateShortCutFrm.h"
#include "app/IniKeys.h"
#include "app/IniSettings.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PreviewOptionFrm.h"
#include "app/ResizeOptionFrm.h"
#include "app/SystemOptionFrm.h"

#include <QTest>
#include <QtWidgets>

namespace {

// Every value the settings file holds, as the key table reads it.
std::vector<TIniValue> SettingsNow()
{
    std::vector<TIniValue> V;
    for (const TIniKey& K : IniKeys())
        if (K.Get)
            V.push_back(K.Get());
    return V;
}

// Changes every enabled box, list, choice and field of D by mouse and keys.
void ChangeEverything(QDialog& D)
{
    for (QCheckBox* C : D.findChildren<QCheckBox*>())
        if (C->isEnabled() && C->isVisible())
            QTest::mouseClick(C, Qt::LeftButton, {}, QPoint(8, C->height() / 2));
    for (QRadioButton* R : D.findChildren<QRadioButton*>())
        if (R->isEnabled() && R->isVisible() && !R->isChecked())
            QTest::mouseClick(R, Qt::LeftButton, {}, QPoint(8, R->height() / 2));
    for (QComboBox* L : D.findChildren<QComboBox*>()) {
        if (!L->isEnabled() || !L->isVisible() || L->count() < 2)
            continue;
        L->setFocus();
        QTest::keyClick(L, L->currentIndex() + 1 < L->count() ? Qt::Key_Down : Qt::Key_Up);
    }
    for (QLineEdit* E : D.findChildren<QLineEdit*>()) {
        if (!E->isEnabled() || !E->isVisible() || E->isReadOnly() || qobject_cast<QComboBox*>(E->parentWidget()))
            continue;
        E->setFocus();
        E->selectAll();
        QTest::keyClicks(E, E->validator() ? "7" : "/tmp/x");
    }
}

struct TDialogRow {
    const char* Name;
    std::function<QDialog*()> Make;
    bool OkStores; // the shortcut dialog's OK makes files; only its Cancel is worked here
};

TEST(DialogDraft, EscapeKeepsEverySettingAndOkStoresTheChanges)
{
    EnsureApp();
    const TKeptSettings Kept;
    Settings.System.ProcessorCount = 4; // the thread and parallel controls enabled
    Startup.CPUFeatures = 0xFFFF;
    const TDialogRow Rows[] = {
        {"BMP", [] { return new TBitmapOptionForm(Settings.Bitmap); }, true},
        {"JPEG", [] { return new TJPEGOptionForm(Settings.JPEG); }, true},
        {"PNG", [] { return new TPNGOptionForm(Settings.PNG); }, true},
        {"viewer", [] { return new TPreviewOptionForm(Settings.Preview); }, true},
        {"resize", [] { return new TResizeOptionForm(Settings.Resize); }, true},
        {"metadata", [] { return new TMetadataOptionForm; }, true},
        {"system", [] { return new TSystemOptionForm; }, true},
        {"shortcut", [] { return new TCreateShortCutForm; }, false},
    };
    for (const TDialogRow& Row : Rows) {
        const std::vector<TIniValue> Before = SettingsNow();
        {
            std::unique_ptr<QDialog> D(Row.Make());
            D->show();
            ChangeEverything(*D);
            EXPECT_EQ(SettingsNow(), Before) << Row.Name << ": changed before OK";
            QTest::keyClick(D.get(), Qt::Key_Escape);
            EXPECT_EQ(D->result(), QDialog::Rejected) << Row.Name;
        }
        EXPECT_EQ(SettingsNow(), Before) << Row.Name << ": changed by Escape";
        if (!Row.OkStores)
            continue;
        std::unique_ptr<QDialog> D(Row.Make());
        D->show();
        ChangeEverything(*D);
        for (QPushButton* B : D->findChildren<QPushButton*>())
            if (B->text() == "OK")
                QTest::mouseClick(B, Qt::LeftButton);
        ASSERT_EQ(D->result(), QDialog::Accepted) << Row.Name;
        EXPECT_NE(SettingsNow(), Before) << Row.Name << ": OK stored nothing";
    }
}

} // namespace
