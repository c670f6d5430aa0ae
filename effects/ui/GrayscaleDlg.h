// The grayscale effect's settings dialog: BT.601, BT.709 or custom red, green
// and blue weights. Each custom weight is shown twice, on a scroll bar in
// ten-thousandths (0..10000) and in an edit as a fraction (0..1, 4 decimals).
#pragma once
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class TGrayscaleFilter;
class TNumEdit;

class TGrayscaleForm : public QDialog {
    Q_OBJECT
public:
    explicit TGrayscaleForm(QWidget* Owner = nullptr);

    // Custom weights in ten-thousandths; Type 0 BT.601, 1 BT.709, else
    // custom.
    void SetParams(int ARed, int AGreen, int ABlue, int Type);
    // The custom weights as kept by the dialog (choosing a standard leaves
    // them as they were) and the selected type.
    void GetParams(int& ARed, int& AGreen, int& ABlue, int& Type) const;

    QComboBox* WeightsList;
    QWidget* WeightsPanel; // the three weight rows; enabled for "Custom" only
    QLabel* RedLabel;
    QLabel* GreenLabel;
    QLabel* BlueLabel;
    QScrollBar* RedBar;
    QScrollBar* GreenBar;
    QScrollBar* BlueBar;
    TNumEdit* RedEdit;
    TNumEdit* GreenEdit;
    TNumEdit* BlueEdit;
    QPushButton* OkButton;     // OK
    QPushButton* CancelButton; // Cancel

    int Red = 0, Green = 0, Blue = 0;

private:
    void TypeChanged();
    void ScrollBarChanged(int Index);
    void EditChanged(int Index);
    bool IsCustom() const;
    int& Weight(int Index);

    QScrollBar* FBars[3];
    TNumEdit* FEdits[3];
    bool FUpdating = false; // set while one control follows the other
};

// Registers the effect's dialog; Owner (the main window, may be null) owns
// each dialog while it is shown. Called once at start-up.
void RegisterGrayscaleForm(QWidget* Owner);
// The effect's ShowConfigDialog then shows the dialog modally and, on OK only, copies its values into the effect and
// applies them with SetGrayWeights.
