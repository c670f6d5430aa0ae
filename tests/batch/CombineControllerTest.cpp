// A combine run started, watched, cancelled and reported through its
// controller, with no window anywhere: what the combine window and an
// at-once start rely on.
#include "batch/CombineController.h"

#include "BatchFixture.h"
#include "core/OutputFileName.h"

namespace {

// What a watcher was told.
struct Watched {
    int Tiles = 0, Reports = 0, Ends = 0;
    bool Canceled = false;
};

class CombineController : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedOption = Settings.Combine;
        SavedCurrent = CurrentNumber;
        Settings.Combine = TCombineOption();
        Settings.Combine.Width = Settings.Combine.Height = 16;
        Settings.Combine.Rows = Settings.Combine.Columns = 1; // a sheet per picture
        Settings.Combine.FillBlank = false;
        Settings.File.FileNameFormat = "sheet<n>.bmp";
    }
    void TearDown() override
    {
        Settings.Combine = SavedOption;
        CurrentNumber = SavedCurrent;
        BatchRunTest::TearDown();
    }
    // Starts the run and polls it, as the window's ticks would, until it ends.
    static Watched Drive(TCombineController& Run)
    {
        Watched W;
        TCombineController::TWatcher Watcher;
        Watcher.Progress = [&W](int Tiles) {
            EXPECT_GT(Tiles, W.Tiles) << "progress goes back";
            W.Tiles = Tiles;
            ++W.Reports;
        };
        Watcher.Ended = [&W](bool Canceled) {
            ++W.Ends;
            W.Canceled = Canceled;
        };
        Run.Start(std::move(Watcher));
        for (int Tries = 0; !Run.Ended() && Tries < 600; ++Tries) {
            Run.WaitFor(100);
            Run.Poll();
        }
        Run.Poll(); // nothing more after the end
        return W;
    }
    TCombineOption SavedOption;
    int32_t SavedCurrent = 1;
};

// Cancels the run from the pool's thread as its first tile is loaded.
struct CancelAtFirstTile : TCombineObserver {
    TCombineController* Run = nullptr;
    std::atomic<int> Seen{0};
    void TileDone() override
    {
        if (Seen++ == 0)
            Run->Cancel();
    }
};

} // namespace

TEST_F(CombineController, FinishedRunReportsEveryTileAndHandsTheNextNumberBack)
{
    List({MakeBMP("a.bmp", 40, 30, 1), MakeBMP("b.bmp", 30, 40, 2), MakeBMP("c.bmp", 20, 20, 3)});
    Settings.File.ResetType = 1;
    CurrentNumber = 4; // the running number of the program
    TCombineController Run(TCombineInput{&Files, nullptr}, Main, Log, TakeRunSettings());
    EXPECT_FALSE(Run.Started());
    const Watched W = Drive(Run);

    EXPECT_TRUE(Run.Started());
    EXPECT_EQ(W.Ends, 1);
    EXPECT_FALSE(W.Canceled);
    EXPECT_FALSE(Run.Canceled());
    EXPECT_EQ(W.Tiles, 3);
    EXPECT_GE(W.Reports, 1);
    ASSERT_EQ(Run.Written().size(), 3u);
    for (const char* Name : {"sheet4.bmp", "sheet5.bmp", "sheet6.bmp"})
        EXPECT_TRUE(fs::exists(Out(Name))) << Name;
    EXPECT_TRUE(Run.Numbers().Numbered);
    EXPECT_EQ(Run.Numbers().NextNumber, 7);
    EXPECT_EQ(CurrentNumber, 4) << "the run wrote the process-wide number";
    EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(CombineController, CancelledMidRunWritesNoFurtherSheetAndSaysSo)
{
    List({MakeBMP("a.bmp", 40, 30, 1), MakeBMP("b.bmp", 30, 40, 2), MakeBMP("c.bmp", 20, 20, 3)});
    CancelAtFirstTile Canceller;
    TCombineController Run(TCombineInput{&Files, nullptr}, Main, Log, TakeRunSettings(), &Canceller);
    Canceller.Run = &Run;
    const Watched W = Drive(Run);

    EXPECT_EQ(W.Ends, 1);
    EXPECT_TRUE(W.Canceled);
    EXPECT_TRUE(Run.Canceled());
    EXPECT_EQ(Canceller.Seen.load(), 1);
    // The page being loaded when the cancel came is left unwritten.
    EXPECT_TRUE(Run.Written().empty());
    EXPECT_FALSE(fs::exists(Dir / "out"));
    EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(CombineController, DroppedWhileItGoesOnItIsCancelledAndWaitedFor)
{
    List({MakeBMP("a.bmp", 40, 30, 1), MakeBMP("b.bmp", 30, 40, 2)});
    auto Run = std::make_unique<TCombineController>(TCombineInput{&Files, nullptr}, Main, Log, TakeRunSettings());
    Run->Start({});
    Run.reset();
    // However far it came, nothing is left running and no sheet is half made.
    for (const char* Name : {"sheet1.bmp", "sheet2.bmp"}) {
        if (fs::exists(Out(Name))) {
            EXPECT_EQ(SizeOf(Out(Name)), std::make_pair(16, 16)) << Name;
        }
    }
    EXPECT_THAT(Lines(), IsEmpty());
}
