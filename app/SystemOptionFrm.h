// The "System Settings" dialog: threads, file handling, numbering, the
// after-run tool, the default background colour and the interface font.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TUDNumEdit;

// Colours are held as 0x00BBGGRR (red in the low byte), as in the settings file.
// Opens the colour dialog at Color, with the 16 custom colours reset to white;
// on OK stores the chosen colour (low 24 bits) and returns true.
bool ChooseColor(QWidget* Owner, uint32_t& Color);

class TSystemOptionForm : public QDialog {
    Q_OBJECT
public:
    // Edits a copy of the settings (its System and File fields shown here,
    // the background colour, the interface font); OK stores what it shows,
    // Cancel leaves Settings as it was.
    explicit TSystemOptionForm(QWidget* Owner = nullptr);

    QCheckBox* Parallel;   // only with more than one processor
    TUDNumEdit* MaxThread; // 1..processor count, only while Parallel
    QCheckBox* MemReserve;
    QCheckBox* NotOverwrite;
    QRadioButton* Rename; // Rename/Skip only while NotOverwrite
    QRadioButton* Skip;
    QCheckBox* AddSubFolder;
    QCheckBox* RemoveList;
    TUDNumEdit* StartNumber;    // 0..99999999
    QRadioButton* ResetType[3]; // always, at start-up, never
    QCheckBox* IgnoreReadOnly;
    QCheckBox* UseExternalTool;
    QLineEdit* Command;         // with CommandButton only while UseExternalTool
    QPushButton* CommandButton; // "...": no action
    QCheckBox* SkipImageCheck;
    QCheckBox* SortFiles;
    QCheckBox* DeleteInput;
    QCheckBox* AbortOnError;
    QComboBox* AutoSort;
    QPushButton* ColorPanel;
    QPushButton* FontButton;

    // The panel's colour (0x00BBGGRR) and the font chosen so far.
    uint32_t BackColor;
    QString FontName;
    int FontSize;

    void accept() override;
    void UpdateEnabled();
    void SetFont(const QString& Name, int Size);

private:
    TSettings FDraft = Settings; // what the controls edit; OK stores its records
    TControlBindings FBindings;
    void PickColor();
    void PickFont();
};
