#include "effects/ui/JPEGTranOptionFrm.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/JPEGTran.h"
#include "effects/ui/EffectDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

} // namespace

TJPEGTranOptionForm::TJPEGTranOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Text("JPEGTran Settings"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    chbOptimize = new QCheckBox(Text("Optimize"), this);
    chbProgressive = new QCheckBox(Text("Progressive JPEG"), this);
    chbGrayscale = new QCheckBox(Text("Convert to grayscale"), this);
    chbTrimming = new QCheckBox(Text("Trimming"), this);
    chbRemoveExtraMarker = new QCheckBox(Text("Remove extra markers"), this);
    lblRotation = new QLabel(Text("Transform"), this);
    cbRotation = new QComboBox(this);
    for (const char* S : {"None", "Auto", "Rotate 90", "Rotate 180", "Rotate 270", "Flip horizontal", "Flip vertical"})
        cbRotation->addItem(Text(S));
    lblRotation->setBuddy(cbRotation);
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* Main = new QVBoxLayout(this);
    for (QCheckBox* C : {chbOptimize, chbProgressive, chbGrayscale, chbTrimming, chbRemoveExtraMarker})
        Main->addWidget(C);
    // The list sits right of its label, whatever length the translation gives it.
    auto* Rotation = new QHBoxLayout;
    Rotation->addWidget(lblRotation);
    Rotation->addWidget(cbRotation, 1);
    Main->addLayout(Rotation);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    Main->addLayout(Buttons);
    Main->setSizeConstraint(QLayout::SetFixedSize);
    KeepCaptionWhole(this);
}

void TJPEGTranOptionForm::SetParams(const TJPEGTran& Effect)
{
    chbOptimize->setChecked(Effect.FOptimize);
    chbProgressive->setChecked(Effect.FProgressive);
    chbGrayscale->setChecked(Effect.FGrayscale);
    chbTrimming->setChecked(Effect.FTrimming);
    chbRemoveExtraMarker->setChecked(Effect.FRemoveExtraMarker);
    const int R = Effect.FRotation;
    cbRotation->setCurrentIndex(R >= 0 && R < cbRotation->count() ? R : JT_NONE);
}

void TJPEGTranOptionForm::GetParams(TJPEGTran& Effect) const
{
    Effect.FOptimize = chbOptimize->isChecked();
    Effect.FProgressive = chbProgressive->isChecked();
    Effect.FGrayscale = chbGrayscale->isChecked();
    Effect.FTrimming = chbTrimming->isChecked();
    Effect.FRemoveExtraMarker = chbRemoveExtraMarker->isChecked();
    Effect.FRotation = cbRotation->currentIndex();
}

namespace {

bool ExecJPEGTranOptionForm(TJPEGTran& Effect, QWidget* Owner)
{
    auto Form = std::make_unique<TJPEGTranOptionForm>(Owner);
    Form->SetParams(Effect);
    if (Form->exec() != QDialog::Accepted)
        return false;
    Form->GetParams(Effect);
    return true;
}

} // namespace

void RegisterJPEGTranOptionForm(QWidget* Owner)
{
    RegisterEffectDialog(EFFECT_JPEGTRAN, ExecJPEGTranOptionForm, Owner);
}
