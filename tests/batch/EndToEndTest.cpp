// Whole runs on small generated JPEG files through the codec library and the
// resampler.
#include "batch/BatchJobs.h"
#include "core/Global.h"
#include "core/Kodex.h"
#include "core/Resize.h"
#include "effects/ResizeFilter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

namespace fs = std::filesystem;

namespace {

struct Sink : TErrorSink {
    std::mutex M;
    std::vector<std::string> Lines;
    void PutErrorMsg(const std::string& Msg) override
    {
        std::lock_guard<std::mutex> G(M);
        Lines.push_back(Msg);
    }
    int GetErrorCount() override
    {
        std::lock_guard<std::mutex> G(M);
        return int(Lines.size());
    }
};

std::string Read(const fs::path& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

// The entropy-coded part of a JPEG: from the first start-of-scan marker on.
std::string ScanData(const std::string& J)
{
    const size_t P = J.find("\xFF\xDA");
    return P == std::string::npos ? std::string() : J.substr(P);
}

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string Err;
        Loaded = LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err);
    }
    void SetUp() override
    {
        ASSERT_TRUE(Loaded) << "codec library not built";
        Dir = fs::temp_directory_path() / ("vestro_e2e_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        Saved = {FileOption, JPEGOption, MetadataOption, ResizeOption};
        FileOption = TFileOption();
        FileOption.SameDirectory = false;
        FileOption.OutputDirectory = (Dir / "out").string() + "/";
        FileOption.FileNameFormat = "<old>.jpg";
        auto R = std::make_unique<TResizeFilter>();
        Effects.AddFilter(std::move(R));
        Effects.SetResizeParam(RULE_PERCENT, 100, 0);
        Main.SetDecimationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Main.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Main.SetSIMDMode(3, false);
        Main.SetMaxThreadNum(1);
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        std::tie(FileOption, JPEGOption, MetadataOption, ResizeOption) = Saved;
    }
    fs::path MakeJPEG(const std::string& Name, uint32_t W, uint32_t H, int Seed)
    {
        TImgInfo Img;
        AllocImg(Img, W, H, 3);
        uint32_t X = uint32_t(Seed) * 2654435761u;
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t I = 0; I < W * 3; ++I) {
                X = X * 1103515245u + 12345u; // noise, so that sizes depend on quality
                ScanLine(Img, Y)[I] = uint8_t((I + Y) * 3 + (X >> 27));
            }
        const fs::path P = Dir / "in" / Name;
        EXPECT_NE(::WriteJPEG(P.string(), Img, 95, TResolutionInfo{72, 72, 1}, false, nullptr, nullptr, 0, 2, 0), 0);
        FreeImg(Img);
        Files.Clear();
        return P;
    }
    void Add(const fs::path& P)
    {
        auto I = new TImageInfo;
        I->Checked = true;
        EXPECT_TRUE(GetImageInfo(P.string(), *I));
        Files.Add(I);
    }
    bool Run(int Threads)
    {
        TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, FileOption.FileNameFormat);
        TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, IO, Errors,
                        ThreadObjectCopies(&Main, nullptr, nullptr, nullptr), TConvertSettings{});
        TBatchRun Batch(Names, Job, Errors, nullptr);
        TNumbering N;
        N.CurrentNumber = &Current;
        N.StartNumber = &FileOption.StartNumber;
        N.ExtractStartNumber = [&] { return Names.ExtractStart(); };
        return Batch.Run(TCollisionRules{false, false, false}, N, Threads, false);
    }
    std::pair<int32_t, int32_t> Probe(const fs::path& P)
    {
        TImageInfo I;
        EXPECT_TRUE(GetImageInfo(P.string(), I)) << P;
        return {I.Width, I.Height};
    }

    static inline bool Loaded = false;
    fs::path Dir;
    std::tuple<TFileOption, TJPEGOption, TMetadataOption, TResizeOption> Saved;
    TEffectList Effects;
    TResizer Main;
    TConvertIO IO;
    TImageInfoList Files;
    Sink Errors;
    int32_t Current = 1;
};

} // namespace

TEST_F(EndToEnd, ResizedJPEGsAreTheSameWithOneOrEightWorkers)
{
    std::vector<fs::path> In;
    for (int i = 0; i < 6; ++i)
        In.push_back(MakeJPEG("p" + std::to_string(i) + ".jpg", 120 + 16 * i, 90, i));
    for (const auto& P : In)
        Add(P);
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    ASSERT_TRUE(Run(1));
    ASSERT_TRUE(Errors.Lines.empty()) << Errors.Lines[0];
    std::vector<std::string> One;
    for (int i = 0; i < 6; ++i) {
        const fs::path O = Dir / "out" / ("p" + std::to_string(i) + ".jpg");
        EXPECT_EQ(Probe(O), std::make_pair((120 + 16 * i) / 2, 45));
        One.push_back(Read(O));
    }
    ASSERT_TRUE(Run(8));
    EXPECT_TRUE(Errors.Lines.empty());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Read(Dir / "out" / ("p" + std::to_string(i) + ".jpg")), One[size_t(i)]) << i;
}

TEST_F(EndToEnd, UnchangedJPEGKeepsItsScanUnlessRecompressed)
{
    const fs::path A = MakeJPEG("a.jpg", 64, 48, 1);
    Add(A);
    ASSERT_TRUE(Run(1));
    ASSERT_TRUE(Errors.Lines.empty()) << Errors.Lines[0];
    const std::string Copied = Read(Dir / "out" / "a.jpg");
    EXPECT_EQ(ScanData(Copied), ScanData(Read(A)));

    JPEGOption.AlwaysRecompress = true;
    JPEGOption.Quality = 30;
    ASSERT_TRUE(Run(1));
    const std::string Encoded = Read(Dir / "out" / "a.jpg");
    EXPECT_NE(ScanData(Encoded), ScanData(Read(A)));
    EXPECT_EQ(Probe(Dir / "out" / "a.jpg").first, 64);
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
    ASSERT_TRUE(Run(1));
    ASSERT_TRUE(Errors.Lines.empty()) << Errors.Lines[0];
    const auto Size = fs::file_size(Dir / "out" / "a.jpg");
    EXPECT_LE(Size, 12u * 1024);
    EXPECT_GT(Size, 12u * 1024 / 4); // not thrown far below the limit

    // A limit no quality can meet: written at the last try anyway.
    JPEGOption.QualityLimit = 94;
    JPEGOption.FileSizeLimit = 1;
    ASSERT_TRUE(Run(1));
    EXPECT_GT(fs::file_size(Dir / "out" / "a.jpg"), 1024u);
}

TEST_F(EndToEnd, ReducedDecodingStillGivesThePercentOfTheSource)
{
    const fs::path A = MakeJPEG("a.jpg", 400, 300, 3);
    Add(A);
    JPEGOption.DecodeWithDownScaling = 3;
    JPEGOption.DownScalingLimit = 100;
    Effects.SetResizeParam(RULE_PERCENT, 25, 0); // decoded at 1/4, then 25 % x 4
    ASSERT_TRUE(Run(1));
    ASSERT_TRUE(Errors.Lines.empty()) << Errors.Lines[0];
    EXPECT_EQ(Probe(Dir / "out" / "a.jpg"), std::make_pair(100, 75));
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
    TNumbering N;
    N.CurrentNumber = &Current;
    N.StartNumber = &FileOption.StartNumber;
    N.ExtractStartNumber = [&] { return Names.ExtractStart(); };
    ASSERT_TRUE(Batch.Run(TCollisionRules{}, N, 2, false));
    EXPECT_EQ(Batch.Names().OutputFileCount, 2);
    // Sorted by input name; the missing file takes no number.
    EXPECT_EQ(Probe(Dir / "out" / "1_a.jpg"), std::make_pair(30, 15));
    EXPECT_EQ(Probe(Dir / "out" / "2_b.jpg"), std::make_pair(20, 15));
}
