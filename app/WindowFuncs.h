// Small helpers of the option and effect dialogs that need windows.
#pragma once
#include "effects/WindowFuncs.h"    // TextWidthItalicCorrected
#include "effects/ui/WindowFuncs.h" // RightOfControl, CreateFilledBitmap, IsWindowPosOnScreen, SetControls...

#include <QString>

#include <cstdint>

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

// Makes Dialog's OK button (the default one; accepts the dialog) and its
// Cancel button (rejects it).
void MakeOkCancelButtons(QDialog* Dialog, QPushButton*& Ok, QPushButton*& Cancel);
// A row holding Ok and Cancel at its right end.
QHBoxLayout* OkCancelRow(QPushButton* Ok, QPushButton* Cancel);
// Gives Widget the interface font the settings name, when they name one.
void ApplyUIFont(QWidget* Widget);
