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
    FLook.setInterval(200);
    connect(&FLook, &QTimer::timeout, this, &TErrorLogForm::ShowNewLines);
}

bool TErrorLogForm::AppendNewLines()
{
    const std::vector<std::string> Lines = ErrorLog.LinesFrom(FShownUpTo);
    for (const std::string& L : Lines)
        LogText->appendPlainText(QString::fromStdString(L));
    return !Lines.empty();
}

void TErrorLogForm::ShowNewLines()
{
    if (isVisible() && AppendNewLines())
        QApplication::beep();
}

void TErrorLogForm::showEvent(QShowEvent* Event)
{
    LogText->clear();
    FShownUpTo = 0;
    AppendNewLines();
    QApplication::beep();
    FLook.start();
    QDialog::showEvent(Event);
}

void TErrorLogForm::done(int Result)
{
    FLook.stop();
    LogText->clear();
    // Only what was shown: a line that came after the last look stays.
    ErrorLog.ClearBefore(FShownUpTo);
    QDialog::done(Result);
}

bool TErrorLogForm::ShowModal()
{
    if (isVisible()) {
        ShowNewLines();
        return true;
    }
    while (!FDismissed && ErrorLog.GetErrorCount() > 0)
        exec();
    return !FDismissed || ErrorLog.GetErrorCount() == 0;
}

void TErrorLogForm::Dismiss()
{
    FDismissed = true;
    if (isVisible())
        reject();
}
