// The "PNG Settings" dialog: compression level and filters, resolution
// chunk, recompression with the external PNG optimiser, index colour output with
// its transparent colour, and the decoder choice.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QColor>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;
class TUDNumEdit;

class TPNGOptionForm : public QDialog {
    Q_OBJECT
public:
    // Option is not owned; only OK writes it.
    explicit TPNGOptionForm(TPNGOption& Option, QWidget* Owner = nullptr);

    TUDNumEdit* LevelEdit;      // "Compression Level" 0..9
    QCheckBox* FilterChecks[5]; // None, Sub, Up, Average, Paeth: bits 8..128
    QCheckBox* PHYsCheck;       // "Save resolution"
    QWidget* PNGOUTPanel;       // enabled only when the optimiser is installed (PNGOUTPath)
    QCheckBox* PNGOUTCheck;
    QCheckBox* MaxOptCheck;    // enabled while PNGOUTCheck is checked
    QCheckBox* FullColorCheck; // likewise
    QCheckBox* IndexColorCheck;
    QWidget* TransparentPanel;  // enabled while IndexColorCheck is checked
    QComboBox* TransparentList; // 0 None .. 5 Fixed
    QPushButton* ColorPanel;    // shown only while "Fixed" is selected
    QCheckBox* WICCheck;        // "Use WIC PNGDecoder"
    QPushButton* OkButton;
    QPushButton* CancelButton;

    QColor PanelColor() const { return FColor; }
    void SetPanelColor(const QColor& C);

    void accept() override;

private:
    void UpdateEnabled();
    void PickColor();
    TPNGOption& FOption;
    TPNGOption FDraft;          // what the controls edit; OK stores it into FOption
    TControlBindings FBindings; // every control but the filters and the colour
    QColor FColor;
};
