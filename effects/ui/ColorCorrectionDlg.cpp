#include "effects/ui/ColorCorrectionDlg.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/ResourceText.h"
#include "effects/ColorAdjust.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace {

enum TRow { RowRGBGamma, RowYGamma, RowLumaMin, RowLumaMax, RowChroma, RowHue, RowContrast, RowCount };

bool IsGammaRow(int Row)
{
    return Row <= RowYGamma;
}

// Gamma slider position p: 1.0 at 0, 0.01 per step above, 0.004 below.
double GammaOfPosition(int P)
{
    return P >= 0 ? 1 + 0.01 * P : 1 + 0.004 * P;
}

int PositionOfGamma(double V)
{
    const double P = V >= 1 ? (V - 1) / 0.01 : (V - 1) / 0.004;
    // Truncated; the small nudge keeps a typed 0.9 at -25 rather than the
    // -24.999... that binary fractions give.
    return int(P + (P >= 0 ? 1e-9 : -1e-9));
}

TColorAdjustParam ReadValues(const TColorAdjustForm& F)
{
    TColorAdjustParam P;
    P.RGBGamma = F.RowValue(RowRGBGamma);
    P.YGamma = F.RowValue(RowYGamma);
    P.LumaMin = F.RowIntValue(RowLumaMin);
    P.LumaMax = F.RowIntValue(RowLumaMax);
    P.Chroma = F.RowIntValue(RowChroma);
    P.Hue = F.RowIntValue(RowHue);
    P.Contrast = F.RowIntValue(RowContrast);
    return P;
}

// What the workers apply: the dialog's values.
struct TCCState {
    TColorAdjustParam Param;
    void Read(const TColorAdjustForm& F) { Param = ReadValues(F); }
    void Apply(TImgInfo& I) const { ApplyColorAdjustPreview(I, Param); }
};

} // namespace

TColorAdjustForm::TColorAdjustForm(QWidget* Owner) : TSliderPreviewForm(Owner, LoadResText("Color Adjust"))
{
    static constexpr TRowDef Rows[RowCount] = {
        {"Gamma(RGB)", -200, 200, 8, 0.2, 3.0, 0.01, 3, 1.0}, {"Gamma(Y)", -255, 255, 8, 0.2, 3.0, 0.01, 3, 1.0},
        {"Luma(Min)", -255, 255, 8, -255, 255, 1, 0, 0},      {"Luma(Max)", -256, 256, 8, -255, 255, 1, 0, 0},
        {"Chroma", -255, 255, 8, -255, 255, 1, 0, 0},         {"Hue", -255, 255, 8, -255, 255, 1, 0, 0},
        {"Contrast", -256, 256, 8, -255, 255, 1, 0, 0},
    };
    QVBoxLayout* Main = BuildRows(Rows, RowCount, FRowBars, FRowEdits);
    QScrollBar** Bars[RowCount] = {&RGBGammaBar, &YGammaBar, &LumaMinBar, &LumaMaxBar,
                                   &ChromaBar,   &HueBar,    &ContrastBar};
    TNumEdit** Edits[RowCount] = {&RGBGammaEdit, &YGammaEdit, &LumaMinEdit, &LumaMaxEdit,
                                  &ChromaEdit,   &HueEdit,    &ContrastEdit};
    for (int Row = 0; Row < RowCount; ++Row) {
        *Bars[Row] = FRowBars[Row];
        *Edits[Row] = FRowEdits[Row];
    }
    MakePreviewBoxes();
    auto* Checks = new QHBoxLayout;
    Checks->addWidget(PreviewBox);
    Checks->addWidget(HistogramBox);
    Checks->addStretch();
    FinishLayout(Main, Checks);
}

TColorAdjustForm::~TColorAdjustForm()
{
    // The workers read this dialog's controls; stop them while those exist.
    StopPreviewThread();
    StopSpotPreviewThread();
}

bool TColorAdjustForm::IsScaledRow(int Row) const
{
    return IsGammaRow(Row);
}

int TColorAdjustForm::PositionOf(double Value) const
{
    return PositionOfGamma(Value);
}

double TColorAdjustForm::ValueOf(int Position) const
{
    return GammaOfPosition(Position);
}

void TColorAdjustForm::SetParam(const TColorAdjust& Effect)
{
    SetRow(RowRGBGamma, Effect.FRGBGamma);
    SetRow(RowYGamma, Effect.FYGamma);
    SetRow(RowLumaMin, Effect.FLumaMin);
    SetRow(RowLumaMax, Effect.FLumaMax);
    SetRow(RowChroma, Effect.FChroma);
    SetRow(RowHue, Effect.FHue);
    SetRow(RowContrast, Effect.FContrast);
    PreviewBox->setChecked(Effect.FPreview);
    HistogramBox->setEnabled(Effect.FPreview);
    HistogramBox->setChecked(Effect.FHistogram);
}

void TColorAdjustForm::GetParam(TColorAdjust& Effect) const
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

void TColorAdjustForm::ResetClicked()
{
    SetRow(RowRGBGamma, 1.0);
    SetRow(RowYGamma, 1.0);
    for (int Row = RowLumaMin; Row < RowCount; ++Row)
        SetRow(Row, 0);
    RequestPreview();
}

void TColorAdjustForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (!Master.Mem)
        return;
    if (RequestAfter)
        RequestPreview();
}

uint32_t TColorAdjustForm::GetEffectID()
{
    return EFFECT_COLORADJUST;
}

TCustomPreviewThread* TColorAdjustForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TFormWholePreview<TColorAdjustForm, TCCState>(this, AMT, ARS);
}

TCustomSpotPreviewThread* TColorAdjustForm::CreateSpotPreviewThread(TMultiThread* AMT)
{
    return new TFormSpotPreview<TColorAdjustForm, TCCState>(this, AMT);
}

namespace {

bool ExecColorAdjustForm(TColorAdjust& Effect, QWidget* Owner, const std::function<int32_t()>& SelectedEntry)
{
    bool Ok = false;
    {
        auto Form = std::make_unique<TColorAdjustForm>(Owner);
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

void RegisterColorAdjustForm(QWidget* Owner, std::function<int32_t()> SelectedIndex)
{
    RegisterEffectDialog(EFFECT_COLORADJUST, ExecColorAdjustForm, Owner, std::move(SelectedIndex));
}
