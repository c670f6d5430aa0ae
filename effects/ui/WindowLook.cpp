#include "effects/ui/WindowLook.h"

#include <QApplication>
#include <QBoxLayout>
#include <QColor>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QGridLayout>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

void PaintSwatch(QPushButton* Panel, uint32_t Color)
{
    const QColor C(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
    // With a border of its own the button is drawn flat in exactly this
    // colour; a bare background colour gets the style's gradient over it.
    Panel->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid gray; }").arg(C.name()));
}

int TitleBarWidth(const QString& Title)
{
    // The desktop's title font where the platform names one; a bar in a
    // smaller font than the application's is not assumed.
    QFont Font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    if (QFontInfo(QApplication::font()).pixelSize() > QFontInfo(Font).pixelSize())
        Font = QApplication::font();
    Font.setBold(true);
    const QFontMetrics M(Font);
    // The icon and the three buttons are about as wide as the bar is high
    // (the text's height and a margin), each with a gap beside it; the
    // borders and the title's own margins come on top.
    const int Button = M.height() + 4;
    return M.horizontalAdvance(Title) + 4 * (Button + 4) + 2 * 12;
}

void KeepCaptionWhole(QWidget* W)
{
    // A title no screen could show whole (a caption the user wrote) is cut
    // rather than the window made wider than the screen.
    int Need = TitleBarWidth(W->windowTitle());
    if (const QScreen* Screen = W->screen() ? W->screen() : QGuiApplication::primaryScreen())
        Need = std::min(Need, Screen->availableGeometry().width() * 3 / 4);
    QLayout* Layout = W->layout();
    if (!Layout) {
        W->setMinimumWidth(std::max(W->minimumWidth(), Need));
        return;
    }
    const QMargins M = Layout->contentsMargins();
    const int Inner = Need - M.left() - M.right();
    // A floor inside the layout rather than the window's minimum width: the
    // layout would lower an explicit minimum, and a message box sizes itself
    // from its layout each time it shows.
    if (auto* Box = qobject_cast<QBoxLayout*>(Layout))
        Box->addStrut(Inner);
    else if (auto* Grid = qobject_cast<QGridLayout*>(Layout))
        Grid->addItem(new QSpacerItem(Inner, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), 0, 0, 1,
                      std::max(1, Grid->columnCount()));
    else
        W->setMinimumWidth(std::max(W->minimumWidth(), Need));
    W->updateGeometry();
}

QMessageBox::StandardButton ShowMessageBox(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                           const QString& Text, QMessageBox::StandardButtons Buttons,
                                           QMessageBox::StandardButton Default)
{
    QMessageBox Box(Icon, Title, Text, Buttons, Parent);
    if (Default != QMessageBox::NoButton)
        Box.setDefaultButton(Default);
    KeepCaptionWhole(&Box);
    if (Box.exec() == -1)
        return QMessageBox::Cancel;
    return Box.standardButton(Box.clickedButton());
}
