// What the main window's files share: the rule names, the text helpers and
// the dialog launcher.
#pragma once

#include "app/MainFrm.h"
#include "core/ResourceText.h"

#include <QDialog>
#include <QLatin1String>
#include <QLocale>
#include <QRegularExpression>
#include <QString>

#include <cmath>

namespace mainfrm {

constexpr int kHistoryMax = 10;
constexpr const char* kRuleTexts[12] = {"Percent",   "Wide Side", "Narrow Side", "Width",
                                        "Height",    "W x N(%)",  "W x H(%)",    "W x N(px)",
                                        "W x H(px)", "History",   "Inscribed",   "Circumscribed"};

inline QString Tx(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

// A menu caption such as "Add Files(&A)..." with its mnemonic on the letter
// in the text ("&Add Files..."); when the text lacks that letter the caption
// keeps its "(&X)", which Qt shows as "(X)" with the letter underlined.
inline QString Caption(const char* Text)
{
    const QString S = Tx(Text);
    const int At = S.indexOf(QLatin1String("(&"));
    if (At < 0 || At + 3 >= S.size() || S[At + 3] != QLatin1Char(')'))
        return S;
    QString Plain = S;
    Plain.remove(At, 4);
    const int Pos = Plain.indexOf(S[At + 2], 0, Qt::CaseInsensitive);
    if (Pos < 0)
        return S;
    return Plain.insert(Pos, QLatin1Char('&'));
}

// A menu caption as a tool tip says it: "Add Files(&A)..." is "Add Files".
inline QString PlainCaption(const char* Text)
{
    QString S = Tx(Text);
    S.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    S.remove(QLatin1Char('&'));
    if (S.endsWith(QLatin1String("...")))
        S.chop(3);
    return S.trimmed();
}

// Size edits show numbers in the user's form; "." is taken too. A side of 0
// or below is no size (it would make 1 x 1 pictures): false, as for text.
inline bool EditNumber(const QString& Text, double& Value)
{
    bool Ok = false;
    const QString T = Text.trimmed();
    Value = QLocale().toDouble(T, &Ok);
    if (!Ok)
        Value = QLocale::c().toDouble(T, &Ok);
    return Ok && std::isfinite(Value) && Value > 0;
}

inline QString NumberText(double Value)
{
    QLocale L;
    L.setNumberOptions(QLocale::OmitGroupSeparator);
    return L.toString(Value, 'g', QLocale::FloatingPointShortest);
}

} // namespace mainfrm

template <class TForm, class... TArgs> bool TMainForm::ShowDialog(TArgs&&... Args)
{
    TForm F(std::forward<TArgs>(Args)..., this);
    return F.exec() == QDialog::Accepted;
}
