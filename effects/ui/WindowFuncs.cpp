#include "effects/ui/WindowFuncs.h"

#include <QColor>
#include <QGuiApplication>
#include <QScreen>

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
