#include "effects/ui/UnSharpMaskDlg.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/MultiThread.h"
#include "core/ResourceText.h"
#include "core/WeightedMean.h"
#include "effects/USMFilter.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

// The values a worker takes from the dialog on the GUI thread.
struct TUSMValues {
    int Highlight = 100, Shadow = 100, Threshold = 0;
    double Radius = 1.0;
    bool Degamma = false, LumaOnly = true;
};

TUSMValues ReadValues(const TUnSharpMaskOptionForm& F)
{
    TUSMValues V;
    V.Highlight = F.RowIntValue(0);
    V.Shadow = F.RowIntValue(1);
    V.Radius = F.RowValue(2);
    V.Threshold = F.RowIntValue(3);
    V.Degamma = F.LinearLightBox->isChecked();
    V.LumaOnly = F.LumaOnlyBox->isChecked();
    return V;
}

// Each worker owns its filter (threads of its own pool); the amounts and the
// threshold it sets are nevertheless the process-wide ones.
std::unique_ptr<TUnsharpMask> MakeFilter(const TMultiThread* MT)
{
    auto F = std::make_unique<TUnsharpMask>();
    F->SetMaxThreadNum(MT ? MT->MaxThread() : 1);
    return F;
}

void ApplyValues(TUnsharpMask& F, const TUSMValues& V)
{
    F.SetUnSharpMaskParam(uint32_t(std::max(V.Highlight, 0)), uint32_t(std::max(V.Shadow, 0)),
                          uint32_t(std::max(V.Threshold, 0)), V.Radius, V.Degamma);
}

// What the workers apply: the dialog's values, through a filter of their own.
struct TUSMState {
    std::unique_ptr<TUnsharpMask> UnSharpMask;
    bool LumaOnly = true;

    explicit TUSMState(const TMultiThread* MT) : UnSharpMask(MakeFilter(MT)) { }
    void Read(const TUnSharpMaskOptionForm& F)
    {
        const TUSMValues V = ReadValues(F);
        ApplyValues(*UnSharpMask, V);
        LumaOnly = V.LumaOnly;
    }
    void Apply(TImgInfo& I) { ApplyUSMPreview(I, *UnSharpMask, LumaOnly); }
};

} // namespace

TUnSharpMaskOptionForm::TUnSharpMaskOptionForm(QWidget* Owner) : TSliderPreviewForm(Owner, LoadResText("Unsharpmask"))
{
    static constexpr TRowDef Rows[RowCount] = {
        {"Amount(+)", 0, 500, 10, 0, 500, 1, 0, 100},
        {"Amount(-)", 0, 500, 10, 0, 500, 1, 0, 100},
        {"Radius", 10, 100, 5, 0.5, 5.0, 0.1, 2, 1.0},
        {"Threshold", 0, 255, 5, 0, 255, 1, 0, 0},
    };
    QVBoxLayout* Main = BuildRows(Rows, RowCount, FRowBars, FRowEdits);
    QScrollBar** Bars[RowCount] = {&HighlightBar, &ShadowBar, &RadiusBar, &ThresholdBar};
    TNumEdit** Edits[RowCount] = {&HighlightEdit, &ShadowEdit, &RadiusEdit, &ThresholdEdit};
    for (int Row = 0; Row < RowCount; ++Row) {
        *Bars[Row] = FRowBars[Row];
        *Edits[Row] = FRowEdits[Row];
    }

    LinearLightBox = new QCheckBox(Text("LinearRGB work space"), this);
    LumaOnlyBox = new QCheckBox(Text("Luma Only"), this);
    MakePreviewBoxes();
    LumaOnlyBox->setChecked(true);
    connect(LinearLightBox, &QCheckBox::clicked, this, [this] { RequestPreview(); });
    connect(LumaOnlyBox, &QCheckBox::clicked, this, [this] { RequestPreview(); });

    auto* Checks = new QGridLayout;
    Checks->addWidget(LinearLightBox, 0, 0);
    Checks->addWidget(LumaOnlyBox, 0, 1);
    Checks->addWidget(PreviewBox, 1, 0);
    Checks->addWidget(HistogramBox, 1, 1);
    FinishLayout(Main, Checks);
}

TUnSharpMaskOptionForm::~TUnSharpMaskOptionForm()
{
    // The workers read this dialog's controls; stop them while those exist.
    StopPreviewThread();
    StopSpotPreviewThread();
}

void TUnSharpMaskOptionForm::SetParam(const TUSMFilter& Effect)
{
    SetRow(0, Effect.FHighlight);
    SetRow(1, Effect.FShadow);
    SetRow(2, Effect.FRadius);
    SetRow(3, Effect.FThreshold);
    LinearLightBox->setChecked(Effect.FDegamma);
    PreviewBox->setChecked(Effect.FPreview);
    LumaOnlyBox->setChecked(Effect.FLumaOnly);
    HistogramBox->setEnabled(Effect.FPreview);
    HistogramBox->setChecked(Effect.FHistogram);
}

void TUnSharpMaskOptionForm::GetParam(TUSMFilter& Effect) const
{
    Effect.FHighlight = RowIntValue(0);
    Effect.FShadow = RowIntValue(1);
    Effect.FRadius = RowValue(2);
    Effect.FThreshold = RowIntValue(3);
    Effect.FDegamma = LinearLightBox->isChecked();
    Effect.FPreview = PreviewBox->isChecked();
    Effect.FLumaOnly = LumaOnlyBox->isChecked();
    Effect.FHistogram = HistogramBox->isChecked();
}

void TUnSharpMaskOptionForm::ResetClicked()
{
    SetRow(0, 100);
    SetRow(1, 100);
    SetRow(2, 1.0);
    SetRow(3, 0);
    RequestPreview();
}

void TUnSharpMaskOptionForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (!Master.Mem)
        return;
    RequestPreview();
}

uint32_t TUnSharpMaskOptionForm::GetEffectID()
{
    return EFFECT_USM;
}

TCustomPreviewThread* TUnSharpMaskOptionForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TFormWholePreview<TUnSharpMaskOptionForm, TUSMState>(this, AMT, ARS);
}

TCustomSpotPreviewThread* TUnSharpMaskOptionForm::CreateSpotPreviewThread(TMultiThread* AMT)
{
    return new TFormSpotPreview<TUnSharpMaskOptionForm, TUSMState>(this, AMT);
}

namespace {

bool ExecUnSharpMaskOptionForm(TUSMFilter& Effect, QWidget* Owner, const std::function<int32_t()>& SelectedEntry)
{
    bool Ok = false;
    {
        auto Form = std::make_unique<TUnSharpMaskOptionForm>(Owner);
        Form->SetParam(Effect);
        Form->ShowSelectedEntry(SelectedEntry);
        Ok = Form->exec() == QDialog::Accepted;
        if (Ok)
            Form->GetParam(Effect);
    } // the workers are stopped here and set no more amounts
    // The amounts and threshold are shared by every filter and the preview
    // workers have been setting them: give the batch its own values back.
    if (PreviewParams.UnSharpMask)
        Effect.ApplyParam(*PreviewParams.UnSharpMask);
    return Ok;
}

} // namespace

void RegisterUnSharpMaskOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex)
{
    RegisterEffectDialog(EFFECT_USM, ExecUnSharpMaskOptionForm, Owner, std::move(SelectedIndex));
}
