#include "app/PreviewOptionFrm.h"

#include "core/Global.h"
#include "core/ResourceText.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const char* Text) { return QString::fromStdString(LoadResText(Text)); }
}

TPreviewOptionForm::TPreviewOptionForm(TPreviewOption& Option, QWidget* Owner)
    : QDialog(Owner), FOption(Option)
{
    setWindowTitle(Tr("External Viewer Settings"));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));

    Edit1 = new QLineEdit(QString::fromStdString(Option.ViewerPath), this);
    Edit2 = new QLineEdit(QString::fromStdString(Option.ViewerOption), this);
    Edit3 = new QLineEdit(QString::fromStdString(Option.ViewerOption2), this);
    Button3 = new QPushButton(QStringLiteral("..."), this);
    Button1 = new QPushButton(Tr("OK"), this);
    Button2 = new QPushButton(Tr("Cancel"), this);
    Button1->setDefault(true);
    connect(Button3, &QPushButton::clicked, this, [this] { Browse(); });
    connect(Button1, &QPushButton::clicked, this, &TPreviewOptionForm::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* Grid = new QGridLayout;
    Grid->addWidget(new QLabel(Tr("Path"), this), 0, 0);
    Grid->addWidget(Edit1, 0, 1);
    Grid->addWidget(Button3, 0, 2);
    Grid->addWidget(new QLabel(Tr("Option"), this), 1, 0);
    Grid->addWidget(Edit2, 1, 1, 1, 2);
    Grid->addWidget(new QLabel(Tr("Option2"), this), 2, 0);
    Grid->addWidget(Edit3, 2, 1, 1, 2);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addLayout(Buttons);
    resize(420, sizeHint().height());
}

void TPreviewOptionForm::Browse()
{
    // Programs carry no extension here, so the picker shows every file.
    QFileDialog Dialog(this, Tr("Select External Viewer"), QString::fromStdString(ProgramFilesDir),
                       Tr("External Viewer") + QStringLiteral(" (*)"));
    Dialog.setFileMode(QFileDialog::ExistingFile);
    if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty())
        Edit1->setText(Dialog.selectedFiles().first());
}

void TPreviewOptionForm::accept()
{
    FOption.ViewerPath = Edit1->text().toStdString();
    FOption.ViewerOption = Edit2->text().toStdString();
    FOption.ViewerOption2 = Edit3->text().toStdString();
    QDialog::accept();
}
