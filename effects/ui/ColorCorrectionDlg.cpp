#include "effects/ui/ColorCorrectionDlg.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/ResourceText.h"
#include "effects/ColorCorrectionFrm.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/EffectDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QString Text(const char* S) { return QString::fromStdString(LoadResText(S)); }

bool IsGammaRow(int Row) { return Row < 2; }

// Gamma slider position p: 1.0 at 0, 0.01 per step above, 0.004 below.
double GammaOfPosition(int P) { return P >= 0 ? 1 + 0.01 * P : 1 + 0.004 * P; }

int PositionOfGamma(double V)
{
    const double P = V >= 1 ? (V - 1) / 0.01 : (V - 1) / 0.004;
    // Truncated; the small nudge keeps a typed 0.9 at -25 rather than the
    // -24.999... that binary fractions give.
    return int(P + (P >= 0 ? 1e-9 : -1e-9));
}

TColorAdjustParam ReadValues(const TColorCorrectionForm& F)
{
    TColorAdjustParam P;
    P.RGBGamma = F.RowValue(0);
    P.YGamma = F.RowValue(1);
    P.LumaMin = F.RowIntValue(2);
    P.LumaMax = F.RowIntValue(3);
    P.Chroma = F.RowIntValue(4);
    P.Hue = F.RowIntValue(5);
    P.Contrast = F.RowIntValue(6);
    return P;
}

class TCCPreviewThread : public TCustomPreviewThread {
public:
    TCCPreviewThread(TColorCorrectionForm* AParent, TMultiThread* AMT, TResizer* ARS)
        : TCustomPreviewThread(AParent, AMT, ARS), FForm(AParent) {}
    ~TCCPreviewThread() override { Stop(); }

protected:
    void ReadParams() override { FParam = ReadValues(*FForm); }
    void ApplyEffect(TImgInfo& I, TMultiThread&) override { ApplyColorAdjustPreview(I, FParam); }

private:
    TColorCorrectionForm* FForm;
    TColorAdjustParam FParam;
};

class TCCSpotPreviewThread : public TCustomSpotPreviewThread {
public:
    TCCSpotPreviewThread(TColorCorrectionForm* AParent, TMultiThread* AMT)
        : TCustomSpotPreviewThread(AParent, AMT), FForm(AParent) {}
    ~TCCSpotPreviewThread() override { Stop(); }

protected:
    void ReadParams() override { FParam = ReadValues(*FForm); }
    void ApplyEffect(TImgInfo& I, TMultiThread&) override { ApplyColorAdjustPreview(I, FParam); }

private:
    TColorCorrectionForm* FForm;
    TColorAdjustParam FParam;
};

} // namespace

TColorCorrectionForm::TColorCorrectionForm(QWidget* Owner) : TPreviewBaseForm(Owner)
{
    setWindowTitle(Text("Color Adjust"));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));
    UseHistogram = true;

    struct TRowDef {
        const char* Label;
        int Lo, Hi;
        double Min, Max, Inc;
        int Fixed;
        double Value;
    };
    static constexpr TRowDef Rows[7] = {
        {"Gamma(RGB)", -200, 200, 0.2, 3.0, 0.01, 3, 1.0},
        {"Gamma(Y)", -255, 255, 0.2, 3.0, 0.01, 3, 1.0},
        {"Luma(Min)", -255, 255, -255, 255, 1, 0, 0},
        {"Luma(Max)", -256, 256, -255, 255, 1, 0, 0},
        {"Chroma", -255, 255, -255, 255, 1, 0, 0},
        {"Hue", -255, 255, -255, 255, 1, 0, 0},
        {"Contrast", -256, 256, -255, 255, 1, 0, 0},
    };
    auto* Main = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    Main->addLayout(Grid);
    for (int i = 0; i < 7; ++i) {
        const TRowDef& R = Rows[i];
        Grid->addWidget(new QLabel(Text(R.Label), this), i, 0);
        auto* Bar = new QScrollBar(Qt::Horizontal, this);
        Bar->setObjectName(QStringLiteral("ScrollBar%1").arg(i + 1));
        Bar->setRange(R.Lo, R.Hi);
        Bar->setPageStep(8);
        Bar->setSingleStep(1);
        Bar->setMinimumWidth(200);
        Bar->setProperty("Tag", i);
        Grid->addWidget(Bar, i, 1);
        ScrollBars[i] = Bar;
        Edits[i] = new TNumEdit(this, R.Max, R.Min, R.Value, R.Inc, R.Fixed);
        Edits[i]->setFixedWidth(60);
        Edits[i]->setProperty("Tag", i);
        Grid->addWidget(Edits[i], i, 2);
    }
    for (int i = 0; i < 7; ++i) {
        SetRow(i, Edits[i]->Value());
        connect(ScrollBars[i], &QScrollBar::valueChanged, this, [this, i] { ScrollBarChanged(i); });
        connect(Edits[i], &TNumEdit::Change, this, [this, i] { EditChanged(i); });
    }

    PreviewBox = new QCheckBox(Text("Preview"), this);
    HistogramBox = new QCheckBox(Text("Histogram"), this);
    PreviewBox->setChecked(true);
    HistogramBox->setChecked(true);
    connect(PreviewBox, &QCheckBox::clicked, this, [this] { PreviewClicked(); });
    connect(HistogramBox, &QCheckBox::clicked, this, [this] { HistogramClicked(); });

    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    ResetButton = new QPushButton(Text("Reset"), this);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, [this] {
        if (Histogram)
            Histogram->SaveOption();
        accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ResetButton, &QPushButton::clicked, this, [this] { ResetClicked(); });

    auto* Checks = new QHBoxLayout;
    Checks->addWidget(PreviewBox);
    Checks->addWidget(HistogramBox);
    Checks->addStretch();
    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(ResetButton);
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    Main->addLayout(Checks);
    Main->addLayout(Buttons);
    adjustSize();

    if (Histogram)
        Histogram->Attach(this, HistogramBox, [this] { RequestPreview(); });
    if (PreviewForm)
        PreviewForm->DlgWidth = width();
}

TColorCorrectionForm::~TColorCorrectionForm()
{
    // The workers read this dialog's controls; stop them while those exist.
    StopPreviewThread();
    StopSpotPreviewThread();
}

double TColorCorrectionForm::RowValue(int Row) const
{
    const TNumEdit* E = Edits[Row];
    return std::clamp(E->Value(), E->Min(), E->Max());
}

void TColorCorrectionForm::SetRow(int Row, double Value)
{
    FUpdating = true;
    Edits[Row]->SetValue(Value);
    ScrollBars[Row]->setValue(IsGammaRow(Row) ? PositionOfGamma(Edits[Row]->Value()) : Edits[Row]->IntValue());
    FUpdating = false;
}

void TColorCorrectionForm::ScrollBarChanged(int Row)
{
    if (!FUpdating) {
        FUpdating = true;
        const int P = ScrollBars[Row]->value();
        if (IsGammaRow(Row))
            Edits[Row]->SetValue(GammaOfPosition(P));
        else
            Edits[Row]->SetIntValue(P);
        FUpdating = false;
    }
    RequestPreview();
}

void TColorCorrectionForm::EditChanged(int Row)
{
    if (FUpdating)
        return;
    // The typed text stays as it is; only the slider follows it.
    const double V = RowValue(Row);
    FUpdating = true;
    ScrollBars[Row]->setValue(IsGammaRow(Row) ? PositionOfGamma(V) : int(V));
    FUpdating = false;
    RequestPreview();
}

void TColorCorrectionForm::SetParam(const TColorAdjust& Effect)
{
    SetRow(0, Effect.FRGBGamma);
    SetRow(1, Effect.FYGamma);
    SetRow(2, Effect.FLumaMin);
    SetRow(3, Effect.FLumaMax);
    SetRow(4, Effect.FChroma);
    SetRow(5, Effect.FHue);
    SetRow(6, Effect.FContrast);
    PreviewBox->setChecked(Effect.FPreview);
    HistogramBox->setEnabled(Effect.FPreview);
    HistogramBox->setChecked(Effect.FHistogram);
}

void TColorCorrectionForm::GetParam(TColorAdjust& Effect) const
{
    const TColorAdjustParam P = ReadValues(*this);
    Effect.FRGBGamma = P.RGBGamma;
    Effect.FYGamma = P.YGamma;
    Effect.FLumaMin = P.LumaMin;
    Effect.FLumaMax = P.LumaMax;
    Effect.FChroma = P.Chroma;
    Effect.FHue = P.Hue;
    Effect.FContrast = P.Contrast;
    Effect.FPreview = PreviewBox->isChecked();
    Effect.FHistogram = HistogramBox->isChecked();
}

void TColorCorrectionForm::PreviewClicked()
{
    if (Dest.Mem && PreviewForm) {
        PreviewForm->setVisible(PreviewBox->isChecked());
        if (Histogram) {
            if (PreviewBox->isChecked() && HistogramBox->isChecked())
                Histogram->Show();
            else
                Histogram->Hide();
        }
        if (PreviewForm->isVisible())
            RequestPreview();
    }
    HistogramBox->setEnabled(PreviewBox->isChecked());
}

void TColorCorrectionForm::HistogramClicked()
{
    if (!Dest.Mem || !PreviewBox->isChecked())
        return;
    if (Histogram) {
        if (HistogramBox->isChecked())
            Histogram->Show();
        else
            Histogram->Hide();
    }
    if (HistogramBox->isChecked())
        RequestPreview();
}

void TColorCorrectionForm::ResetClicked()
{
    SetRow(0, 1.0);
    SetRow(1, 1.0);
    for (int i = 2; i < 7; ++i)
        SetRow(i, 0);
    RequestPreview();
}

void TColorCorrectionForm::PreviewClosed(QObject*)
{
    PreviewBox->setChecked(false);
    HistogramBox->setEnabled(false);
}

void TColorCorrectionForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (!Master.Mem)
        return;
    if (RequestAfter)
        RequestPreview();
}

uint32_t TColorCorrectionForm::GetEffectID() { return EFFECT_COLORADJUST; }

void TColorCorrectionForm::RequestPreview() { StartPreviewWork(); }

bool TColorCorrectionForm::IsPreviewChecked() { return PreviewBox->isChecked(); }

bool TColorCorrectionForm::IsHistogramChecked() { return HistogramBox->isChecked(); }

TCustomPreviewThread* TColorCorrectionForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TCCPreviewThread(this, AMT, ARS);
}

TCustomSpotPreviewThread* TColorCorrectionForm::CreateSpotPreviewThread(TMultiThread* AMT)
{
    return new TCCSpotPreviewThread(this, AMT);
}

namespace {

bool ExecColorCorrectionForm(TColorAdjust& Effect, QWidget* Owner, const std::function<int32_t()>& SelectedEntry)
{
    bool Ok = false;
    {
        auto Form = std::make_unique<TColorCorrectionForm>(Owner);
        Form->SetParam(Effect);
        Form->ShowSelectedEntry(SelectedEntry);
        Ok = Form->exec() == QDialog::Accepted;
        if (Ok)
            Form->GetParam(Effect);
    }
    Effect.BuildTables();
    return Ok;
}

} // namespace

void RegisterColorCorrectionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex)
{
    RegisterEffectDialog(EFFECT_COLORADJUST, ExecColorCorrectionForm, Owner, std::move(SelectedIndex));
}
