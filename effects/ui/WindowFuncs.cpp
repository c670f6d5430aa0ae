#include "effects/ui/WindowFuncs.h"

#include <QColor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, uint32_t Color)
{
    QImage img(Width, Height, Format);
    if (!img.isNull())
        img.fill(QColor(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF));
    return img;
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
