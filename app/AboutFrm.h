// The "About" window: version, ownership notice and the largest memory block
// the system can give now. The program has no web page: no link is shown.
#pragma once
#include <QDialog>

class QLabel;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* Owner = nullptr);

    QLabel* VersionLabel; // version
    QLabel* NoticeLabel;  // ownership notice
    QLabel* MemoryLabel;  // memory
    QLabel* IconImage;    // 48 x 48 application icon; hidden when the application has none
};
