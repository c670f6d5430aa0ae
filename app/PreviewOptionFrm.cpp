#include "app/PreviewOptionFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowLook.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
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

TPreviewOptionForm::TPreviewOptionForm(TPreviewOption& Option, QWidget* Owner)
    : QDialog(Owner), FOption(Option), FDraft(Option)
{
    setWindowTitle(Tr("External Viewer Settings"));
    ApplyUIFont(this);

    ViewerPathEdit = FBindings.Bind(new QLineEdit(this), FDraft.ViewerPath);
    ViewerOptionEdit = FBindings.Bind(new QLineEdit(this), FDraft.ViewerOption);
    ViewerOption2Edit = FBindings.Bind(new QLineEdit(this), FDraft.ViewerOption2);
    BrowseButton = new QPushButton(QStringLiteral("..."), this);
    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(BrowseButton, &QPushButton::clicked, this, [this] { Browse(); });

    auto* Grid = new QGridLayout;
    Grid->addWidget(new QLabel(Tr("Path"), this), 0, 0);
    Grid->addWidget(ViewerPathEdit, 0, 1);
    Grid->addWidget(BrowseButton, 0, 2);
    Grid->addWidget(new QLabel(Tr("Option"), this), 1, 0);
    Grid->addWidget(ViewerOptionEdit, 1, 1, 1, 2);
    Grid->addWidget(new QLabel(Tr("Option2"), this), 2, 0);
    Grid->addWidget(ViewerOption2Edit, 2, 1, 1, 2);
    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addLayout(Buttons);
    resize(420, sizeHint().height());
    KeepCaptionWhole(this);
}

void TPreviewOptionForm::Browse()
{
    // Programs carry no extension here, so the picker shows every file.
    QFileDialog Dialog(this, Tr("Select External Viewer"), QString::fromStdString(Startup.ProgramFilesDir),
                       Tr("External Viewer") + QStringLiteral(" (*)"));
    Dialog.setFileMode(QFileDialog::ExistingFile);
    if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty())
        ViewerPathEdit->setText(Dialog.selectedFiles().first());
}

void TPreviewOptionForm::accept()
{
    FBindings.Commit();
    FOption = FDraft;
    QDialog::accept();
}
