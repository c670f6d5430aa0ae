// The "Output Folder Settings" dialog: where output files go and where
// pasted clipboard pictures are stored.
#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TFolderOptionForm : public QDialog {
    Q_OBJECT
public:
    // Reads Settings.File now; writes it only on OK.
    explicit TFolderOptionForm(QWidget* Owner = nullptr);

    QCheckBox* SameDirectory;
    QLineEdit* OutputEdit;     // with OutputButton and ShowDirectory only
    QPushButton* OutputButton; //   while SameDirectory is unchecked
    QCheckBox* ShowDirectory;
    QLineEdit* ClipboardEdit;
    QPushButton* ClipboardButton;

    void accept() override;
    void UpdateEnabled();

private:
    void Browse(QLineEdit* Edit, const QString& Title);
};
