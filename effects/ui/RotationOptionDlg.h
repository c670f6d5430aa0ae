// The rotation effect's settings dialog: which pictures (all, landscape,
// portrait) and which turn or flip.
#pragma once
#include <QDialog>

class QComboBox;
class QPushButton;
class QRadioButton;
class TRotationFilter;

class TRotationOptionForm : public QDialog {
    Q_OBJECT
public:
    explicit TRotationOptionForm(QWidget* Owner = nullptr);

    // Type: 1 landscape, 2 portrait, anything else all pictures. Value: the
    // list index 0..4; anything outside the list shows entry 0.
    void SetParams(int Type, int Value);
    // Type 0, 1 or 2 from the checked button; Value the list index.
    void GetParams(int& Type, int& Value) const;

    QRadioButton* AllButton;       // "All"
    QRadioButton* LandscapeButton; // "Landscape"
    QRadioButton* PortraitButton;  // "Portrait"
    QComboBox* RotationList;
    QPushButton* OkButton;     // OK
    QPushButton* CancelButton; // Cancel
};

// Registers the effect's dialog; Owner (the main window, may be null) owns
// each dialog while it is shown. Called once at start-up.
void RegisterRotationOptionForm(QWidget* Owner);
// The effect's ShowConfigDialog then shows the dialog modally and, on OK only, copies its values into the effect.
