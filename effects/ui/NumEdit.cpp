#include "effects/ui/NumEdit.h"

#include "core/Funcs.h"

#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

TNumEdit::TNumEdit(QWidget* Parent, double _Max, double _Min, double _Value, double _Increment, int _Fixed)
    : QLineEdit(Parent), FMax(_Max), FMin(_Min), FFixed(_Fixed), FIncrement(_Increment), FDefaultValue(_Value),
      FSeparator(LocaleDecimalSeparator())
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::textChanged, this, &TNumEdit::TextChanged);
    SetValue(_Value);
}

int TNumEdit::IntValue() const
{
    return int(std::clamp(std::trunc(FValue), -2147483648.0, 2147483647.0));
}

bool TNumEdit::ParseNumber(const QString& Text, char Separator, double& Value)
{
    std::string s;
    bool digits = false, point = false;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            digits = true;
            s += char(c.unicode());
        } else if (c == u'-' && i == 0) {
            s += '-';
        } else if ((c == u'.' || c == QChar::fromLatin1(Separator)) && !point) {
            point = true;
            s += '.';
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
        return false;
    Value = v;
    return true;
}

QString TNumEdit::Format(double V) const
{
    // Wide enough for the largest double in fixed notation with the decimals.
    char buf[400];
    std::to_chars_result r;
    if (FFixed >= 1) {
        r = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::fixed, std::min(FFixed, 40));
    } else {
        double t = std::trunc(V);
        if (t == 0)
            t = 0; // no "-0" for values between -1 and 0
        r = std::to_chars(buf, buf + sizeof buf, t, std::chars_format::fixed, 0);
    }
    std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
    std::replace(s.begin(), s.end(), '.', FSeparator);
    return QString::fromLatin1(s);
}

void TNumEdit::Clamp()
{
    if (FValue > FMax)
        FValue = FMax;
    else if (FValue < FMin)
        FValue = FMin;
}

void TNumEdit::SetValue(double V)
{
    FValue = std::isnan(V) ? FDefaultValue : V;
    Clamp();
    const QString t = Format(FValue);
    setText(t); // runs TextChanged unless FNoChange
    double shown;
    if (ParseNumber(t, FSeparator, shown))
        FValue = shown; // keep exactly what the user sees
}

void TNumEdit::SetMax(double V)
{
    FMax = V;
    if (FMax < FValue)
        SetValue(FMax);
}

void TNumEdit::SetMin(double V)
{
    FMin = V;
    if (FMin > FValue)
        SetValue(FMin);
}

void TNumEdit::TextChanged()
{
    if (FNoChange)
        return;
    double v;
    if (ParseNumber(text(), FSeparator, v)) {
        FValue = v;
        emit Change();
    } else {
        FValue = FDefaultValue;
    }
    // The text keeps what was typed; leaving the control rewrites it.
    Clamp();
}

void TNumEdit::focusOutEvent(QFocusEvent* Event)
{
    // Switching windows or opening a context menu is not leaving the control.
    if (Event->reason() == Qt::ActiveWindowFocusReason || Event->reason() == Qt::PopupFocusReason) {
        QLineEdit::focusOutEvent(Event);
        return;
    }
    FNoChange = true;
    double v;
    SetValue(ParseNumber(text(), FSeparator, v) ? v : FDefaultValue);
    QLineEdit::focusOutEvent(Event);
    emit Exit();
    FNoChange = false;
}

void TNumEdit::Step(int Direction)
{
    // A read-only value is not stepped either.
    if (isReadOnly())
        return;
    const double r = FValue + Direction * FIncrement;
    if (FMin <= r && r <= FMax)
        SetValue(r);
}

void TNumEdit::keyPressEvent(QKeyEvent* Event)
{
    const int key = Event->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        QLineEdit::keyPressEvent(Event);
        Step(key == Qt::Key_Up ? +1 : -1);
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Not for the edit; the dialog may take it for its default button.
        Event->ignore();
        return;
    }
    const QString typed = Event->text();
    // Keys without a character, control characters (Backspace, Ctrl+V...)
    // and Delete go to the edit unchanged.
    if (typed.size() != 1 || typed[0].unicode() < 32 || typed[0].unicode() == 127 || isReadOnly()) {
        QLineEdit::keyPressEvent(Event);
        return;
    }
    const QChar c = typed[0];
    const bool digit = c.unicode() >= '0' && c.unicode() <= '9';
    const bool point = c == u'.' || c == QChar::fromLatin1(FSeparator);
    if (!digit && !point && c != u'-') {
        Event->accept();
        return;
    }
    if (!text().isEmpty()) {
        if (hasSelectedText())
            del(); // the typed character replaces the selection
        const QString t = text();
        const bool refused = (c == u'-' && (t.contains(u'-') || cursorPosition() != 0)) ||
            (point && (FFixed <= 0 || t.contains(u'.') || t.contains(QChar::fromLatin1(FSeparator))));
        if (refused) {
            Event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(Event);
}

TUpDown::TUpDown(QWidget* Parent) : QWidget(Parent)
{
    FUp = new QToolButton(this);
    FUp->setArrowType(Qt::UpArrow);
    FDown = new QToolButton(this);
    FDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {FUp, FDown}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        b->setAutoRaise(true);
    }
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(FUp);
    l->addWidget(FDown);
    connect(FUp, &QToolButton::clicked, this, [this] { emit Clicked(true); });
    connect(FDown, &QToolButton::clicked, this, [this] { emit Clicked(false); });
    resize(DefaultWidth, 21);
}

TUDNumEdit::TUDNumEdit(QWidget* Parent, double _Max, double _Min, double _Value, double _Increment, int _Fixed)
    : TNumEdit(Parent, _Max, _Min, _Value, _Increment, _Fixed), FUpDown(new TUpDown(this))
{
    // The text stops short of the arrows; the size hints count them in.
    setTextMargins(0, 0, TUpDown::DefaultWidth, 0);
    FUpDown->setCursor(Qt::ArrowCursor);
    connect(FUpDown, &TUpDown::Clicked, this, [this](bool Up) { Up ? StepUp() : StepDown(); });
    PlaceUpDown();
}

void TUDNumEdit::PlaceUpDown()
{
    // Inside the frame, along the right edge.
    QStyleOptionFrame Opt;
    initStyleOption(&Opt);
    const int F = std::max(style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &Opt, this), 0);
    FUpDown->setGeometry(width() - F - TUpDown::DefaultWidth, F, TUpDown::DefaultWidth, std::max(height() - 2 * F, 0));
}

void TUDNumEdit::resizeEvent(QResizeEvent* Event)
{
    TNumEdit::resizeEvent(Event);
    PlaceUpDown();
}
