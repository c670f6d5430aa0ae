#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ResourceText.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

void MakeOkCancelButtons(QDialog* Dialog, QPushButton*& Ok, QPushButton*& Cancel)
{
    Ok = new QPushButton(QString::fromStdString(LoadResText("OK")), Dialog);
    Cancel = new QPushButton(QString::fromStdString(LoadResText("Cancel")), Dialog);
    Ok->setDefault(true);
    QObject::connect(Ok, &QPushButton::clicked, Dialog, &QDialog::accept);
    QObject::connect(Cancel, &QPushButton::clicked, Dialog, &QDialog::reject);
}

QHBoxLayout* OkCancelRow(QPushButton* Ok, QPushButton* Cancel)
{
    auto* Row = new QHBoxLayout;
    Row->addStretch(1);
    Row->addWidget(Ok);
    Row->addWidget(Cancel);
    return Row;
}

void ApplyUIFont(QWidget* Widget)
{
    if (!Settings.UIFontName.empty())
        Widget->setFont(
            QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));
}
