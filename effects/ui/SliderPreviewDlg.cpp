#include "effects/ui/SliderPreviewDlg.h"
#include "effects/ui/EffectDialog.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/PreviewFrm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

} // namespace

TSliderPreviewForm::TSliderPreviewForm(QWidget* Owner, const std::string& Title) : TPreviewBaseForm(Owner)
{
    setWindowTitle(QString::fromStdString(Title));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));
    UseHistogram = true;
}

QVBoxLayout* TSliderPreviewForm::BuildRows(const TRowDef* Rows, int Count, QScrollBar** Bars, TNumEdit** Edits)
{
    FBars = Bars;
    FEdits = Edits;
    auto* Main = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    Main->addLayout(Grid);
    for (int i = 0; i < Count; ++i) {
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
        Bars[i] = Bar;
        Edits[i] = new TNumEdit(this, R.Max, R.Min, R.Value, R.Inc, R.Fixed);
        Edits[i]->setFixedWidth(60);
        Edits[i]->setProperty("Tag", i);
        Grid->addWidget(Edits[i], i, 2);
    }
    for (int i = 0; i < Count; ++i) {
        SetRow(i, Edits[i]->Value());
        connect(Bars[i], &QScrollBar::valueChanged, this, [this, i] { ScrollBarChanged(i); });
        connect(Edits[i], &TNumEdit::Change, this, [this, i] { EditChanged(i); });
    }
    return Main;
}

void TSliderPreviewForm::MakePreviewBoxes()
{
    PreviewBox = new QCheckBox(Text("Preview"), this);
    HistogramBox = new QCheckBox(Text("Histogram"), this);
    PreviewBox->setChecked(true);
    HistogramBox->setChecked(true);
    connect(PreviewBox, &QCheckBox::clicked, this, [this] { PreviewClicked(); });
    connect(HistogramBox, &QCheckBox::clicked, this, [this] { HistogramClicked(); });
}

void TSliderPreviewForm::FinishLayout(QVBoxLayout* Main, QLayout* Checks)
{
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

    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(ResetButton);
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    Main->addLayout(Checks);
    Main->addLayout(Buttons);
    KeepCaptionWhole(this);
    adjustSize();

    if (Histogram)
        Histogram->Attach(this, HistogramBox, [this] { RequestPreview(); });
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->DlgWidth = width();
}

double TSliderPreviewForm::RowValue(int Row) const
{
    const TNumEdit* E = FEdits[Row];
    return std::clamp(E->Value(), E->Min(), E->Max());
}

void TSliderPreviewForm::SetRow(int Row, double Value)
{
    FUpdating = true;
    FEdits[Row]->SetValue(Value);
    FBars[Row]->setValue(IsScaledRow(Row) ? PositionOf(FEdits[Row]->Value()) : FEdits[Row]->IntValue());
    FUpdating = false;
}

void TSliderPreviewForm::ScrollBarChanged(int Row)
{
    if (!FUpdating) {
        FUpdating = true;
        const int P = FBars[Row]->value();
        if (IsScaledRow(Row))
            FEdits[Row]->SetValue(ValueOf(P));
        else
            FEdits[Row]->SetIntValue(P);
        FUpdating = false;
    }
    RequestPreview();
}

void TSliderPreviewForm::EditChanged(int Row)
{
    if (FUpdating)
        return;
    // The typed text stays as it is; only the slider follows it.
    const double V = RowValue(Row);
    FUpdating = true;
    FBars[Row]->setValue(IsScaledRow(Row) ? PositionOf(V) : int(V));
    FUpdating = false;
    RequestPreview();
}

void TSliderPreviewForm::PreviewClicked()
{
    if (Dest.Mem && PreviewWindows.PreviewForm) {
        PreviewWindows.PreviewForm->setVisible(PreviewBox->isChecked());
        if (Histogram) {
            if (PreviewBox->isChecked() && HistogramBox->isChecked())
                Histogram->Show();
            else
                Histogram->Hide();
        }
        if (PreviewWindows.PreviewForm->isVisible())
            RequestPreview();
    }
    HistogramBox->setEnabled(PreviewBox->isChecked());
}

void TSliderPreviewForm::HistogramClicked()
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

void TSliderPreviewForm::PreviewClosed(QObject*)
{
    // As if the user had unchecked Preview: the histogram goes with the picture.
    PreviewBox->setChecked(false);
    PreviewClicked();
}

void TSliderPreviewForm::RequestPreview()
{
    StartPreviewWork();
}

bool TSliderPreviewForm::IsPreviewChecked()
{
    return PreviewBox->isChecked();
}

bool TSliderPreviewForm::IsHistogramChecked()
{
    return HistogramBox->isChecked();
}
