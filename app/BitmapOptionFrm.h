// The "BMP Settings" dialog: alpha channel output, its header and how 32-bit
// input without bit-field masks is read, and index colour output.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;

class TBitmapOptionForm : public QDialog {
    Q_OBJECT
public:
    // Option is not owned; only OK writes it.
    explicit TBitmapOptionForm(TBitmapOption& Option, QWidget* Owner = nullptr);

    QCheckBox* AlphaCheck;     // enabled only on a processor with SSE
    QWidget* HeaderPanel;      // enabled while AlphaCheck is checked
    QComboBox* HeaderList;     // 0 BITMAPINFOHEADER, 1 BITMAPV4HEADER
    QComboBox* AlphaCheckList; // 0 Auto, 1 ARGB, 2 XRGB
    QCheckBox* IndexColorCheck;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void accept() override;

private:
    TBitmapOption& FOption;
    TBitmapOption FDraft; // what the controls edit; OK stores it into FOption
    TControlBindings FBindings;
};
