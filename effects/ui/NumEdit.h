// Numeric edit controls of the option dialogs: TNumEdit, a right-aligned edit
// holding a number between Min and Max shown with Fixed decimals, and
// TUDNumEdit, the same with an up-down button inside its right edge.
//
// Both are built in place, as children of the dialog or panel that holds them,
// and go into layouts like any other widget. The up-down of a TUDNumEdit is
// part of the edit: it moves, resizes, hides and is enabled with it, and the
// edit's size hint makes room for it, so no layout ever has to know about it.
//
// Decimals are shown with the locale's separator; typing accepts it and "."
// alike. Text that is not a number (empty, a lone "-") reads as DefaultValue.
#pragma once
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QToolButton;

class TNumEdit : public QLineEdit {
    Q_OBJECT
public:
    TNumEdit(QWidget* Parent, double _Max, double _Min, double _Value, double _Increment, int _Fixed);

    double Max() const { return FMax; }
    double Min() const { return FMin; }
    double Value() const { return FValue; }
    // Truncated towards zero.
    int IntValue() const;
    double Increment() const { return FIncrement; }
    int Fixed() const { return FFixed; }
    double DefaultValue() const { return FDefaultValue; }

    // Re-clamp the value when it falls outside the new bound.
    void SetMax(double V);
    void SetMin(double V);
    // Clamps into Min..Max, shows the value with Fixed decimals (an integer,
    // truncated, when Fixed < 1) and keeps exactly the number shown.
    void SetValue(double V);
    void SetIntValue(int V) { SetValue(V); }
    void SetIncrement(double V) { FIncrement = V; }
    // Takes effect at the next formatting; the text is not rewritten.
    void SetFixed(int V) { FFixed = V; }

    // The separator shown and accepted besides "."; the C library's
    // numeric locale at creation.
    char DecimalSeparator() const { return FSeparator; }
    void SetDecimalSeparator(char C) { FSeparator = C; }

    // Parses a number as typed: an optional leading "-", digits and at most one
    // "." or Separator, at least one digit. False for anything else.
    static bool ParseNumber(const QString& Text, char Separator, double& Value);

    // Steps by Increment as the Up / Down keys do: only when the result stays
    // within Min..Max, otherwise nothing happens.
    void StepUp() { Step(+1); }
    void StepDown() { Step(-1); }

signals:
    // The text changed to a number (already stored in Value, not yet
    // clamped: a handler sees what was typed). Not raised for unparsable
    // text, nor when the control rewrites its text on leaving.
    void Change();
    // Keyboard focus left the control (after its text was normalised).
    void Exit();

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;

private:
    void TextChanged();
    void Step(int Direction);
    void Clamp();
    QString Format(double V) const;

    double FMax, FMin, FValue = 0;
    int FFixed;
    double FIncrement;
    double FDefaultValue;
    bool FNoChange = false;
    char FSeparator;
};

// The arrow pair inside a TUDNumEdit. Its clicks step the edit; it has no
// position or range of its own.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* Parent);
    static constexpr int DefaultWidth = 17;

signals:
    void Clicked(bool Up);

private:
    QToolButton* FUp;
    QToolButton* FDown;
};

class TUDNumEdit : public TNumEdit {
    Q_OBJECT
public:
    TUDNumEdit(QWidget* Parent, double _Max, double _Min, double _Value, double _Increment, int _Fixed);

    // The whole control, arrows included (they sit inside the edit).
    int TotalWidth() const { return width(); }
    TUpDown* UpDown() const { return FUpDown; }

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void PlaceUpDown();

    TUpDown* FUpDown;
};
