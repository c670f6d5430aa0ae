#include "effects/ui/ColorCorrectionDlg.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/ResourceText.h"
#include "effects/ColorCorrectionFrm.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace {

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

// What the workers apply: the dialog's values.
struct TCCState {
    TColorAdjustParam Param;
    void Read(const TColorCorrectionForm& F) { Param = ReadValues(F); }
    void Apply(TImgInfo& I) const { ApplyColorAdjustPreview(I, Param); }
};

} // namespace

TColorCorrectionForm::TColorCorrectionForm(QWidget* Owner) : TSliderPreviewForm(Owner, LoadResText("Color Adjust"))
{
    static constexpr TRowDef Rows[7] = {
        {"Gamma(RGB)", -200, 200, 8, 0.2, 3.0, 0.01, 3, 1.0},
        {"Gamma(Y)", -255, 255, 8, 0.2, 3.0, 0.01, 3, 1.0},
        {"Luma(Min)", -255, 255, 8, -255, 255, 1, 0, 0},
        {"Luma(Max)", -256, 256, 8, -255, 255, 1, 0, 0},
        {"Chroma", -255, 255, 8, -255, 255, 1, 0, 0},
        {"Hue", -255, 255, 8, -255, 255, 1, 0, 0},
        {"Contrast", -256, 256, 8, -255, 255, 1, 0, 0},
    };
    QVBoxLayout* Main = BuildRows(Rows, 7, ScrollBars, Edits);
    MakePreviewBoxes();
    auto* Checks = new QHBoxLayout;
    Checks->addWidget(PreviewBox);
    Checks->addWidget(HistogramBox);
    Checks->addStretch();
    FinishLayout(Main, Checks);
}

TColorCorrectionForm::~TColorCorrectionForm()
{
    // The workers read this dialog's controls; stop them while those exist.
    StopPreviewThread();
    StopSpotPreviewThread();
}

bool TColorCorrectionForm::IsScaledRow(int Row) const { return IsGammaRow(Row); }

int TColorCorrectionForm::PositionOf(double Value) const { return PositionOfGamma(Value); }

double TColorCorrectionForm::ValueOf(int Position) const { return GammaOfPosition(Position); }

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

void TColorCorrectionForm::ResetClicked()
{
    SetRow(0, 1.0);
    SetRow(1, 1.0);
    for (int i = 2; i < 7; ++i)
        SetRow(i, 0);
    RequestPreview();
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

TCustomPreviewThread* TColorCorrectionForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TFormWholePreview<TColorCorrectionForm, TCCState>(this, AMT, ARS);
}

TCustomSpotPreviewThread* TColorCorrectionForm::CreateSpotPreviewThread(TMultiThread* AMT)
{
    return new TFormSpotPreview<TColorCorrectionForm, TCCState>(this, AMT);
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
