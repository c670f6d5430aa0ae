// Whole runs on small generated files in a scratch folder: in/ holds the
// inputs, out/ receives the outputs (rule "<old>.bmp" unless a test says
// otherwise). Options are restored after each test. Failures are read from the
// process-wide error log, where the codec library's messages land too: what a
// user would be shown.
#pragma once
#include "batch/BatchJobs.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/Kodex.h"
#include "core/Resize.h"
#include "effects/ResizeFilter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ::testing;

// The settings as they stand, with the two a run's window chooses itself.
inline TRunSettings RunSettingsWith(bool RenameOnly, bool NotOverwrite)
{
    TRunSettings S = TakeRunSettings();
    S.File.RenameOnly = RenameOnly;
    S.File.NotOverwrite = NotOverwrite;
    return S;
}

inline std::string Read(const fs::path& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

// Counts the pictures resized as they were decoded.
// Loads every picture whole, then resizes it: the banded path declines.
struct WholePictureIO : TConvertIO {
    int32_t LoadResizedJPEG(TImageInfo&, TImgInfo&, TScale&, bool, TICCInfo*, uint32_t&, int32_t, TResizer&,
                            const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>&,
                            const TRunSettings&) override
    {
        return -1;
    }
};

struct BandCountingIO : TConvertIO {
    std::atomic<int> Banded{0};
    int32_t LoadResizedJPEG(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                            uint32_t& Flags, int32_t OutFormat, TResizer& Resizer,
                            const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>& NewSize,
                            const TRunSettings& S) override
    {
        const int32_t r =
            TConvertIO::LoadResizedJPEG(Info, Img, Scale, AllowDownScale, ICC, Flags, OutFormat, Resizer, NewSize, S);
        if (r > 0)
            ++Banded;
        return r;
    }
};

class BatchRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string Err;
        KodexReady = LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err);
    }
    void SetUp() override
    {
        ASSERT_TRUE(KodexReady) << "codec library not built";
        ErrorLog.Clear();
        Dir = fs::temp_directory_path() /
            ("vestro_run_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        Saved = {Settings.File, Settings.JPEG, Settings.Metadata, Settings.Resize, Settings.Bitmap};
        Settings.File = TFileOption();
        Settings.File.SameDirectory = false;
        Settings.File.OutputDirectory = (Dir / "out").string() + "/";
        Settings.File.FileNameFormat = "<old>.bmp";
        Effects.AddFilter(std::make_unique<TResizeFilter>());
        Effects.SetResizeParam(RULE_PERCENT, 100, 0);
        Main.SetDecimationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Main.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Main.SetSIMDMode(3, false);
        Main.SetMaxThreadNum(1);
    }
    void TearDown() override
    {
        for (auto& E : fs::recursive_directory_iterator(Dir))
            fs::permissions(E.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(Dir);
        ErrorLog.Clear();
        std::tie(Settings.File, Settings.JPEG, Settings.Metadata, Settings.Resize, Settings.Bitmap) = Saved;
    }

    // Pictures whose pixels depend on Seed (the JPEG ones noisy, so that
    // their size depends on the quality).
    fs::path MakeBMP(const std::string& Name, uint32_t W, uint32_t H, int Seed)
    {
        TImgInfo Img;
        AllocImg(Img, W, H, 3);
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t X = 0; X < W * 3; ++X)
                ScanLine(Img, Y)[X] = uint8_t(X * 7 + Y * 13 + Seed);
        const fs::path P = Dir / "in" / Name;
        EXPECT_TRUE(SaveBitmapFile(P.string(), Img, TResolutionInfo{}, TakeRunSettings()));
        FreeImg(Img);
        return P;
    }
    fs::path MakeJPEG(const std::string& Name, uint32_t W, uint32_t H, int Seed, const uint8_t* Exif = nullptr,
                      uint32_t ExifSize = 0, uint32_t PngChannels = 0)
    {
        const uint32_t Ch = PngChannels ? PngChannels : 3;
        TImgInfo Img;
        AllocImg(Img, W, H, Ch);
        uint32_t X = uint32_t(Seed) * 2654435761u;
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t I = 0; I < W * Ch; ++I) {
                X = X * 1103515245u + 12345u;
                ScanLine(Img, Y)[I] = uint8_t((I + Y) * 3 + (X >> 27));
            }
        const fs::path P = Dir / "in" / Name;
        if (PngChannels)
            EXPECT_TRUE(::WritePNG(P.string(), Img, 0, false, false, {}, 0, nullptr, nullptr, 6, TakeRunSettings()));
        else
            EXPECT_NE(::WriteJPEG(P.string(), Img, 95, TResolutionInfo{72, 72, 1}, false, nullptr, Exif, ExifSize, 2, 0,
                                  TakeRunSettings()),
                      0);
        FreeImg(Img);
        return P;
    }
    // The same noise as a PNG of Ch channels.
    fs::path MakePNG(const std::string& Name, uint32_t W, uint32_t H, int Seed, uint32_t Ch)
    {
        return MakeJPEG(Name, W, H, Seed, nullptr, 0, Ch);
    }
    // The main list: the given files, probed and checked.
    void List(std::initializer_list<fs::path> Paths)
    {
        Files.Clear();
        for (const fs::path& P : Paths)
            Add(P);
    }
    void Add(const fs::path& P)
    {
        auto I = new TImageInfo;
        I->SetPath(P.string());
        I->Checked = true;
        GetImageInfo(P.string(), *I);
        Files.Add(I);
    }
    // A run over the list as the progress window starts it, or over Input
    // as an at-once start does, reporting to Observer (else to Events).
    bool Run(int Threads, TConvertIO& IO, bool AbortOnError = false, TBatchObserver* Observer = nullptr,
             std::vector<TImageFileInfo>* Input = nullptr)
    {
        TRunProbes Probes;
        const TRunEntries Entries = Input ? TRunEntries{nullptr, Input, &Probes} : TRunEntries{&Files, nullptr};
        TOutputNameJob Names(Entries, Effects, Settings.File.FileNameFormat, TakeRunSettings());
        TConvertJob Job(Entries, Effects, IO, Errors, ThreadObjectCopies(&Main, nullptr, nullptr, nullptr),
                        RunSettingsWith(Settings.File.RenameOnly, Settings.File.NotOverwrite));
        TBatchRun Batch(Names, Job, Errors, Observer ? Observer : &Events);
        TNumbering N = RunNumbering(Names);
        return Batch.Run(RunCollisionRules(RunSettingsWith(false, Settings.File.NotOverwrite)), N, Threads,
                         AbortOnError);
    }
    std::vector<std::string> Lines() { return Log.Lines(); }
    // The log's only line ("" and a failure when it holds more or none).
    std::string OnlyLine()
    {
        const std::vector<std::string> L = Lines();
        EXPECT_EQ(L.size(), 1u) << ::testing::PrintToString(L);
        return L.size() == 1 ? L[0] : "";
    }
    static long Entries(const fs::path& D)
    {
        return std::distance(fs::directory_iterator(D), fs::directory_iterator());
    }
    // JPEG output under a size limit of KB kilobytes, searched from quality 95 down to 5.
    static void LimitJPEGSize(int32_t KB)
    {
        Settings.JPEG.AlwaysRecompress = Settings.JPEG.UseFileSizeLimit = true;
        Settings.JPEG.Quality = 95;
        Settings.JPEG.SampleType = 2;
        Settings.JPEG.QualityLimit = 5;
        Settings.JPEG.FileSizeLimit = KB;
    }
    fs::path Out(const std::string& Name) const { return Dir / "out" / Name; }
    std::pair<int32_t, int32_t> SizeOf(const fs::path& P)
    {
        TImageInfo I;
        EXPECT_TRUE(GetImageInfo(P.string(), I)) << P;
        return {I.Width, I.Height};
    }

    static inline bool KodexReady = false;
    fs::path Dir;
    std::tuple<TFileOption, TJPEGOption, TMetadataOption, TResizeOption, TBitmapOption> Saved;
    TEffectList Effects;
    TResizer Main;
    TConvertIO IO;
    TImageInfoList Files;
    TErrorLog& Log = ErrorLog;
    TErrorLogSink Errors{Log};
    TBatchEventQueue Events;
};
