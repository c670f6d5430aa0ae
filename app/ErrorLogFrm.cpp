#include "app/ErrorLogFrm.h"

#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ResourceText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TErrorLogForm* ErrorLogForm = nullptr;

TErrorLogForm::TErrorLogForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(QString::fromStdString(LoadResText("ErrorLog")));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Button1 = new QPushButton(QString::fromStdString(LoadResText("Close")), this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);
    setFixedSize(328, 219);
}

void TErrorLogForm::showEvent(QShowEvent* Event)
{
    QStringList lines;
    for (const std::string& l : ErrorLog.Lines())
        lines << QString::fromStdString(l);
    Memo1->setPlainText(lines.join('\n'));
    QApplication::beep();
    QDialog::showEvent(Event);
}

void TErrorLogForm::done(int Result)
{
    Memo1->clear();
    ErrorLog.Clear();
    QDialog::done(Result);
}
