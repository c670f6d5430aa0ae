#include "effects/WindowFuncs.h"

#include <QFontMetrics>

int TextWidthItalicCorrected(const QFont& Font, const QString& Text)
{
    if (Text.isEmpty())
        return 0;
    const QFontMetrics Metrics(Font);
    const int Bearing = Metrics.rightBearing(Text.back());
    return Metrics.horizontalAdvance(Text) + (Bearing < 0 ? -Bearing : 0);
}
