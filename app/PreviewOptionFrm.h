// The "External Viewer Settings" dialog: the viewer program and its two
// option texts of the preview settings.
#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;
struct TPreviewOption;

class TPreviewOptionForm : public QDialog {
    Q_OBJECT
public:
    // Option is not owned; OK writes the three texts into it as typed.
    explicit TPreviewOptionForm(TPreviewOption& Option, QWidget* Owner = nullptr);

    QLineEdit* Edit1;      // "Path" = ViewerPath
    QLineEdit* Edit2;      // "Option" = ViewerOption
    QLineEdit* Edit3;      // "Option2" = ViewerOption2
    QPushButton* Button3;  // "...", picks the viewer program
    QPushButton* Button1;  // OK
    QPushButton* Button2;  // Cancel

    void accept() override;

private:
    void Browse();
    TPreviewOption& FOption;
};
