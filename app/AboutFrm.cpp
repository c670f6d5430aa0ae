#include "app/AboutFrm.h"

#include "app/DesktopOpen.h"
#include "app/WindowFuncs.h"
#include "core/Global.h"
#include "core/MemReservoir.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowLook.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

TAboutForm::TAboutForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(QString::fromStdString(LoadResText("About")));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    char Text[256];
    std::snprintf(Text, sizeof Text, LoadResText("Vestro Image Resizer  Version %.6d").c_str(), 170111);
    VersionLabel = new QLabel(QString::fromUtf8(Text), this);
    NoticeLabel = new QLabel(QStringLiteral("Copyright (C) the Vestro Image Resizer developers"), this);
    std::snprintf(Text, sizeof Text, "%s %lluMB", LoadResText("Maximum size of memory block").c_str(),
                  (unsigned long long)(GetMaxFreeBlockSize() >> 20));
    MemoryLabel = new QLabel(QString::fromUtf8(Text), this);

    // The link: the help, shown by its file name (the whole path as its tip).
    LinkLabel = new QLabel(QStringLiteral("README.md"), this);
    LinkLabel->setToolTip(QString::fromStdString(HelpFilePath()));
    LinkLabel->setCursor(Qt::PointingHandCursor);
    QPalette Blue = LinkLabel->palette();
    Blue.setColor(QPalette::WindowText, Qt::blue);
    LinkLabel->setPalette(Blue);
    LinkLabel->installEventFilter(this);

    // The application's icon, as the main window set it; without one the
    // texts stand alone rather than beside an empty square.
    const QIcon AppIcon = QApplication::windowIcon();
    QImage Icon = CreateFilledBitmap(48, 48, QImage::Format_ARGB32_Premultiplied, palette().color(QPalette::Window));
    {
        QPainter P(&Icon);
        AppIcon.paint(&P, 0, 0, 48, 48);
    }
    IconImage = new QLabel(this);
    IconImage->setPixmap(QPixmap::fromImage(Icon));
    IconImage->setFixedSize(48, 48);
    IconImage->setVisible(!AppIcon.isNull());

    auto* Button = new QPushButton(QString::fromStdString(LoadResText("OK")), this);
    Button->setDefault(true);
    connect(Button, &QPushButton::clicked, this, &QDialog::accept);

    auto* Texts = new QVBoxLayout;
    for (QLabel* L : {VersionLabel, NoticeLabel, MemoryLabel})
        Texts->addWidget(L);
    // Only as wide as its text: the hand and the click belong to the link.
    Texts->addWidget(LinkLabel, 0, Qt::AlignLeft);
    auto* Top = new QHBoxLayout;
    Top->addWidget(IconImage, 0, Qt::AlignTop);
    Top->addLayout(Texts, 1);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Top);
    Layout->addLayout(Buttons);
    KeepCaptionWhole(this);
}

bool TAboutForm::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == LinkLabel) {
        switch (Event->type()) {
        case QEvent::Enter:
        case QEvent::Leave: {
            QFont F = LinkLabel->font();
            F.setUnderline(Event->type() == QEvent::Enter);
            LinkLabel->setFont(F);
            break;
        }
        case QEvent::MouseButtonRelease: {
            // A click is a press and a release on the link, as on a button.
            const auto* Mouse = static_cast<QMouseEvent*>(Event);
            if (Mouse->button() == Qt::LeftButton && LinkLabel->rect().contains(Mouse->position().toPoint()))
                OpenWithDesktopOrSay(HelpFilePath(), this, 0);
            return true;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}
