// The Run key as a user presses it: one press starts one run, a press while a
// run's window is opening or showing starts none.
#include "app/FileListView.h"
#include "app/MainFrm.h"
#include "app/ProgressFrm.h"
#include "tests/app/MainWindowTest.h"
#include "tests/app/RunWindowCounter.h"
#include "tests/app/TestApp.h"

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
    QApplication::setActiveWindow(Window.get());
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(Runs.Shown, 2);
    EXPECT_EQ(Written(), (std::vector<std::string>{"1_p0.jpg", "2_p1.jpg", "3_p0.jpg", "4_p1.jpg"}));
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
