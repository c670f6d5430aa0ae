#include "effects/ui/RotationOptionDlg.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/RotationOptionFrm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <memory>

namespace {

QString Text(const char* S) { return QString::fromStdString(LoadResText(S)); }

QPointer<QWidget> DialogOwner;

} // namespace

TRotationOptionForm::TRotationOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Text("Rotation"));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));

    RadioButton1 = new QRadioButton(Text("All"), this);
    RadioButton2 = new QRadioButton(Text("Landscape"), this);
    RadioButton3 = new QRadioButton(Text("Portrait"), this);
    RadioButton1->setChecked(true);
    ComboBox1 = new QComboBox(this);
    for (const char* S : {"Rotate 90", "Rotate 180", "Rotate 270", "Flip Horizontal", "Flip Virtical"})
        ComboBox1->addItem(Text(S));
    ComboBox1->setCurrentIndex(0);
    Button1 = new QPushButton(Text("OK"), this);
    Button2 = new QPushButton(Text("Cancel"), this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* Radios = new QHBoxLayout;
    Radios->addWidget(RadioButton1);
    Radios->addWidget(RadioButton2);
    Radios->addWidget(RadioButton3);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto* Main = new QVBoxLayout(this);
    Main->addLayout(Radios);
    Main->addWidget(ComboBox1);
    Main->addLayout(Buttons);
    setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TRotationOptionForm::SetParams(int Type, int Value)
{
    if (Type == ROTATE_LANDSCAPE)
        RadioButton2->setChecked(true);
    else if (Type == ROTATE_PORTRAIT)
        RadioButton3->setChecked(true);
    else
        RadioButton1->setChecked(true);
    ComboBox1->setCurrentIndex(Value >= 0 && Value < ComboBox1->count() ? Value : 0);
}

void TRotationOptionForm::GetParams(int& Type, int& Value) const
{
    if (RadioButton1->isChecked())
        Type = ROTATE_ALL;
    else if (RadioButton2->isChecked())
        Type = ROTATE_LANDSCAPE;
    else
        Type = ROTATE_PORTRAIT;
    Value = ComboBox1->currentIndex();
}

bool ExecRotationOptionForm(TRotationFilter& Effect)
{
    auto Form = std::make_unique<TRotationOptionForm>(DialogOwner.data());
    Form->SetParams(Effect.FType, Effect.FValue);
    if (Form->exec() != QDialog::Accepted)
        return false;
    int Type, Value;
    Form->GetParams(Type, Value);
    Effect.FType = Type;
    Effect.FValue = Value;
    return true;
}

void RegisterRotationOptionForm(QWidget* Owner)
{
    DialogOwner = Owner;
    RotationDialogProc = ExecRotationOptionForm;
}
