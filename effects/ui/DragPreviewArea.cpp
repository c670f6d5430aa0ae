#include "effects/ui/DragPreviewArea.h"

#include <QMouseEvent>
#include <QPainter>

TDragPreviewArea::TDragPreviewArea(QWidget* Parent, TDragPreviewOwner* Owner, int Width, int Height)
    : QWidget(Parent), FOwner(Owner)
{
    setFixedSize(Width, Height);
    setMouseTracking(true);
}

void TDragPreviewArea::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    P.drawImage(0, 0, FOwner->BackBuffer());
}

void TDragPreviewArea::mousePressEvent(QMouseEvent* E)
{
    if (E->button() == Qt::LeftButton)
        FOwner->PreviewMouseDown(E->position().toPoint().x(), E->position().toPoint().y());
}

void TDragPreviewArea::mouseMoveEvent(QMouseEvent* E)
{
    FOwner->PreviewMouseMove(E->position().toPoint().x(), E->position().toPoint().y());
}

void TDragPreviewArea::mouseReleaseEvent(QMouseEvent*)
{
    FOwner->PreviewMouseUp();
}
