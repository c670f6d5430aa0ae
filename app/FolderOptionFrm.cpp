#include "app/FolderOptionFrm.h"

#include "app/BrwsFldr.h"
#include "app/WindowFuncs.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowLook.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}
}

TFolderOptionForm::TFolderOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Tr("Output Folder Settings"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    SameDirectory = new QCheckBox(Tr("Output to same folder as source files"), this);
    SameDirectory->setChecked(Settings.File.SameDirectory);
    OutputEdit = new QLineEdit(QString::fromStdString(Settings.File.OutputDirectory), this);
    OutputButton = new QPushButton(QStringLiteral("..."), this);
    ShowDirectory = new QCheckBox(Tr("Open output folder after conversion "), this);
    ShowDirectory->setChecked(Settings.File.ShowDirectory);
    auto* ClipLabel = new QLabel(Tr("Temporary folder of clipboard image"), this);
    ClipboardEdit = new QLineEdit(QString::fromStdString(Settings.File.ClipBoardTempDir), this);
    ClipboardButton = new QPushButton(QStringLiteral("..."), this);

    auto* Grid = new QGridLayout;
    Grid->addWidget(SameDirectory, 0, 0, 1, 2);
    Grid->addWidget(OutputEdit, 1, 0);
    Grid->addWidget(OutputButton, 1, 1);
    Grid->addWidget(ShowDirectory, 2, 0, 1, 2);
    Grid->addWidget(ClipLabel, 3, 0, 1, 2);
    Grid->addWidget(ClipboardEdit, 4, 0);
    Grid->addWidget(ClipboardButton, 4, 1);
    auto* Buttons = new QDialogButtonBox(this);
    Buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    Buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TFolderOptionForm::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addWidget(Buttons);
    resize(440, sizeHint().height());

    connect(SameDirectory, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(OutputButton, &QPushButton::clicked, this, [this] { Browse(OutputEdit, Tr("Select output floder")); });
    connect(ClipboardButton, &QPushButton::clicked, this,
            [this, ClipLabel] { Browse(ClipboardEdit, ClipLabel->text()); });
    UpdateEnabled();
    KeepCaptionWhole(this);
}

void TFolderOptionForm::UpdateEnabled()
{
    const bool Own = !SameDirectory->isChecked();
    SetControlsEnabled({OutputEdit, OutputButton, ShowDirectory}, Own);
}

void TFolderOptionForm::Browse(QLineEdit* Edit, const QString& Title)
{
    TBrowseFolderBox Box;
    Box.FTitle = Title;
    Box.FFlags |= TBrowseFolderBox::NewDialogStyle;
    Box.PlaceOver(this);
    if (Box.Execute(this))
        Edit->setText(Box.FSelectFolder);
}

void TFolderOptionForm::accept()
{
    // The texts are stored as typed; the run checks the folders.
    Settings.File.SameDirectory = SameDirectory->isChecked();
    Settings.File.OutputDirectory = OutputEdit->text().toStdString();
    Settings.File.ShowDirectory = ShowDirectory->isChecked();
    Settings.File.ClipBoardTempDir = ClipboardEdit->text().toStdString();
    QDialog::accept();
}
