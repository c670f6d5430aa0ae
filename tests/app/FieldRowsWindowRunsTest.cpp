// What the main window does after a run as the run ended: the after-run
// command only after a run that finished without errors, and the list's
// entries removed only when they went through.
#include "tests/app/MainWindowTest.h"

#include "app/FileListView.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

namespace fs = std::filesystem;

namespace {

class WindowRunEnd : public TMainWindowTest {
protected:
    // The window on settings that convert (or combine) in/ into out/ and then
    // touch out/ran; three photos listed, large enough that a run outlasts
    // the moment its window shows.
    void Open(const std::string& Settings)
    {
        for (const char* N : {"a.jpg", "b.jpg", "c.jpg"})
            WritePhoto(Dir / "in" / N, 2400, 1600);
        LoadTestSettings(Dir, "[System]\nUseExternalTool=1\nCommand=touch <DIR>/ran\n" + Settings);
        Window = std::make_unique<TMainForm>(std::vector<std::string>{(Dir / "in").string()});
        Window->Confirm = [](const QString&) { return true; };
        Window->Notice = [](const QString&) {};
        Window->show();
        ASSERT_TRUE(WaitFor([] { return App.FileList->Count() == 3; })) << App.FileList->Count();
    }
    // The Run command, as F5 or the toolbar's Run button gives it.
    void Run() { Window->ConvertRun->trigger(); }
    // Whether the command touched out/ran within Ms (a command that was not
    // started is given a little time to show that it was not).
    bool Ran(int Ms = 2000)
    {
        return WaitFor([this] { return fs::exists(Dir / "out" / "ran"); }, Ms);
    }
};

} // namespace

// Run, then the run window closed the moment it shows, as its Cancel button
// closes it: no command. The same run left to finish starts it.
TEST_F(WindowRunEnd, OnlyAFinishedRunStartsTheCommand)
{
    for (const char* Settings : {"[Resize]\nRule=0\nSize1=50\n", "[Combine]\nUse=1\nRows=1\nColumns=1\n"}) {
        SCOPED_TRACE(Settings);
        Open(Settings);
        QTimer Closer;
        QObject::connect(&Closer, &QTimer::timeout, [] {
            if (QWidget* W = QApplication::activeModalWidget())
                W->close();
        });
        // out/ is there, so that a command started wrongly leaves its mark.
        fs::create_directories(Dir / "out");
        Closer.start(0);
        Run();
        Closer.stop();
        EXPECT_THAT(Window->StatusPanel[0]->text().toStdString(), HasSubstr("Cancelled"));
        EXPECT_FALSE(Ran());

        fs::remove_all(Dir / "out");
        Run();
        EXPECT_TRUE(Ran(20000));
        Window.reset();
        fs::remove_all(Dir / "out");
    }
}

// A combine run that lost a picture keeps every entry listed for the next
// try, also with "clear the list after the run" on; a clean one removes them.
TEST_F(WindowRunEnd, AFailedCombineRunKeepsTheList)
{
    Open("[File]\nRemoveList=1\n[Combine]\nUse=1\nRows=1\nColumns=3\n");
    // c is damaged after it was listed (the list's refresh sees no change).
    const auto Stamp = fs::last_write_time(Dir / "in" / "c.jpg");
    fs::resize_file(Dir / "in" / "c.jpg", 400);
    fs::last_write_time(Dir / "in" / "c.jpg", Stamp);
    Run();
    EXPECT_FALSE(Ran());
    EXPECT_EQ(App.FileList->Count(), 3);
    EXPECT_EQ(Window->FileListView->model()->rowCount(), 3);

    WritePhoto(Dir / "in" / "c.jpg", 400, 300);
    ErrorLog.Clear();
    Run();
    EXPECT_TRUE(Ran(20000));
    EXPECT_EQ(Window->FileListView->model()->rowCount(), 0);
}

// A combine run that lost a picture says so in the status bar, as a batch run
// does: the pictures on sheets that were written count, the lost one does not
// (on a sheet of its own, or missing from a sheet shared with the others).
TEST_F(WindowRunEnd, AFailedCombineRunSaysWhatItLeftUnwritten)
{
    for (const char* Columns : {"1", "3"}) {
        SCOPED_TRACE(Columns);
        Open(std::string("[Combine]\nUse=1\nRows,=1\nColumns=") + Columns + "\n");
        // c is damaged after it was listed (the list's refresh sees no change).
        const auto Stamp = fs::last_write_time(Dir / "in" / "c.jpg");
        fs::resize_file(Dir / "in" / "c.jpg", 400);
        fs::last_write_time(Dir / "in" / "c.jpg", Stamp);
        QApplication::setActiveWindow(Window.get());
        QTest::keyClick(Window.get(), Qt::Key_F5);
        const std::string Status = Window->StatusPanel[0]->text().toStdString();
        EXPECT_THAT(Status, testing::EndsWith(", with errors: 1 of 3 files not written"));
        EXPECT_THAT(Status, testing::MatchesRegex("[0-9.,]+m?s, .*"));
        Window.reset();
        fs::remove_all(Dir / "out");
    }
}
