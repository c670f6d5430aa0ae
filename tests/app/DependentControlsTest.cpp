// The option dialogs' check boxes that govern other controls, clicked as a
// user clicks them: each governed control follows the box, both ways, and
// nothing else changes with it.
#include "DialogFieldsTest.h"

#include "app/FolderOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "effects/ui/NumEdit.h"

#include <QLabel>

namespace {

// A row whose dialog the menu command Menu opens and whose Work clicks in it.
template <class F, class W> TFieldRow Opened(QAction* TMainForm::*Menu, const char* Name, W Work)
{
    return {Name,
            [Menu](TMainForm& M) { (M.*Menu)->trigger(); },
            [Work](QDialog& D) { Work(*qobject_cast<F*>(&D)); },
            {},
            {},
            {}};
}

// The enabled state of every control of D, by its place in the child list.
std::vector<bool> EnabledStates(QWidget& D)
{
    std::vector<bool> States;
    for (const QWidget* W : D.findChildren<QWidget*>())
        States.push_back(W->isEnabled());
    return States;
}

// Clicks Box twice; after each click every control of Governed is enabled
// exactly while Box is checked (unchecked when Inverse), and every other
// control of D keeps the state it had before the click.
void ClickAndCompare(QDialog& D, QCheckBox* Box, std::vector<QWidget*> Governed, bool Inverse, const char* Name)
{
    const auto Children = D.findChildren<QWidget*>();
    for (int Round = 0; Round < 2; ++Round) {
        const std::vector<bool> Before = EnabledStates(D);
        Click(Box);
        const bool On = Box->isChecked() != Inverse;
        for (QWidget* W : Governed) {
            EXPECT_EQ(W->isEnabled(), On) << Name << " " << W->metaObject()->className() << " round " << Round;
            for (const QWidget* Inner : W->findChildren<QWidget*>()) {
                if (!Inner->isWindow()) {
                    EXPECT_EQ(Inner->isEnabled(), On) << Name << " inside " << W->metaObject()->className();
                }
            }
        }
        const std::vector<bool> After = EnabledStates(D);
        for (qsizetype i = 0; i < Children.size(); ++i) {
            const bool Mine = Children[i] == Box || std::any_of(Governed.begin(), Governed.end(), [&](QWidget* G) {
                                  return G == Children[i] || G->isAncestorOf(Children[i]);
                              });
            if (!Mine && !Children[i]->isWindow()) {
                EXPECT_EQ(After[size_t(i)], Before[size_t(i)])
                    << Name << ": " << Children[i]->metaObject()->className() << " "
                    << Children[i]->objectName().toStdString() << " changed with the box";
            }
        }
    }
}

} // namespace

TEST_F(DialogFields, EachBoxSwitchesTheControlsItGoverns)
{
    const TFieldRow Rows[] = {
        Opened<TJPEGOptionForm>(
            &TMainForm::SetJPEGOption, "Exif",
            [](auto& F) {
                ClickAndCompare(F, F.ExifCheck, {F.UpdateExifCheck, F.ExifThumbnailCheck}, false, "JPEG Exif");
            }),
        Opened<TJPEGOptionForm>(&TMainForm::SetJPEGOption, "size limit",
                                [](auto& F) {
                                    ClickAndCompare(F, F.SizeLimitCheck,
                                                    {F.SizeLabel, F.SizeEdit, F.QualityLimitLabel, F.QualityLimitEdit,
                                                     F.SampleLimitLabel, F.SampleLimitList},
                                                    false, "JPEG size limit");
                                }),
        Opened<TPNGOptionForm>(
            &TMainForm::SetPNGOption, "optimiser",
            [](auto& F) {
                if (!F.PNGOUTCheck->isEnabled())
                    return ADD_FAILURE() << "no optimiser in the program folder";
                ClickAndCompare(F, F.PNGOUTCheck, {F.MaxOptCheck, F.FullColorCheck}, false, "PNG optimiser");
            }),
        Opened<TMetadataOptionForm>(
            &TMainForm::SetMetaDataOption, "Exif",
            [](auto& F) {
                ClickAndCompare(F, F.KeepExif, {F.UpdateExif, F.UpdateExifThumbnail}, false, "metadata Exif");
            }),
        Opened<TSystemOptionForm>(
            &TMainForm::SystemOptionSetting, "not overwrite",
            [](auto& F) {
                ClickAndCompare(F, F.NotOverwrite, {F.Rename, F.Skip}, false, "system not overwrite");
            }),
        Opened<TSystemOptionForm>(
            &TMainForm::SystemOptionSetting, "external tool",
            [](auto& F) {
                ClickAndCompare(F, F.UseExternalTool, {F.Command, F.CommandButton}, false, "system external tool");
            }),
        Opened<TFolderOptionForm>(&TMainForm::SetOutPutFolder, "same folder",
                                  [](auto& F) {
                                      ClickAndCompare(F, F.SameDirectory,
                                                      {F.OutputEdit, F.OutputButton, F.ShowDirectory}, true,
                                                      "folder same folder");
                                  }),
    };
    for (const TFieldRow& R : Rows)
        EXPECT_TRUE(WorkDialog(R, false)) << R.Name << " did not open";
}
