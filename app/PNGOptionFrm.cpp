#include "app/PNGOptionFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "effects/ui/WindowLook.h"
#include "core/PalettePNG.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
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
constexpr int FilterBits[5] = {8, 16, 32, 64, 128};
constexpr int FixedTransparent = 5;
}

TPNGOptionForm::TPNGOptionForm(TPNGOption& Option, QWidget* Owner) : QDialog(Owner), FOption(Option), FDraft(Option)
{
    setWindowTitle(Tr("PNG Settings"));
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, Qt::white);

    auto* LevelRow = new QHBoxLayout;
    LevelRow->addWidget(new QLabel(Tr("Compression Level"), this));
    LevelEdit = FBindings.Bind(new TUDNumEdit(this, 9, 0, FDraft.CompressLevel, 1, 0), FDraft.CompressLevel);
    LevelEdit->setFixedWidth(40 + TUpDown::DefaultWidth);
    LevelRow->addWidget(LevelEdit);
    LevelRow->addStretch(1);

    auto* FilterBox = new QGroupBox(Tr("Filter"), this);
    auto* FilterRow = new QHBoxLayout(FilterBox);
    const char* const FilterNames[5] = {"None", "Sub", "Up", "Average", "Paeth"};
    for (int i = 0; i < 5; ++i) {
        FilterChecks[i] = new QCheckBox(Tr(FilterNames[i]), FilterBox);
        FilterChecks[i]->setChecked((FDraft.Filter & FilterBits[i]) != 0);
        FilterRow->addWidget(FilterChecks[i]);
    }

    PHYsCheck = FBindings.Bind(new QCheckBox(Tr("Save resolution"), this), FDraft.WritepHYsChunk);

    PNGOUTPanel = new QWidget(this);
    auto* PNGOUTLayout = new QVBoxLayout(PNGOUTPanel);
    PNGOUTLayout->setContentsMargins(0, 0, 0, 0);
    PNGOUTCheck = FBindings.Bind(new QCheckBox(Tr("Optimize Using PNGOUT"), PNGOUTPanel), FDraft.UsePNGOUT);
    MaxOptCheck =
        FBindings.Bind(new QCheckBox(Tr("Maximum optimization(-s0 option)"), PNGOUTPanel), FDraft.MaximumOptimization);
    FullColorCheck =
        FBindings.Bind(new QCheckBox(Tr("Optimization of fullcolor PNG"), PNGOUTPanel), FDraft.FullColorOptimization);
    PNGOUTLayout->addWidget(PNGOUTCheck);
    PNGOUTLayout->addWidget(MaxOptCheck);
    PNGOUTLayout->addWidget(FullColorCheck);
    PNGOUTPanel->setEnabled(!PNGOUTPath().empty()); // the optimiser the writer would run

    IndexColorCheck = FBindings.Bind(new QCheckBox(Tr("Output index color when only 256 or less colors is used"), this),
                                     FDraft.IndexColor);
    TransparentPanel = new QWidget(this);
    auto* TransRow = new QHBoxLayout(TransparentPanel);
    TransRow->setContentsMargins(0, 0, 0, 0);
    TransRow->addWidget(new QLabel(Tr("Transparent"), TransparentPanel));
    TransparentList = new QComboBox(TransparentPanel);
    for (const char* Item : {"None", "TopLeft", "BottomLeft", "TopRight", "BottomRight", "Fixed"})
        TransparentList->addItem(Tr(Item));
    FBindings.Bind(TransparentList, FDraft.TransparentType);
    TransRow->addWidget(TransparentList);
    ColorPanel = new QPushButton(TransparentPanel);
    ColorPanel->setFixedSize(40, 22);
    TransRow->addWidget(ColorPanel);
    TransRow->addStretch(1);
    // The record keeps red in the low byte.
    const uint32_t C = FDraft.TransparentColor;
    SetPanelColor(QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF));

    WICCheck = FBindings.Bind(new QCheckBox(Tr("Use WIC PNGDecoder"), this), FDraft.UseWIC);

    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(ColorPanel, &QPushButton::clicked, this, [this] { PickColor(); });
    connect(PNGOUTCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(IndexColorCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(TransparentList, &QComboBox::currentIndexChanged, this, [this] { UpdateEnabled(); });
    UpdateEnabled();

    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(LevelRow);
    Layout->addWidget(FilterBox);
    Layout->addWidget(PHYsCheck);
    Layout->addWidget(PNGOUTPanel);
    Layout->addWidget(IndexColorCheck);
    Layout->addWidget(TransparentPanel);
    Layout->addWidget(WICCheck);
    Layout->addLayout(Buttons);
    ApplyUIFont(this);
    KeepCaptionWhole(this);
}

void TPNGOptionForm::SetPanelColor(const QColor& C)
{
    FColor = C;
    PaintSwatch(ColorPanel, uint32_t(C.red()) | uint32_t(C.green()) << 8 | uint32_t(C.blue()) << 16);
}

void TPNGOptionForm::UpdateEnabled()
{
    SetControlsEnabled({MaxOptCheck, FullColorCheck}, PNGOUTCheck->isChecked());
    TransparentPanel->setEnabled(IndexColorCheck->isChecked());
    ColorPanel->setHidden(TransparentList->currentIndex() != FixedTransparent);
}

void TPNGOptionForm::PickColor()
{
    const QColor C = QColorDialog::getColor(FColor, this);
    if (C.isValid())
        SetPanelColor(C);
}

void TPNGOptionForm::accept()
{
    TPNGOption& O = FDraft;
    O.Filter = 0;
    for (int i = 0; i < 5; ++i)
        if (FilterChecks[i]->isChecked())
            O.Filter += FilterBits[i];
    FBindings.Commit();
    O.TransparentColor = static_cast<uint32_t>(FColor.red()) | static_cast<uint32_t>(FColor.green()) << 8 |
        static_cast<uint32_t>(FColor.blue()) << 16;
    FOption = FDraft;
    QDialog::accept();
}
