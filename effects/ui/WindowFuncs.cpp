#include "effects/ui/WindowFuncs.h"

#include <QColor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int RightOfControl(const QWidget* Control)
{
    return Control->x() + Control->width() + 4;
}

QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, const QColor& Color)
{
    QImage img(Width, Height, Format);
    if (!img.isNull())
        img.fill(Color);
    return img;
}

QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, uint32_t Color)
{
    return CreateFilledBitmap(Width, Height, Format, QColor(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF));
}

bool IsWindowPosOnScreen(int Left, int Top, int Right, int Bottom)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QRect g = screen->geometry();
    return Left >= 0 && Top >= 0 && Right <= g.width() && Bottom <= g.height();
}

namespace {
template <typename Setter> void ForEachChildThenSelf(QWidget* Control, Setter Set)
{
    for (QWidget* child : Control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            ForEachChildThenSelf(child, Set);
    Set(Control);
}
} // namespace

void SetControlsEnabled(QWidget* Control, bool Enabled)
{
    ForEachChildThenSelf(Control, [Enabled](QWidget* W) { W->setEnabled(Enabled); });
}

void SetControlsVisible(QWidget* Control, bool Visible)
{
    ForEachChildThenSelf(Control, [Visible](QWidget* W) { W->setVisible(Visible); });
}

void SetControlsEnabled(std::initializer_list<QWidget*> Controls, bool Enabled)
{
    for (QWidget* Control : Controls)
        SetControlsEnabled(Control, Enabled);
}

void SetControlsVisible(std::initializer_list<QWidget*> Controls, bool Visible)
{
    for (QWidget* Control : Controls)
        SetControlsVisible(Control, Visible);
}
