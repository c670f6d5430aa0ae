#include "effects/ui/UnSharpMaskDlg.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/MultiThread.h"
#include "core/ResourceText.h"
#include "core/WeightedMean.h"
#include "effects/UnSharpMaskOptionFrm.h"
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
#include <memory>

namespace {

QString Text(const char* S) { return QString::fromStdString(LoadResText(S)); }

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

class TUnsharpMaskPreviewThread : public TCustomPreviewThread {
public:
    TUnsharpMaskPreviewThread(TUnSharpMaskOptionForm* AParent, TMultiThread* AMT, TResizer* ARS)
        : TCustomPreviewThread(AParent, AMT, ARS), FForm(AParent), UnSharpMask(MakeFilter(AMT)) {}
    ~TUnsharpMaskPreviewThread() override { Stop(); }

protected:
    void ReadParams() override
    {
        const TUSMValues V = ReadValues(*FForm);
        ApplyValues(*UnSharpMask, V);
        LumaOnly = V.LumaOnly;
    }
    void ApplyEffect(TImgInfo& I, TMultiThread&) override { ApplyUSMPreview(I, *UnSharpMask, LumaOnly); }

private:
    TUnSharpMaskOptionForm* FForm;
    std::unique_ptr<TUnsharpMask> UnSharpMask;
    bool LumaOnly = true;
};

class TUnsharpMaskSpotPreviewThread : public TCustomSpotPreviewThread {
public:
    TUnsharpMaskSpotPreviewThread(TUnSharpMaskOptionForm* AParent, TMultiThread* AMT)
        : TCustomSpotPreviewThread(AParent, AMT), FForm(AParent), UnSharpMask(MakeFilter(AMT)) {}
    ~TUnsharpMaskSpotPreviewThread() override { Stop(); }

protected:
    void ReadParams() override
    {
        const TUSMValues V = ReadValues(*FForm);
        ApplyValues(*UnSharpMask, V);
        LumaOnly = V.LumaOnly;
    }
    void ApplyEffect(TImgInfo& I, TMultiThread&) override { ApplyUSMPreview(I, *UnSharpMask, LumaOnly); }

private:
    TUnSharpMaskOptionForm* FForm;
    std::unique_ptr<TUnsharpMask> UnSharpMask;
    bool LumaOnly = true;
};

} // namespace

TUnSharpMaskOptionForm::TUnSharpMaskOptionForm(QWidget* Owner) : TPreviewBaseForm(Owner)
{
    setWindowTitle(Text("Unsharpmask"));
    if (!UIFontName.empty())
        setFont(QFont(QString::fromStdString(UIFontName), UIFontSize > 0 ? UIFontSize : -1));
    UseHistogram = true;

    struct TRowDef {
        const char* Label;
        int Lo, Hi, Large;
        double Min, Max, Inc;
        int Fixed;
        double Value;
    };
    static constexpr TRowDef Rows[4] = {
        {"Amount(+)", 0, 500, 10, 0, 500, 1, 0, 100},
        {"Amount(-)", 0, 500, 10, 0, 500, 1, 0, 100},
        {"Radius", 10, 100, 5, 0.5, 5.0, 0.1, 2, 1.0},
        {"Threshold", 0, 255, 5, 0, 255, 1, 0, 0},
    };
    auto* Main = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    Main->addLayout(Grid);
    for (int i = 0; i < 4; ++i) {
        const TRowDef& R = Rows[i];
        Grid->addWidget(new QLabel(Text(R.Label), this), i, 0);
        auto* Bar = new QScrollBar(Qt::Horizontal, this);
        Bar->setObjectName(QStringLiteral("ScrollBar%1").arg(i + 1));
        Bar->setRange(R.Lo, R.Hi);
        Bar->setPageStep(R.Large);
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
    for (int i = 0; i < 4; ++i) {
        SetRow(i, Edits[i]->Value());
        connect(ScrollBars[i], &QScrollBar::valueChanged, this, [this, i] { ScrollBarChanged(i); });
        connect(Edits[i], &TNumEdit::Change, this, [this, i] { EditChanged(i); });
    }

    LinearLightBox = new QCheckBox(Text("LinearRGB work space"), this);
    LumaOnlyBox = new QCheckBox(Text("Luma Only"), this);
    PreviewBox = new QCheckBox(Text("Preview"), this);
    HistogramBox = new QCheckBox(Text("Histogram"), this);
    LumaOnlyBox->setChecked(true);
    PreviewBox->setChecked(true);
    HistogramBox->setChecked(true);
    connect(LinearLightBox, &QCheckBox::clicked, this, [this] { RequestPreview(); });
    connect(LumaOnlyBox, &QCheckBox::clicked, this, [this] { RequestPreview(); });
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

    auto* Checks = new QGridLayout;
    Checks->addWidget(LinearLightBox, 0, 0);
    Checks->addWidget(LumaOnlyBox, 0, 1);
    Checks->addWidget(PreviewBox, 1, 0);
    Checks->addWidget(HistogramBox, 1, 1);
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

TUnSharpMaskOptionForm::~TUnSharpMaskOptionForm()
{
    // The workers read this dialog's controls; stop them while those exist.
    StopPreviewThread();
    StopSpotPreviewThread();
}

double TUnSharpMaskOptionForm::RowValue(int Row) const
{
    const TNumEdit* E = Edits[Row];
    return std::clamp(E->Value(), E->Min(), E->Max());
}

void TUnSharpMaskOptionForm::SetRow(int Row, double Value)
{
    FUpdating = true;
    Edits[Row]->SetValue(Value);
    ScrollBars[Row]->setValue(Row == 2 ? int(Edits[Row]->Value() * 20) : Edits[Row]->IntValue());
    FUpdating = false;
}

void TUnSharpMaskOptionForm::ScrollBarChanged(int Row)
{
    if (!FUpdating) {
        FUpdating = true;
        const int P = ScrollBars[Row]->value();
        if (Row == 2)
            Edits[Row]->SetValue(P / 20.0);
        else
            Edits[Row]->SetIntValue(P);
        FUpdating = false;
    }
    RequestPreview();
}

void TUnSharpMaskOptionForm::EditChanged(int Row)
{
    if (FUpdating)
        return;
    // The slider's own change event asks for the preview when it moves.
    const double V = RowValue(Row);
    FUpdating = true;
    ScrollBars[Row]->setValue(Row == 2 ? int(V * 20) : int(V));
    FUpdating = false;
    RequestPreview();
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

void TUnSharpMaskOptionForm::PreviewClicked()
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

void TUnSharpMaskOptionForm::HistogramClicked()
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

void TUnSharpMaskOptionForm::ResetClicked()
{
    SetRow(0, 100);
    SetRow(1, 100);
    SetRow(2, 1.0);
    SetRow(3, 0);
    RequestPreview();
}

void TUnSharpMaskOptionForm::PreviewClosed(QObject*)
{
    PreviewBox->setChecked(false);
    HistogramBox->setEnabled(false);
}

void TUnSharpMaskOptionForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (!Master.Mem)
        return;
    RequestPreview();
}

uint32_t TUnSharpMaskOptionForm::GetEffectID() { return EFFECT_USM; }

void TUnSharpMaskOptionForm::RequestPreview() { StartPreviewWork(); }

bool TUnSharpMaskOptionForm::IsPreviewChecked() { return PreviewBox->isChecked(); }

bool TUnSharpMaskOptionForm::IsHistogramChecked() { return HistogramBox->isChecked(); }

TCustomPreviewThread* TUnSharpMaskOptionForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TUnsharpMaskPreviewThread(this, AMT, ARS);
}

TCustomSpotPreviewThread* TUnSharpMaskOptionForm::CreateSpotPreviewThread(TMultiThread* AMT)
{
    return new TUnsharpMaskSpotPreviewThread(this, AMT);
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
