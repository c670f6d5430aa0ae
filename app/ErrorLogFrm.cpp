#include "app/ErrorLogFrm.h"

#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowLook.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TErrorLogForm::TErrorLogForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(QString::fromStdString(LoadResText("ErrorLog")));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    LogText = new QPlainTextEdit(this);
    LogText->setReadOnly(true);
    LogText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CloseButton = new QPushButton(QString::fromStdString(LoadResText("Close")), this);
    CloseButton->setDefault(true);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LogText, 1);
    layout->addLayout(buttons);
    setFixedSize(328, 219);
    KeepCaptionWhole(this);
}

void TErrorLogForm::showEvent(QShowEvent* Event)
{
    QStringList lines;
    for (const std::string& l : ErrorLog.Lines())
        lines << QString::fromStdString(l);
    LogText->setPlainText(lines.join('\n'));
    QApplication::beep();
    QDialog::showEvent(Event);
}

void TErrorLogForm::done(int Result)
{
    LogText->clear();
    ErrorLog.Clear();
    QDialog::done(Result);
}
