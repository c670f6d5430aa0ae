#include "effects/ui/AddTextDlg.h"

#include "core/Global.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"
#include "effects/ui/PreviewBaseFrm.h"
#include "effects/ui/WindowFuncs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTime>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

// Colours are kept red in the low byte; Qt wants them the other way round.
QColor ToQColor(int32_t C)
{
    return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}
int32_t FromQColor(const QColor& C)
{
    return C.red() | (C.green() << 8) | (C.blue() << 16);
}

TDateTime LocalNow()
{
    const QDateTime Now = QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(Now.date())) + Now.time().msecsSinceStartOfDay() / 86400000.0;
}

// A numeric edit: its label, max, min, default, step and decimals.
struct TEditSpec {
    const char* Label;
    double Max, Min, Value, Step;
    int Fixed;
};

// The help icon: a click shows Tip in a balloon at the icon, leaving the
// icon hides it again.
class THelpIcon : public QLabel {
public:
    THelpIcon(QWidget* Parent, QString Tip) : QLabel(Parent), FTip(std::move(Tip))
    {
        // The main window's help picture (its built-in one once that window
        // has drawn it), else the desktop's, else the style's question mark.
        QPixmap P;
        if (QIcon::hasThemeIcon(QStringLiteral("help-contents"))) {
            P = QIcon::fromTheme(QStringLiteral("help-contents")).pixmap(16, 16);
        } else {
            QImageReader R(QStringLiteral(":/icons/help.svg"));
            R.setScaledSize(QSize(16, 16));
            P = QPixmap::fromImage(R.read());
        }
        if (P.isNull())
            P = style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(16, 16);
        setPixmap(P);
        setFixedSize(20, 20);
        setAlignment(Qt::AlignCenter);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    // On the release: a balloon shown on the press is closed by the release.
    void mouseReleaseEvent(QMouseEvent*) override { QToolTip::showText(mapToGlobal(rect().center()), FTip, this); }
    void leaveEvent(QEvent*) override { QToolTip::hideText(); }

private:
    QString FTip;
};

} // namespace

TAddTextForm::TAddTextForm(QWidget* Owner, TAddTextPreviewLoader Loader) : QDialog(Owner), FLoader(std::move(Loader))
{
    setWindowTitle(Text("AddText"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    const QString Help = Text(SAddTextHelp).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    TextEdit = new QPlainTextEdit(this);
    TextEdit->setToolTip(Help);
    TextEdit->setFixedHeight(72);
    // Lines, not tabs: Tab moves on to the next control.
    TextEdit->setTabChangesFocus(true);
    HelpIcon = new THelpIcon(this, Help);
    PositionList = new QComboBox(this);
    for (const char* S :
         {"TopLeft", "Left", "BottomLeft", "Top", "Center", "Bottom", "TopRight", "Right", "BottomRight"})
        PositionList->addItem(Text(S));
    FontButton = new QPushButton(this);
    auto MakePanel = [this] {
        auto* P = new QPushButton(this);
        P->setFixedSize(40, 20);
        P->setFlat(true);
        P->setAutoFillBackground(true);
        connect(P, &QPushButton::clicked, this, [this, P] { PickColor(P); });
        return P;
    };
    FontColorPanel = MakePanel();
    BackColorPanel = MakePanel();
    ShadowBox = new QCheckBox(Text("DropShadow"), this);
    GlowBox = new QCheckBox(Text("Glow"), this);
    ShadowGroup = new QGroupBox(this);
    GlowGroup = new QGroupBox(this);
    ShadowColorPanel = MakePanel();
    GlowColorPanel = MakePanel();
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);
    PreviewArea = new TDragPreviewArea(this, this, PreviewWidth, PreviewHeight);

    // Each numeric edit sits in a grid cell of its group with its label.
    auto* Outer = new QVBoxLayout(this);
    auto* Main = new QGridLayout;
    auto* Groups = new QGridLayout;
    auto* Buttons = new QHBoxLayout;
    Outer->addWidget(PreviewArea, 0, Qt::AlignHCenter);
    auto* TextRow = new QHBoxLayout;
    TextRow->addWidget(TextEdit, 1);
    TextRow->addWidget(HelpIcon, 0, Qt::AlignTop);
    Outer->addLayout(TextRow);
    Outer->addLayout(Main);
    Outer->addLayout(Groups);
    Outer->addLayout(Buttons);
    auto* Shadow = new QGridLayout(ShadowGroup);
    auto* Glow = new QGridLayout(GlowGroup);
    auto Place = [&](const TEditSpec& S, QGridLayout* L, int Row, int Col) {
        auto* Edit = new TUDNumEdit(this, S.Max, S.Min, S.Value, S.Step, S.Fixed);
        Edit->setFixedWidth(64 + TUpDown::DefaultWidth);
        L->addWidget(new QLabel(Text(S.Label), this), Row, Col);
        L->addWidget(Edit, Row, Col + 1);
        connect(Edit, &TNumEdit::Change, this, &TAddTextForm::UpdatePreview);
        return Edit;
    };
    Main->addWidget(new QLabel(Text("Position"), this), 0, 0);
    Main->addWidget(PositionList, 0, 1);
    XOffsetEdit = Place({"Offset X", 9999, -9999, 0, 1, 0}, Main, 0, 2);
    YOffsetEdit = Place({"Offset Y", 9999, -9999, 0, 1, 0}, Main, 0, 4);
    Main->addWidget(FontButton, 1, 0, 1, 2);
    Main->addWidget(new QLabel(Text("FontColor"), this), 1, 2);
    Main->addWidget(FontColorPanel, 1, 3);
    FontOpacityEdit = Place({"Opacity", 100, 0, 100, 1, 0}, Main, 1, 4);
    Main->addWidget(new QLabel(Text("BackColor"), this), 2, 2);
    Main->addWidget(BackColorPanel, 2, 3);
    BackOpacityEdit = Place({"Opacity", 100, 0, 0, 1, 0}, Main, 2, 4);
    MarginXEdit = Place({"Margin X", 99, -99, 0, 1, 0}, Main, 3, 0);
    MarginYEdit = Place({"Margin Y", 99, -99, 0, 1, 0}, Main, 3, 2);
    LinePitchEdit = Place({"Line Space", 999, 0, 0, 0.25, 2}, Main, 3, 4);
    Shadow->addWidget(new QLabel(Text("Color"), this), 0, 0);
    Shadow->addWidget(ShadowColorPanel, 0, 1);
    ShadowOpacityEdit = Place({"Opacity", 100, 0, 100, 1, 0}, Shadow, 0, 2);
    ShadowRadiusEdit = Place({"Radius", 99, 0.5, 2, 0.5, 1}, Shadow, 1, 0);
    ShadowStrEdit = Place({"Strength", 99, 1, 2, 1, 0}, Shadow, 1, 2);
    ShadowOffsetXEdit = Place({"Offset X", 99, -99, 2, 1, 0}, Shadow, 2, 0);
    ShadowOffsetYEdit = Place({"Offset Y", 99, -99, 2, 1, 0}, Shadow, 2, 2);
    Glow->addWidget(new QLabel(Text("Color"), this), 0, 0);
    Glow->addWidget(GlowColorPanel, 0, 1);
    GlowOpacityEdit = Place({"Opacity", 100, 0, 100, 1, 0}, Glow, 0, 2);
    GlowRadiusEdit = Place({"Radius", 99, 0.5, 2, 0.5, 1}, Glow, 1, 0);
    GlowStrEdit = Place({"Strength", 99, 1, 2, 1, 0}, Glow, 1, 2);

    Groups->addWidget(ShadowBox, 0, 0);
    Groups->addWidget(ShadowGroup, 1, 0);
    Groups->addWidget(GlowBox, 0, 1);
    Groups->addWidget(GlowGroup, 1, 1);
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);

    connect(TextEdit, &QPlainTextEdit::textChanged, this, &TAddTextForm::UpdatePreview);
    connect(PositionList, &QComboBox::activated, this, [this] {
        // A new anchor starts from no offset.
        UpdateLock = true;
        XOffsetEdit->SetValue(0);
        YOffsetEdit->SetValue(0);
        UpdateLock = false;
        UpdatePreview();
    });
    connect(FontButton, &QPushButton::clicked, this, &TAddTextForm::PickFont);
    connect(ShadowBox, &QCheckBox::toggled, this, [this](bool On) {
        SetControlsEnabled(ShadowGroup, On);
        UpdatePreview();
    });
    connect(GlowBox, &QCheckBox::toggled, this, [this](bool On) {
        SetControlsEnabled(GlowGroup, On);
        UpdatePreview();
    });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    for (int I = 0; I < 16; ++I)
        QColorDialog::setCustomColor(I, QColor(0xFF, 0xFF, 0xFF));
    SetControlsEnabled(ShadowGroup, false);
    SetControlsEnabled(GlowGroup, false);
    for (QPushButton* P : {FontColorPanel, BackColorPanel, ShadowColorPanel, GlowColorPanel})
        SetPanelColor(P, 0);
    BackBuf = CreateFilledBitmap(PreviewWidth, PreviewHeight, QImage::Format_RGB32, 0x808080);
    ShowFontCaption();
    KeepCaptionWhole(this);
    UpdateLock = false;
}

TAddTextForm::~TAddTextForm()
{
    FreeImg(Src);
    FreeImg(Dest);
}

void TAddTextForm::SetPanelColor(QPushButton* Panel, int32_t Color)
{
    Color &= 0xFFFFFF;
    Panel->setProperty("Color", Color);
    PaintSwatch(Panel, uint32_t(Color));
}

static int32_t PanelColor(const QPushButton* Panel)
{
    return Panel->property("Color").toInt() & 0xFFFFFF;
}

void TAddTextForm::PickColor(QPushButton* Panel)
{
    const QColor C = QColorDialog::getColor(ToQColor(PanelColor(Panel)), this);
    if (!C.isValid())
        return;
    SetPanelColor(Panel, FromQColor(C));
    if (Panel == FontColorPanel)
        FFont.Color = PanelColor(Panel);
    UpdatePreview();
}

void TAddTextForm::ShowFontCaption()
{
    FontButton->setText(QString::asprintf("%s %dpt", FFont.Name.c_str(), FFont.Size));
}

void TAddTextForm::PickFont()
{
    QFont Start(QString::fromStdString(FFont.Name));
    Start.setPointSize(std::max(1, FFont.Size));
    Start.setBold(FFont.Style & fsBold);
    Start.setItalic(FFont.Style & fsItalic);
    Start.setUnderline(FFont.Style & fsUnderline);
    Start.setStrikeOut(FFont.Style & fsStrikeOut);
    bool Ok = false;
    const QFont F = QFontDialog::getFont(&Ok, Start, this, QString(), QFontDialog::ScalableFonts);
    if (!Ok)
        return;
    FFont.Name = F.family().toStdString();
    FFont.Size = F.pointSize() > 0 ? F.pointSize() : FFont.Size;
    FFont.Style = (F.bold() ? fsBold : 0) | (F.italic() ? fsItalic : 0) | (F.underline() ? fsUnderline : 0) |
        (F.strikeOut() ? fsStrikeOut : 0);
    ShowFontCaption();
    UpdatePreview();
}

void TAddTextForm::SetParam(const TAddTextParam& Param, const TFont& Font, const std::string& Str)
{
    UpdateLock = true;
    // The effect separates lines with CR LF, the edit with LF.
    TextEdit->setPlainText(QString::fromStdString(Str).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    PositionList->setCurrentIndex(Param.Position >= 0 && Param.Position <= 8 ? Param.Position : 8);
    XOffsetEdit->SetValue(Param.XOffset);
    YOffsetEdit->SetValue(Param.YOffset);
    FontOpacityEdit->SetValue(Param.FontOpacity);
    BackOpacityEdit->SetValue(Param.BackOpacity);
    MarginXEdit->SetValue(Param.MarginX);
    MarginYEdit->SetValue(Param.MarginY);
    LinePitchEdit->SetValue(Param.LinePitch);
    ShadowOpacityEdit->SetValue(Param.ShadowOpacity);
    ShadowRadiusEdit->SetValue(Param.ShadowRadius);
    ShadowStrEdit->SetValue(Param.ShadowStr);
    ShadowOffsetXEdit->SetValue(Param.ShadowOffsetX);
    ShadowOffsetYEdit->SetValue(Param.ShadowOffsetY);
    GlowOpacityEdit->SetValue(Param.GlowOpacity);
    GlowRadiusEdit->SetValue(Param.GlowRadius);
    GlowStrEdit->SetValue(Param.GlowStr);
    FFont = Font;
    FFont.Color &= 0xFFFFFF;
    SetPanelColor(FontColorPanel, FFont.Color);
    SetPanelColor(BackColorPanel, Param.BackColor);
    SetPanelColor(ShadowColorPanel, Param.ShadowColor);
    SetPanelColor(GlowColorPanel, Param.GlowColor);
    ShadowBox->setChecked(Param.Shadow);
    GlowBox->setChecked(Param.Glow);
    SetControlsEnabled(ShadowGroup, Param.Shadow);
    SetControlsEnabled(GlowGroup, Param.Glow);
    ShowFontCaption();
    UpdateLock = false;
    UpdatePreview();
}

void TAddTextForm::GetParam(TAddTextParam& Param, TFont& Font, std::string& Str) const
{
    Str = TextEdit->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
    Param.Position = PositionList->currentIndex();
    Param.XOffset = XOffsetEdit->IntValue();
    Param.YOffset = YOffsetEdit->IntValue();
    Param.FontOpacity = FontOpacityEdit->IntValue();
    Param.BackOpacity = BackOpacityEdit->IntValue();
    Param.MarginX = MarginXEdit->IntValue();
    Param.MarginY = MarginYEdit->IntValue();
    Param.LinePitch = LinePitchEdit->Value();
    Param.ShadowOpacity = ShadowOpacityEdit->IntValue();
    Param.ShadowRadius = ShadowRadiusEdit->Value();
    Param.ShadowStr = ShadowStrEdit->IntValue();
    Param.ShadowOffsetX = ShadowOffsetXEdit->IntValue();
    Param.ShadowOffsetY = ShadowOffsetYEdit->IntValue();
    Param.GlowOpacity = GlowOpacityEdit->IntValue();
    Param.GlowRadius = GlowRadiusEdit->Value();
    Param.GlowStr = GlowStrEdit->IntValue();
    Param.BackColor = PanelColor(BackColorPanel);
    Param.ShadowColor = PanelColor(ShadowColorPanel);
    Param.GlowColor = PanelColor(GlowColorPanel);
    Param.Shadow = ShadowBox->isChecked();
    Param.Glow = GlowBox->isChecked();
    Font = FFont;
}

void TAddTextForm::SetPreviewImageIndex(int32_t Index)
{
    FreeImg(Src);
    FreeImg(Dest);
    bool Have = false;
    if (Index >= 0 && FLoader) {
        TAddTextPreviewSource N;
        try {
            Have = FLoader(Index, Src, N);
        } catch (...) {
            // An unreadable entry previews like no entry at all.
            FreeImg(Src);
            Have = false;
        }
        // Only 8-bit pictures of 1 to 4 channels can be shown.
        if (Have && (Src.Channels < 1 || Src.Channels > 4 || !Src.Mem || Src.Width == 0 || Src.Height == 0)) {
            FreeImg(Src);
            Have = false;
        }
        if (Have)
            Names = N;
    }
    if (!Have) {
        Names.Time = LocalNow();
        Names.OldFileName = "oldfilename.ext";
        Names.NewFileName = "newfilename.ext";
        // The number is added to the rule's start value: with no entry the
        // text shows the number the first file would get.
        Names.Number = 0;
        AllocImg(Dest, PreviewWidth, PreviewHeight, 3);
    } else {
        AllocImg(Dest, std::min<uint32_t>(Src.Width, PreviewWidth), std::min<uint32_t>(Src.Height, PreviewHeight),
                 Src.Channels);
    }
    UpdatePreview();
}

void TAddTextForm::UpdatePreview()
{
    if (UpdateLock)
        return;
    if (!Dest.Mem)
        AllocImg(Dest, PreviewWidth, PreviewHeight, 3);
    TAddTextParam Param;
    TFont Font;
    std::string Rule;
    GetParam(Param, Font, Rule);

    if (Src.Mem) {
        // The window follows the anchor: column = anchor / 3, row = anchor % 3.
        const int32_t Col = Param.Position / 3, Row = Param.Position % 3;
        auto Start = [](int32_t Where, int64_t Full, int64_t Part) {
            const int64_t V = Where == 0 ? 0 : Where == 1 ? (Full - Part) / 2 : Full - Part;
            return int32_t(std::max<int64_t>(V, 0));
        };
        const int32_t L = Start(Col, Src.Width, PreviewWidth), T = Start(Row, Src.Height, PreviewHeight);
        TRect R{L, T, L + int32_t(Dest.Width), T + int32_t(Dest.Height)};
        CopyImageRect(Src, Dest, R, 0, 0);
    } else {
        for (uint32_t Y = 0; Y < Dest.Height; ++Y)
            std::memset(ScanLine(Dest, Y), 128, size_t(Dest.Width) * Dest.Channels);
    }

    const int32_t Number = ExtractStartNumber(Rule) + Names.Number;
    std::string Str;
    ExpandTextTokens(Rule, Names.NewFileName, Names.OldFileName, Str, Number, Names.Time);
    TextRect = TRect{};
    // Without the shared shrinker (windowless start) the text cannot be drawn.
    if (PreviewParams.Antialiasing) {
        try {
            RenderTextOverlay(Dest, Param, Font, PreviewParams.Antialiasing, PreviewParams.GaussianBlur, Str, FontCache,
                              TextRect);
        } catch (...) {
            TextRect = TRect{};
        }
    }

    // Back buffer: the picture over mid gray, alpha pictures composed over it.
    BackBuf.fill(QColor(0x80, 0x80, 0x80));
    QImage Img(int(Dest.Width), int(Dest.Height), QImage::Format_ARGB32);
    for (uint32_t Y = 0; Y < Dest.Height; ++Y) {
        const uint8_t* S = ScanLine(Dest, Y);
        auto* D = reinterpret_cast<QRgb*>(Img.scanLine(int(Y)));
        for (uint32_t X = 0; X < Dest.Width; ++X, S += Dest.Channels) {
            switch (Dest.Channels) {
            case 1:
                D[X] = qRgb(S[0], S[0], S[0]);
                break;
            case 2:
                D[X] = qRgba(S[0], S[0], S[0], S[1]);
                break;
            case 3:
                D[X] = qRgb(S[2], S[1], S[0]);
                break;
            default:
                D[X] = qRgba(S[2], S[1], S[0], S[3]);
                break;
            }
        }
    }
    QPainter P(&BackBuf);
    P.drawImage(0, 0, Img);
    P.end();
    PreviewArea->update();
}

bool TAddTextForm::InText(int X, int Y) const
{
    return TextRect.Left <= X && X <= TextRect.Right && TextRect.Top <= Y && Y < TextRect.Bottom;
}

void TAddTextForm::PreviewMouseDown(int X, int Y)
{
    if (!InText(X, Y))
        return;
    IsDrag = true;
    DragPos = QPoint(XOffsetEdit->IntValue() - X, YOffsetEdit->IntValue() - Y);
}

void TAddTextForm::PreviewMouseMove(int X, int Y)
{
    if (IsDrag) {
        UpdateLock = true;
        XOffsetEdit->SetValue(X + DragPos.x());
        YOffsetEdit->SetValue(Y + DragPos.y());
        UpdateLock = false;
        UpdatePreview();
    } else {
        PreviewArea->setCursor(InText(X, Y) ? Qt::SizeAllCursor : Qt::ArrowCursor);
    }
}

void TAddTextForm::PreviewMouseUp()
{
    IsDrag = false;
}

namespace {

bool ExecAddTextForm(TAddTextEffect& Effect, QWidget* Owner, const TAddTextPreviewLoader& PreviewLoader,
                     const std::function<int32_t()>& PreviewIndex)
{
    auto Form = std::make_unique<TAddTextForm>(Owner, PreviewLoader);
    Form->SetParam(Effect.FParam, Effect.FFont, Effect.FText);
    Form->SetPreviewImageIndex(SelectedPreviewEntry(PreviewIndex));
    if (Form->exec() != QDialog::Accepted)
        return false;
    Form->GetParam(Effect.FParam, Effect.FFont, Effect.FText);
    return true;
}

} // namespace

void RegisterAddTextForm(QWidget* Owner, TAddTextPreviewLoader Loader, std::function<int32_t()> CurrentIndex)
{
    RegisterEffectDialog(EFFECT_ADDTEXT, ExecAddTextForm, Owner, std::move(Loader), std::move(CurrentIndex));
}
