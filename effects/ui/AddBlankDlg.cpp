#include "effects/ui/AddBlankDlg.h"

#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/WeightedMean.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/EffectDialog.h"
#include "effects/ui/WindowFuncs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <vector>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

// Items of S between Delim characters; a double quote starts and ends a
// quoted stretch in which Delim does not split ("" inside is one quote).
std::vector<std::string> SplitDelimited(const std::string& S, char Delim)
{
    std::vector<std::string> Items(1);
    bool Quoted = false;
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (c == '"') {
            if (Quoted && i + 1 < S.size() && S[i + 1] == '"')
                Items.back() += S[++i];
            else
                Quoted = !Quoted;
        } else if (c == Delim && !Quoted) {
            Items.emplace_back();
        } else {
            Items.back() += c;
        }
    }
    return Items;
}

std::string Str(const QString& S)
{
    return S.toStdString();
}

QString Fmt4(const char* Form, const std::string& A, const std::string& B, const std::string& C, const std::string& D)
{
    QString R = QString::fromLatin1(Form);
    return R.arg(QString::fromStdString(A), QString::fromStdString(B), QString::fromStdString(C),
                 QString::fromStdString(D));
}

} // namespace

bool CheckBlankValueText(const std::string& Text, int32_t BlankType, int64_t W, int64_t H,
                         std::array<std::string, 4>& Parts)
{
    std::array<std::string, 4> P;
    if (BlankType == btAspect) {
        const auto C = SplitDelimited(Text, ':');
        if (C.size() == 2) {
            const auto Pos = SplitDelimited(C[1], ',');
            if (Pos.size() == 3)
                P = {C[0], Pos[0], Pos[1], Pos[2]};
            else if (Pos.size() == 1)
                P = {C[0], C[1], "-1", "-1"};
            else
                return false;
        } else if (C.size() == 3) {
            const auto Mid = SplitDelimited(C[1], ',');
            if (Mid.size() != 2)
                return false;
            P = {C[0], Mid[0], Mid[1], C[2]};
        } else {
            return false;
        }
    } else {
        const auto C = SplitDelimited(Text, ',');
        if (C.size() != 4)
            return false;
        P = {C[0], C[1], C[2], C[3]};
    }
    try {
        for (auto& S : P) {
            if (!IsValidSizeExpression(S))
                return false;
            EvaluateExpression(SubstituteWidthHeight(S, W, H));
        }
    } catch (const std::exception&) {
        return false;
    }
    Parts = P;
    return true;
}

TAddBlankForm::TAddBlankForm(QWidget* Owner) : TPreviewBaseForm(Owner)
{
    setWindowTitle(Text("AddBlank"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    auto* SizeBox = new QGroupBox(Text("BlankSize"), this);
    auto* SizeGrid = new QGridLayout(SizeBox);
    BlankTypeList = new QComboBox(SizeBox);
    for (const char* S : {"Aspect ratio", "Left,Top,Right,Bottom(px)", "Left,Top,Right,Bottom(%)"})
        BlankTypeList->addItem(Text(S));
    BranchList = new QComboBox(SizeBox);
    for (const char* S : {"W >= H or W < H", "W > H or W <= H", "ALL"})
        BranchList->addItem(Text(S));
    FirstSetLabel = new QLabel(SizeBox);
    SecondSetLabel = new QLabel(SizeBox);
    FirstSetEdit = new QLineEdit(SizeBox);
    SecondSetEdit = new QLineEdit(SizeBox);
    SizeGrid->addWidget(BlankTypeList, 0, 0, 1, 2);
    SizeGrid->addWidget(new QLabel(Text("Branch"), SizeBox), 1, 0);
    SizeGrid->addWidget(BranchList, 1, 1);
    SizeGrid->addWidget(FirstSetLabel, 2, 0);
    SizeGrid->addWidget(FirstSetEdit, 2, 1);
    SizeGrid->addWidget(SecondSetLabel, 3, 0);
    SizeGrid->addWidget(SecondSetEdit, 3, 1);

    // A numeric edit with its arrows in Grid at (Row, Col).
    auto MakeNum = [](QWidget* Parent, QGridLayout* Grid, int Row, int Col, double Max, double Min, double Value,
                      double Step, int Fixed) {
        auto* E = new TUDNumEdit(Parent, Max, Min, Value, Step, Fixed);
        E->setFixedWidth(56 + TUpDown::DefaultWidth);
        Grid->addWidget(E, Row, Col, Qt::AlignLeft);
        return E;
    };
    auto MakePanel = [](QWidget* Parent) {
        auto* P = new QPushButton(Parent);
        P->setFixedSize(40, 20);
        return P;
    };

    auto* ColorBox = new QGroupBox(Text("BlankColor"), this);
    auto* ColorGrid = new QGridLayout(ColorBox);
    ColorSourceList = new QComboBox(ColorBox);
    for (const char* S : {"TopLeft", "TopRight", "BottomLeft", "BottomRight", "Fixed"})
        ColorSourceList->addItem(Text(S));
    ColorGrid->addWidget(ColorSourceList, 0, 0, 1, 2);
    ColorGrid->addWidget(new QLabel(Text("Color"), ColorBox), 1, 0);
    ColorPanels[0] = MakePanel(ColorBox);
    ColorGrid->addWidget(ColorPanels[0], 1, 1);
    ColorGrid->addWidget(new QLabel(Text("Opacity"), ColorBox), 1, 2);
    UDNumEdit[0] = MakeNum(ColorBox, ColorGrid, 1, 3, 255, 0, 255, 1, 0);

    auto* FrameBox = new QGroupBox(Text("Frame"), this);
    auto* FrameGrid = new QGridLayout(FrameBox);
    const char* FrameNames[3] = {"1st", "2nd", "3rd"};
    for (int i = 1; i <= 3; ++i) {
        CheckBoxes[i] = new QCheckBox(Text(FrameNames[i - 1]), FrameBox);
        ColorPanels[i] = MakePanel(FrameBox);
        FrameGrid->addWidget(CheckBoxes[i], i, 0);
        FrameGrid->addWidget(ColorPanels[i], i, 1);
        FrameGrid->addWidget(new QLabel(Text("Width"), FrameBox), i, 2);
        UDNumEdit[i] = MakeNum(FrameBox, FrameGrid, i, 3, 99, 1, 1, 1, 0);
    }

    CheckBoxes[0] = new QCheckBox(Text("DropShadow"), this);
    ShadowPanel = new QWidget(this);
    auto* ShadowGrid = new QGridLayout(ShadowPanel);
    ShadowGrid->addWidget(new QLabel(Text("Color"), ShadowPanel), 0, 0);
    ColorPanels[4] = MakePanel(ShadowPanel);
    ShadowGrid->addWidget(ColorPanels[4], 0, 1);
    struct TNumDef {
        const char* Label;
        double Max, Min, Value, Step;
        int Fixed;
    };
    const TNumDef Defs[5] = {{"Opacity", 100, 0, 0, 1, 0},
                             {"Radius", 99, 0.5, 0.5, 0.5, 1},
                             {"Strength", 99, 1, 1, 1, 0},
                             {"Offset X", 99, -99, 0, 1, 0},
                             {"Offset Y", 99, -99, 0, 1, 0}};
    for (int i = 0; i < 5; ++i) {
        ShadowGrid->addWidget(new QLabel(Text(Defs[i].Label), ShadowPanel), i + 1, 0);
        UDNumEdit[4 + i] = MakeNum(ShadowPanel, ShadowGrid, i + 1, 1, Defs[i].Max, Defs[i].Min, Defs[i].Value,
                                   Defs[i].Step, Defs[i].Fixed);
    }

    PreviewBox = new QCheckBox(Text("Preview"), this);
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);

    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(PreviewBox);
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    auto* Main = new QVBoxLayout(this);
    Main->addWidget(SizeBox);
    Main->addWidget(ColorBox);
    Main->addWidget(FrameBox);
    Main->addWidget(CheckBoxes[0]);
    Main->addWidget(ShadowPanel);
    Main->addLayout(Buttons);

    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, Qt::white);

    connect(FirstSetEdit, &QLineEdit::textChanged, this, [this] { EditChanged(0); });
    connect(SecondSetEdit, &QLineEdit::textChanged, this, [this] { EditChanged(1); });
    connect(BlankTypeList, &QComboBox::activated, this, [this] { TypeChanged(); });
    connect(BranchList, &QComboBox::activated, this, [this] { BranchChanged(); });
    connect(ColorSourceList, &QComboBox::activated, this, [this](int Index) {
        Param.ColorType = Index;
        RequestPreview();
    });
    for (int i = 0; i < 5; ++i)
        connect(ColorPanels[size_t(i)], &QPushButton::clicked, this, [this, i] { ColorClicked(i); });
    for (int i = 0; i < 9; ++i)
        connect(UDNumEdit[size_t(i)], &TNumEdit::Change, this, [this, i] { NumEditChanged(i); });
    for (int i = 0; i < 4; ++i)
        connect(CheckBoxes[size_t(i)], &QCheckBox::clicked, this, [this, i] { CheckBoxClicked(i); });
    connect(PreviewBox, &QCheckBox::clicked, this, [this] { PreviewClicked(); });
    connect(OkButton, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    KeepCaptionWhole(this);
    adjustSize();
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->DlgWidth = width();
}

TAddBlankForm::~TAddBlankForm() = default;

int32_t& TAddBlankForm::ColorOf(int Tag)
{
    switch (Tag) {
    case 1:
        return Param.Frame1Color;
    case 2:
        return Param.Frame2Color;
    case 3:
        return Param.Frame3Color;
    case 4:
        return Param.ShadowColor;
    default:
        return Param.Color;
    }
}

void TAddBlankForm::ShowColor(int Tag, int32_t Color)
{
    PaintSwatch(ColorPanels[size_t(Tag)], uint32_t(Color));
}

void TAddBlankForm::SetParam(const TAddBlankParam& _Param, bool Preview)
{
    Param = _Param;
    UDNumEdit[0]->SetValue(uint32_t(Param.Color) >> 24);
    BlankTypeList->setCurrentIndex(std::clamp(Param.BlankType, 0, 2));
    ColorSourceList->setCurrentIndex(std::clamp(Param.ColorType, 0, 4));
    BranchList->setCurrentIndex(std::clamp(Param.ExpType, 0, 2));
    CheckBoxes[1]->setChecked(Param.UseFrame1);
    CheckBoxes[2]->setChecked(Param.UseFrame2);
    CheckBoxes[3]->setChecked(Param.UseFrame3);
    UDNumEdit[1]->SetValue(Param.Frame1Width);
    UDNumEdit[2]->SetValue(Param.Frame2Width);
    UDNumEdit[3]->SetValue(Param.Frame3Width);
    CheckBoxes[0]->setChecked(Param.UseDropShadow);
    ShadowPanel->setEnabled(Param.UseDropShadow);
    UDNumEdit[4]->SetValue(Param.ShadowOpacity);
    UDNumEdit[5]->SetValue(Param.ShadowRadius);
    UDNumEdit[6]->SetValue(Param.ShadowStr);
    UDNumEdit[7]->SetValue(Param.ShadowOffsetX);
    UDNumEdit[8]->SetValue(Param.ShadowOffsetY);
    for (int i = 0; i < 5; ++i)
        ShowColor(i, ColorOf(i));
    PreviewBox->setChecked(Preview);

    // The edits changed the working copy above; shown values are clamped, so
    // store them clamped too.
    Param.Color = int32_t((uint32_t(UDNumEdit[0]->IntValue()) << 24) | (uint32_t(Param.Color) & 0xFFFFFF));
    Param.Frame1Width = UDNumEdit[1]->IntValue();
    Param.Frame2Width = UDNumEdit[2]->IntValue();
    Param.Frame3Width = UDNumEdit[3]->IntValue();
    Param.ShadowOpacity = UDNumEdit[4]->IntValue();
    Param.ShadowRadius = UDNumEdit[5]->Value();
    Param.ShadowStr = UDNumEdit[6]->IntValue();
    Param.ShadowOffsetX = UDNumEdit[7]->IntValue();
    Param.ShadowOffsetY = UDNumEdit[8]->IntValue();

    IgnoreEditChange = true;
    const auto& V = Param.Value;
    for (int Set = 0; Set < 2; ++Set) {
        const size_t o = size_t(Set) * 4;
        QString T;
        if (Param.BlankType == btAspect) {
            if (V[o + 2] != "-1" && V[o + 3] != "-1")
                T = Fmt4("%1:%2,%3,%4", V[o], V[o + 1], V[o + 2], V[o + 3]);
            else
                T = QString::fromStdString(V[o] + ":" + V[o + 1]);
        } else {
            T = Fmt4("%1,%2,%3,%4", V[o], V[o + 1], V[o + 2], V[o + 3]);
        }
        (Set == 0 ? FirstSetEdit : SecondSetEdit)->setText(T);
    }
    IgnoreEditChange = false;
    BranchChanged();
}

void TAddBlankForm::GetParam(TAddBlankParam& _Param, bool& Preview) const
{
    _Param = Param;
    Preview = PreviewBox->isChecked();
}

TSize TAddBlankForm::ReferenceSize() const
{
    if (Master.Mem)
        return {Master.Width, Master.Height};
    return {1000, 1000};
}

bool TAddBlankForm::SetApplies(int Set) const
{
    const int64_t W = Master.Width, H = Master.Height;
    const bool First = Param.ExpType == 2 || W > H || (W == H && Param.ExpType == 0);
    return Set == 0 ? First : !First;
}

void TAddBlankForm::EditChanged(int Set)
{
    if (IgnoreEditChange)
        return;
    const TSize R = ReferenceSize();
    std::array<std::string, 4> Parts;
    if (!CheckBlankValueText(Str((Set == 0 ? FirstSetEdit : SecondSetEdit)->text()), Param.BlankType, R.cx, R.cy,
                             Parts))
        return;
    for (size_t i = 0; i < 4; ++i)
        Param.Value[size_t(Set) * 4 + i] = Parts[i];
    if (Master.Mem && SetApplies(Set))
        RequestPreview();
}

void TAddBlankForm::TypeChanged()
{
    Param.BlankType = BlankTypeList->currentIndex();
    IgnoreEditChange = true;
    const QString T = QString::fromLatin1(Param.BlankType == btAspect ? "1:1,50,50" : "0,0,0,0");
    FirstSetEdit->setText(T);
    SecondSetEdit->setText(T);
    IgnoreEditChange = false;
    EditChanged(0);
    EditChanged(1);
    RequestPreview();
}

void TAddBlankForm::BranchChanged()
{
    Param.ExpType = BranchList->currentIndex();
    static const char* const First[3] = {"W >= H", "W > H", "ALL"};
    static const char* const Second[3] = {"W < H", "W <= H", ""};
    const int i = std::clamp(Param.ExpType, 0, 2);
    FirstSetLabel->setText(Text(First[i]));
    SecondSetLabel->setText(Text(Second[i]));
    SetControlsVisible({SecondSetLabel, SecondSetEdit}, i != 2);
    EditChanged(0);
    EditChanged(1);
    RequestPreview();
}

void TAddBlankForm::ColorClicked(int Tag)
{
    const int32_t Old = ColorOf(Tag);
    const QColor C = QColorDialog::getColor(QColor(Old & 0xFF, (Old >> 8) & 0xFF, (Old >> 16) & 0xFF), this);
    if (!C.isValid())
        return;
    const int32_t Rgb = C.red() | (C.green() << 8) | (C.blue() << 16);
    if (Tag == 0)
        Param.Color = int32_t((uint32_t(UDNumEdit[0]->IntValue()) << 24) | uint32_t(Rgb));
    else
        ColorOf(Tag) = Rgb;
    ShowColor(Tag, Rgb);
    RequestPreview();
}

void TAddBlankForm::NumEditChanged(int Tag)
{
    const TUDNumEdit* E = UDNumEdit[size_t(Tag)];
    switch (Tag) {
    case 0:
        Param.Color = int32_t((uint32_t(E->IntValue()) << 24) | (uint32_t(Param.Color) & 0xFFFFFF));
        break;
    case 1:
        Param.Frame1Width = E->IntValue();
        break;
    case 2:
        Param.Frame2Width = E->IntValue();
        break;
    case 3:
        Param.Frame3Width = E->IntValue();
        break;
    case 4:
        Param.ShadowOpacity = E->IntValue();
        break;
    case 5:
        Param.ShadowRadius = E->Value();
        break;
    case 6:
        Param.ShadowStr = E->IntValue();
        break;
    case 7:
        Param.ShadowOffsetX = E->IntValue();
        break;
    case 8:
        Param.ShadowOffsetY = E->IntValue();
        break;
    default:
        return;
    }
    RequestPreview();
}

void TAddBlankForm::CheckBoxClicked(int Tag)
{
    const bool On = CheckBoxes[size_t(Tag)]->isChecked();
    switch (Tag) {
    case 0:
        ShadowPanel->setEnabled(On);
        Param.UseDropShadow = On;
        break;
    case 1:
        Param.UseFrame1 = On;
        break;
    case 2:
        Param.UseFrame2 = On;
        break;
    case 3:
        Param.UseFrame3 = On;
        break;
    default:
        return;
    }
    RequestPreview();
}

void TAddBlankForm::PreviewClicked()
{
    if (!Master.Mem)
        return;
    if (PreviewBox->isChecked())
        RequestPreview();
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->setVisible(PreviewBox->isChecked());
}

void TAddBlankForm::changeEvent(QEvent* e)
{
    TPreviewBaseForm::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && !isActiveWindow()) {
        EditChanged(0);
        EditChanged(1);
    }
}

void TAddBlankForm::OkClicked()
{
    const TSize R = ReferenceSize();
    std::array<std::string, 4> First, Second;
    if (!CheckBlankValueText(Str(FirstSetEdit->text()), Param.BlankType, R.cx, R.cy, First) ||
        !CheckBlankValueText(Str(SecondSetEdit->text()), Param.BlankType, R.cx, R.cy, Second)) {
        ShowMessageBox(this, QMessageBox::Warning, Text("Error"),
                       Text("Error occurred in evaluation of the inputted parameter"));
        return;
    }
    for (size_t i = 0; i < 4; ++i) {
        Param.Value[i] = First[i];
        Param.Value[4 + i] = Second[i];
    }
    accept();
}

void TAddBlankForm::PreviewClosed(QObject*)
{
    PreviewBox->setChecked(false);
    PreviewClicked();
}

void TAddBlankForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (Master.Mem)
        RequestPreview();
}

bool TAddBlankForm::IsPreviewChecked()
{
    return PreviewBox->isChecked();
}

void TAddBlankForm::RequestPreview()
{
    StartPreviewWork();
}

namespace {

// What the worker applies: the dialog's working copy, with a blur of its own.
struct TAddBlankState {
    TAddBlankParam Param;
    TGaussianBlur GB;

    void Read(const TAddBlankForm& F)
    {
        bool Preview;
        F.GetParam(Param, Preview);
    }
    void Apply(TImgInfo& I)
    {
        try {
            ApplyAddBlank(I, Param, &GB);
        } catch (const std::exception&) {
            // A value that fails for this picture, or a canvas too large to
            // allocate: the picture is shown as it is (left untouched).
        }
    }
};

} // namespace

TCustomPreviewThread* TAddBlankForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TFormWholePreview<TAddBlankForm, TAddBlankState>(this, AMT, ARS);
}

namespace {

bool ExecAddBlankForm(TAddBlankFilter& Effect, QWidget* Owner, const std::function<int32_t()>& SelectedEntry)
{
    auto Form = std::make_unique<TAddBlankForm>(Owner);
    Form->SetParam(Effect.FAddBlankParam, Effect.FPreview);
    Form->ShowSelectedEntry(SelectedEntry);
    if (Form->exec() != QDialog::Accepted)
        return false;
    Form->GetParam(Effect.FAddBlankParam, Effect.FPreview);
    return true;
}

} // namespace

void RegisterAddBlankForm(QWidget* Owner, std::function<int32_t()> SelectedIndex)
{
    RegisterEffectDialog(EFFECT_ADDBLANK, ExecAddBlankForm, Owner, std::move(SelectedIndex));
}
