#include "effects/ui/RotationOptionDlg.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/RotationFilter.h"
#include "effects/ui/EffectDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

} // namespace

TRotationOptionForm::TRotationOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Text("Rotation"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    AllButton = new QRadioButton(Text("All"), this);
    LandscapeButton = new QRadioButton(Text("Landscape"), this);
    PortraitButton = new QRadioButton(Text("Portrait"), this);
    AllButton->setChecked(true);
    RotationList = new QComboBox(this);
    for (const char* S : {"Rotate 90", "Rotate 180", "Rotate 270", "Flip Horizontal", "Flip Virtical"})
        RotationList->addItem(Text(S));
    RotationList->setCurrentIndex(0);
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* Radios = new QHBoxLayout;
    Radios->addWidget(AllButton);
    Radios->addWidget(LandscapeButton);
    Radios->addWidget(PortraitButton);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    auto* Main = new QVBoxLayout(this);
    Main->addLayout(Radios);
    Main->addWidget(RotationList);
    Main->addLayout(Buttons);
    setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionWhole(this);
}

void TRotationOptionForm::SetParams(int Type, int Value)
{
    if (Type == ROTATE_LANDSCAPE)
        LandscapeButton->setChecked(true);
    else if (Type == ROTATE_PORTRAIT)
        PortraitButton->setChecked(true);
    else
        AllButton->setChecked(true);
    RotationList->setCurrentIndex(Value >= 0 && Value < RotationList->count() ? Value : 0);
}

void TRotationOptionForm::GetParams(int& Type, int& Value) const
{
    if (AllButton->isChecked())
        Type = ROTATE_ALL;
    else if (LandscapeButton->isChecked())
        Type = ROTATE_LANDSCAPE;
    else
        Type = ROTATE_PORTRAIT;
    Value = RotationList->currentIndex();
}

namespace {

bool ExecRotationOptionForm(TRotationFilter& Effect, QWidget* Owner)
{
    auto Form = std::make_unique<TRotationOptionForm>(Owner);
    Form->SetParams(Effect.FType, Effect.FValue);
    if (Form->exec() != QDialog::Accepted)
        return false;
    int Type, Value;
    Form->GetParams(Type, Value);
    Effect.FType = Type;
    Effect.FValue = Value;
    return true;
}

} // namespace

void RegisterRotationOptionForm(QWidget* Owner)
{
    RegisterEffectDialog(EFFECT_ROTATION, ExecRotationOptionForm, Owner);
}
