// The "About" window: version, ownership notice, the largest memory block the
// system can give now, and a link to the help. The program has no web page of
// its own: the link opens the README in the program folder.
#pragma once
#include <QDialog>

class QLabel;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* Owner = nullptr);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

public:
    QLabel* VersionLabel; // version
    QLabel* NoticeLabel;  // ownership notice
    QLabel* MemoryLabel;  // memory
    QLabel* LinkLabel;    // the README: blue, a hand over it, underlined while hovered; a click opens it
    QLabel* IconImage;    // 48 x 48 application icon; hidden when the application has none
};
