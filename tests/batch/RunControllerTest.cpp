// A run started, watched, cancelled and counted through its controller, with
// no window anywhere: what the progress window and an at-once start rely on.
#include "BatchFixture.h"
#include "batch/ListUp.h"
#include "batch/RunController.h"

#include <chrono>
#include <thread>

namespace {

// Cancels the run as its first output is written: that file is finished,
// no further one is taken.
struct CancelOnWriteIO : TConvertIO {
    TRunController* Run = nullptr;
    bool WriteBMP(const std::string& Path, TImgInfo& Img, const TResolutionInfo& Res, const TRunSettings& S) override
    {
        if (Run)
            Run->Cancel();
        return TConvertIO::WriteBMP(Path, Img, Res, S);
    }
};

// An effect that holds its first picture until the run is cancelled (or a
// safety bound of ten seconds has passed, so that a missing cancel fails the
// test instead of hanging it).
class HoldUntilCancel : public TEffect {
public:
    HoldUntilCancel() : TEffect("Hold", 'H', "Hold", EFFECT_GRAYSCALE) { FUse = true; }
    // The run works with a copy of the chain: the copy holds, the test
    // looks at the original.
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    std::shared_ptr<std::atomic<bool>> Holding = std::make_shared<std::atomic<bool>>(false);
    void DoEffect(TImgInfo&, TEffectParams& P) override
    {
        if (Holding->exchange(true))
            return;
        for (int Ms = 0; Ms < 10000 && !(P.Cancel && *P.Cancel); ++Ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// What a watcher was told.
struct Watched {
    int Count = -2;
    double AllSize = 0, Done = 0;
    int Ends = 0;
    bool Canceled = false;
};

class RunController : public BatchRunTest {
protected:
    TRunSettings OneWorker()
    {
        TRunSettings S = TakeRunSettings();
        S.System.ParallelProcessing = false;
        return S;
    }
    // Starts the run and polls it, as a window's ticks would, until it ends.
    static Watched Drive(TRunController& Run)
    {
        Watched W;
        TRunController::TWatcher Watcher;
        Watcher.NamesReady = [&W](int Count, double AllSize) {
            W.Count = Count;
            W.AllSize = AllSize;
        };
        Watcher.Progress = [&W](double Size, const std::string&) { W.Done += Size; };
        Watcher.Ended = [&W](bool Canceled) {
            ++W.Ends;
            W.Canceled = Canceled;
        };
        Run.Start(std::move(Watcher));
        for (int Tries = 0; !Run.Ended() && Tries < 600; ++Tries) {
            Run.WaitFor(100);
            Run.Poll();
        }
        Run.Wait();
        Run.Poll(); // nothing more after the end
        return W;
    }
};

TEST_F(RunController, FinishedRunOverTheListReportsEveryFileWritten)
{
    List({MakeBMP("a.bmp", 40, 30, 1), MakeBMP("b.bmp", 300, 20, 2)});
    Files.Items(1)->Checked = false;
    Add(Dir / "in" / "b.bmp"); // the same file again, checked: written once
    Files.Items(2)->Checked = true;
    TRunController Run(TRunEntries{&Files, nullptr}, Effects, OneWorker(), Errors,
                       ThreadObjectCopies(&Main, nullptr, nullptr, nullptr));
    const Watched W = Drive(Run);

    EXPECT_EQ(W.Count, 2);
    EXPECT_EQ(W.Ends, 1);
    EXPECT_FALSE(W.Canceled);
    EXPECT_FALSE(Run.Canceled());
    EXPECT_EQ(W.AllSize, 1.0 + 2.0); // 256 x 256 tiles: a.bmp one, b.bmp two
    EXPECT_EQ(W.Done, 3 * W.AllSize);
    EXPECT_FALSE(Run.Converted(1)); // unchecked
    EXPECT_TRUE(Run.Converted(0) && Run.Converted(2));
    const TRunCounts C = Run.Counts();
    EXPECT_EQ(C.Asked, 2);
    EXPECT_EQ(C.Written, 2);
    EXPECT_EQ(C.NotWritten(), 0);
    EXPECT_TRUE(fs::exists(Out("a.bmp")) && fs::exists(Out("b.bmp")));
    EXPECT_TRUE(Run.Names().Numbered);
    EXPECT_THAT(Lines(), IsEmpty());
}

TEST_F(RunController, CancelledRunOverNamedFilesCountsWhatWasNotWritten)
{
    std::vector<TImageFileInfo> Input;
    const TRunSettings S = OneWorker();
    for (const char* Name : {"a.bmp", "b.bmp"})
        ASSERT_TRUE(AddRunInputPath(Input, MakeBMP(Name, 40, 30, Name[0]).string(), S));
    CancelOnWriteIO CancelIO;
    TRunController Run(TRunEntries{nullptr, &Input}, Effects, S, Errors,
                       ThreadObjectCopies(&Main, nullptr, nullptr, nullptr), &CancelIO);
    CancelIO.Run = &Run;
    const Watched W = Drive(Run);

    EXPECT_EQ(W.Count, 2);
    EXPECT_EQ(W.Ends, 1);
    EXPECT_TRUE(W.Canceled);
    EXPECT_TRUE(Run.Canceled());
    const TRunCounts C = Run.Counts();
    EXPECT_EQ(C.Asked, 2);
    EXPECT_EQ(C.Written, 1);
    EXPECT_EQ(C.NotWritten(), 1);
    EXPECT_EQ(Entries(Dir / "out"), 1);
}

TEST_F(RunController, RunNeverStartedWroteNothingOfWhatWasAsked)
{
    List({MakeBMP("a.bmp", 40, 30, 1)});
    {
        TRunController Run(TRunEntries{&Files, nullptr}, Effects, OneWorker(), Errors,
                           ThreadObjectCopies(&Main, nullptr, nullptr, nullptr));
        EXPECT_FALSE(Run.Started());
        EXPECT_EQ(Run.Counts().NotWritten(), 1);
    }
}

TEST_F(RunController, DroppedWhileItGoesOnItIsCancelledAndWaitedFor)
{
    List({MakeBMP("a.bmp", 40, 30, 1), MakeBMP("b.bmp", 40, 30, 2)});
    auto* Hold = new HoldUntilCancel;
    Effects.AddFilter(std::unique_ptr<TEffect>(Hold));
    auto Run = std::make_unique<TRunController>(TRunEntries{&Files, nullptr}, Effects, OneWorker(), Errors,
                                                ThreadObjectCopies(&Main, nullptr, nullptr, nullptr));
    Run->Start({});
    while (!*Hold->Holding)
        std::this_thread::yield();
    Run.reset();
    // The held picture is finished; the other one is not taken.
    EXPECT_EQ(Entries(Dir / "out"), 1);
    EXPECT_TRUE(fs::exists(Out("a.bmp")));
    EXPECT_THAT(Lines(), IsEmpty());
}

// The names are made with the run's copy of the chain too: the resize step's
// scale shows in the <resizemode> token.
TEST_F(RunController, NamesFollowTheRunsCopyOfTheChain)
{
    List({MakeBMP("a.bmp", 40, 30, 1)});
    Settings.File.FileNameFormat = "<old>_<resizemode>.bmp";
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    TRunController Run(TRunEntries{&Files, nullptr}, Effects, OneWorker(), Errors,
                       ThreadObjectCopies(&Main, nullptr, nullptr, nullptr));
    Effects.SetResizeParam(RULE_PERCENT, 100, 0); // after the run was set up
    EXPECT_FALSE(Drive(Run).Canceled);
    ASSERT_EQ(Entries(Dir / "out"), 1);
    const std::string Name = fs::directory_iterator(Dir / "out")->path().filename().string();
    EXPECT_THAT(Name, StartsWith("a_"));
    EXPECT_THAT(Name, Not(HasSubstr("None"))) << "named as if nothing were resized";
    EXPECT_EQ(SizeOf(Dir / "out" / Name), std::make_pair(20, 15));
}

} // namespace
