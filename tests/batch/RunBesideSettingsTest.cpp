// Runs on their own threads while the window's thread changes what a user can
// change meanwhile: the option records, the running number, the background
// colour, the effect chain's size rule, and a preview's counting of <c>
// tokens. The run keeps to what it
// was given, and no run thread writes (or reads) a process-wide record: the
// thread sanitizer build reports any that does.
#include "BatchFixture.h"
#include "batch/CombineController.h"
#include "batch/RunController.h"
#include "core/OutputFileName.h"

namespace {

class RunBesideSettings : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedCombine = Settings.Combine;
        SavedBG = Settings.Background;
        SavedCurrent = CurrentNumber;
        Settings.Combine = TCombineOption();
        Settings.Combine.Width = Settings.Combine.Height = 16;
        Settings.Combine.Rows = Settings.Combine.Columns = 1; // a sheet per picture
        Settings.Combine.FillBlank = false;
        for (int i = 0; i < 6; ++i)
            Add(MakeBMP("p" + std::to_string(i) + ".bmp", 40 + 4 * i, 30, i));
        // Where a preview left the process-wide count of the output folder.
        FolderFileCounts()[(Dir / "out").string() + "/"] = 41;
    }
    void TearDown() override
    {
        Settings.Combine = SavedCombine;
        Settings.Background = SavedBG;
        CurrentNumber = SavedCurrent;
        ClearFolderFileCounts();
        BatchRunTest::TearDown();
    }
    // What the window's thread does while a run goes on, once per turn.
    void ChangeSettings(int Turn)
    {
        Settings.File.FileNameFormat = "x" + std::to_string(Turn) + "<c>.png";
        Settings.File.StartNumber = CurrentNumber = 100 + Turn;
        Settings.File.NotOverwrite = Turn % 2 == 0;
        Settings.JPEG.Quality = 10 + Turn % 80;
        Settings.Bitmap.IndexColor = Turn % 2 == 1;
        Settings.Combine.Width = 8 + Turn % 20;
        Settings.Combine.BackgroundColor = uint32_t(Turn);
        Settings.Background = TBGColor{0, uint16_t(Turn % 256), 20, 30, 18};
        // The size edits of the main window pushed into the effect chain.
        Effects.SetResizeParam(RULE_PERCENT, 50 + Turn % 100, 0);
        // A preview names the selected file with the process-wide counters
        // (and clears them after), or has just counted the output folder.
        const std::string Folder = (Dir / "out").string() + "/";
        if (Turn % 2 == 0) {
            NextFolderFileCount(Folder);
            ClearFolderFileCounts();
        } else {
            FolderFileCounts()[Folder] = 500 + Turn;
        }
    }
    TCombineOption SavedCombine;
    TBGColor SavedBG;
    int32_t SavedCurrent = 1;
};

} // namespace

TEST_F(RunBesideSettings, ABatchRunKeepsItsSettingsAndCounters)
{
    Settings.File.FileNameFormat = "<old>_<c>.bmp";
    TRunSettings S = TakeRunSettings();
    S.System.ParallelProcessing = true;
    S.System.MaxThread = 3;
    TRunController Run(TRunEntries{&Files, nullptr}, Effects, S, Errors,
                       ThreadObjectCopies(&Main, nullptr, nullptr, nullptr));
    Run.Start({});
    for (int Turn = 0; !Run.Ended(); ++Turn) {
        ChangeSettings(Turn);
        Run.Poll();
    }
    Run.Wait();
    EXPECT_THAT(Lines(), IsEmpty());
    // The run's own count of the folder's files, in list order.
    for (int i = 0; i < 6; ++i) {
        const std::string Name = "p" + std::to_string(i) + "_" + std::to_string(i + 1) + ".bmp";
        EXPECT_EQ(SizeOf(Out(Name)), std::make_pair(40 + 4 * i, 30)) << Name;
    }
    EXPECT_EQ(Entries(Dir / "out"), 6);
}

TEST_F(RunBesideSettings, ACombineRunKeepsItsSettingsAndCounters)
{
    Settings.File.FileNameFormat = "sheet<c>.bmp";
    TRunSettings S = TakeRunSettings();
    S.System.MaxThread = 2;
    TCombineController Run(TCombineInput{&Files, nullptr}, Main, Log, S);
    Run.Start({});
    for (int Turn = 0; !Run.Ended(); ++Turn) {
        ChangeSettings(Turn);
        Run.Poll();
    }
    EXPECT_FALSE(Run.Canceled());
    EXPECT_THAT(Lines(), IsEmpty());
    ASSERT_EQ(Run.Written().size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const std::string Name = "sheet" + std::to_string(i + 1) + ".bmp";
        EXPECT_EQ(Run.Written()[size_t(i)], Out(Name).string());
        EXPECT_EQ(SizeOf(Out(Name)), std::make_pair(16, 16)) << Name;
    }
}
