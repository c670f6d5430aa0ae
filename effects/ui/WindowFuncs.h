// Window utilities that the effect dialogs share with the program's other
// windows (app/WindowFuncs.h offers them there).
#pragma once
#include <QColor>
#include <QImage>

#include <cstdint>
#include <initializer_list>

class QWidget;

// X coordinate for a control placed to the right of Control: its left edge
// plus its width plus 4 pixels (labels and edits are so placed after
// translation changed their widths).
int RightOfControl(const QWidget* Control);

// A Width x Height image of Format filled with Color, a colour value with red
// in the low byte, green next and blue in bits 16..23.
QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, uint32_t Color);
QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, const QColor& Color);

// True when a stored window rectangle (pixels, right and bottom exclusive)
// starts at non-negative coordinates and ends within the primary screen's
// width and height; false when there is no screen. Other screens do not
// count: a window placed there is moved back where the user can see it.
bool IsWindowPosOnScreen(int Left, int Top, int Right, int Bottom);

// Sets the enabled (visible) state of every child widget, descending into
// their children, and last of Control itself. Child windows (a list's popup,
// a tool window or dialog owned by a control) are not controls of Control
// and are left as they are: showing a panel must not pop up a closed list.
// The list forms do the same for each control of Controls.
void SetControlsEnabled(QWidget* Control, bool Enabled);
void SetControlsVisible(QWidget* Control, bool Visible);
void SetControlsEnabled(std::initializer_list<QWidget*> Controls, bool Enabled);
void SetControlsVisible(std::initializer_list<QWidget*> Controls, bool Visible);
