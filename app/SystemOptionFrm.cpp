#include "app/SystemOptionFrm.h"

#include "app/IniSettings.h"
#include "app/WindowFuncs.h"
#include "core/Global.h"
#include "core/Grayscale.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/WindowLook.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

QColor ToQColor(uint32_t C)
{
    return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}
uint32_t FromQColor(const QColor& C)
{
    return uint32_t(C.red()) | uint32_t(C.green()) << 8 | uint32_t(C.blue()) << 16;
}
} // namespace

bool ChooseColor(QWidget* Owner, uint32_t& Color)
{
    // Custom colours "ColorA".."ColorP" all start white for every choice.
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, QColor(255, 255, 255));
    const QColor C = QColorDialog::getColor(ToQColor(Color), Owner);
    if (!C.isValid())
        return false;
    Color = FromQColor(C) & 0xFFFFFF;
    return true;
}

TSystemOptionForm::TSystemOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Tr("System Settings"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    auto Box = [this](const char* Text, bool& Field) { return FBindings.Bind(new QCheckBox(Tr(Text), this), Field); };
    const int CPUs = std::max(1, int(FDraft.System.ProcessorCount));

    auto* Layout = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    Layout->addLayout(Grid);
    int Row = 0;

    Parallel = Box("Parallel processing", FDraft.System.ParallelProcessing);
    Grid->addWidget(Parallel, Row, 0);
    Grid->addWidget(new QLabel(Tr("Max Thread"), this), Row, 1);
    MaxThread = new TUDNumEdit(this, CPUs, 1, FDraft.System.MaxThread, 1, 0);
    MaxThread->setFixedWidth(48 + TUpDown::DefaultWidth);
    Grid->addWidget(MaxThread, Row++, 2, Qt::AlignLeft);
    MemReserve = Box("Reserve memory for bigimage", FDraft.System.MemReserve);
    Grid->addWidget(MemReserve, Row++, 0, 1, 3);

    NotOverwrite = Box("Don't overwrite", FDraft.File.NotOverwrite);
    Rename = new QRadioButton(Tr("Rename"), this);
    Skip = new QRadioButton(Tr("Skip"), this);
    // Two radio sets share this dialog, so each needs its own group.
    auto* SkipGroup = new QButtonGroup(this);
    SkipGroup->addButton(Rename);
    SkipGroup->addButton(Skip);
    (FDraft.File.Skip ? Skip : Rename)->setChecked(true);
    Grid->addWidget(NotOverwrite, Row, 0);
    Grid->addWidget(Rename, Row, 1);
    Grid->addWidget(Skip, Row++, 2);

    AddSubFolder = Box("Include subfolder", FDraft.File.AddSubFolder);
    Grid->addWidget(AddSubFolder, Row++, 0, 1, 3);
    RemoveList = Box("Clear filelist after conversion", FDraft.File.RemoveList);
    Grid->addWidget(RemoveList, Row++, 0, 1, 3);

    Grid->addWidget(new QLabel(Tr("Numbering start value"), this), Row, 0);
    StartNumber = new TUDNumEdit(this, 99999999, 0, FDraft.File.StartNumber, 1, 0);
    Grid->addWidget(StartNumber, Row++, 1, 1, 2);
    auto* ResetGroup = new QButtonGroup(this);
    const char* ResetTexts[3] = {"Always reset", "Reset at startup", "Don't reset"};
    for (int i = 0; i < 3; ++i) {
        ResetType[i] = new QRadioButton(Tr(ResetTexts[i]), this);
        ResetGroup->addButton(ResetType[i]);
        Grid->addWidget(ResetType[i], Row, i);
    }
    ++Row;
    ResetType[std::clamp(int(FDraft.File.ResetType), 0, 2)]->setChecked(true);

    IgnoreReadOnly = Box("Ignore readonly attribute", FDraft.File.IgnoreReadOnlyAttr);
    Grid->addWidget(IgnoreReadOnly, Row++, 0, 1, 3);
    UseExternalTool = Box("Use external tool after conversion", FDraft.System.UseExternalTool);
    Grid->addWidget(UseExternalTool, Row++, 0, 1, 3);
    Command = FBindings.Bind(new QLineEdit(this), FDraft.System.Command);
    CommandButton = new QPushButton(QStringLiteral("..."), this);
    Grid->addWidget(Command, Row, 0, 1, 2);
    Grid->addWidget(CommandButton, Row++, 2);
    SkipImageCheck = Box("Don't check file with listup", FDraft.System.SkipImageCheck);
    Grid->addWidget(SkipImageCheck, Row++, 0, 1, 3);
    SortFiles = new QCheckBox(Tr("Sort files in folder"), this);
    SortFiles->setChecked(FDraft.File.SortMode != 0);
    Grid->addWidget(SortFiles, Row++, 0, 1, 3);
    DeleteInput = Box("Delete input files", FDraft.File.DeleteInputFile);
    Grid->addWidget(DeleteInput, Row++, 0, 1, 3);
    AbortOnError = Box("Abort processing on error", FDraft.System.AbortOnError);
    Grid->addWidget(AbortOnError, Row++, 0, 1, 3);

    AutoSort = new QComboBox(this);
    AutoSort->addItem(Tr("None"));
    AutoSort->addItem(Tr("FileName"));
    AutoSort->setCurrentIndex(FDraft.File.AutoSortMode == 1 ? 1 : 0);
    Grid->addWidget(new QLabel(Tr("AutoSort"), this), Row, 0);
    Grid->addWidget(AutoSort, Row++, 1, 1, 2);

    BackColor = uint32_t(FDraft.Background.Red & 0xFF) | uint32_t(FDraft.Background.Green & 0xFF) << 8 |
        uint32_t(FDraft.Background.Blue & 0xFF) << 16;
    ColorPanel = new QPushButton(this);
    PaintSwatch(ColorPanel, BackColor);
    Grid->addWidget(new QLabel(Tr("BackColor"), this), Row, 0);
    Grid->addWidget(ColorPanel, Row++, 1);
    FontButton = new QPushButton(this);
    Grid->addWidget(FontButton, Row++, 0, 1, 3);
    SetFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize);

    auto* Buttons = new QDialogButtonBox(this);
    Buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    Buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TSystemOptionForm::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Layout->addWidget(Buttons);

    connect(ColorPanel, &QPushButton::clicked, this, [this] { PickColor(); });
    connect(FontButton, &QPushButton::clicked, this, [this] { PickFont(); });
    for (QCheckBox* B : {Parallel, NotOverwrite, UseExternalTool})
        connect(B, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    UpdateEnabled();
    KeepCaptionWhole(this);
}

void TSystemOptionForm::UpdateEnabled()
{
    // With one processor there is nothing to run in parallel.
    Parallel->setEnabled(Settings.System.ProcessorCount > 1);
    MaxThread->setEnabled(Parallel->isChecked());
    SetControlsEnabled({Rename, Skip}, NotOverwrite->isChecked());
    SetControlsEnabled({Command, CommandButton}, UseExternalTool->isChecked());
}

void TSystemOptionForm::SetFont(const QString& Name, int Size)
{
    FontName = Name;
    FontSize = Size;
    // No interface font chosen yet: the button names the one in use.
    FontButton->setText(QStringLiteral("%1 %2pt")
                            .arg(Name.isEmpty() ? font().family() : Name)
                            .arg(Size > 0 ? Size : font().pointSize()));
}

void TSystemOptionForm::PickColor()
{
    if (ChooseColor(this, BackColor))
        PaintSwatch(ColorPanel, BackColor);
}

void TSystemOptionForm::PickFont()
{
    bool Ok = false;
    QFont Start(FontName);
    if (FontSize > 0)
        Start.setPointSize(FontSize);
    const QFont F = QFontDialog::getFont(&Ok, Start, this);
    // The font dialog takes any size typed in; the windows hold their text in these.
    if (Ok)
        SetFont(F.family(), F.pointSize() > 0 ? std::clamp(F.pointSize(), MinUIFontSize, MaxUIFontSize) : -1);
}

void TSystemOptionForm::accept()
{
    FBindings.Commit();
    FDraft.System.MaxThread = MaxThread->IntValue();
    FDraft.File.Skip = Skip->isChecked();
    FDraft.File.StartNumber = StartNumber->IntValue();
    for (int i = 0; i < 3; ++i)
        if (ResetType[i]->isChecked())
            FDraft.File.ResetType = i;
    FDraft.File.SortMode = SortFiles->isChecked() ? 1 : 0;
    FDraft.File.AutoSortMode = AutoSort->currentIndex();
    FDraft.Background.Red = BackColor & 0xFF;
    FDraft.Background.Green = (BackColor >> 8) & 0xFF;
    FDraft.Background.Blue = (BackColor >> 16) & 0xFF;
    GrayOfColor(FDraft.Background);
    using S = TSystemOption;
    StoreFields<&S::ParallelProcessing, &S::MaxThread, &S::MemReserve, &S::UseExternalTool, &S::Command,
                &S::SkipImageCheck, &S::AbortOnError>(Settings.System, FDraft.System);
    using F = TFileOption;
    StoreFields<&F::NotOverwrite, &F::Skip, &F::AddSubFolder, &F::RemoveList, &F::StartNumber, &F::ResetType,
                &F::IgnoreReadOnlyAttr, &F::SortMode, &F::DeleteInputFile, &F::AutoSortMode>(Settings.File,
                                                                                             FDraft.File);
    Settings.Background = FDraft.Background;
    Settings.UIFontName = FontName.toStdString();
    Settings.UIFontSize = FontSize;
    QDialog::accept();
}
