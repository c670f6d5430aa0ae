#include "effects/ui/DecreaseColorDlg.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/DecreaseColor.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

enum { ModeFlaxc = 1, ModeIzyins = 2, ModePngnqi = 3 };

TUDNumEdit* NumEdit(QWidget* Parent, double Max, double Min, double Value)
{
    auto* E = new TUDNumEdit(Parent, Max, Min, Value, 1, 0);
    E->setFixedWidth(48 + TUpDown::DefaultWidth);
    return E;
}

// The dithering the tool starts with.
int32_t DefaultDither(int32_t Mode)
{
    return Mode == ModePngnqi ? 0 : 2;
}

void SelectDither(QComboBox* List, int32_t Type, int32_t Mode)
{
    int i = List->findData(Type);
    if (i < 0)
        i = List->findData(DefaultDither(Mode));
    List->setCurrentIndex(std::max(i, 0));
}

} // namespace

TDecreaseColorForm::TDecreaseColorForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Text("Decrease Color"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    FlaxcButton = new QRadioButton(QStringLiteral("FLAXC.exe"), this);
    IzyinsButton = new QRadioButton(QStringLiteral("iZYINS.exe"), this);
    PngnqiButton = new QRadioButton(QStringLiteral("pngnqi.exe"), this);
    auto* Tools = new QButtonGroup(this);
    for (QRadioButton* B : {FlaxcButton, IzyinsButton, PngnqiButton})
        Tools->addButton(B);

    ColorsEdit = NumEdit(this, 256, 2, 256);
    DitheringList = new QComboBox(this);

    StrengthPanel = new QWidget(this);
    StrengthEdit = NumEdit(StrengthPanel, 10, 0, 8);
    TransparentList = new QComboBox(StrengthPanel);
    for (const char* S : {"None", "TopLeft", "BottomLeft", "TopRight", "BottomRight"})
        TransparentList->addItem(Text(S));
    auto* StrengthRow = new QHBoxLayout(StrengthPanel);
    StrengthRow->setContentsMargins(0, 0, 0, 0);
    StrengthRow->addWidget(new QLabel(Text("Strength"), StrengthPanel));
    StrengthRow->addWidget(StrengthEdit);
    StrengthRow->addSpacing(12);
    StrengthRow->addWidget(new QLabel(Text("Transparent"), StrengthPanel));
    StrengthRow->addWidget(TransparentList);
    StrengthRow->addStretch(1);

    OptionsPanel = new QWidget(this);
    OptionsEdit = new QLineEdit(OptionsPanel);
    OptionsEdit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* OptionsRow = new QHBoxLayout(OptionsPanel);
    OptionsRow->setContentsMargins(0, 0, 0, 0);
    OptionsRow->addWidget(new QLabel(Text("Other Options"), OptionsPanel));
    OptionsRow->addWidget(OptionsEdit, 1);

    QualityPanel = new QWidget(this);
    QualityEdit = NumEdit(QualityPanel, 10, 1, 9);
    auto* QualityRow = new QHBoxLayout(QualityPanel);
    QualityRow->setContentsMargins(0, 0, 0, 0);
    QualityRow->addWidget(new QLabel(Text("Quality"), QualityPanel));
    QualityRow->addWidget(QualityEdit);
    QualityRow->addStretch(1);

    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* ToolRow = new QHBoxLayout;
    for (QRadioButton* B : {FlaxcButton, IzyinsButton, PngnqiButton})
        ToolRow->addWidget(B);
    ToolRow->addStretch(1);
    auto* Grid = new QGridLayout;
    Grid->addWidget(new QLabel(Text("Colors"), this), 0, 0);
    Grid->addWidget(ColorsEdit, 0, 1, Qt::AlignLeft);
    Grid->addWidget(new QLabel(Text("Dithering"), this), 1, 0);
    Grid->addWidget(DitheringList, 1, 1, Qt::AlignLeft);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    auto* Main = new QVBoxLayout(this);
    Main->addLayout(ToolRow);
    Main->addLayout(Grid);
    // The palette tools' rows and pngnqi's share one place of the larger
    // one's height, so that the dialog keeps its size when the tool changes.
    ToolPanels = new QStackedWidget(this);
    auto* PalettePage = new QWidget(ToolPanels);
    auto* PaletteRows = new QVBoxLayout(PalettePage);
    PaletteRows->setContentsMargins(0, 0, 0, 0);
    PaletteRows->addWidget(StrengthPanel);
    PaletteRows->addWidget(OptionsPanel);
    auto* QualityPage = new QWidget(ToolPanels);
    auto* QualityRows = new QVBoxLayout(QualityPage);
    QualityRows->setContentsMargins(0, 0, 0, 0);
    QualityRows->addWidget(QualityPanel);
    QualityRows->addStretch(1);
    ToolPanels->addWidget(PalettePage);
    ToolPanels->addWidget(QualityPage);
    Main->addWidget(ToolPanels);
    Main->addStretch(1);
    Main->addLayout(Buttons);

    for (QRadioButton* B : {FlaxcButton, IzyinsButton, PngnqiButton})
        connect(B, &QRadioButton::clicked, this, [this] { ToolChosen(); });
    KeepCaptionWhole(this);
}

int32_t TDecreaseColorForm::CheckedMode() const
{
    return FlaxcButton->isChecked() ? ModeFlaxc
        : IzyinsButton->isChecked() ? ModeIzyins
        : PngnqiButton->isChecked() ? ModePngnqi
                                    : 0;
}

void TDecreaseColorForm::ToolChosen()
{
    const int32_t Mode = CheckedMode();
    const bool PaletteTool = Mode == ModeFlaxc || Mode == ModeIzyins;
    ToolPanels->setCurrentIndex(PaletteTool ? 0 : 1);
    ToolPanels->setVisible(Mode != 0);

    struct TDither {
        const char* Name;
        int32_t Type;
        bool Offered;
    };
    const TDither Dithers[] = {
        {"None", 0, true},
        {"gPeanos", 1, Mode == ModeFlaxc},
        {"Floyd-Steinberg", 2, true},
        {"Jarvis, Judice & Ninke", 3, PaletteTool},
        {"Anime", 4, Mode == ModeFlaxc},
    };
    DitheringList->clear();
    for (const TDither& D : Dithers)
        if (D.Offered)
            DitheringList->addItem(Text(D.Name), D.Type);
    SelectDither(DitheringList, DefaultDither(Mode), Mode);
}

void TDecreaseColorForm::SetParam(uint32_t Flags, int32_t Mode, const std::string& Option, int32_t PaletteEntries,
                                  int32_t TransparentType, int32_t DitherType, int32_t DitherStr, int32_t Quality)
{
    FlaxcButton->setEnabled(Flags & DC_FLAXC);
    IzyinsButton->setEnabled(Flags & DC_IZYINS);
    PngnqiButton->setEnabled(Flags & DC_PNGNQ);
    QRadioButton* Chosen = Mode == ModeFlaxc ? FlaxcButton
        : Mode == ModeIzyins                 ? IzyinsButton
        : Mode == ModePngnqi                 ? PngnqiButton
                                             : nullptr;
    if (Chosen && Chosen->isEnabled())
        Chosen->setChecked(true);
    ToolChosen();
    OptionsEdit->setText(QString::fromStdString(Option));
    ColorsEdit->SetValue(PaletteEntries);
    TransparentList->setCurrentIndex(TransparentType >= 0 && TransparentType <= 4 ? TransparentType : 0);
    SelectDither(DitheringList, DitherType, CheckedMode());
    StrengthEdit->SetValue(DitherStr);
    QualityEdit->SetValue(Quality);
}

void TDecreaseColorForm::GetParam(int32_t& Mode, std::string& Option, int32_t& PaletteEntries, int32_t& TransparentType,
                                  int32_t& DitherType, int32_t& DitherStr, int32_t& Quality) const
{
    if (CheckedMode() != 0)
        Mode = CheckedMode();
    Option = OptionsEdit->text().toStdString();
    // A typed value is clamped only when its edit loses focus.
    auto Clamped = [](const TUDNumEdit* E) { return int32_t(std::clamp(E->Value(), E->Min(), E->Max())); };
    PaletteEntries = Clamped(ColorsEdit);
    DitherStr = Clamped(StrengthEdit);
    Quality = Clamped(QualityEdit);
    TransparentType = TransparentList->currentIndex();
    DitherType = DitheringList->currentData().toInt();
}

namespace {

bool ExecDecreaseColorForm(TDecreaseColorEffect& Effect, QWidget* Owner)
{
    auto Form = std::make_unique<TDecreaseColorForm>(Owner);
    Form->SetParam(Effect.FFlags, Effect.FMode, Effect.FOption, Effect.FPaletteEntries, Effect.FTransparentType,
                   Effect.FDitherType, Effect.FDitherStr, Effect.FQuality);
    if (Form->exec() != QDialog::Accepted)
        return false;
    Form->GetParam(Effect.FMode, Effect.FOption, Effect.FPaletteEntries, Effect.FTransparentType, Effect.FDitherType,
                   Effect.FDitherStr, Effect.FQuality);
    return true;
}

} // namespace

void RegisterDecreaseColorForm(QWidget* Owner)
{
    RegisterEffectDialog(EFFECT_DECREASECOLOR, ExecDecreaseColorForm, Owner);
}
