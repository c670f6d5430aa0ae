#include "UiTestApp.h"

#include "core/Global.h"
#include "effects/ToneCurveEffect.h"
#include "effects/ui/ToneCurveDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

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
