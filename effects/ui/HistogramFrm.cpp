#include "effects/ui/HistogramFrm.h"

#include "core/Global.h"
#include "effects/ui/PreviewBaseFrm.h"
#include "core/ResourceText.h"
#include "effects/ui/WindowFuncs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int Baseline = 128;
constexpr int FirstColumn = 6;
constexpr int SourceStrength = 30, LiveStrength = 85;
const QRgb Blue = qRgb(0, 0, 255), Green = qRgb(0, 128, 0), Red = qRgb(255, 0, 0), Gray = qRgb(128, 128, 128);

enum { ViewRGB, ViewR, ViewG, ViewB, ViewY, ViewCbCr };

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

// W's rectangle with the frame the window manager draws around it. Qt learns
// a window's frame from the window manager some time after mapping it, and
// meanwhile reports none or a half-made one (a dialog framed as 1 x 1 puts
// its histogram over itself): until W's own frame is plausible, the frame of
// the window W belongs to, framed long before, stands in.
QRect FramedRect(const QWidget* W)
{
    const QRect Own = W->geometry();
    for (const QWidget* X = W; X; X = X->parentWidget() ? X->parentWidget()->window() : nullptr) {
        const QRect G = X->geometry(), F = X->frameGeometry();
        const QMargins M(G.left() - F.left(), G.top() - F.top(), F.right() - G.right(), F.bottom() - G.bottom());
        const int Most = std::max({M.left(), M.top(), M.right(), M.bottom()});
        if (F.contains(G) && Most > 0 && Most <= 100)
            return Own.marginsAdded(M);
    }
    return Own;
}

} // namespace

THistogramPaintBox::THistogramPaintBox(THistogramForm* Form) : QWidget(Form), FForm(Form)
{
    setFixedSize(THistogramForm::BufWidth, THistogramForm::BufHeight);
    setMouseTracking(true);
}

void THistogramPaintBox::paintEvent(QPaintEvent*)
{
    FForm->RenderHistogram();
    QPainter p(this);
    p.drawImage(0, 0, FForm->BackBuf);
}

void THistogramPaintBox::mouseMoveEvent(QMouseEvent* Event)
{
    FForm->ShowValueAt(int(Event->position().x()));
}

THistogramForm::THistogramForm(QWidget* Owner)
    : QWidget(Owner, Qt::Tool), BackBuf(CreateFilledBitmap(BufWidth, BufHeight, QImage::Format_RGB888, Qt::white))
{
    setWindowTitle(Text("Histogram"));
    // Shown beside a dialog that keeps the keys.
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    ChannelLabel = new QLabel(Text("Channel"), this);
    ChannelList = new QComboBox(this);
    ChannelList->addItems({"RGB", "R", "G", "B", "Y", "CbCr"});
    LinearButton = new QRadioButton(Text("Linear"), this);
    LogButton = new QRadioButton(Text("Log"), this);
    LinearButton->setChecked(true);
    GraphBox = new THistogramPaintBox(this);
    ValueLabel = new QLabel(this);

    auto* top = new QHBoxLayout;
    top->addWidget(ChannelLabel);
    top->addWidget(ChannelList);
    top->addStretch(1);
    top->addWidget(LinearButton);
    top->addWidget(LogButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GraphBox);
    layout->addWidget(ValueLabel);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (Settings.Preview.HistogramType == 1)
        LogButton->setChecked(true);
    // A channel outside the list (a hand-edited settings file) shows RGB.
    const int channel = Settings.Preview.HistogramChannel;
    ChannelList->setCurrentIndex(channel >= ViewRGB && channel <= ViewCbCr ? channel : ViewRGB);
    HistogramType = ChannelList->currentIndex() >= ViewY ? 1 : 0;

    connect(ChannelList, &QComboBox::currentIndexChanged, this, &THistogramForm::ChannelChanged);
    connect(LinearButton, &QRadioButton::toggled, GraphBox, qOverload<>(&QWidget::update));
}

void THistogramForm::SetParentForm(QWidget* Form, THistogramUpdateProc Proc)
{
    ParentForm = Form;
    UpdateProc = std::move(Proc);
}

void THistogramForm::AttachDialog(QWidget* Form, QCheckBox* Box, THistogramUpdateProc Proc)
{
    SetParentForm(Form, std::move(Proc));
    HistogramCheckBox = Box;
}

void THistogramForm::SetDefaultCount(const uint32_t* Counts)
{
    std::memcpy(DefaultCount, Counts, sizeof DefaultCount);
    uint64_t total = 0;
    for (int i = 0; i < 256; ++i)
        total += DefaultCount[i];
    TotalCount = uint32_t(std::min<uint64_t>(total, UINT32_MAX));
    IsGrayscale = std::all_of(DefaultCount + 256, DefaultCount + 512, [](uint32_t c) { return c == 0; });
}

void THistogramForm::UpdateHistogram(const uint32_t* Counts)
{
    std::memcpy(HistogramCount, Counts + (HistogramType == 0 ? 0 : 3 * 256), sizeof HistogramCount);
    GraphBox->update();
    ValueLabel->clear();
}

void THistogramForm::SaveOption()
{
    Settings.Preview.HistogramType = LinearButton->isChecked() ? 0 : 1;
    Settings.Preview.HistogramChannel = ChannelList->currentIndex();
}

void THistogramForm::ChannelChanged()
{
    const int type = ChannelList->currentIndex() >= ViewY ? 1 : 0;
    if (type != HistogramType) {
        HistogramType = type;
        // The live tables are of the other kind now: show none until the
        // dialog's next preview brings the right ones.
        std::fill(std::begin(HistogramCount), std::end(HistogramCount), 0u);
        if (UpdateProc)
            UpdateProc();
    }
    GraphBox->update();
}

void THistogramForm::DrawTable(const uint32_t* Table, QRgb Color, int Strength)
{
    const bool linear = LinearButton->isChecked();
    double max = 0;
    for (int i = 0; i < 256; ++i)
        if (Table[i] > 0)
            max = std::max(max, linear ? double(Table[i]) : std::log(double(Table[i])));
    if (max == 0)
        return;
    const int col[3] = {qRed(Color), qGreen(Color), qBlue(Color)};
    for (int i = 0; i < 256; ++i) {
        if (Table[i] == 0)
            continue;
        const double v = linear ? double(Table[i]) : std::log(double(Table[i]));
        const int top = Baseline - int(std::trunc(v * 127 / max));
        const int x = i + FirstColumn;
        for (int y = top; y <= Baseline; ++y) {
            uchar* p = BackBuf.scanLine(y) + x * 3;
            for (int k = 0; k < 3; ++k)
                p[k] = uchar((p[k] * (256 - Strength) + col[k] * Strength) >> 8);
        }
    }
}

void THistogramForm::RenderHistogram()
{
    {
        QPainter p(&BackBuf);
        p.fillRect(BackBuf.rect(), Qt::white);
        p.setPen(Qt::black);
        p.drawRect(0, 0, BufWidth - 1, BufHeight - 1);
    }
    if (TotalCount == 0)
        return;
    const uint32_t* src = DefaultCount;
    const uint32_t* live = HistogramCount;
    auto table = [](const uint32_t* T, int N) { return T + N * 256; };
    switch (ChannelList->currentIndex()) {
    case ViewRGB:
        if (IsGrayscale) {
            DrawTable(src, Gray, SourceStrength);
            DrawTable(live, Gray, LiveStrength);
        } else {
            DrawTable(table(src, 0), Blue, SourceStrength);
            DrawTable(table(src, 1), Green, SourceStrength);
            DrawTable(table(src, 2), Red, SourceStrength);
            DrawTable(table(live, 0), Blue, LiveStrength);
            DrawTable(table(live, 1), Green, LiveStrength);
            DrawTable(table(live, 2), Red, LiveStrength);
        }
        break;
    case ViewR:
    case ViewG:
    case ViewB:
        if (!IsGrayscale) {
            const int n = ViewB - ChannelList->currentIndex(); // R 2, G 1, B 0
            const QRgb c = n == 2 ? Red : n == 1 ? Green : Blue;
            DrawTable(table(src, n), c, SourceStrength);
            DrawTable(table(live, n), c, LiveStrength);
        }
        break;
    case ViewY:
        DrawTable(table(src, 3), Gray, SourceStrength);
        DrawTable(table(live, 0), Gray, LiveStrength);
        break;
    case ViewCbCr:
        if (!IsGrayscale) {
            DrawTable(table(src, 4), Blue, SourceStrength);
            DrawTable(table(src, 5), Red, SourceStrength);
            DrawTable(table(live, 1), Blue, 128);
            DrawTable(table(live, 2), Red, LiveStrength);
        }
        break;
    }
}

void THistogramForm::ShowValueAt(int X)
{
    const int i = X - FirstColumn;
    const int view = ChannelList->currentIndex();
    if (i < 0 || i >= 256 || view < ViewR || view > ViewY || TotalCount < 1) {
        ValueLabel->clear();
        return;
    }
    // R from live table 2, G from 1, B and Y from 0.
    const int n = view == ViewR ? 2 : view == ViewG ? 1 : 0;
    const uint32_t count = HistogramCount[n * 256 + i];
    char buf[160];
    std::snprintf(buf, sizeof buf, LoadResText("Value:%d  %d/%d (%.2f%s)").c_str(), i, int(count), int(TotalCount),
                  count * 100.0 / TotalCount, "%");
    ValueLabel->setText(QString::fromUtf8(buf));
}

void THistogramForm::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (!ParentForm)
        return;
    const QRect dlg = FramedRect(ParentForm);
    const QSize own = FramedRect(this).size();
    auto onScreen = [](const QRect& R) {
        for (QScreen* s : QGuiApplication::screens())
            if (s->geometry().contains(R))
                return true;
        return false;
    };
    // Below the dialog, else above it, else at its right edge, else centred.
    const QPoint tries[] = {{dlg.left(), dlg.top() + dlg.height()},
                            {dlg.left(), dlg.top() - own.height()},
                            {dlg.left() + dlg.width(), dlg.top()}};
    for (const QPoint& p : tries)
        if (onScreen(QRect(p, own))) {
            move(p);
            return;
        }
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect work = s->availableGeometry();
        move(work.center() - QPoint(own.width() / 2, own.height() / 2));
    }
}

void THistogramForm::closeEvent(QCloseEvent* Event)
{
    if (HistogramCheckBox)
        HistogramCheckBox->setChecked(false);
    QWidget::closeEvent(Event);
}

namespace {

// The window as the preview dialogs see it.
class THistogramWindow : public THistogramWindowHook {
public:
    explicit THistogramWindow(QWidget* Owner) : FForm(new THistogramForm(Owner))
    {
        delete PreviewWindows.HistogramForm;
        PreviewWindows.HistogramForm = FForm;
    }
    ~THistogramWindow() override
    {
        if (PreviewWindows.HistogramForm == FForm)
            PreviewWindows.HistogramForm = nullptr;
        delete FForm;
    }
    void Count(const TImgInfo& Img, int32_t Mode, TMultiThread& MT, THistogramCounts& Counts) override
    {
        CalcHistogram(Img, Counts[0].data(), Mode, &MT);
    }
    void Attach(QWidget* Dialog, QCheckBox* Box, std::function<void()> Update) override
    {
        FForm->AttachDialog(Dialog, Box, std::move(Update));
    }
    void SetDefaultCounts(const THistogramCounts& Counts) override
    {
        FForm->SetDefaultCount(Counts[0].data());
        FForm->GraphBox->update();
    }
    void SetCounts(const THistogramCounts& Counts) override { FForm->UpdateHistogram(Counts[0].data()); }
    int32_t ChannelIndex() const override { return FForm->ChannelList->currentIndex(); }
    void Show() override { FForm->show(); }
    void Hide() override { FForm->hide(); }
    void Raise() override { FForm->raise(); }
    bool IsShown() const override { return FForm->isVisible(); }
    void SaveOption() override { FForm->SaveOption(); }

private:
    THistogramForm* FForm;
};

static_assert(sizeof(THistogramCounts) == HistogramCounters * sizeof(uint32_t), "six tables, nothing between");

} // namespace

THistogramWindowHook* NewHistogramWindow(QWidget* Owner)
{
    return new THistogramWindow(Owner);
}
