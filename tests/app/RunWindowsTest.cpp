// The run windows driving real runs on the main file list: cancel, a damaged
// picture among good ones, and what the end of a run stores.
#include "TestApp.h"
#include "app/ProgressFrm.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "app/RunEnd.h"
#include "app/TaskbarProgress.h"
#include "effects/ResizeFilter.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <thread>

namespace fs = std::filesystem;

namespace {

// Holds each picture until the run is cancelled (at most 30 s), so that no
// run can be over before its cancel arrives, however slowly the window's
// thread gets to send it.
class TWaitForCancel : public TEffect {
public:
    TWaitForCancel() : TEffect("Wait", 'W', "Wait", EFFECT_GRAYSCALE) { FUse = true; }
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo&, TEffectParams& P) override
    {
        for (int i = 0; i < 3000 && P.Cancel && !*P.Cancel; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

class RunWindows : public TListsTest {
protected:
    void SetUp() override
    {
        TListsTest::SetUp();
        fs::create_directories(Dir / "in");
        Settings.File.SameDirectory = false;
        Settings.File.OutputDirectory = (Dir / "out").string();
        Settings.File.FileNameFormat = "<old>";
        Settings.File.AtOnce = false;
        Settings.File.NotOverwrite = false;
        Settings.Combine = TCombineOption{};
        Settings.Combine.FillBlank = false;
        Settings.Combine.Width = Settings.Combine.Height = 20;
        Settings.Combine.Rows = Settings.Combine.Columns = 1;
        Effects.AddFilter(std::make_unique<TResizeFilter>());
    }
    // N pictures p00.bmp.. of 40 x 30, differing in colour, listed in name order.
    void ListInputs(int N)
    {
        for (int i = 0; i < N; ++i)
            WritePhoto(In(i), 40, 30, i);
        TProgressForm3 Busy;
        Busy.AddFolder((Dir / "in").string());
        ASSERT_EQ(Busy.exec(), 1);
        ASSERT_EQ(Files.Count(), N);
    }
    fs::path In(int I) const
    {
        char Name[16];
        std::snprintf(Name, sizeof Name, "p%02d.bmp", I);
        return Dir / "in" / Name;
    }
    fs::path Out(int I) const { return Dir / "out" / In(I).filename(); }
    // Starts the run once the window is up, and closes it at once when Cancel is set.
    template <class Form> int Exec(Form& Run, bool Cancel)
    {
        QTimer::singleShot(0, &Run, [&Run, Cancel] {
            Run.StartRun();
            if (Cancel)
                Run.close();
        });
        return Run.exec();
    }
    // A run window closed at once: a cancel that cannot be pressed again.
    template <class Form> void ExpectCancelled(Form& Run)
    {
        EXPECT_EQ(Exec(Run, true), 2);
        EXPECT_TRUE(Run.Canceled());
        EXPECT_EQ(Run.ExitStatus(), 2);
        EXPECT_FALSE(Run.CancelButton->isEnabled());
    }
};

} // namespace

TEST_F(RunWindows, CancelAtTheStartIsACancelAndConvertsNothing)
{
    ListInputs(3);
    // Cancel right after the run began, whether the names are ready yet or
    // not: the request must not be lost.
    Effects.AddFilter(std::make_unique<TWaitForCancel>());
    TProgressForm Run(false, {});
    ExpectCancelled(Run);
    // The one worker (the default) may still finish the file it holds.
    EXPECT_LE(int(fs::exists(Out(0))) + int(fs::exists(Out(1))) + int(fs::exists(Out(2))), 1);
}

TEST_F(RunWindows, ACombineRunLogsADamagedPictureAndTheOthersStillMakeTheirSheets)
{
    Settings.Combine.Use = true;
    ListInputs(3);
    // The header stays readable, the pixels are gone.
    fs::resize_file(In(1), 80);
    TProgressForm2 Run(false, {});
    EXPECT_EQ(Exec(Run, false), 1);
    EXPECT_EQ(Run.ExitStatus(), 1);
    ASSERT_GE(ErrorLog.GetErrorCount(), 1);
    EXPECT_THAT(ErrorLog.Lines().front(), HasSubstr("p01.bmp"));
    EXPECT_EQ(ImageSize(Out(0)), QSize(20, 20));
    EXPECT_EQ(ImageSize(Out(2)), QSize(20, 20));
}

TEST_F(RunWindows, ACancelledCombineRunEndsAsACancel)
{
    Settings.Combine.Use = true;
    ListInputs(12);
    TProgressForm2 Run(false, {});
    ExpectCancelled(Run);
    EXPECT_LT(Run.Written().size(), 12u);
}

TEST_F(RunWindows, ARunningNumberThatCannotBeStoredIsAnError)
{
    // The next run would number from the old value and overwrite the
    // outputs of this one.
    std::ofstream(Dir / "blocker") << "a file where the profile's folder would be";
    Settings.File.ResetType = 2;
    Settings.File.StartNumber = 42;
    Settings.System.UseExternalTool = false;
    Startup.IniFileName = (Dir / "blocker" / "profile.ini").string();
    TTaskbarProgress Taskbar;
    EXPECT_EQ(FinishAtOnceRun(true, Taskbar), 1);
    EXPECT_THAT(ErrorLog.Lines(), ElementsAre(StartsWith("profile.ini: cannot write " + Startup.IniFileName + ": ")));
}

// What the bars show at the end of a finished run: the batch bar has left
// its moving form for the 0..768 range of the work; the combine bar stands
// full, one step per picture.
TEST_F(RunWindows, AFinishedRunLeavesItsBarShowingTheWork)
{
    ListInputs(3);
    TProgressForm Batch(false, {});
    EXPECT_EQ(Exec(Batch, false), 1);
    EXPECT_EQ(std::make_pair(Batch.ProgressBar->minimum(), Batch.ProgressBar->maximum()), std::make_pair(0, 768));

    Settings.Combine.Use = true;
    TProgressForm2 Combine(false, {});
    EXPECT_EQ(Exec(Combine, false), 1);
    EXPECT_EQ(Combine.ProgressBar->maximum(), 3);
    EXPECT_EQ(Combine.ProgressBar->value(), 3);
}
