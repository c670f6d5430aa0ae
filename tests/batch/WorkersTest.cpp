// The workers' roads on small BMP files, and what they report.
#include "BatchFixture.h"

namespace {

// A BMP writer that leaves half a file behind and reports failure.
struct FailingIO : TConvertIO {
    bool WriteBMP(const std::string& Path, TImgInfo&, const TResolutionInfo&, const TRunSettings&) override
    {
        std::ofstream(Path) << "BM half";
        return false;
    }
};

// A colour reduction whose tool claims to have written the output but did not.
class SilentReduction : public TEffect {
public:
    SilentReduction() : TEffect("DecreaseColor", 'D', "DecreaseColor", EFFECT_DECREASECOLOR) { FUse = true; }
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo&, TEffectParams& P) override { P.DecreaseColor = true; }
};

// Another program creates the output while the picture is being written.
struct IntruderIO : TConvertIO {
    std::string Target;
    bool WriteBMP(const std::string& Path, TImgInfo& Img, const TResolutionInfo& Res, const TRunSettings& S) override
    {
        std::ofstream(Target) << "theirs";
        return TConvertIO::WriteBMP(Path, Img, Res, S);
    }
};

// A decode the run's cancel cuts short, as the codec library's is.
struct CancelDuringLoadIO : TConvertIO {
    TBatchRun* Batch = nullptr;
    int32_t LoadImage(TImageInfo&, TImgInfo&, TScale&, bool, TICCInfo*, bool&, uint32_t&, int32_t,
                      const TRunSettings&) override
    {
        Batch->Cancel();
        return 0;
    }
};

// A writer stopped by the cancel before it wrote anything.
struct CancelDuringWriteIO : TConvertIO {
    TBatchRun* Batch = nullptr;
    bool WriteBMP(const std::string&, TImgInfo&, const TResolutionInfo&, const TRunSettings&) override
    {
        Batch->Cancel();
        return false;
    }
};

class Workers : public BatchRunTest { };

} // namespace

TEST_F(Workers, LargestPictureIsTakenFirstAndNamesStayAsGiven)
{
    const fs::path A = MakeBMP("a.bmp", 20, 20, 1), B = MakeBMP("b.bmp", 300, 200, 2), C = MakeBMP("c.bmp", 90, 90, 3);
    List({A, B, C});
    Settings.File.FileNameFormat = "<old>_<n>.bmp";
    ASSERT_TRUE(Run(1, IO));
    EXPECT_TRUE(Lines().empty());
    std::vector<std::string> Started;
    for (const auto& E : Events.Take())
        if (E.Kind == TBatchEventQueue::ProgressEvent && !E.Text.empty())
            Started.push_back(E.Text);
    EXPECT_EQ(Started, (std::vector<std::string>{"b.bmp", "c.bmp", "a.bmp"}));
    EXPECT_EQ(Read(Out("a_1.bmp")), Read(A));
    EXPECT_EQ(Read(Out("b_2.bmp")), Read(B));
    EXPECT_EQ(Read(Out("c_3.bmp")), Read(C));
}

TEST_F(Workers, ADeepPNGIsTakenBeforeAPaletteOneOfTheSameSize)
{
    // Only the header counts: bit depth and colour type say how many bytes inflate and unfilter.
    const auto Png = [this](const char* Name, uint8_t Depth, uint8_t Type) {
        const fs::path P = Dir / "in" / Name;
        std::ofstream(P, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x01\0\0\0\x01\0", 24)
                                           << char(Depth) << char(Type) << std::string(7, '\0');
        return P;
    };
    List({Png("pal.png", 8, 3), Png("rgb.png", 8, 2), Png("deep.png", 16, 2), Png("deepgray.png", 16, 0)});
    TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, Settings.File.FileNameFormat, TakeRunSettings());
    std::vector<double> Cost;
    for (int I = 0; I < 4; ++I)
        Cost.push_back(Names.EstimatedCost(I, 256, 256));
    EXPECT_GT(Cost[2], Cost[1]);
    EXPECT_GT(Cost[1], Cost[0]);
    EXPECT_GT(Cost[3], Cost[0]);
    EXPECT_DOUBLE_EQ(Cost[1], 256 * 256 * 1.5); // 8-bit RGB stays where the other formats were weighed against it
}

// The files before the failing one are written, the later ones are not, and
// each file not written says so: whether the failing one cannot be loaded or
// (on the run input, probed by the name phase) cannot even be probed.
TEST_F(Workers, AbortOnErrorStopsAtTheFailingFileAndSaysWhatWasLeft)
{
    for (const bool BeforeRun : {false, true})
        for (const bool RunInput : {false, true}) {
            SCOPED_TRACE(std::to_string(BeforeRun) + std::to_string(RunInput));
            Log.Clear();
            fs::remove_all(Dir / "out");
            const fs::path A = MakeBMP("a.bmp", 10, 10, 1), B = MakeBMP("b.bmp", 10, 10, 2),
                           C = MakeBMP("c.bmp", 10, 10, 3);
            std::vector<TImageFileInfo> Input;
            for (const fs::path& P : {A, B, C})
                Input.push_back(TImageFileInfo{P.string(), "", "", "", true});
            List({A, B, C});
            fs::resize_file(B, BeforeRun ? 10 : 60);
            Run(1, IO, true, nullptr, RunInput ? &Input : nullptr);
            EXPECT_THAT(Lines(),
                        ElementsAre(StartsWith("b.bmp: "), "c.bmp: not converted: the run stopped at an error"));
            EXPECT_TRUE(fs::exists(Out("a.bmp")));
            EXPECT_FALSE(fs::exists(Out("b.bmp")) || fs::exists(Out("c.bmp")));
        }
}

// A write that fails is one line naming the target and why; what was there
// stays, no temporary is left and the input is not deleted.
TEST_F(Workers, AFailedWriteKeepsTheOldFileAndTheInput)
{
    FailingIO Failing;
    IntruderIO Intruder;
    Intruder.Target = Out("a.bmp").string();
    const std::tuple<TConvertIO*, bool, const char*, const char*> Cases[] = {
        {&Failing, false, "Failed to save file", "previous"},
        {&Intruder, true, "File exists", "theirs"},
        {&IO, false, "nothing was written", "previous"}, // with the silent colour tool
    };
    Settings.File.DeleteInputFile = true;
    for (const auto& [With, NotOverwrite, Reason, Left] : Cases) {
        SCOPED_TRACE(Reason);
        Log.Clear();
        fs::remove_all(Dir / "out");
        const fs::path A = MakeBMP("a.bmp", 10, 10, 1);
        List({A});
        Settings.File.NotOverwrite = NotOverwrite;
        if (!NotOverwrite) {
            fs::create_directories(Dir / "out");
            std::ofstream(Out("a.bmp")) << "previous";
        }
        if (With == &IO)
            Effects.SetDecreaseColorEffect(std::make_unique<SilentReduction>());
        Run(1, *With);
        EXPECT_EQ(OnlyLine(), "a.bmp: cannot write " + Out("a.bmp").string() + ": " + Reason);
        EXPECT_EQ(Read(Out("a.bmp")), Left);
        EXPECT_EQ(Entries(Dir / "out"), 1);
        EXPECT_TRUE(fs::exists(A));
    }
}

TEST_F(Workers, DeleteInputOnlyAfterItsOwnOutputExists)
{
    Settings.File.DeleteInputFile = true;
    const fs::path A = MakeBMP("a.bmp", 10, 10, 1), B = MakeBMP("b.bmp", 10, 10, 2);
    List({A, B});
    Run(2, IO);
    EXPECT_TRUE(fs::exists(Out("a.bmp")));
    EXPECT_FALSE(fs::exists(A) || fs::exists(B));

    // Converted onto itself: the output is the input, which stays.
    const fs::path C = MakeBMP("c.bmp", 10, 10, 3);
    Settings.File.SameDirectory = true;
    Settings.File.NotOverwrite = false;
    List({C});
    Run(1, IO);
    EXPECT_TRUE(Lines().empty() && fs::exists(C));
}

TEST_F(Workers, AFileCutShortByTheCancelIsNeitherBlamedNorCountedAsConverted)
{
    CancelDuringLoadIO InLoad;
    CancelDuringWriteIO InWrite;
    for (TConvertIO* IO2 : {static_cast<TConvertIO*>(&InLoad), static_cast<TConvertIO*>(&InWrite)}) {
        Log.Clear();
        List({MakeBMP("a.bmp", 10, 10, 1)});
        TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, Settings.File.FileNameFormat, TakeRunSettings());
        TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, *IO2, Errors, TWorkerObjectFactory{},
                        RunSettingsWith(false, true));
        TBatchRun Batch(Names, Job, Errors, nullptr);
        InLoad.Batch = InWrite.Batch = &Batch;
        TNumbering N = RunNumbering(Names);
        EXPECT_FALSE(Batch.Run(TCollisionRules{}, N, 1, false));
        EXPECT_TRUE(Lines().empty()) << Lines()[0];
        EXPECT_FALSE(Job.Converted(0)) << "a file the cancel stopped must stay in the list";
    }
}
