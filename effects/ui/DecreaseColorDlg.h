// The colour reduction's settings dialog: which tool, how many colours, the
// dithering and its strength, the transparent corner, the tools' own options
// and the quality. A tool can be chosen only when it is present.
#pragma once
#include <QDialog>

#include <cstdint>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QWidget;
class TDecreaseColorEffect;
class TUDNumEdit;

class TDecreaseColorForm : public QDialog {
    Q_OBJECT
public:
    explicit TDecreaseColorForm(QWidget* Owner = nullptr);

    // Flags: the tools present (bit 0 FLAXC, 1 IZYINS, 2 pngnqi); Mode 1..3
    // is the tool chosen (0 or a tool not present: none is checked).
    void SetParam(uint32_t Flags, int32_t Mode, const std::string& Option, int32_t PaletteEntries,
                  int32_t TransparentType, int32_t DitherType, int32_t DitherStr, int32_t Quality);
    // Mode is left as it was when no tool is checked.
    void GetParam(int32_t& Mode, std::string& Option, int32_t& PaletteEntries, int32_t& TransparentType,
                  int32_t& DitherType, int32_t& DitherStr, int32_t& Quality) const;

    QRadioButton* FlaxcButton;
    QRadioButton* IzyinsButton;
    QRadioButton* PngnqiButton;
    TUDNumEdit* ColorsEdit;     // 2..256
    QComboBox* DitheringList;   // items carry their dither type as data
    QStackedWidget* ToolPanels; // the checked tool's rows below
    QWidget* StrengthPanel;     // strength and transparent corner (FLAXC, IZYINS)
    TUDNumEdit* StrengthEdit;   // 0..10
    QComboBox* TransparentList; // None, TopLeft, BottomLeft, TopRight, BottomRight
    QWidget* OptionsPanel;      // the tools' own options (FLAXC, IZYINS)
    QLineEdit* OptionsEdit;
    QWidget* QualityPanel;   // pngnqi only
    TUDNumEdit* QualityEdit; // 1..10
    QPushButton* OkButton;
    QPushButton* CancelButton;

private:
    // The checked tool's panels and dither list; the dithering returns to
    // the tool's default.
    void ToolChosen();
    int32_t CheckedMode() const;
};

// Registers the effect's dialog; Owner (the main window, may be null) owns
// each dialog while it is shown. Called once at start-up.
void RegisterDecreaseColorForm(QWidget* Owner);
// The effect's ShowConfigDialog then shows the dialog modally; on OK copies its values into the effect.
