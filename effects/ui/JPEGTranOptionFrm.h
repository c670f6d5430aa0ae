// The lossless JPEG transform's settings dialog: five switches and the
// transform (none, automatic by EXIF orientation, quarter turns, flips).
#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TJPEGTran;

class TJPEGTranOptionForm : public QDialog {
    Q_OBJECT
public:
    explicit TJPEGTranOptionForm(QWidget* Owner = nullptr);

    // Checks the boxes and selects the transform; a Rotation outside the
    // list shows "None".
    void SetParams(const TJPEGTran& Effect);
    void GetParams(TJPEGTran& Effect) const;

    QCheckBox* chbOptimize;
    QCheckBox* chbProgressive;
    QCheckBox* chbGrayscale;
    QCheckBox* chbTrimming;
    QCheckBox* chbRemoveExtraMarker;
    QLabel* lblRotation;
    QComboBox* cbRotation;     // index = TJPEGTran::FRotation (JT_NONE..JT_FLIPV)
    QPushButton* OkButton;     // OK
    QPushButton* CancelButton; // Cancel
};

// Registers the effect's dialog; Owner (the main window, may be null) owns each
// dialog while it is shown. Called once at start-up.
void RegisterJPEGTranOptionForm(QWidget* Owner);
// The effect's ShowConfigDialog then shows the dialog modally and, on OK only, copies its values into the effect.
