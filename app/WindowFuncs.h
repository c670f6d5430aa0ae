// Small helpers of the option and effect dialogs that need windows.
#pragma once
#include <QImage>
#include <QString>

#include <cstdint>

class QDialog;
class QFont;
class QHBoxLayout;
class QPushButton;
class QWidget;

// X coordinate for a control placed to the right of Control: its left edge
// plus its width plus 4 pixels (labels and edits are so placed after
// translation changed their widths).
int RightOfControl(const QWidget* Control);

// A Width x Height image of Format filled with Color, a colour value with red
// in the low byte, green next and blue in bits 16..23.
QImage CreateFilledBitmap(int Width, int Height, QImage::Format Format, uint32_t Color);

// Sets the enabled (visible) state of every child widget, descending into
// their children, and last of Control itself.
void SetControlsEnabled(QWidget* Control, bool Enabled);
void SetControlsVisible(QWidget* Control, bool Visible);

// True when a stored window rectangle (pixels, right and bottom exclusive)
// starts at non-negative coordinates and ends within the primary screen's
// width and height; false when there is no screen.
bool IsWindowPosOnScreen(int Left, int Top, int Right, int Bottom);

// Advance width of Text in Font, corrected for an italic overhang: the right
// bearing of the last character in Font's style minus the one in the plain
// style is subtracted, so a slanted last letter widens the result. Text must
// not be empty (an empty line has width 0 without asking).
int TextWidthItalicCorrected(const QFont& Font, const QString& Text);

// Makes Dialog's OK button (the default one; accepts the dialog) and its
// Cancel button (rejects it).
void MakeOkCancelButtons(QDialog* Dialog, QPushButton*& Ok, QPushButton*& Cancel);
// A row holding Ok and Cancel at its right end.
QHBoxLayout* OkCancelRow(QPushButton* Ok, QPushButton* Cancel);
// Gives Widget the interface font the settings name, when they name one.
void ApplyUIFont(QWidget* Widget);
