// The fixed-size preview area of the dialogs whose picture is placed by
// dragging it: it paints its dialog's back buffer and hands the mouse to it.
#pragma once
#include <QWidget>

class QImage;

// What the area asks of its dialog.
class TDragPreviewOwner {
public:
    virtual const QImage& BackBuffer() const = 0;
    virtual void PreviewMouseDown(int X, int Y) = 0;
    virtual void PreviewMouseMove(int X, int Y) = 0;
    virtual void PreviewMouseUp() = 0;

protected:
    ~TDragPreviewOwner() = default;
};

class TDragPreviewArea : public QWidget {
    Q_OBJECT
public:
    TDragPreviewArea(QWidget* Parent, TDragPreviewOwner* Owner, int Width, int Height);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* E) override;
    void mouseMoveEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;

private:
    TDragPreviewOwner* FOwner;
};
