// The "External Viewer Settings" dialog: the viewer program and its two
// option texts of the preview settings.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

class TPreviewOptionForm : public QDialog {
    Q_OBJECT
public:
    // Option is not owned; OK writes the three texts into it as typed.
    explicit TPreviewOptionForm(TPreviewOption& Option, QWidget* Owner = nullptr);

    QLineEdit* ViewerPathEdit;    // "Path" = ViewerPath
    QLineEdit* ViewerOptionEdit;  // "Option" = ViewerOption
    QLineEdit* ViewerOption2Edit; // "Option2" = ViewerOption2
    QPushButton* BrowseButton;    // "...", picks the viewer program
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void accept() override;

private:
    void Browse();
    TPreviewOption& FOption;
    TPreviewOption FDraft; // what the controls edit; OK stores it into FOption
    TControlBindings FBindings;
};
