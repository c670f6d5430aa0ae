// How the option and effect dialogs look to the desktop: colour swatches that
// show their colour exactly, and widths that leave a window manager room for
// the whole title.
#pragma once
#include <QMessageBox>
#include <QString>

#include <cstdint>

class QPushButton;
class QWidget;

// Paints the button Panel as a colour swatch of Color (red in the low byte,
// green next, blue in bits 16..23; the top byte is ignored): every pixel
// inside its one-pixel gray border is exactly that colour, in every state the
// style knows (no gradient, no hover or press shading).
void PaintSwatch(QPushButton* Panel, uint32_t Color);

// Width in pixels a window manager's title bar needs to show Title whole:
// the title in the bold title-bar font (the desktop's title font, never
// smaller than the application's font), beside the window's icon and three
// buttons with their margins.
int TitleBarWidth(const QString& Title);

// Makes the window W at least TitleBarWidth(its title) wide, but no wider
// than three quarters of its screen, as a floor its layout keeps (box and
// grid layouts, message boxes included). Call once the title, the font and
// the controls are set.
void KeepCaptionWhole(QWidget* W);

// A modal message box as QMessageBox's own functions show it (the same icon,
// buttons, default button and answer; Cancel when it is closed without one),
// with its title shown whole.
QMessageBox::StandardButton ShowMessageBox(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                           const QString& Text, QMessageBox::StandardButtons Buttons = QMessageBox::Ok,
                                           QMessageBox::StandardButton Default = QMessageBox::NoButton);
