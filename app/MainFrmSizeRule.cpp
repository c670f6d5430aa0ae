// The main window's size-rule bar and its history.
#include "app/MainFrm.h"
#include "app/MainFrmShared.h"

#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/IniSettings.h"
#include "app/MainIcons.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "core/ErrorLog.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/DecreaseColor.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace mainfrm;

// --------------------------------------------------------------------------
// Size rule and history

namespace {

// A number of the history: written with a dot, whatever the user's locale.
std::string DotNumber(double V)
{
    return QLocale::c().toString(V, 'g', QLocale::FloatingPointShortest).toStdString();
}

bool ReadDotNumber(const std::string& Text, double& V)
{
    bool Ok = false;
    V = QLocale::c().toDouble(QString::fromStdString(Text).trimmed(), &Ok);
    return Ok && std::isfinite(V);
}

// Could Piece be the decimals of a number written in the comma form? The
// shortest form never ends its decimals with a zero.
bool Decimals(const std::string& Piece)
{
    return !Piece.empty() && Piece.back() != '0' &&
        std::all_of(Piece.begin(), Piece.end(), [](char C) { return C >= '0' && C <= '9'; });
}

} // namespace

bool ReadHistoryEntry(const std::string& Entry, int& Rule, double& Side1, double& Side2)
{
    std::vector<std::string> P = SplitCommaText(Entry);
    if (P.size() < 2)
        return false;
    try {
        Rule = std::stoi(P[0]);
    } catch (const std::exception&) {
        Rule = 0;
    }
    if (Rule < 0 || Rule > 11 || Rule == 9)
        Rule = 0;
    // Entries of older versions wrote the sides as typed, so "12,5" in a
    // comma-decimal locale came back as two pieces: join them again.
    std::vector<std::string> Sides(P.begin() + 1, P.end());
    if (Sides.size() == 4)
        Sides = {Sides[0] + "." + Sides[1], Sides[2] + "." + Sides[3]};
    else if (Sides.size() == 3)
        Sides = Decimals(Sides[1]) ? std::vector<std::string>{Sides[0] + "." + Sides[1], Sides[2]}
                                   : std::vector<std::string>{Sides[0], Sides[1] + "." + Sides[2]};
    else if (Sides.size() == 1)
        Sides.push_back(Sides[0]);
    // A side of 0 or below (from a hand-written file) makes 1 x 1 pictures.
    return Sides.size() == 2 && ReadDotNumber(Sides[0], Side1) && ReadDotNumber(Sides[1], Side2) && Side1 > 0 &&
        (Rule < 5 || Side2 > 0);
}

std::string HistoryEntryText(int Rule, double Side1, double Side2)
{
    return std::to_string(Rule) + "," + DotNumber(Side1) + "," + DotNumber(Rule >= 5 ? Side2 : Side1);
}

QString TMainForm::HistoryLine(const std::string& Entry) const
{
    int Rule = 0;
    double V1 = 0, V2 = 0;
    ReadHistoryEntry(Entry, Rule, V1, V2);
    const QString Text = cbxResizeRule->itemText(Rule).leftJustified(15);
    return Rule < 5 ? QStringLiteral("%1 %2").arg(Text, NumberText(V1))
                    : QStringLiteral("%1 %2 x %3").arg(Text, NumberText(V1), NumberText(V2));
}

void TMainForm::SetHistory(const std::string& CommaText)
{
    ResizeHistory.clear();
    SizeHistoryCombo->clear();
    for (const std::string& E : SplitCommaText(CommaText)) {
        int Rule;
        double V1, V2;
        if (ResizeHistory.size() >= size_t(kHistoryMax) || !ReadHistoryEntry(E, Rule, V1, V2))
            continue;
        const std::string Entry = HistoryEntryText(Rule, V1, V2);
        if (std::find(ResizeHistory.begin(), ResizeHistory.end(), Entry) != ResizeHistory.end())
            continue;
        ResizeHistory.push_back(Entry);
        SizeHistoryCombo->addItem(HistoryLine(Entry));
    }
}

void TMainForm::cbxResizeRuleChange()
{
    if (OldRule >= 0 && OldRule <= 11 && OldRule != 9) {
        double V;
        if (EditNumber(edtSide1->text(), V))
            Settings.Resize.Size1[size_t(OldRule)] = V;
        if (EditNumber(edtSide2->text(), V))
            Settings.Resize.Size2[size_t(OldRule)] = V;
    }
    const int R = std::max(cbxResizeRule->currentIndex(), 0);
    auto Show = [](QWidget* Panel, bool On) {
        if (auto* A = qobject_cast<QAction*>(Panel->property("toolAction").value<QObject*>()))
            A->setVisible(On);
        else
            Panel->setVisible(On);
    };
    Show(Side1Panel, R != 9);
    Show(Side2Panel, R != 9 && R > 4);
    Show(SizeHistoryPanel, R == 9);
    if (R == 9) {
        SizeHistoryCombo->setCurrentIndex(SizeHistoryCombo->count() > 0 ? 0 : -1);
    } else {
        static const char* const Side1Captions[12] = {SScale, SWide, SNarrow, SWidth, SHeight, SWide,
                                                      SWidth, SWide, SWidth,  "",     SWidth,  SWidth};
        static const char* const Side2Captions[12] = {"",      "",      "",      "", "",      SNarrow,
                                                      SHeight, SNarrow, SHeight, "", SHeight, SHeight};
        const QString Unit = (R == 0 || R == 5 || R == 6) ? QStringLiteral("%") : QStringLiteral("px");
        Side1Label->setText(Tx(Side1Captions[R]));
        Side2Label->setText(*Side2Captions[R] ? Tx(Side2Captions[R]) : QString());
        Side1UnitLabel->setText(Unit);
        Side2UnitLabel->setText(Unit);
        edtSide1->setText(NumberText(Settings.Resize.Size1[size_t(R)]));
        edtSide2->setText(NumberText(Settings.Resize.Size2[size_t(R)]));
    }
    OldRule = R;
}

void TMainForm::MoveHistoryToTop(int Index)
{
    if (Index <= 0 || size_t(Index) >= ResizeHistory.size())
        return;
    std::rotate(ResizeHistory.begin(), ResizeHistory.begin() + Index, ResizeHistory.begin() + Index + 1);
    const QString Line = SizeHistoryCombo->itemText(Index);
    SizeHistoryCombo->removeItem(Index);
    SizeHistoryCombo->insertItem(0, Line);
}

bool TMainForm::SetResizeParam()
{
    const int R = std::max(cbxResizeRule->currentIndex(), 0);
    if (R == 9) {
        const int K = SizeHistoryCombo->currentIndex();
        if (K < 0 || size_t(K) >= ResizeHistory.size()) {
            Tell(Tx("The size history is empty: choose a size rule and its sizes."));
            return false;
        }
        int Rule = 0;
        double V1 = 0, V2 = 0;
        ReadHistoryEntry(ResizeHistory[size_t(K)], Rule, V1, V2);
        if (EffectList)
            EffectList->SetResizeParam(Rule, V1, V2);
        MoveHistoryToTop(K);
        SizeHistoryCombo->setCurrentIndex(0);
        return true;
    }
    double V1, V2;
    if (!EditNumber(edtSide1->text(), V1))
        V1 = Settings.Resize.Size1[size_t(R)];
    if (!EditNumber(edtSide2->text(), V2))
        V2 = Settings.Resize.Size2[size_t(R)];
    edtSide1->setText(NumberText(V1));
    edtSide2->setText(NumberText(V2));
    const std::string Entry = HistoryEntryText(R, V1, V2);
    const auto It = std::find(ResizeHistory.begin(), ResizeHistory.end(), Entry);
    if (It != ResizeHistory.end()) {
        MoveHistoryToTop(int(It - ResizeHistory.begin()));
    } else {
        ResizeHistory.insert(ResizeHistory.begin(), Entry);
        SizeHistoryCombo->insertItem(0, HistoryLine(Entry));
        while (ResizeHistory.size() > size_t(kHistoryMax)) {
            ResizeHistory.pop_back();
            SizeHistoryCombo->removeItem(SizeHistoryCombo->count() - 1);
        }
    }
    if (EffectList)
        EffectList->SetResizeParam(R, V1, V2);
    return true;
}
