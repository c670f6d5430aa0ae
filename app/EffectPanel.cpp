#include "app/EffectPanel.h"

#include "app/MainIcons.h"
#include "core/ResourceText.h"
#include "effects/Effect.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include <algorithm>

namespace {
// How far a dragged row must reach over its neighbour before they swap: a
// little less than half a row upwards, a little more downwards.
constexpr int kSwapUp = 11;
constexpr int kSwapDown = 15;
} // namespace

TEffectPanel::TEffectPanel(TEffectStrip* Strip, const QString& Caption, int Tag)
    : QFrame(Strip), FStrip(Strip), FTag(Tag)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    move(1, Tag * RowHeight);

    FCheckBox = new QCheckBox(this);
    FCheckBox->setGeometry(4, 4, 16, 18);
    FCheckBox->setAccessibleName(Caption);

    FLabel = new QLabel(Caption, this);
    FLabel->move(22, 5);
    FLabel->adjustSize();
    // The label's presses drag the row.
    FLabel->setAttribute(Qt::WA_TransparentForMouseEvents);

    FSpeedButton = new QToolButton(this);
    FSpeedButton->setAutoRaise(true);
    FSpeedButton->setIcon(MainIcon(EMainIcon::Settings));
    FSpeedButton->setToolTip(QString::fromStdString(LoadResText(SSettings)));
    SetRowWidth(Strip->width() - 2);

    connect(FCheckBox, &QCheckBox::clicked, this, [this](bool On) {
        SetChecked(On);
        if (FStrip->FList)
            FStrip->FList->ChangeState(FTag, FChecked);
    });
    connect(FSpeedButton, &QToolButton::clicked, this, [this] {
        if (FStrip->FList)
            FStrip->FList->ShowConfigDialog(FTag);
    });
}

void TEffectPanel::SetRowWidth(int Width)
{
    resize(std::max(Width, 60), RowHeight);
    FSpeedButton->setGeometry(width() - 25, 1, 24, 24);
}

void TEffectPanel::SetChecked(bool Value)
{
    FChecked = Value;
    FCheckBox->setChecked(Value);
}

void TEffectPanel::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton || FTag >= int(FStrip->FilterList.size()))
        return;
    SY = int(Event->position().y());
    DragFlag = true;
    raise();
    QApplication::setOverrideCursor(Qt::PointingHandCursor);
}

void TEffectPanel::mouseMoveEvent(QMouseEvent* Event)
{
    if (!DragFlag)
        return;
    const int Last = int(FStrip->FilterList.size()) - 1;
    const int NewTop = y() + int(Event->position().y()) - SY;
    if (NewTop >= 0 && NewTop <= Last * RowHeight)
        move(x(), NewTop);
    // A quick drag reaches past several rows between two mouse events: it
    // swaps with each of them, so that the row lands where it is let go.
    for (;;) {
        if (FTag > 0 && FStrip->FilterList[size_t(FTag - 1)]->y() + kSwapUp > y())
            FStrip->SwapWithNeighbour(this, -1);
        else if (FTag < Last && FStrip->FilterList[size_t(FTag + 1)]->y() < y() + kSwapDown)
            FStrip->SwapWithNeighbour(this, +1);
        else
            break;
    }
    // Rows moved under the dragged one: the strip is painted anew as a
    // whole, or copied pieces of moved rows stay on the screen.
    FStrip->update();
}

void TEffectPanel::mouseReleaseEvent(QMouseEvent*)
{
    if (!DragFlag)
        return;
    DragFlag = false;
    move(x(), FTag * RowHeight);
    FStrip->update();
    QApplication::restoreOverrideCursor();
}

TEffectStrip::TEffectStrip(QWidget* Parent) : QWidget(Parent)
{
    setObjectName("EffectStrip");
}

QSize TEffectStrip::sizeHint() const
{
    const int Rows = int(FilterList.size()) + (DCPanel ? 1 : 0);
    return {180, Rows * TEffectPanel::RowHeight + 2};
}

void TEffectStrip::resizeEvent(QResizeEvent*)
{
    for (TEffectPanel* P : FilterList)
        P->SetRowWidth(width() - 2);
    if (DCPanel)
        DCPanel->SetRowWidth(width() - 2);
}

void TEffectStrip::Rebuild(TEffectList& List, bool ShowDecreaseColor)
{
    // Freed once control returns to the event loop: a rebuild may be asked
    // for from inside one of the rows' own handlers.
    for (TEffectPanel* P : FilterList) {
        P->hide();
        P->deleteLater();
    }
    FilterList.clear();
    if (DCPanel) {
        DCPanel->hide();
        DCPanel->deleteLater();
        DCPanel = nullptr;
    }
    FList = &List;
    for (int i = 0; i < List.Count(); ++i) {
        TEffect* E = List.Items(i);
        auto* P = new TEffectPanel(this, QString::fromStdString(E->FName), i);
        P->SetChecked(E->FUse);
        P->show();
        FilterList.push_back(P);
    }
    if (ShowDecreaseColor && List.DecreaseColorEffect()) {
        TEffect* E = List.DecreaseColorEffect();
        DCPanel = new TEffectPanel(this, QString::fromStdString(E->FName), List.Count());
        DCPanel->SetChecked(E->FUse);
        DCPanel->show();
    }
    setMinimumHeight(sizeHint().height());
    updateGeometry();
}

void TEffectStrip::SwapWithNeighbour(TEffectPanel* Row, int Delta)
{
    const int A = Row->Tag(), B = A + Delta;
    TEffectPanel* Other = FilterList[size_t(B)];
    if (FList) {
        FList->Exchange(A, B);
        FList->ReOrder();
    }
    std::swap(FilterList[size_t(A)], FilterList[size_t(B)]);
    Row->SetTag(B);
    Other->SetTag(A);
    Other->move(Other->x(), A * TEffectPanel::RowHeight);
}
