// Whole runs on generated JPEG files through the codec library and the
// resampler.
#include "BatchFixture.h"
#include "core/Errors.h"
#include "platform/Process.h"

#include <thread>

namespace {

// The entropy-coded part of a JPEG: from the first start-of-scan marker on.
std::string ScanData(const std::string& J)
{
    const size_t P = J.find("\xFF\xDA");
    return P == std::string::npos ? std::string() : J.substr(P);
}

// Stands in for the lossless transform: starts writing its output, then runs
// a tool that would take half a minute. A careless one ignores the tool's
// exit code.
class SlowTool : public TEffect {
public:
    explicit SlowTool(bool CheckExit = true) : TEffect("JPEGTran", 'L', "JPEGTran", EFFECT_JPEGTRAN), FCheck(CheckExit)
    {
        FUse = true;
    }
    void DoEffect(TImgInfo&, TEffectParams& P) override
    {
        std::ofstream(P.OutFileName) << "half";
        if (RunProcessAndWait({"sleep", "30"}, P.ToolCancel) != 0 && FCheck)
            throw EVestroError("tool failed");
    }

private:
    bool FCheck;
};

class EndToEnd : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        FileOption.FileNameFormat = "<old>.jpg";
        FileOption.NotOverwrite = false;
    }
};

} // namespace

TEST_F(EndToEnd, ResizedJPEGsAreTheSameWithOneOrEightWorkers)
{
    for (int i = 0; i < 6; ++i)
        Add(MakeJPEG("p" + std::to_string(i) + ".jpg", 120 + 16 * i, 90, i));
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    ASSERT_TRUE(Run(1, IO));
    ASSERT_TRUE(Lines().empty()) << Lines()[0];
    std::vector<std::string> One;
    for (int i = 0; i < 6; ++i) {
        const fs::path O = Dir / "out" / ("p" + std::to_string(i) + ".jpg");
        EXPECT_EQ(SizeOf(O), std::make_pair((120 + 16 * i) / 2, 45));
        One.push_back(Read(O));
    }
    ASSERT_TRUE(Run(8, IO));
    EXPECT_TRUE(Lines().empty());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Read(Dir / "out" / ("p" + std::to_string(i) + ".jpg")), One[size_t(i)]) << i;
}

TEST_F(EndToEnd, UnchangedJPEGKeepsItsScanUnlessRecompressed)
{
    const fs::path A = MakeJPEG("a.jpg", 64, 48, 1);
    Add(A);
    ASSERT_TRUE(Run(1, IO));
    ASSERT_TRUE(Lines().empty()) << Lines()[0];
    const std::string Copied = Read(Dir / "out" / "a.jpg");
    EXPECT_EQ(ScanData(Copied), ScanData(Read(A)));

    JPEGOption.AlwaysRecompress = true;
    JPEGOption.Quality = 30;
    ASSERT_TRUE(Run(1, IO));
    const std::string Encoded = Read(Dir / "out" / "a.jpg");
    EXPECT_NE(ScanData(Encoded), ScanData(Read(A)));
    EXPECT_EQ(SizeOf(Out("a.jpg")).first, 64);
}

TEST_F(EndToEnd, FileSizeLimitIsMetWhenTheLimitsAllow)
{
    const fs::path A = MakeJPEG("a.jpg", 256, 256, 7);
    Add(A);
    JPEGOption.AlwaysRecompress = true;
    JPEGOption.UseFileSizeLimit = true;
    JPEGOption.Quality = 95;
    JPEGOption.SampleType = 2;
    JPEGOption.QualityLimit = 5;
    JPEGOption.FileSizeLimit = 12; // KB
    ASSERT_TRUE(Run(1, IO));
    ASSERT_TRUE(Lines().empty()) << Lines()[0];
    const auto Size = fs::file_size(Dir / "out" / "a.jpg");
    EXPECT_LE(Size, 12u * 1024);
    EXPECT_GT(Size, 12u * 1024 / 4); // not thrown far below the limit

    // A limit no quality can meet: written at the last try anyway.
    JPEGOption.QualityLimit = 94;
    JPEGOption.FileSizeLimit = 1;
    ASSERT_TRUE(Run(1, IO));
    EXPECT_GT(fs::file_size(Dir / "out" / "a.jpg"), 1024u);
}

TEST_F(EndToEnd, ReducedDecodingStillGivesThePercentOfTheSource)
{
    const fs::path A = MakeJPEG("a.jpg", 400, 300, 3);
    Add(A);
    JPEGOption.DecodeWithDownScaling = 3;
    JPEGOption.DownScalingLimit = 100;
    Effects.SetResizeParam(RULE_PERCENT, 25, 0); // decoded at 1/4, then 25 % x 4
    ASSERT_TRUE(Run(1, IO));
    ASSERT_TRUE(Lines().empty()) << Lines()[0];
    EXPECT_EQ(SizeOf(Dir / "out" / "a.jpg"), std::make_pair(100, 75));
}

TEST_F(EndToEnd, RunInputIsProbedWhenTaken)
{
    const fs::path B = MakeJPEG("b.jpg", 40, 30, 2);
    const fs::path A = MakeJPEG("a.jpg", 60, 30, 1);
    std::vector<TImageFileInfo> RunInput(3);
    RunInput[0].InputFileName = B.string();
    RunInput[1].InputFileName = (Dir / "in" / "missing.jpg").string();
    RunInput[2].InputFileName = A.string();
    FileOption.AutoSortMode = 1;
    FileOption.FileNameFormat = "<n>_<old>.jpg";
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    TOutputNameJob Names(TRunEntries{nullptr, &RunInput}, Effects, FileOption.FileNameFormat);
    TConvertJob Job(TRunEntries{nullptr, &RunInput}, Effects, IO, Errors,
                    ThreadObjectCopies(&Main, nullptr, nullptr, nullptr), TConvertSettings{});
    TBatchRun Batch(Names, Job, Errors, nullptr);
    TNumbering N = RunNumbering(Names);
    ASSERT_TRUE(Batch.Run(TCollisionRules{}, N, 2, false));
    EXPECT_EQ(Batch.Names().OutputFileCount, 2);
    // Sorted by input name; the missing file takes no number.
    EXPECT_EQ(SizeOf(Dir / "out" / "1_a.jpg"), std::make_pair(30, 15));
    EXPECT_EQ(SizeOf(Dir / "out" / "2_b.jpg"), std::make_pair(20, 15));
}


TEST_F(EndToEnd, UnchangedJPEGCopyKeepsAFileThatAppearedDuringTheRun)
{
    // Another program creates the output between the names and the copy.
    struct Intruder : TBatchEventQueue {
        std::string Target;
        void Progress(uint32_t, const std::string&) override { std::ofstream(Target) << "theirs"; }
    } Obs;
    Obs.Target = Out("a.jpg").string();
    const fs::path A = MakeJPEG("a.jpg", 64, 48, 1);
    Add(A);
    FileOption.NotOverwrite = true;
    TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, FileOption.FileNameFormat);
    TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, IO, Errors, TWorkerObjectFactory{}, TConvertSettings{});
    TBatchRun Batch(Names, Job, Errors, &Obs);
    TNumbering N = RunNumbering(Names);
    Batch.Run(TCollisionRules{}, N, 1, false);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], "a.jpg: Failed to copy file");
    EXPECT_EQ(Read(Out("a.jpg")), "theirs");
}

TEST_F(EndToEnd, CancelEndsARunningToolAndLeavesNoOutput)
{
    const fs::path A = MakeJPEG("a.jpg", 64, 48, 1);
    const std::string Before = Read(A);
    Add(A);
    FileOption.SameDirectory = true; // the output would replace the source
    Effects.SetJPEGTranEffect(std::make_unique<SlowTool>());
    TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, FileOption.FileNameFormat);
    TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, IO, Errors, TWorkerObjectFactory{},
                    TConvertSettings{false, false});
    TBatchRun Batch(Names, Job, Errors, nullptr);
    TNumbering N = RunNumbering(Names);
    const auto T0 = std::chrono::steady_clock::now();
    Batch.Start(TCollisionRules{false, false, true}, N, 1, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Batch.Cancel();
    Batch.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - T0, std::chrono::seconds(10));
    EXPECT_TRUE(Batch.Canceled());
    EXPECT_EQ(Read(A), Before);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "in"), fs::directory_iterator()), 1);
}

TEST_F(EndToEnd, ToolKilledByCancelNeitherReplacesTheOutputNorDeletesTheSource)
{
    // Even when the effect does not look at the killed tool's exit code.
    const fs::path A = MakeJPEG("a.jpg", 64, 48, 1);
    Add(A);
    FileOption.DeleteInputFile = true;
    fs::create_directories(Dir / "out");
    std::ofstream(Out("a.jpg")) << "previous";
    Effects.SetJPEGTranEffect(std::make_unique<SlowTool>(false));
    TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, FileOption.FileNameFormat);
    TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, IO, Errors, TWorkerObjectFactory{},
                    TConvertSettings{false, false});
    TBatchRun Batch(Names, Job, Errors, nullptr);
    TNumbering N = RunNumbering(Names);
    Batch.Start(TCollisionRules{false, false, true}, N, 1, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Batch.Cancel();
    Batch.Wait();
    EXPECT_TRUE(fs::exists(A));
    EXPECT_EQ(Read(Out("a.jpg")), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), fs::directory_iterator()), 1);
}
