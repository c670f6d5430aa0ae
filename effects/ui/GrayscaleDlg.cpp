#include "effects/ui/GrayscaleDlg.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/GrayscaleFilter.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

// The standard weights the edits show while a standard is selected.
constexpr double BT601[3] = {0.299, 0.587, 0.114};
constexpr double BT709[3] = {0.2125, 0.7154, 0.0721};

} // namespace

TGrayscaleForm::TGrayscaleForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Text("Convert to grayscale"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    WeightsList = new QComboBox(this);
    WeightsList->addItems({"ITU-R BT.601", "ITU-R BT.709", Text("Custom")});
    WeightsPanel = new QWidget(this);
    auto* Grid = new QGridLayout(WeightsPanel);
    Grid->setContentsMargins(0, 0, 0, 0);
    QLabel** Labels[3] = {&RedLabel, &GreenLabel, &BlueLabel};
    const char* Names[3] = {"Red", "Green", "Blue"};
    for (int i = 0; i < 3; ++i) {
        *Labels[i] = new QLabel(Text(Names[i]), WeightsPanel);
        FBars[i] = new QScrollBar(Qt::Horizontal, WeightsPanel);
        FBars[i]->setRange(0, MaxGrayWeight);
        FBars[i]->setPageStep(100);
        FBars[i]->setMinimumWidth(200);
        FEdits[i] = new TNumEdit(WeightsPanel, 1, 0, 0, 0.001, 4);
        FEdits[i]->setFixedWidth(70);
        Grid->addWidget(*Labels[i], i, 0);
        Grid->addWidget(FBars[i], i, 1);
        Grid->addWidget(FEdits[i], i, 2);
    }
    RedBar = FBars[0], GreenBar = FBars[1], BlueBar = FBars[2];
    RedEdit = FEdits[0], GreenEdit = FEdits[1], BlueEdit = FEdits[2];

    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    auto* Main = new QVBoxLayout(this);
    Main->addWidget(WeightsList);
    Main->addWidget(WeightsPanel);
    Main->addLayout(Buttons);
    Main->setSizeConstraint(QLayout::SetFixedSize);

    for (int i = 0; i < 3; ++i) {
        connect(FBars[i], &QScrollBar::valueChanged, this, [this, i] { ScrollBarChanged(i); });
        connect(FEdits[i], &TNumEdit::Change, this, [this, i] { EditChanged(i); });
    }
    connect(WeightsList, &QComboBox::currentIndexChanged, this, [this] { TypeChanged(); });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    WeightsList->setCurrentIndex(GRAY_BT601);
    TypeChanged();
    KeepCaptionWhole(this);
}

bool TGrayscaleForm::IsCustom() const
{
    return WeightsList->currentIndex() == GRAY_CUSTOM;
}

int& TGrayscaleForm::Weight(int Index)
{
    return Index == 0 ? Red : Index == 1 ? Green : Blue;
}

void TGrayscaleForm::SetParams(int ARed, int AGreen, int ABlue, int Type)
{
    Red = ARed;
    Green = AGreen;
    Blue = ABlue;
    // Anything but the two standards is custom, as the effect reads it.
    WeightsList->setCurrentIndex(Type == GRAY_BT601 || Type == GRAY_BT709 ? Type : GRAY_CUSTOM);
    TypeChanged();
}

void TGrayscaleForm::GetParams(int& ARed, int& AGreen, int& ABlue, int& Type) const
{
    ARed = Red;
    AGreen = Green;
    ABlue = Blue;
    Type = WeightsList->currentIndex();
}

void TGrayscaleForm::TypeChanged()
{
    const int Type = WeightsList->currentIndex();
    WeightsPanel->setEnabled(Type == GRAY_CUSTOM);
    for (int i = 0; i < 3; ++i) {
        const double W = Type == GRAY_BT601 ? BT601[i] : Type == GRAY_BT709 ? BT709[i] : Weight(i) / 10000.0;
        // Both controls are set here so that neither handler rewrites the
        // kept custom weights.
        FUpdating = true;
        FEdits[i]->SetValue(W);
        FBars[i]->setValue(int(W * 10000 + 0.5));
        FUpdating = false;
    }
}

void TGrayscaleForm::ScrollBarChanged(int Index)
{
    if (FUpdating)
        return;
    const int Pos = FBars[Index]->value();
    FUpdating = true;
    FEdits[Index]->SetValue(Pos / 10000.0);
    FUpdating = false;
    if (IsCustom())
        Weight(Index) = Pos;
}

void TGrayscaleForm::EditChanged(int Index)
{
    if (FUpdating)
        return;
    // The edit reports what was typed before clamping it; bound it before
    // converting so that a huge number cannot overflow the position.
    const double V = std::clamp(FEdits[Index]->Value(), 0.0, 1.0);
    FUpdating = true;
    FBars[Index]->setValue(int(std::floor(V * 10000 + 0.5)));
    FUpdating = false;
    if (IsCustom())
        Weight(Index) = FBars[Index]->value();
}

namespace {

bool ExecGrayscaleForm(TGrayscaleFilter& Effect, QWidget* Owner)
{
    auto Form = std::make_unique<TGrayscaleForm>(Owner);
    Form->SetParams(Effect.FRed, Effect.FGreen, Effect.FBlue, Effect.FType);
    if (Form->exec() != QDialog::Accepted)
        return false;
    Form->GetParams(Effect.FRed, Effect.FGreen, Effect.FBlue, Effect.FType);
    Effect.SetGrayWeights();
    return true;
}

} // namespace

void RegisterGrayscaleForm(QWidget* Owner)
{
    RegisterEffectDialog(EFFECT_GRAYSCALE, ExecGrayscaleForm, Owner);
}
