#include "effects/ui/TrimmingDlg.h"

#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/ResourceText.h"
#include "effects/TrimmingFilter.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/EffectDialog.h"
#include "effects/ui/WindowFuncs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

std::vector<std::string> Split(const std::string& S, char Delim)
{
    std::vector<std::string> Items(1);
    for (char c : S) {
        if (c == Delim)
            Items.emplace_back();
        else
            Items.back() += c;
    }
    return Items;
}

// Integer part of V + 0.5, held to the 32-bit range (huge values saturate).
int32_t RoundHalf(double V)
{
    if (!(V == V))
        return 0;
    return int32_t(std::clamp(std::floor(V + 0.5), -2147483648.0, 2147483647.0));
}

QString Format(const char* Form, auto... Args)
{
    char Buf[160];
    std::snprintf(Buf, sizeof Buf, Form, Args...);
    return QString::fromLatin1(Buf);
}

// V with two decimals and always a ".": the texts are comma lists, and the
// evaluator reads "." in any locale (as the settings file stores them).
std::string Fixed2(double V)
{
    char Buf[64];
    const auto R = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::fixed, 2);
    return std::string(Buf, R.ec == std::errc() ? R.ptr : Buf);
}

QString Join(const char* Sep1, const std::string* V)
{
    return QString::fromStdString(V[0] + Sep1 + V[1] + "," + V[2] + "," + V[3]);
}

} // namespace

TTrimmingOptionForm::TTrimmingOptionForm(QWidget* Owner) : TPreviewBaseForm(Owner)
{
    setWindowTitle(Text("Trimming"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    ParamsList = new QComboBox(this);
    for (const char* S :
         {"Left,Top,Width,Height(px)", "Left,Top,Right,Bottom(px)", "Left,Top,Right,Bottom(%)", "Aspect ratio"})
        ParamsList->addItem(Text(S));
    BranchList = new QComboBox(this);
    for (const char* S : {"W >= H or W < H", "W > H or W <= H", "ALL"})
        BranchList->addItem(Text(S));
    FirstSetLabel = new QLabel(this);
    SecondSetLabel = new QLabel(this);
    FirstSetEdit = new QLineEdit(this);
    SecondSetEdit = new QLineEdit(this);
    PreviewBox = new QCheckBox(Text("Preview"), this);
    RatioPanel = new QWidget(this);
    RatioList = new QComboBox(RatioPanel);
    RatioList->addItem(Text("Free size"));
    AddRatioButton = new QPushButton(Text("Add"), RatioPanel);
    DeleteRatioButton = new QPushButton(Text("Del"), RatioPanel);
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);

    auto* Grid = new QGridLayout;
    Grid->addWidget(new QLabel(Text("Params"), this), 0, 0);
    Grid->addWidget(ParamsList, 0, 1);
    Grid->addWidget(new QLabel(Text("Branch"), this), 1, 0);
    Grid->addWidget(BranchList, 1, 1);
    Grid->addWidget(FirstSetLabel, 2, 0);
    Grid->addWidget(FirstSetEdit, 2, 1);
    Grid->addWidget(SecondSetLabel, 3, 0);
    Grid->addWidget(SecondSetEdit, 3, 1);
    auto* Row = new QHBoxLayout(RatioPanel);
    Row->setContentsMargins(0, 0, 0, 0);
    Row->setSpacing(4);
    Row->addWidget(new QLabel(Text("SelectMode"), RatioPanel));
    Row->addWidget(RatioList);
    Row->addWidget(AddRatioButton);
    Row->addWidget(DeleteRatioButton);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);
    auto* Main = new QVBoxLayout(this);
    Main->addLayout(Grid);
    Main->addWidget(PreviewBox);
    Main->addWidget(RatioPanel);
    Main->addLayout(Buttons);

    connect(ParamsList, &QComboBox::activated, this, [this] { ModeChanged(); });
    connect(BranchList, &QComboBox::activated, this, [this] { BranchChanged(); });
    connect(FirstSetEdit, &QLineEdit::textChanged, this, [this] { EditChanged(0); });
    connect(SecondSetEdit, &QLineEdit::textChanged, this, [this] { EditChanged(1); });
    connect(RatioList, &QComboBox::activated, this, [this] { SelectModeChanged(); });
    connect(AddRatioButton, &QPushButton::clicked, this, [this] { AddClicked(); });
    connect(DeleteRatioButton, &QPushButton::clicked, this, [this] { DeleteRatio(); });
    connect(PreviewBox, &QCheckBox::clicked, this, [this] { PreviewClicked(); });
    connect(OkButton, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    KeepCaptionWhole(this);
    adjustSize();
    if (PreviewWindows.PreviewForm) {
        PreviewWindows.PreviewForm->DlgWidth = width();
        PreviewWindows.PreviewForm->SetOnChangeSelectRect([this](TRect& r, QObject*) { SelectRectChanged(r); });
    }
}

void TTrimmingOptionForm::SetParams(int Mode, int Exp, const std::array<std::string, 8>& Values,
                                    const std::string& SizeList, bool Preview)
{
    Value = Values;
    FOtherMode = Mode >= 0 && Mode <= 3 ? -1 : Mode;
    ParamsList->setCurrentIndex(FOtherMode < 0 ? Mode : -1);
    IgnoreEditChange = true;
    const char* Sep = Mode == TRIM_ASPECT ? ":" : ",";
    FirstSetEdit->setText(Join(Sep, &Value[0]));
    SecondSetEdit->setText(Join(Sep, &Value[4]));
    IgnoreEditChange = false;
    while (RatioList->count() > 1)
        RatioList->removeItem(1);
    if (!SizeList.empty())
        for (const auto& S : SplitCommaText(SizeList))
            RatioList->addItem(QString::fromStdString(S));
    RatioList->setCurrentIndex(0);
    PreviewBox->setChecked(Preview);
    RatioPanel->setEnabled(Preview);
    // Stored rules above 2 act as 1.
    BranchList->setCurrentIndex(Exp == TRIM_SQUARE_FIRST || Exp == TRIM_FIRST_ONLY ? Exp : TRIM_SQUARE_SECOND);
    BranchChanged();
}

void TTrimmingOptionForm::GetParams(int& Mode, int& Exp, std::array<std::string, 8>& Values, std::string& SizeList,
                                    bool& Preview)
{
    Mode = ParamsList->currentIndex() < 0 ? FOtherMode : ParamsList->currentIndex();
    Exp = BranchList->currentIndex();
    if (Exp == TRIM_FIRST_ONLY)
        std::copy_n(Value.begin(), 4, Value.begin() + 4);
    Values = Value;
    std::vector<std::string> Items;
    for (int i = 1; i < RatioList->count(); ++i)
        Items.push_back(RatioList->itemText(i).toStdString());
    SizeList = JoinCommaText(Items);
    Preview = PreviewBox->isChecked();
}

bool TTrimmingOptionForm::EvaluateParams(const QString& Text, std::array<std::string, 4>& Parts,
                                         std::array<float, 4>& V) const
{
    const std::string S = Text.toStdString();
    std::array<std::string, 4> P;
    if (ParamsList->currentIndex() == TRIM_ASPECT) {
        const auto C = Split(S, ':');
        if (C.size() != 2)
            return false;
        const auto Pos = Split(C[1], ',');
        if (Pos.size() != 3)
            return false;
        P = {C[0], Pos[0], Pos[1], Pos[2]};
    } else {
        const auto C = Split(S, ',');
        if (C.size() != 4)
            return false;
        P = {C[0], C[1], C[2], C[3]};
    }
    const int64_t W = Master.Mem ? Master.Width : 1000, H = Master.Mem ? Master.Height : 1000;
    std::array<float, 4> R;
    try {
        for (size_t i = 0; i < 4; ++i) {
            if (!IsValidSizeExpression(P[i]))
                return false;
            R[i] = float(EvaluateExpression(SubstituteWidthHeight(P[i], W, H)));
        }
    } catch (const std::exception&) {
        return false;
    }
    Parts = P;
    V = R;
    return true;
}

TRect TTrimmingOptionForm::UpdateSelectRect(const QString& Text, bool& Changed)
{
    Changed = true;
    std::array<std::string, 4> Parts;
    std::array<float, 4> V;
    TRect r{-1, -1, -1, -1};
    const double W = Master.Width, H = Master.Height;
    if (EvaluateParams(Text, Parts, V)) {
        const double A = V[0], B = V[1], C = V[2], D = V[3];
        switch (ParamsList->currentIndex()) {
        case TRIM_RECT:
            r.Left = RoundHalf(A);
            r.Top = RoundHalf(B);
            r.Right = int32_t(std::min<int64_t>(int64_t(r.Left) + RoundHalf(C), int64_t(W)));
            r.Bottom = int32_t(std::min<int64_t>(int64_t(r.Top) + RoundHalf(D), int64_t(H)));
            break;
        case TRIM_MARGIN:
            r = {RoundHalf(A), RoundHalf(B), RoundHalf(W - RoundHalf(C)), RoundHalf(H - RoundHalf(D))};
            break;
        case TRIM_PERCENT:
            r = {RoundHalf(W * A / 100), RoundHalf(H * B / 100), RoundHalf((100 - C) * W / 100),
                 RoundHalf((100 - D) * H / 100)};
            break;
        case TRIM_ASPECT: {
            if (!(A > 0 && B > 0)) {
                Changed = false;
                return PreviewWindows.PreviewForm ? PreviewWindows.PreviewForm->SelectRect() : r;
            }
            // The effect holds positions to the picture's edges; so does the selection.
            const double X = std::clamp<double>(C, 0, 100), Y = std::clamp<double>(D, 0, 100);
            if (H >= W * B / A) {
                const int32_t h = RoundHalf(W * B / A);
                r.Left = 0;
                r.Right = int32_t(W);
                r.Top = RoundHalf((H - h) * Y / 100);
                r.Bottom = r.Top + h;
            } else {
                const int32_t w = RoundHalf(H * A / B);
                r.Top = 0;
                r.Bottom = int32_t(H);
                r.Left = RoundHalf((W - w) * X / 100);
                r.Right = r.Left + w;
            }
            break;
        }
        default:
            break;
        }
    }
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->SetSelectRect(r);
    return r;
}

bool TTrimmingOptionForm::FirstSetApplies() const
{
    const int Exp = BranchList->currentIndex();
    return Exp == TRIM_FIRST_ONLY || Master.Width > Master.Height ||
        (Master.Width == Master.Height && Exp == TRIM_SQUARE_FIRST);
}

void TTrimmingOptionForm::SelectFromApplicable()
{
    bool Changed;
    UpdateSelectRect((FirstSetApplies() ? FirstSetEdit : SecondSetEdit)->text(), Changed);
}

void TTrimmingOptionForm::SelectRectChanged(TRect& r)
{
    if (!Master.Mem)
        return;
    const int64_t W = Master.Width, H = Master.Height;
    QString T;
    switch (ParamsList->currentIndex()) {
    case TRIM_RECT:
        T = Format("%d,%d,%d,%d", r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
        break;
    case TRIM_MARGIN:
        T = Format("%d,%d,%d,%d", r.Left, r.Top, int(W - r.Right), int(H - r.Bottom));
        break;
    case TRIM_PERCENT:
        T = QString::fromStdString(Fixed2(r.Left * 100.0 / W) + "," + Fixed2(r.Top * 100.0 / H) + "," +
                                   Fixed2((W - r.Right) * 100.0 / W) + "," + Fixed2((H - r.Bottom) * 100.0 / H));
        break;
    case TRIM_ASPECT: {
        const int64_t w = int64_t(r.Right) - r.Left, h = int64_t(r.Bottom) - r.Top;
        if (w <= 0 || h <= 0)
            return; // no ratio to write; the text stays as it was
        const int64_t g = std::gcd(w, h);
        // The position is a share of the free extent; with none left (the
        // whole picture selected) the crop is centred.
        double Pos;
        if (w == W)
            Pos = H > h ? r.Top * 100.0 / double(H - h) : 50.0;
        else if (h == H)
            Pos = W > w ? r.Left * 100.0 / double(W - w) : 50.0;
        else
            return;
        T = QString::fromStdString(std::to_string(w / g) + ":" + std::to_string(h / g) + "," + Fixed2(Pos) + "," +
                                   Fixed2(Pos));
        break;
    }
    default:
        return;
    }
    QLineEdit* E = FirstSetApplies() ? FirstSetEdit : SecondSetEdit;
    const bool Old = IgnoreEditChange;
    IgnoreEditChange = true;
    E->setText(T);
    IgnoreEditChange = Old;
}

void TTrimmingOptionForm::ModeChanged()
{
    static const char* const Neutral[4] = {"0,0,W,H", "0,0,0,0", "0,0,0,0", "1:1,50,50"};
    const int Mode = ParamsList->currentIndex();
    if (Mode < 0 || Mode > 3)
        return;
    FOtherMode = -1;
    IgnoreEditChange = true;
    FirstSetEdit->setText(QString::fromLatin1(Neutral[Mode]));
    SecondSetEdit->setText(QString::fromLatin1(Neutral[Mode]));
    IgnoreEditChange = false;
    if (Master.Mem)
        SelectFromApplicable();
}

void TTrimmingOptionForm::BranchChanged()
{
    static const char* const First[3] = {"W >= H", "W > H", "ALL"};
    static const char* const Second[3] = {"W < H", "W <= H", ""};
    const int i = std::clamp(BranchList->currentIndex(), 0, 2);
    FirstSetLabel->setText(Text(First[i]));
    SecondSetLabel->setText(Text(Second[i]));
    SetControlsVisible({SecondSetLabel, SecondSetEdit}, i != 2);
    if (i == 2 && Master.Mem) {
        bool Changed;
        UpdateSelectRect(FirstSetEdit->text(), Changed);
    }
}

void TTrimmingOptionForm::EditChanged(int Set)
{
    if (IgnoreEditChange || !Master.Mem)
        return;
    const bool First = FirstSetApplies();
    if (Set == 0 ? First : (!First || BranchList->currentIndex() == TRIM_FIRST_ONLY)) {
        bool Changed;
        UpdateSelectRect((Set == 0 ? FirstSetEdit : SecondSetEdit)->text(), Changed);
    }
}

void TTrimmingOptionForm::HandRatio()
{
    int32_t A = 0, B = 0;
    if (RatioList->currentIndex() > 0)
        ParseRatioPair(RatioList->currentText().toStdString(), A, B);
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->SetSelectSize(TSize{A, B});
}

void TTrimmingOptionForm::SelectModeChanged()
{
    HandRatio();
}

bool TTrimmingOptionForm::AddRatio(const QString& Text)
{
    int32_t A = 0, B = 0;
    ParseRatioPair(Text.toStdString(), A, B);
    if (A < 1 || B < 1)
        return false;
    int i = RatioList->findText(Text, Qt::MatchExactly);
    if (i < 1) {
        RatioList->addItem(Text);
        i = RatioList->count() - 1;
    }
    RatioList->setCurrentIndex(i);
    HandRatio();
    return true;
}

void TTrimmingOptionForm::AddClicked()
{
    const QString Start = RatioList->currentIndex() > 0 ? RatioList->currentText() : QStringLiteral("1:1");
    bool Ok = false;
    const QString T = AskText(this, Text("Add select mode"), Text("Input aspect ratio"), Start, Ok);
    if (Ok)
        AddRatio(T);
}

void TTrimmingOptionForm::DeleteRatio()
{
    const int i = RatioList->currentIndex();
    if (i < 1)
        return;
    RatioList->removeItem(i);
    RatioList->setCurrentIndex(std::min(i, RatioList->count() - 1));
    if (RatioList->currentIndex() > 0)
        HandRatio();
}

void TTrimmingOptionForm::PreviewClicked()
{
    RatioPanel->setEnabled(PreviewBox->isChecked());
    if (!Master.Mem || !PreviewWindows.PreviewForm)
        return;
    PreviewWindows.PreviewForm->setVisible(PreviewBox->isChecked());
    if (PreviewBox->isChecked())
        PreviewWindows.PreviewForm->RepaintPicture();
}

void TTrimmingOptionForm::OkClicked()
{
    std::array<std::string, 4> First, Second;
    std::array<float, 4> V;
    if (!EvaluateParams(FirstSetEdit->text(), First, V) || !EvaluateParams(SecondSetEdit->text(), Second, V)) {
        ShowMessageBox(this, QMessageBox::Warning, Text("Error"),
                       Text("Error occurred in evaluation of the inputted parameter"));
        return;
    }
    std::copy(First.begin(), First.end(), Value.begin());
    std::copy(Second.begin(), Second.end(), Value.begin() + 4);
    accept();
}

void TTrimmingOptionForm::PreviewClosed(QObject*)
{
    PreviewBox->setChecked(false);
    PreviewClicked();
}

void TTrimmingOptionForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (Master.Mem) {
        SelectFromApplicable();
        RequestPreview();
    }
}

void TTrimmingOptionForm::RequestPreview()
{
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->RepaintPicture();
}

bool TTrimmingOptionForm::IsPreviewChecked()
{
    return PreviewBox->isChecked();
}

namespace {

bool ExecTrimmingOptionForm(TTrimmingFilter& Effect, QWidget* Owner, const std::function<int32_t()>& SelectedEntry)
{
    auto Form = std::make_unique<TTrimmingOptionForm>(Owner);
    Form->SetParams(Effect.FType, Effect.FExp, Effect.FValue, Effect.FSizeList, Effect.FPreview);
    Form->ShowSelectedEntry(SelectedEntry);
    if (Form->exec() != QDialog::Accepted)
        return false;
    int Mode, Exp;
    Form->GetParams(Mode, Exp, Effect.FValue, Effect.FSizeList, Effect.FPreview);
    Effect.FType = Mode;
    Effect.FExp = Exp;
    Effect.CopyToOwner();
    return true;
}

} // namespace

void RegisterTrimmingOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex)
{
    RegisterEffectDialog(EFFECT_TRIMMING, ExecTrimmingOptionForm, Owner, std::move(SelectedIndex));
}
