#include "batch/BatchJobs.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "effects/ResizeFilter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

namespace fs = std::filesystem;

namespace {

struct VectorSink : TErrorSink {
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

struct Recorder : TBatchObserver {
    std::mutex M;
    uint64_t Units = 0;
    int Names = -2;
    int Ended = 0;
    bool Canceled = false;
    std::function<void()> OnFirstProgress;
    void NamesReady(int Count, double) override { Names = Count; }
    void Progress(uint32_t Size, const std::string&) override
    {
        std::function<void()> F;
        {
            std::lock_guard<std::mutex> G(M);
            Units += Size;
            std::swap(F, OnFirstProgress);
        }
        if (F)
            F();
    }
    void WorkerEnded(int, bool) override
    {
        std::lock_guard<std::mutex> G(M);
        ++Ended;
    }
    void RunEnded(bool C) override { Canceled = C; }
};

// A BMP writer that leaves half a file behind and reports failure.
struct FailingIO : TConvertIO {
    bool WriteBMP(const std::string& Path, TImgInfo&, const TResolutionInfo&) override
    {
        std::ofstream(Path) << "BM half";
        return false;
    }
};

std::string Read(const fs::path& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

class Workers : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = fs::temp_directory_path() / ("vestro_workers_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        Saved = {FileOption, JPEGOption, MetadataOption, ResizeOption, BitmapOption};
        FileOption = TFileOption();
        FileOption.SameDirectory = false;
        FileOption.OutputDirectory = (Dir / "out").string() + "/";
        FileOption.FileNameFormat = "<old>.bmp";
        auto R = std::make_unique<TResizeFilter>();
        Resize = R.get();
        Effects.AddFilter(std::move(R));
        Effects.SetResizeParam(RULE_PERCENT, 100, 0);
    }
    void TearDown() override
    {
        for (auto& E : fs::recursive_directory_iterator(Dir))
            fs::permissions(E.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(Dir);
        std::tie(FileOption, JPEGOption, MetadataOption, ResizeOption, BitmapOption) = Saved;
    }
    // A BMP whose pixels depend on Seed, so that outputs of different inputs differ.
    fs::path MakeBMP(const std::string& Name, uint32_t W, uint32_t H, int Seed)
    {
        TImgInfo Img;
        AllocImg(Img, W, H, 3);
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t X = 0; X < W * 3; ++X)
                ScanLine(Img, Y)[X] = uint8_t(X * 7 + Y * 13 + Seed);
        const fs::path P = Dir / "in" / Name;
        EXPECT_TRUE(SaveBitmapFile(P.string(), Img, TResolutionInfo{}));
        FreeImg(Img);
        return P;
    }
    void List(std::initializer_list<fs::path> Paths)
    {
        Files.Clear();
        for (const fs::path& P : Paths) {
            auto I = new TImageInfo;
            I->SetPath(P.string());
            I->Checked = true;
            GetImageInfo(P.string(), *I);
            Files.Add(I);
        }
    }
    bool Run(int Threads, TConvertIO& IO)
    {
        TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, FileOption.FileNameFormat);
        TConvertSettings S;
        S.RenameOnly = FileOption.RenameOnly;
        S.NotOverwrite = FileOption.NotOverwrite;
        TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, IO, Errors, TWorkerObjectFactory{}, S);
        TBatchRun Batch(Names, Job, Errors, &Observer);
        TNumbering N;
        N.CurrentNumber = &Current;
        N.StartNumber = &FileOption.StartNumber;
        N.ExtractStartNumber = [&] { return Names.ExtractStart(); };
        TCollisionRules Rules{FileOption.NotOverwrite, FileOption.Skip, FileOption.IgnoreReadOnlyAttr};
        if (OnStart)
            OnStart(Batch);
        return Batch.Run(Rules, N, Threads, AbortOnError);
    }
    fs::path Out(const std::string& Name) const { return Dir / "out" / Name; }

    fs::path Dir;
    std::tuple<TFileOption, TJPEGOption, TMetadataOption, TResizeOption, TBitmapOption> Saved;
    TEffectList Effects;
    TResizeFilter* Resize = nullptr;
    TImageInfoList Files;
    VectorSink Errors;
    Recorder Observer;
    int32_t Current = 1;
    bool AbortOnError = false;
    std::function<void(TBatchRun&)> OnStart;
};

} // namespace

TEST_F(Workers, EveryFilesWorkIsReportedIncludingTheLast)
{
    const fs::path A = MakeBMP("a.bmp", 300, 20, 1), B = MakeBMP("b.bmp", 10, 300, 2), C = MakeBMP("c.bmp", 9, 9, 3);
    List({A, B, C});
    TConvertIO IO;
    ASSERT_TRUE(Run(3, IO));
    EXPECT_TRUE(Errors.Lines.empty());
    EXPECT_EQ(Observer.Units, (2u + 2u + 1u) * 3); // tiles x 3 units
    EXPECT_EQ(Observer.Ended, 3);
    EXPECT_EQ(Read(Out("b.bmp")), Read(B)); // decoded and written again, same bytes
}

TEST_F(Workers, AbortOnErrorTakesNoFurtherFile)
{
    const fs::path A = MakeBMP("a.bmp", 10, 10, 1), B = MakeBMP("b.bmp", 10, 10, 2), C = MakeBMP("c.bmp", 10, 10, 3);
    List({A, B, C});
    // Damage the second file after probing: its pixel data is cut off.
    fs::resize_file(B, 60);
    AbortOnError = true;
    TConvertIO IO;
    Run(1, IO);
    ASSERT_EQ(Errors.Lines.size(), 1u);
    EXPECT_EQ(Errors.Lines[0].rfind("b.bmp: ", 0), 0u) << Errors.Lines[0];
    EXPECT_TRUE(fs::exists(Out("a.bmp")));
    EXPECT_FALSE(fs::exists(Out("b.bmp")));
    EXPECT_FALSE(fs::exists(Out("c.bmp")));
}

TEST_F(Workers, FailedWriteKeepsTheOldFileAndLeavesNoTemporary)
{
    const fs::path A = MakeBMP("a.bmp", 10, 10, 1);
    List({A});
    FileOption.NotOverwrite = false;
    fs::create_directories(Dir / "out");
    std::ofstream(Out("a.bmp")) << "previous";
    FailingIO IO;
    Run(1, IO);
    ASSERT_EQ(Errors.Lines.size(), 1u);
    EXPECT_EQ(Errors.Lines[0], "a.bmp: Failed to save file");
    EXPECT_EQ(Read(Out("a.bmp")), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), fs::directory_iterator()), 1);
}

TEST_F(Workers, ReadOnlyOutputIsReplacedAndStaysReadOnly)
{
    const fs::path A = MakeBMP("a.bmp", 10, 10, 1);
    List({A});
    FileOption.NotOverwrite = false;
    FileOption.IgnoreReadOnlyAttr = true;
    fs::create_directories(Dir / "out");
    std::ofstream(Out("a.bmp")) << "previous";
    fs::permissions(Out("a.bmp"), fs::perms::owner_write, fs::perm_options::remove);
    TConvertIO IO;
    Run(1, IO);
    EXPECT_TRUE(Errors.Lines.empty());
    EXPECT_EQ(Read(Out("a.bmp")), Read(A));
    EXPECT_EQ(fs::status(Out("a.bmp")).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(Workers, DeleteInputOnlyAfterItsOwnOutputExists)
{
    FileOption.DeleteInputFile = true;
    const fs::path A = MakeBMP("a.bmp", 10, 10, 1), B = MakeBMP("b.bmp", 10, 10, 2);
    List({A, B});
    TConvertIO IO;
    Run(2, IO);
    EXPECT_TRUE(fs::exists(Out("a.bmp")));
    EXPECT_FALSE(fs::exists(A));
    EXPECT_FALSE(fs::exists(B));

    // Converted onto itself: the output is the input, which stays.
    const fs::path C = MakeBMP("c.bmp", 10, 10, 3);
    FileOption.SameDirectory = true;
    FileOption.NotOverwrite = false;
    List({C});
    Run(1, IO);
    EXPECT_TRUE(Errors.Lines.empty());
    EXPECT_TRUE(fs::exists(C));

    // A failed write: logged, the input stays.
    const fs::path D = MakeBMP("d.bmp", 10, 10, 4);
    FileOption.SameDirectory = false;
    List({D});
    FailingIO Failing;
    Run(1, Failing);
    ASSERT_EQ(Errors.Lines.size(), 1u);
    EXPECT_EQ(Errors.Lines[0], "d.bmp: Failed to save file");
    EXPECT_TRUE(fs::exists(D));
    EXPECT_FALSE(fs::exists(Out("d.bmp")));
}

TEST_F(Workers, RenameOnlyNeverDestroysAnExistingFile)
{
    FileOption.RenameOnly = true;
    FileOption.NotOverwrite = false;
    const fs::path A = MakeBMP("a.bmp", 10, 10, 1), B = MakeBMP("b.bmp", 10, 10, 2);
    List({A, B});
    fs::create_directories(Dir / "out");
    std::ofstream(Out("a.bmp")) << "keep";
    TConvertIO IO;
    Run(1, IO);
    ASSERT_EQ(Errors.Lines.size(), 1u);
    EXPECT_EQ(Errors.Lines[0], "a.bmp: Failed to rename file");
    EXPECT_EQ(Read(Out("a.bmp")), "keep");
    EXPECT_TRUE(fs::exists(A));
    EXPECT_FALSE(fs::exists(B)); // moved
    EXPECT_TRUE(fs::exists(Out("b.bmp")));
}

TEST_F(Workers, CancelStopsTakingFilesAndLeavesNoPartialOutput)
{
    List({});
    for (int i = 0; i < 20; ++i) {
        auto I = new TImageInfo;
        I->Checked = true;
        GetImageInfo(MakeBMP("p" + std::to_string(i) + ".bmp", 40, 40, i).string(), *I);
        Files.Add(I);
    }
    TBatchRun* Current = nullptr;
    OnStart = [&](TBatchRun& B) { Current = &B; };
    Observer.OnFirstProgress = [&] { Current->Cancel(); };
    TConvertIO IO;
    EXPECT_FALSE(Run(2, IO));
    EXPECT_TRUE(Observer.Canceled);
    size_t Written = 0;
    for (auto& E : fs::directory_iterator(Dir / "out")) {
        EXPECT_EQ(E.path().filename().string().front(), 'p') << E.path(); // no temporary left
        ++Written;
    }
    EXPECT_LE(Written, 2u); // only the files already taken
}
