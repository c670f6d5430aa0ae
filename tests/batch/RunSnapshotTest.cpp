// A run follows the settings it started with: a dialog or a profile that
// changes the option records while it goes on changes none of its outputs.
#include "BatchFixture.h"
#include "batch/RunController.h"
#include "core/OutputFileName.h"
#include "effects/GrayscaleFilter.h"
#include "effects/RotationFilter.h"

#include <condition_variable>
#include <mutex>

namespace {

// Reads as the program does, and after the first picture of the run turns
// every setting an output depends on to something else.
struct ChangingSettingsIO : TConvertIO {
    int Loads = 0;
    int32_t LoadImage(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC, bool& IsYCbCr,
                      uint32_t& Flags, int32_t OutFormat, const TRunSettings& S) override
    {
        Change();
        return TConvertIO::LoadImage(Info, Img, Scale, AllowDownScale, ICC, IsYCbCr, Flags, OutFormat, S);
    }
    // A JPEG resized as it is decoded is one load too (and no second one
    // when it goes back to the whole picture).
    int32_t LoadResizedJPEG(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                            uint32_t& Flags, int32_t OutFormat, TResizer& Resizer,
                            const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>& NewSize,
                            const TRunSettings& S) override
    {
        Change();
        const int32_t r =
            TConvertIO::LoadResizedJPEG(Info, Img, Scale, AllowDownScale, ICC, Flags, OutFormat, Resizer, NewSize, S);
        if (r < 0)
            --Loads;
        return r;
    }
    void Change()
    {
        if (Loads++ == 1) {
            for (bool* B : {&Settings.JPEG.Progressive, &Settings.JPEG.AddExifInfo, &Settings.Metadata.KeepResolution,
                            &Settings.PNG.WritepHYsChunk, &Settings.PNG.IndexColor, &Settings.Bitmap.IndexColor,
                            &Settings.Resize.Degamma, &Settings.Resize.NoExpand, &Settings.File.NotOverwrite})
                *B = !*B;
            Settings.JPEG.Quality = 20;
            Settings.JPEG.SampleType = 2;
            Settings.JPEG.DCTMethod = 1 - Settings.JPEG.DCTMethod;
            Settings.JPEG.UseFileSizeLimit = Settings.File.DeleteInputFile = true;
            Settings.JPEG.FileSizeLimit = 1;
            Settings.Metadata.Resolution = 300;
            Settings.PNG.CompressLevel = 1;
            Settings.PNG.Filter = 0xF8;
            Settings.Bitmap.AlphaBitmapHeaderType = 1 - Settings.Bitmap.AlphaBitmapHeaderType;
            Settings.Background = TBGColor{0, 10, 20, 30, 18};
        }
    }
};

// Holds the run's worker at its second picture until the test's thread has
// changed what it wants to change.
struct PausingIO : TConvertIO {
    std::mutex Lock;
    std::condition_variable Cond;
    int Loads = 0;
    bool Paused = false, Changed = false;
    int32_t LoadImage(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC, bool& IsYCbCr,
                      uint32_t& Flags, int32_t OutFormat, const TRunSettings& S) override
    {
        {
            std::unique_lock<std::mutex> L(Lock);
            if (Loads++ == 1) {
                Paused = true;
                Cond.notify_all();
                Cond.wait_for(L, std::chrono::seconds(20), [this] { return Changed; });
            }
        }
        return TConvertIO::LoadImage(Info, Img, Scale, AllowDownScale, ICC, IsYCbCr, Flags, OutFormat, S);
    }
    // On the test's thread: waits for the pause, runs Change, lets the worker go on.
    void ChangeMidRun(const std::function<void()>& Change)
    {
        std::unique_lock<std::mutex> L(Lock);
        ASSERT_TRUE(Cond.wait_for(L, std::chrono::seconds(20), [this] { return Paused; })) << "the run never paused";
        Change();
        Changed = true;
        Cond.notify_all();
    }
};

class RunSnapshot : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedPNG = Settings.PNG;
        SavedBG = Settings.Background;
    }
    void TearDown() override
    {
        Settings.PNG = SavedPNG;
        Settings.Background = SavedBG;
        BatchRunTest::TearDown();
    }
    // Every output of a run over four pictures, by name.
    std::map<std::string, std::string> Outputs(TConvertIO& With)
    {
        const auto Saved = std::make_tuple(Settings.File, Settings.JPEG, Settings.Metadata, Settings.Resize,
                                           Settings.PNG, Settings.Bitmap);
        fs::remove_all(Dir / "out");
        List({In[0], In[1], In[2], In[3]});
        EXPECT_TRUE(Run(1, With));
        EXPECT_TRUE(Lines().empty()) << Lines()[0];
        std::map<std::string, std::string> R;
        for (const auto& E : fs::directory_iterator(Dir / "out"))
            R[E.path().filename().string()] = Read(E.path());
        std::tie(Settings.File, Settings.JPEG, Settings.Metadata, Settings.Resize, Settings.PNG, Settings.Bitmap) =
            Saved;
        Settings.Background = SavedBG;
        return R;
    }
    // Every output of a run through the controller over the list, by name;
    // Mid (when given) runs on this thread while the run is held at its
    // second picture.
    std::map<std::string, std::string> ControlledOutputs(const std::function<void()>& Mid = {})
    {
        fs::remove_all(Dir / "out");
        PausingIO Pausing;
        TRunSettings S = TakeRunSettings();
        S.System.ParallelProcessing = false;
        TRunController Run(TRunEntries{&Files, nullptr}, Effects, S, Errors,
                           ThreadObjectCopies(&Main, nullptr, nullptr, nullptr), Mid ? &Pausing : &IO);
        Run.Start({});
        if (Mid)
            Pausing.ChangeMidRun(Mid);
        for (int Tries = 0; !Run.Ended() && Tries < 600; ++Tries) {
            Run.WaitFor(100);
            Run.Poll();
        }
        Run.Wait();
        EXPECT_TRUE(Run.Ended());
        EXPECT_TRUE(Lines().empty()) << Lines()[0];
        std::map<std::string, std::string> R;
        for (const auto& E : fs::directory_iterator(Dir / "out"))
            R[E.path().filename().string()] = Read(E.path());
        return R;
    }
    TPNGOption SavedPNG;
    TBGColor SavedBG;
    std::vector<fs::path> In;
};

} // namespace

TEST_F(RunSnapshot, SettingsChangedMidRunChangeNoOutputOfThatRun)
{
    for (int i = 0; i < 4; ++i)
        In.push_back(MakeJPEG("p" + std::to_string(i) + ".jpg", 96 + 8 * i, 72, i));
    Effects.SetResizeParam(RULE_PERCENT, 150, 0);
    for (const char* Rule : {"<old>.jpg", "<old>.png", "<old>.bmp"}) {
        Settings.File.FileNameFormat = Rule;
        Settings.File.NotOverwrite = false;
        const auto Steady = Outputs(IO);
        ASSERT_EQ(Steady.size(), 4u) << Rule;
        ChangingSettingsIO Changing;
        const auto Changed = Outputs(Changing);
        EXPECT_EQ(Changing.Loads, 4);
        ASSERT_EQ(Changed.size(), 4u) << Rule;
        for (const auto& [Name, Bytes] : Steady)
            EXPECT_TRUE(Changed.count(Name) && Changed.at(Name) == Bytes) << Rule << ": " << Name;
        for (const fs::path& P : In)
            EXPECT_TRUE(fs::exists(P)) << "a source deleted by a setting made after the start";
    }
}

// A run on its own thread while the window's thread changes the numbering
// and the rule: the run numbers from what it was given and hands the next
// number back; only the window's thread stores it (a data race otherwise,
// which the thread sanitizer build reports).
TEST_F(RunSnapshot, ARunNumbersFromItsStartAndHandsTheNextNumberBack)
{
    const int32_t SavedCurrent = CurrentNumber;
    for (int i = 0; i < 3; ++i)
        Add(MakeBMP("p" + std::to_string(i) + ".bmp", 8, 8, i));
    Settings.File.FileNameFormat = "<old>_<n>.bmp";
    Settings.File.ResetType = 2;
    Settings.File.StartNumber = CurrentNumber = 7; // as a start of the program sets them
    const TRunEntries Entries{&Files, nullptr};
    TOutputNameJob Names(Entries, Effects, Settings.File.FileNameFormat, TakeRunSettings());
    TConvertJob Job(Entries, Effects, IO, Errors, TWorkerObjectFactory{}, RunSettingsWith(false, false));
    TBatchRun Batch(Names, Job, Errors, nullptr);
    TNumbering N = RunNumbering(Names);
    CurrentNumber = 50; // from here on the window's thread changes them
    Batch.Start(RunCollisionRules(TakeRunSettings()), N, 2, false);
    for (int i = 0; i < 1000; ++i) {
        Settings.File.StartNumber = CurrentNumber = 100 + i;
        Settings.File.FileNameFormat = "x<n>.bmp";
    }
    Batch.Wait();
    StoreNextNumber(Batch.Names(), CurrentNumber, Settings.File.StartNumber);
    EXPECT_TRUE(Lines().empty());
    for (const char* Name : {"p0_7.bmp", "p1_8.bmp", "p2_9.bmp"})
        EXPECT_TRUE(fs::exists(Out(Name))) << Name;
    EXPECT_EQ(std::make_pair(CurrentNumber, Settings.File.StartNumber), std::make_pair(10, 10));
    CurrentNumber = SavedCurrent;
}

// The window's thread changes the effect chain (a parameter of an effect,
// the size rule, the order, an effect added) while a run goes on: the run
// works with the chain as it was when it started.
TEST_F(RunSnapshot, EffectChainChangedMidRunChangesNoOutputOfThatRun)
{
    for (int i = 0; i < 4; ++i)
        Add(MakeBMP("p" + std::to_string(i) + ".bmp", 40 + 8 * i, 30, i));
    Settings.File.FileNameFormat = "<old>.png";
    Settings.File.NotOverwrite = false;
    auto* Rotation = new TRotationFilter;
    Rotation->FUse = true;
    Effects.AddFilter(std::unique_ptr<TEffect>(Rotation));
    Effects.SetResizeParam(RULE_PERCENT, 150, 0);
    Effects.ReOrder();

    const auto Steady = ControlledOutputs();
    ASSERT_EQ(Steady.size(), 4u);
    // The run's copy of the chain does what the chain itself does.
    fs::remove_all(Dir / "out");
    ASSERT_TRUE(Run(1, IO));
    for (const auto& [Name, Bytes] : Steady)
        EXPECT_EQ(Read(Out(Name)), Bytes) << Name << " differs from a run on the chain itself";
    const auto Changed = ControlledOutputs([&] {
        Rotation->FValue = ROTATE_MIRROR;
        Effects.SetResizeParam(RULE_PERCENT, 50, 0);
        Effects.Exchange(0, 1);
        auto Gray = std::make_unique<TGrayscaleFilter>();
        Gray->FUse = true;
        Effects.AddFilter(std::move(Gray));
    });
    ASSERT_EQ(Changed.size(), 4u);
    for (const auto& [Name, Bytes] : Steady)
        EXPECT_TRUE(Changed.count(Name) && Changed.at(Name) == Bytes) << Name;
    // The changed chain does change every output of the next run.
    const auto Next = ControlledOutputs();
    for (const auto& [Name, Bytes] : Steady)
        EXPECT_TRUE(Next.count(Name) && Next.at(Name) != Bytes) << Name << " unchanged by the new chain";
}
