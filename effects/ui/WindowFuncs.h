// Window utilities that the effect dialogs share with the program's other
// windows (app/WindowFuncs.h offers them there).
#pragma once
#include <QImage>

#include <cstdint>

class QWidget;

// A Width x Height image of Format filled with Color, a colour value with red
// in the low byte, green next and blue in bits 16..23.
QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, uint32_t Color);

// True when a stored window rectangle (pixels, right and bottom exclusive)
// starts at non-negative coordinates and ends within the primary screen's
// width and height; false when there is no screen. Other screens do not
// count: a window placed there is moved back where the user can see it.
bool IsWindowPosOnScreen(int Left, int Top, int Right, int Bottom);

// Sets the enabled (visible) state of every child widget, descending into
// their children, and last of Control itself.
void SetControlsEnabled(QWidget* Control, bool Enabled);
void SetControlsVisible(QWidget* Control, bool Visible);
