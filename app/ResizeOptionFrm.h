// The "Resize" dialog: the resampling filters for shrinking and enlarging with
// their parameters, the SIMD method, the thread count of one resampling pass,
// linear-light work and the no-enlarging switch.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;
class TUDNumEdit;

class TResizeOptionForm : public QDialog {
    Q_OBJECT
public:
    // Option is not owned. Filling it in may already correct SIMDMode 3 to 1 in
    // the record on a processor without SSE2; everything else is written only
    // by OK.
    explicit TResizeOptionForm(TResizeOption& Option, QWidget* Owner = nullptr);

    // Translated name of a resampler filter id 1..9; empty for any other id.
    static QString FilterName(int ID);

    QComboBox* DecimationList;    // ids 1..9
    QComboBox* InterpolationList; // ids 2..9
    // Parameter panels per side; at most one of the three is shown.
    QWidget* DecRadiusPanel;
    QWidget* DecSharpPanel;
    QWidget* DecBlurPanel;
    QWidget* IntRadiusPanel;
    QWidget* IntSharpPanel;
    QWidget* IntBlurPanel;
    TUDNumEdit* DecRadiusEdit; // 1..32
    TUDNumEdit* DecSharpEdit;  // -4..8
    TUDNumEdit* DecBlurEdit;   // 1..24
    TUDNumEdit* IntRadiusEdit; // 1..8
    TUDNumEdit* IntSharpEdit;  // -4..8
    TUDNumEdit* IntBlurEdit;   // 1..24
    QComboBox* SIMDList;
    TUDNumEdit* MaxThreadEdit; // 1..16
    QCheckBox* DegammaCheck;   // "LinearRGB work space"
    QCheckBox* NoExpandCheck;  // "Don't upscaling "
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void accept() override;
    // Rebuilds the SIMD list for the LinearRGB box, selecting "SSE Float".
    void DegammaClick();

private:
    void ShowParams(QComboBox* List, QWidget* Radius, QWidget* Sharp, QWidget* Blur);
    void FillSIMDList();
    TResizeOption& FOption;
    TResizeOption FDraft; // what the controls edit; OK stores it into FOption
    TControlBindings FBindings;
};
