#include "UiTestApp.h"

#include "core/Global.h"
#include "effects/ToneCurveEffect.h"
#include "effects/ui/ToneCurveDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTemporaryDir>

#include <memory>

namespace {

// Box pixel of curve point (x, y).
int BoxX(int x)
{
    return x + 2;
}
int BoxY(int y)
{
    return 257 - y;
}

// Points at curve point (x0, y0), presses there, drags to box pixel (X1, Y1)
// and lets go.
void Drag(QWidget* Box, int x0, int y0, int X1, int Y1)
{
    Mouse(Box, QEvent::MouseMove, BoxX(x0), BoxY(y0));
    Stroke(Box, BoxX(x0), BoxY(y0), X1, Y1);
}
void Click(QWidget* Box, int x, int y)
{
    Drag(Box, x, y, BoxX(x), BoxY(y));
}

void ExpectSound(const TPointArray& P)
{
    ASSERT_FALSE(P.empty());
    for (size_t i = 0; i < P.size(); ++i) {
        EXPECT_TRUE(P[i].x >= 0 && P[i].x <= 255 && P[i].y >= 0 && P[i].y <= 255);
        EXPECT_TRUE(i == 0 || P[i - 1].x < P[i].x) << "out of order at " << i;
    }
}

// A preset folder of its own for each test.
struct TPresetFolder {
    QTemporaryDir Dir;
    std::string OldDataDir = Startup.DataDir;
    TPresetFolder()
    {
        Startup.DataDir = Dir.path().toStdString() + "/";
        QDir().mkdir(QString::fromStdString(ToneCurvePresetDir()));
    }
    ~TPresetFolder() { Startup.DataDir = OldDataDir; }
    std::string File(const char* Name) const { return ToneCurvePresetDir() + Name + ".txt"; }
};

} // namespace

TEST(ToneCurveDlg, MouseAddsMovesAndRemovesPoints)
{
    TestApp();
    TToneCurveOptionForm F;
    F.SetParam(TToneCurveEffect().FControlPoints, 0, false, false);
    QWidget* Box = F.CurveBox;
    const TPointArray& P = F.Pt[tcRGB];

    // Far from both ends: a new point between them.
    Mouse(Box, QEvent::MouseMove, BoxX(100), BoxY(100));
    Mouse(Box, QEvent::MouseButtonPress, BoxX(100), BoxY(100));
    EXPECT_EQ(P, (TPointArray{{0, 0}, {100, 100}, {255, 255}}));
    // Dragged up and right, between its neighbours.
    Mouse(Box, QEvent::MouseMove, BoxX(120), BoxY(150));
    Mouse(Box, QEvent::MouseButtonRelease, BoxX(120), BoxY(150));
    EXPECT_EQ(P, (TPointArray{{0, 0}, {120, 150}, {255, 255}}));
    EXPECT_EQ(F.PointList->count(), 3);
    EXPECT_EQ(F.PointList->item(1)->text(), "120,150");
    EXPECT_EQ(F.CurveTable[tcRGB][120], 150);

    // Within ten levels: the nearest point moves to the click, none is added.
    Click(Box, 128, 90);
    EXPECT_EQ(P, (TPointArray{{0, 0}, {128, 90}, {255, 255}}));
    // Eleven levels away: added after the nearest.
    Click(Box, 139, 95);
    EXPECT_EQ(P, (TPointArray{{0, 0}, {128, 90}, {139, 95}, {255, 255}}));
    ExpectSound(P);

    // Dragged past its neighbour (and beyond the box): the point goes at once.
    Mouse(Box, QEvent::MouseMove, BoxX(139), BoxY(95));
    Mouse(Box, QEvent::MouseButtonPress, BoxX(139), BoxY(95));
    Mouse(Box, QEvent::MouseMove, BoxX(400), BoxY(95));
    EXPECT_FALSE(F.IsDrag);
    Mouse(Box, QEvent::MouseMove, BoxX(500), BoxY(95));
    Mouse(Box, QEvent::MouseButtonRelease, BoxX(500), BoxY(95));
    EXPECT_EQ(P, (TPointArray{{0, 0}, {128, 90}, {255, 255}}));

    // The first point dragged right past the second goes too.
    Drag(Box, 0, 0, BoxX(130), BoxY(0));
    EXPECT_EQ(P, (TPointArray{{128, 90}, {255, 255}}));
    Drag(Box, 128, 90, BoxX(255), BoxY(90));
    ASSERT_EQ(P.size(), 1u);
    // The last point left moves anywhere, clamped to the grid, and stays.
    Drag(Box, 250, 250, -40, -40);
    EXPECT_EQ(P, (TPointArray{{0, 255}}));

    // A press on another channel acts on that channel's points even though
    // the pointer last hovered over a point index it does not have.
    F.Current = 7;
    F.Channel = tcRed;
    Mouse(Box, QEvent::MouseButtonPress, BoxX(60), BoxY(30));
    Mouse(Box, QEvent::MouseButtonRelease, BoxX(60), BoxY(30));
    EXPECT_EQ(F.Pt[tcRed], (TPointArray{{0, 0}, {60, 30}, {255, 255}}));
}

TEST(ToneCurveDlg, DamagedPresetsGiveUsableCurves)
{
    TestApp();
    TPresetFolder Folder;
    const std::pair<const char*, QByteArray> Files[] = {
        {"empty", ""},
        {"binary", QByteArray("\x00\xff\xfe[Tone\x01\n=\n\x00", 13)},
        {"bad",
         "[ToneCurve]\nRGB=5,5,3\nRed=200,10,100,20,50,60\nGreen=0,0,99999999999,1\n"
         "Blue=,,,\nLuma=10,10,10,20\nChroma=-5,0,255,255\n"},
    };
    for (const auto& [Name, Bytes] : Files) {
        QFile Out(QString::fromStdString(Folder.File(Name)));
        ASSERT_TRUE(Out.open(QIODevice::WriteOnly));
        Out.write(Bytes);
    }
    TCurveSet Opened = TToneCurveEffect().FControlPoints;
    Opened[tcLuma] = {{0, 10}, {255, 240}};
    TToneCurveOptionForm F;
    F.SetParam(Opened, 0, true, false);
    for (const auto& [Name, Bytes] : Files) {
        SCOPED_TRACE(Name);
        const int Index = F.PresetList->findText(Name);
        ASSERT_GT(Index, 0);
        F.LoadPreset(Index);
        for (int i = 0; i < tcCount; ++i) {
            F.SetChannel(i);
            ExpectSound(F.Pt[i]);
            // The editor still works on what was read.
            F.CurveMouseDown(BoxX(180), BoxY(30));
            F.CurveMouseMove(BoxX(181), BoxY(31));
            F.CurveMouseUp();
            ExpectSound(F.Pt[i]);
        }
    }
    // An unsorted list is put in order rather than dropped.
    F.LoadPreset(F.PresetList->findText("bad"));
    EXPECT_EQ(F.Pt[tcRed], (TPointArray{{50, 60}, {100, 20}, {200, 10}}));
    // The first entry brings back the curves the dialog was opened with.
    F.LoadPreset(0);
    EXPECT_EQ(F.Pt, Opened);
}

namespace {

// Double-clicks line Row of the point list and types T into the box that
// opens, then presses Enter (or Escape). False when no box opened.
bool TypePoint(TToneCurveOptionForm& F, int Row, const QString& T, bool Confirm = true)
{
    auto Opened = std::make_shared<bool>(false);
    QTimer::singleShot(0, [T, Confirm, Opened] {
        auto* Box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!Box)
            return;
        *Opened = Box->windowTitle() == "Input control point";
        auto* Edit = Box->findChild<QLineEdit*>();
        Edit->selectAll();
        QTest::keyClicks(Edit, T);
        QTest::keyClick(Edit, Confirm ? Qt::Key_Return : Qt::Key_Escape);
        if (Box->isVisible()) // a box that would not close must not hang the test
            Box->reject();
    });
    const QPoint At = F.PointList->visualItemRect(F.PointList->item(Row)).center();
    QTest::mouseClick(F.PointList->viewport(), Qt::LeftButton, {}, At);
    QTest::mouseDClick(F.PointList->viewport(), Qt::LeftButton, {}, At);
    return *Opened;
}

QStringList Lines(const QListWidget* L)
{
    QStringList Out;
    for (int i = 0; i < L->count(); ++i)
        Out << L->item(i)->text();
    return Out;
}

} // namespace

// A point typed over in its line: "x,y" (blanks around the numbers allowed)
// between its neighbours' x, 0..255, replaces the point, its line and the
// curve; anything else (a neighbour's x, 256 or -1, three numbers or one,
// words) and a cancelled box change nothing, without a word.
TEST(ToneCurveDlg, PointsTypedIntoTheirLines)
{
    TestApp();
    TCurveSet Start = TToneCurveEffect().FControlPoints;
    Start[tcRGB] = {{0, 0}, {64, 80}, {192, 160}, {255, 255}};
    TToneCurveOptionForm F;
    F.SetParam(Start, 0, false, false);
    F.show();
    const TPointArray& P = F.Pt[tcRGB];

    ASSERT_TRUE(TypePoint(F, 1, "100,120"));
    EXPECT_EQ(P, (TPointArray{{0, 0}, {100, 120}, {192, 160}, {255, 255}}));
    EXPECT_EQ(Lines(F.PointList), (QStringList{"0,0", "100,120", "192,160", "255,255"}));
    EXPECT_EQ(F.CurveTable[tcRGB][100], 120);
    ASSERT_TRUE(TypePoint(F, 2, " 191 , 0 "));
    EXPECT_EQ(P[2], (TCurvePoint{191, 0}));
    EXPECT_EQ(F.CurveTable[tcRGB][191], 0);
    // Blanks separate as commas do, as in the presets' lists.
    ASSERT_TRUE(TypePoint(F, 1, "110 130"));
    EXPECT_EQ(P[1], (TCurvePoint{110, 130}));
    ASSERT_TRUE(TypePoint(F, 1, "100,  120"));
    EXPECT_EQ(P[1], (TCurvePoint{100, 120}));
    // The ends: x from 0 on the first line, below 256 on the last.
    ASSERT_TRUE(TypePoint(F, 0, "0,255"));
    ASSERT_TRUE(TypePoint(F, 3, "255,0"));
    const TPointArray Kept = P;
    const QStringList KeptLines = Lines(F.PointList);
    const uint16_t KeptTable100 = F.CurveTable[tcRGB][100];
    const std::pair<int, const char*> Refused[] = {
        {1, "0,50"},    {1, "191,50"}, {2, "100,50"},  {2, "255,50"},   {3, "256,50"}, {3, "300,50"}, {0, "-1,50"},
        {1, "120,256"}, {1, "120,-1"}, {1, "1,2,3"},   {1, "120"},      {1, "x,50"},   {1, "120,y"},  {1, ""},
        {1, ",50"},     {1, "120;50"}, {1, "120,50,"}, {3, "254.5,50"}, {1, "1 2 3"},
    };
    for (const auto& [Row, Typed] : Refused) {
        ASSERT_TRUE(TypePoint(F, Row, Typed)) << Typed;
        EXPECT_EQ(P, Kept) << "line " << Row << ": " << Typed;
        EXPECT_EQ(Lines(F.PointList), KeptLines) << Typed;
    }
    EXPECT_EQ(F.CurveTable[tcRGB][100], KeptTable100);
    ASSERT_TRUE(TypePoint(F, 1, "120,50", false)); // Escape
    EXPECT_EQ(P, Kept);
    // Another channel's lines edit that channel's points.
    F.SetChannel(tcChroma);
    ASSERT_TRUE(TypePoint(F, 1, "140,100"));
    EXPECT_EQ(F.Pt[tcChroma], (TPointArray{{0, 0}, {140, 100}, {255, 255}}));
    EXPECT_EQ(P, Kept);
}
