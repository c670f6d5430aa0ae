#include "app/AboutFrm.h"

#include "core/Global.h"
#include "core/MemReservoir.h"
#include "core/ResourceText.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

TAboutForm::TAboutForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(QString::fromStdString(LoadResText("About")));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));

    char Text[256];
    std::snprintf(Text, sizeof Text, "Vestro Image Resizer  Version %.6d", 170111);
    Label1 = new QLabel(QString::fromUtf8(Text), this);
    Label2 = new QLabel(QStringLiteral("Copyright (C) the Vestro Image Resizer developers"), this);
    std::snprintf(Text, sizeof Text, "%s %lluMB", LoadResText("Maximum size of memory block").c_str(),
                  (unsigned long long)(GetMaxFreeBlockSize() >> 20));
    Label3 = new QLabel(QString::fromUtf8(Text), this);
    Label4 = new QLabel(QString::fromLatin1(ProductWebAddress), this);
    QPalette Blue = Label4->palette();
    Blue.setColor(QPalette::WindowText, Qt::blue);
    Label4->setPalette(Blue);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->installEventFilter(this);

    // The application's icon, as the main window set it; without one the
    // texts stand alone rather than beside an empty square.
    const QIcon AppIcon = QApplication::windowIcon();
    QPixmap Icon(48, 48);
    Icon.fill(palette().color(QPalette::Window));
    {
        QPainter P(&Icon);
        AppIcon.paint(&P, 0, 0, 48, 48);
    }
    Image1 = new QLabel(this);
    Image1->setPixmap(Icon);
    Image1->setFixedSize(48, 48);
    Image1->setVisible(!AppIcon.isNull());

    auto* Button = new QPushButton(QString::fromStdString(LoadResText("OK")), this);
    Button->setDefault(true);
    connect(Button, &QPushButton::clicked, this, &QDialog::accept);

    auto* Texts = new QVBoxLayout;
    for (QLabel* L : {Label1, Label2, Label3, Label4})
        Texts->addWidget(L);
    auto* Top = new QHBoxLayout;
    Top->addWidget(Image1, 0, Qt::AlignTop);
    Top->addLayout(Texts, 1);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Top);
    Layout->addLayout(Buttons);
}

bool TAboutForm::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == Label4) {
        if (Event->type() == QEvent::Enter || Event->type() == QEvent::Leave) {
            QFont F = Label4->font();
            F.setUnderline(Event->type() == QEvent::Enter);
            Label4->setFont(F);
        } else if (Event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
            QDesktopServices::openUrl(QUrl(QString::fromLatin1(ProductWebAddress)));
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}
