// Window utilities that the effect code needs below the windows (the text
// masks measure with them); app/WindowFuncs.h offers them to the windows too.
#pragma once
#include <QFont>
#include <QString>

// Advance width of Text in Font, widened by the overhang of its last
// character: when that character's right bearing is negative (a slanted
// italic letter, or a letter such as "f" that reaches past its advance), its
// amount is added, so that text drawn into a box of this width is not cut at
// its end. An empty text has width 0.
int TextWidthItalicCorrected(const QFont& Font, const QString& Text);
