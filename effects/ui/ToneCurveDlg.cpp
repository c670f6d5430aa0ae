#include "effects/ui/ToneCurveDlg.h"

#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/EffectDialog.h"
#include "effects/ui/WindowFuncs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

constexpr int BoxSize = 260;

TPointArray IdentityList(int Index)
{
    if (Index == tcChroma)
        return {{0, 0}, {128, 128}, {255, 255}};
    return {{0, 0}, {255, 255}};
}

// The editor relies on x strictly increasing and at least one point.
TPointArray SoundList(const TPointArray& P, int Index)
{
    TPointArray R = SortCurvePoints(P);
    return R.empty() ? IdentityList(Index) : R;
}

// What the workers apply: the dialog's curves.
struct TToneCurveState {
    TCurveSet Pt;
    void Read(const TToneCurveOptionForm& F) { Pt = F.Pt; }
    void Apply(TImgInfo& I) const { ApplyToneCurvePreview(I, Pt); }
};

} // namespace

// ---- The curve box ----

TToneCurveBox::TToneCurveBox(TToneCurveOptionForm* Form) : QWidget(Form), FForm(Form)
{
    setFixedSize(BoxSize, BoxSize);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

void TToneCurveBox::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, FForm->BackBuf);
}

void TToneCurveBox::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton)
        FForm->CurveMouseDown(int(Event->position().x()), int(Event->position().y()));
}

void TToneCurveBox::mouseMoveEvent(QMouseEvent* Event)
{
    FForm->CurveMouseMove(int(Event->position().x()), int(Event->position().y()));
}

void TToneCurveBox::mouseReleaseEvent(QMouseEvent*)
{
    FForm->CurveMouseUp();
}

// ---- The dialog ----

TToneCurveOptionForm::TToneCurveOptionForm(QWidget* Owner) : TPreviewBaseForm(Owner)
{
    setWindowTitle(Text("Tone curve"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));
    UseHistogram = true;

    PresetList = new QComboBox(this);
    SavePresetButton = new QPushButton(Text("Save"), this);
    auto* Group = new QGroupBox(Text("Histogram"), this);
    LinearScaleButton = new QRadioButton(Text("Linear"), Group);
    LogScaleButton = new QRadioButton(Text("Log"), Group);
    LinearScaleButton->setChecked(true);
    auto* GroupLayout = new QHBoxLayout(Group);
    GroupLayout->addWidget(LinearScaleButton);
    GroupLayout->addWidget(LogScaleButton);
    ChannelList = new QComboBox(this);
    ChannelList->addItems({"RGB", "R", "G", "B", "Y", "CbCr"});
    ResetChannelButton = new QPushButton(Text("Reset"), this);
    CurveBox = new TToneCurveBox(this);
    PositionLabel = new QLabel("x=0,y=0", this);
    PointList = new QListWidget(this);
    PointList->setFixedWidth(90);
    PreviewBox = new QCheckBox(Text("Preview"), this);
    HistogramBox = new QCheckBox(Text("Histogram"), this);
    ResetAllButton = new QPushButton(Text("Reset"), this);
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);

    auto* Top = new QHBoxLayout;
    Top->addWidget(new QLabel(Text("Preset"), this));
    Top->addWidget(PresetList, 1);
    Top->addWidget(SavePresetButton);
    auto* ChannelRow = new QHBoxLayout;
    ChannelRow->addWidget(new QLabel(Text("Channel"), this));
    ChannelRow->addWidget(ChannelList, 1);
    ChannelRow->addWidget(ResetChannelButton);
    auto* Left = new QVBoxLayout;
    Left->addLayout(ChannelRow);
    Left->addWidget(CurveBox);
    Left->addWidget(PositionLabel);
    auto* Middle = new QHBoxLayout;
    Middle->addLayout(Left);
    Middle->addWidget(PointList);
    auto* Bottom = new QHBoxLayout;
    Bottom->addWidget(PreviewBox);
    Bottom->addWidget(HistogramBox);
    Bottom->addWidget(ResetAllButton);
    Bottom->addStretch();
    Bottom->addWidget(OkButton);
    Bottom->addWidget(CancelButton);
    auto* Main = new QVBoxLayout(this);
    Main->addLayout(Top);
    Main->addWidget(Group);
    Main->addLayout(Middle);
    Main->addLayout(Bottom);

    if (Histogram)
        Histogram->Attach(this, HistogramBox, [this] { RequestPreview(); });

    for (int i = 0; i < tcCount; ++i)
        Pt[i] = DefaultPt[i] = IdentityList(i);
    SampleAll();

    // The empty grid.
    Graph = CreateFilledBitmap(BoxSize, BoxSize, QImage::Format_RGB32, palette().color(QPalette::Button));
    {
        QPainter P(&Graph);
        P.fillRect(2, 2, 256, 256, Qt::white);
        P.setPen(QColor(0xDD, 0xDD, 0xDD));
        for (int k = 1; k <= 7; ++k) {
            P.drawLine(32 * k + 2, 2, 32 * k + 2, 257);
            P.drawLine(2, 32 * k + 1, 257, 32 * k + 1);
        }
        P.setPen(QColor(0xAA, 0xAA, 0xAA));
        P.drawRect(1, 1, 258, 258);
        P.drawLine(130, 2, 130, 257);
        P.drawLine(2, 129, 257, 129);
    }
    BackBuf = Graph.copy();

    PointList->viewport()->installEventFilter(this);
    PresetList->addItem(QString());
    for (const std::string& Name : ToneCurvePresetNames())
        PresetList->addItem(QString::fromStdString(Name));
    ChannelList->setCurrentIndex(0);
    PresetList->setCurrentIndex(0);

    connect(ChannelList, &QComboBox::activated, this, [this](int i) { SetChannel(i); });
    connect(PresetList, &QComboBox::activated, this, [this](int i) { LoadPreset(i); });
    connect(ResetChannelButton, &QPushButton::clicked, this, [this] { ResetChannel(); });
    connect(ResetAllButton, &QPushButton::clicked, this, [this] { ResetAll(); });
    connect(SavePresetButton, &QPushButton::clicked, this, [this] { SaveClicked(); });
    connect(LinearScaleButton, &QRadioButton::toggled, this, [this] { Redraw(); });
    connect(PreviewBox, &QCheckBox::clicked, this, [this] { PreviewToggled(); });
    connect(HistogramBox, &QCheckBox::clicked, this, [this] { HistogramToggled(); });
    connect(PointList, &QListWidget::itemDoubleClicked, this, [this] { PointDoubleClicked(); });
    connect(OkButton, &QPushButton::clicked, this, [this] {
        if (Histogram)
            Histogram->SaveOption();
        accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    RefreshPointList();
    Redraw();
    KeepCaptionWhole(this);
}

TToneCurveOptionForm::~TToneCurveOptionForm()
{
    // The workers read Pt: stop them while it still exists.
    StopPreviewThread();
    StopSpotPreviewThread();
}

void TToneCurveOptionForm::SetParam(const TCurveSet& Points, int32_t HistogramType, bool AHistogram, bool APreview)
{
    for (int i = 0; i < tcCount; ++i)
        Pt[i] = DefaultPt[i] = SoundList(Points[i], i);
    SampleAll();
    (HistogramType == 1 ? LogScaleButton : LinearScaleButton)->setChecked(true);
    PreviewBox->setChecked(APreview);
    HistogramBox->setEnabled(APreview);
    HistogramBox->setChecked(AHistogram);
    RefreshPointList();
    Redraw();
}

void TToneCurveOptionForm::GetParam(TCurveSet& Points, int32_t& HistogramType, bool& AHistogram, bool& APreview) const
{
    Points = Pt;
    HistogramType = LogScaleButton->isChecked() ? 1 : 0;
    APreview = PreviewBox->isChecked();
    AHistogram = HistogramBox->isChecked();
}

void TToneCurveOptionForm::SampleAll()
{
    for (int i = 0; i < tcCount; ++i)
        CurveToTable(Pt[i], CurveTable[i].data());
}

TCurvePoint TToneCurveOptionForm::MapMouse(int X, int Y)
{
    return {std::clamp(X - 2, 0, 255), std::clamp(255 - (Y - 2), 0, 255)};
}

int TToneCurveOptionForm::NearestPoint(int x) const
{
    const TPointArray& P = Pt[Channel];
    int Best = 65536, Index = 0;
    for (size_t i = 0; i < P.size(); ++i) {
        const int D = std::abs(x - P[i].x);
        if (D >= Best)
            break;
        Best = D;
        Index = int(i);
    }
    return Index;
}

void TToneCurveOptionForm::DrawMarker(bool Filled)
{
    const TPointArray& P = Pt[Channel];
    if (Current < 0 || Current >= int(P.size()))
        return;
    const TRect R = MarkerRect(P[Current].x + 2, 257 - P[Current].y, 3);
    QPainter Pn(&BackBuf);
    if (Filled)
        Pn.fillRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top, Qt::black);
    else {
        Pn.setPen(Qt::black);
        Pn.drawRect(R.Left, R.Top, R.Right - R.Left - 1, R.Bottom - R.Top - 1);
    }
}

void TToneCurveOptionForm::RestoreMarker()
{
    const TPointArray& P = Pt[Channel];
    if (Current < 0 || Current >= int(P.size()))
        return;
    // Redraw without the filled marker: cheap at this size.
    Redraw();
}

void TToneCurveOptionForm::CurveMouseMove(int X, int Y)
{
    const TCurvePoint M = MapMouse(X, Y);
    TPointArray& P = Pt[Channel];
    if (!IsDrag) {
        PositionLabel->setText(QString::asprintf("x=%d,y=%d", M.x, M.y));
        RestoreMarker();
        Current = NearestPoint(M.x);
        if (!P.empty() && std::abs(M.x - P[Current].x) < 11) {
            DrawMarker(true);
            CurveBox->update();
        }
        return;
    }
    if (Current < 0 || Current >= int(P.size())) {
        IsDrag = false;
        return;
    }
    const bool AfterPrev = Current == 0 || M.x > P[Current - 1].x;
    const bool BeforeNext = Current == int(P.size()) - 1 || M.x < P[Current + 1].x;
    if (AfterPrev && BeforeNext) {
        P[Current] = M;
        CurveToTable(P, CurveTable[Channel].data());
        RequestPreview();
        Redraw();
        DrawMarker(true);
        CurveBox->update();
    } else {
        // Dragged past a neighbour: the point goes (P has two or more here).
        P.erase(P.begin() + Current);
        Current = std::min(Current, int(P.size()) - 1);
        IsDrag = false;
        CurveToTable(P, CurveTable[Channel].data());
        RequestPreview();
        Redraw();
    }
    RefreshPointList();
}

void TToneCurveOptionForm::CurveMouseDown(int X, int Y)
{
    const TCurvePoint M = MapMouse(X, Y);
    TPointArray& P = Pt[Channel];
    if (P.empty())
        P.push_back(M);
    // Current may still point into another channel's list; the press acts on
    // the point nearest to it in this one.
    Current = NearestPoint(M.x);
    if (std::abs(M.x - P[Current].x) > 10) {
        if (M.x > P[Current].x)
            ++Current;
        P.insert(P.begin() + Current, M);
    }
    P[Current] = M;
    CurveToTable(P, CurveTable[Channel].data());
    RequestPreview();
    Redraw();
    DrawMarker(true);
    CurveBox->update();
    IsDrag = true;
    RefreshPointList();
}

void TToneCurveOptionForm::CurveMouseUp()
{
    IsDrag = false;
}

void TToneCurveOptionForm::RefreshPointList()
{
    PointList->clear();
    for (const TCurvePoint& p : Pt[Channel])
        PointList->addItem(QString::asprintf("%d,%d", p.x, p.y));
}

bool TToneCurveOptionForm::EditPoint(int Index, const QString& Input)
{
    TPointArray& P = Pt[Channel];
    if (Index < 0 || Index >= int(P.size()))
        return false;
    // A comma list as the presets are read: "12,34", "12, 34" and "12 34"
    // are the same point.
    const std::vector<std::string> Items = SplitItems(Input.toStdString());
    if (Items.size() != 2)
        return false;
    auto Read = [](const std::string& S) {
        int32_t V = -1;
        return TryStrToInt(S, V) ? int(V) : -1;
    };
    const int x = Read(Items[0]), y = Read(Items[1]);
    const bool AfterPrev = Index == 0 ? x >= 0 : x > P[Index - 1].x;
    const bool BeforeNext = Index == int(P.size()) - 1 ? x < 256 : x < P[Index + 1].x;
    if (!AfterPrev || !BeforeNext || y < 0 || y >= 256)
        return false;
    P[Index] = {x, y};
    CurveToTable(P, CurveTable[Channel].data());
    if (QListWidgetItem* Item = PointList->item(Index))
        Item->setText(QString::asprintf("%d,%d", x, y));
    RequestPreview();
    Redraw();
    return true;
}

void TToneCurveOptionForm::PointDoubleClicked()
{
    const int Index = PointList->currentRow();
    QListWidgetItem* Item = PointList->item(Index);
    if (!Item)
        return;
    bool Ok = false;
    const QString S = AskText(this, Text("Input control point"), QStringLiteral("X,Y"), Item->text(), Ok);
    if (Ok)
        EditPoint(Index, S);
}

bool TToneCurveOptionForm::eventFilter(QObject* Obj, QEvent* Event)
{
    // A left press on the empty part of the list would clear the selection.
    if (Obj == PointList->viewport() && Event->type() == QEvent::MouseButtonPress) {
        auto* Me = static_cast<QMouseEvent*>(Event);
        if (Me->button() == Qt::LeftButton && !PointList->itemAt(Me->position().toPoint()))
            return true;
    }
    return TPreviewBaseForm::eventFilter(Obj, Event);
}

void TToneCurveOptionForm::SetChannel(int Index)
{
    if (Index < 0 || Index >= tcCount)
        return;
    Channel = Index;
    Current = 0;
    IsDrag = false;
    RequestPreview();
    Redraw();
    RefreshPointList();
}

void TToneCurveOptionForm::ResetChannel()
{
    Pt[Channel] = IdentityList(Channel);
    Current = 0;
    CurveToTable(Pt[Channel], CurveTable[Channel].data());
    RequestPreview();
    Redraw();
    RefreshPointList();
}

void TToneCurveOptionForm::ResetAll()
{
    for (int i = 0; i < tcCount; ++i)
        Pt[i] = IdentityList(i);
    Current = 0;
    SampleAll();
    RequestPreview();
    Redraw();
    RefreshPointList();
}

void TToneCurveOptionForm::SavePreset(const std::string& FileName)
{
    WriteToneCurvePreset(FileName, Pt);
}

void TToneCurveOptionForm::SaveClicked()
{
    const QString Dir = QString::fromStdString(ToneCurvePresetDir());
    QDir().mkdir(Dir);
    const QString Name =
        QFileDialog::getSaveFileName(this, QString(), Dir, "(*.txt)", nullptr, QFileDialog::DontConfirmOverwrite);
    if (Name.isEmpty())
        return;
    QString File = Name;
    if (QFileInfo(File).suffix().isEmpty())
        File += ".txt";
    try {
        SavePreset(File.toStdString());
    } catch (const std::exception& E) {
        // The preset was not written: say so rather than list it.
        ShowMessageBox(this, QMessageBox::Critical, windowTitle(), QString::fromUtf8(E.what()));
        return;
    }
    // Only files in the preset folder can be loaded back by name.
    if (QFileInfo(File).absoluteDir() == QDir(Dir))
        PresetList->addItem(QFileInfo(File).completeBaseName());
}

void TToneCurveOptionForm::LoadPreset(int Index)
{
    if (Index <= 0)
        Pt = DefaultPt;
    else {
        const std::string Name = PresetList->itemText(Index).toStdString();
        ReadToneCurvePreset(ToneCurvePresetDir() + Name + ".txt", Pt);
        // Files are edited by hand: the editor needs x strictly increasing.
        for (int i = 0; i < tcCount; ++i)
            Pt[i] = SoundList(Pt[i], i);
    }
    Current = 0;
    IsDrag = false;
    SampleAll();
    RequestPreview();
    Redraw();
    RefreshPointList();
}

void TToneCurveOptionForm::DrawCurveHistogram(QRgb Color, const uint32_t* Counts, int Strength)
{
    const bool Log = LogScaleButton->isChecked();
    double m = 0;
    for (int i = 0; i < 256; ++i)
        if (Counts[i] > 0)
            m = std::max(m, Log ? std::log(double(Counts[i])) : double(Counts[i]));
    if (m == 0)
        return;
    const int s = Strength;
    const uint32_t c = Color & 0xFFFFFF;
    for (int i = 0; i < 256; ++i) {
        if (Counts[i] == 0)
            continue;
        const int h = int((Log ? std::log(double(Counts[i])) : double(Counts[i])) * 255 / m);
        for (int y = std::max(257 - h, 0); y <= 257; ++y) {
            auto* Px = reinterpret_cast<uint32_t*>(BackBuf.scanLine(y)) + i + 2;
            uint32_t New = 0xFF000000;
            for (int Shift = 0; Shift < 24; Shift += 8) {
                const uint32_t Old = (*Px >> Shift) & 0xFF, Cb = (c >> Shift) & 0xFF;
                New |= ((Old * (256 - s) + Cb * s) >> 8) << Shift;
            }
            *Px = New;
        }
    }
}

void TToneCurveOptionForm::Redraw()
{
    BackBuf = Graph.copy();
    if (Master.Mem) {
        const bool Gray = Master.Channels < 3;
        const auto& C = DefaultCount;
        switch (Channel) {
        case tcRGB:
            if (Gray)
                DrawCurveHistogram(0x808080, C[0].data(), 85);
            else {
                DrawCurveHistogram(0x0000FF, C[0].data(), 85);
                DrawCurveHistogram(0x00FF00, C[1].data(), 85);
                DrawCurveHistogram(0xFF0000, C[2].data(), 85);
            }
            break;
        case tcRed:
        case tcGreen:
        case tcBlue:
            if (!Gray) {
                const int Own = Channel == tcRed ? 2 : Channel == tcGreen ? 1 : 0;
                const QRgb Colours[3] = {0x0000FF, 0x00FF00, 0xFF0000};
                for (int b = 0; b < 3; ++b)
                    if (b != Own)
                        DrawCurveHistogram(Colours[b], C[b].data(), 30);
                DrawCurveHistogram(Colours[Own], C[Own].data(), 85);
            }
            break;
        case tcLuma:
            DrawCurveHistogram(0x808080, C[Gray ? 0 : 3].data(), 85);
            break;
        default:
            if (!Gray) {
                DrawCurveHistogram(0x0000FF, C[4].data(), 128);
                DrawCurveHistogram(0xFF0000, C[5].data(), 85);
            }
            break;
        }
    }
    {
        QPainter P(&BackBuf);
        P.setPen(Qt::black);
        const uint16_t* T = CurveTable[Channel].data();
        QPoint Line[256];
        for (int i = 0; i < 256; ++i)
            Line[i] = QPoint(i + 2, 257 - T[i]);
        P.drawPolyline(Line, 256);
        for (const TCurvePoint& p : Pt[Channel]) {
            const TRect R = MarkerRect(p.x + 2, 257 - p.y, 3);
            P.drawRect(R.Left, R.Top, R.Right - R.Left - 1, R.Bottom - R.Top - 1);
        }
    }
    CurveBox->update();
}

// ---- Preview framework ----

void TToneCurveOptionForm::PreviewClosed(QObject*)
{
    // As if the user had unchecked Preview: the histogram goes with the picture.
    PreviewBox->setChecked(false);
    PreviewToggled();
}

void TToneCurveOptionForm::ReloadSource(bool RequestAfter)
{
    TPreviewBaseForm::ReloadSource(RequestAfter);
    if (!Master.Mem)
        return;
    // The base has handed the picture's counts to the histogram window as
    // its source; the curve box draws them too.
    if (RequestAfter)
        RequestPreview();
    Redraw();
}

void TToneCurveOptionForm::RequestPreview()
{
    CurveToTable(Pt[Channel], CurveTable[Channel].data());
    StartPreviewWork();
}

bool TToneCurveOptionForm::IsPreviewChecked()
{
    return PreviewBox->isChecked();
}

bool TToneCurveOptionForm::IsHistogramChecked()
{
    return HistogramBox->isChecked();
}

TCustomPreviewThread* TToneCurveOptionForm::CreatePreviewThread(TMultiThread* AMT, TResizer* ARS)
{
    return new TFormWholePreview<TToneCurveOptionForm, TToneCurveState>(this, AMT, ARS);
}

TCustomSpotPreviewThread* TToneCurveOptionForm::CreateSpotPreviewThread(TMultiThread* AMT)
{
    return new TFormSpotPreview<TToneCurveOptionForm, TToneCurveState>(this, AMT);
}

void TToneCurveOptionForm::PreviewToggled()
{
    if (Master.Mem && PreviewWindows.PreviewForm) {
        const bool On = PreviewBox->isChecked();
        PreviewWindows.PreviewForm->setVisible(On);
        if (Histogram) {
            if (On && HistogramBox->isChecked())
                Histogram->Show();
            else
                Histogram->Hide();
        }
        if (PreviewWindows.PreviewForm->isVisible())
            RequestPreview();
        Redraw();
    }
    HistogramBox->setEnabled(PreviewBox->isChecked());
}

void TToneCurveOptionForm::HistogramToggled()
{
    if (!Master.Mem || !PreviewBox->isChecked() || !Histogram)
        return;
    if (HistogramBox->isChecked()) {
        Histogram->Show();
        RequestPreview();
    } else {
        Histogram->Hide();
        Redraw();
    }
}

// ---- Hook ----

namespace {

bool ExecToneCurveOptionForm(TToneCurveEffect& Effect, QWidget* Owner, const std::function<int32_t()>& SelectedEntry)
{
    bool Confirmed = false;
    {
        auto Form = std::make_unique<TToneCurveOptionForm>(Owner);
        Form->SetParam(Effect.FControlPoints, Effect.FHistogramType, Effect.FHistogram, Effect.FPreview);
        Form->ShowSelectedEntry(SelectedEntry);
        if (Form->exec() == QDialog::Accepted) {
            Form->GetParam(Effect.FControlPoints, Effect.FHistogramType, Effect.FHistogram, Effect.FPreview);
            Confirmed = true;
        }
    }
    Effect.BuildToneCurveTables();
    return Confirmed;
}

} // namespace

void RegisterToneCurveOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex)
{
    RegisterEffectDialog(EFFECT_TONECURVE, ExecToneCurveOptionForm, Owner, std::move(SelectedIndex));
}
