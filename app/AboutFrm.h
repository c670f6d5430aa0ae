// The "About" window: version, ownership notice, the largest memory block the
// system can give now, and the product's web address.
#pragma once
#include <QDialog>

class QLabel;

// The address the link label opens.
inline constexpr const char ProductWebAddress[] = "https://vestro-resizer.example/";

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* Owner = nullptr);

    QLabel* VersionLabel; // version
    QLabel* NoticeLabel; // ownership notice
    QLabel* MemoryLabel; // memory
    QLabel* LinkLabel; // web link: blue, hand cursor, underlined under the mouse
    QLabel* IconImage; // 48 x 48 application icon; hidden when the application has none

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
};
