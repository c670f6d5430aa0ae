// The Run key as a user presses it: one press starts one run, a press while a
// run's window is opening or showing starts none.
#include "app/FileListView.h"
#include "app/MainFrm.h"
#include "app/ProgressFrm.h"
#include "tests/app/MainWindowTest.h"
#include "tests/app/RunWindowCounter.h"
#include "tests/app/TestApp.h"

#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

class RunKey : public TMainWindowTest {
protected:
    void Open(int Photos)
    {
        std::vector<std::string> Args;
        for (int i = 0; i < Photos; ++i) {
            const fs::path P = Dir / "in" / ("p" + std::to_string(i) + ".jpg");
            WritePhoto(P, 400, 300, i);
            Args.push_back(P.string());
        }
        // Numbered names, counted on from run to run: a second run writes
        // names of its own beside the first run's.
        LoadTestSettings(Dir, "[Resize]\nRule=0\nSize1=50\n");
        Settings.File.FileNameFormat = "<n>_<old>";
        Settings.File.ResetType = 2;
        Window = std::make_unique<TMainForm>(Args);
        Window->Notice = [this](const QString& Text) { Notices.push_back(Text.toStdString()); };
        Window->show();
        ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == Photos; }));
        QApplication::setActiveWindow(Window.get());
        ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == Window.get(); }));
    }
    // A press once the window has the focus back starts the second run,
    // which numbers on.
    void SecondRunByAFreshPress(const TRunWindowCounter& Runs)
    {
        QApplication::setActiveWindow(Window.get());
        QTest::keyClick(Window.get(), Qt::Key_F5);
        EXPECT_EQ(Runs.Shown, 2);
        EXPECT_EQ(Written(), (std::vector<std::string>{"1_p0.jpg", "2_p1.jpg", "3_p0.jpg", "4_p1.jpg"}));
    }
    // The names of the files the runs wrote, in order.
    std::vector<std::string> Written() const { return SortedNames(Dir / "out"); }
    std::vector<std::string> Notices;
    const std::vector<std::string> OneRun{"1_p0.jpg", "2_p1.jpg"};
};

} // namespace

TEST_F(RunKey, OnePressOfF5StartsOneRunAndAPressAfterItTheNext)
{
    Open(2);
    TRunWindowCounter Runs;
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(Runs.Shown, 1);
    EXPECT_EQ(Written(), OneRun);
    ASSERT_NO_FATAL_FAILURE(SecondRunByAFreshPress(Runs));
}

// A run started inside another would leave the outer one waiting for good
// (the test then ends by its time limit).
TEST_F(RunKey, F5WhileTheRunWindowOpensStartsNoSecondRun)
{
    Open(2);
    TRunWindowCounter Runs;
    Runs.OnShow = [&](QWidget*) {
        if (Runs.Shown == 1)
            QTest::keyClick(Window.get(), Qt::Key_F5);
    };
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(Runs.Shown, 1);
    EXPECT_EQ(Written(), OneRun);
}

TEST_F(RunKey, F5WhileTheRunWindowShowsStartsNoSecondRun)
{
    Open(2);
    TRunWindowCounter Runs;
    Runs.OnShow = [&](QWidget* Run) {
        if (Runs.Shown == 1)
            QTimer::singleShot(0, Run, [this] { QTest::keyClick(Window.get(), Qt::Key_F5); });
    };
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(Runs.Shown, 1);
    EXPECT_EQ(Written(), OneRun);
}

// The keyboard repeats a held key, as X11 does: a release and a press for
// each repeat, both marked as repeats. A short run is over long before the
// key comes up; its repeats start nothing, the next fresh press the next run.
TEST_F(RunKey, AHeldF5StartsOneRunAndAFreshPressAfterItTheNext)
{
    Open(2);
    TRunWindowCounter Runs;
    QTest::simulateEvent(Window.get(), true, Qt::Key_F5, {}, {}, false);
    EXPECT_EQ(Runs.Shown, 1);
    for (int i = 0; i < 5; ++i) {
        QApplication::setActiveWindow(Window.get());
        QTest::simulateEvent(Window.get(), false, Qt::Key_F5, {}, {}, true);
        QTest::simulateEvent(Window.get(), true, Qt::Key_F5, {}, {}, true);
    }
    // Repeats the toolkit could not tell as such (on X11, when the press came
    // in after the release had been read): each press at the very moment of
    // the release before it.
    for (ulong Time : {5000ul, 5040ul, 5080ul}) {
        QApplication::setActiveWindow(Window.get());
        QKeyEvent Up(QEvent::KeyRelease, Qt::Key_F5, Qt::NoModifier);
        Up.setTimestamp(Time);
        QApplication::sendEvent(Window.get(), &Up);
        qt_sendShortcutOverrideEvent(Window.get(), Time, Qt::Key_F5, Qt::NoModifier);
    }
    QTest::simulateEvent(Window.get(), false, Qt::Key_F5, {}, {}, false);
    EXPECT_EQ(Runs.Shown, 1);
    EXPECT_EQ(Written(), OneRun);

    ASSERT_NO_FATAL_FAILURE(SecondRunByAFreshPress(Runs));
}
