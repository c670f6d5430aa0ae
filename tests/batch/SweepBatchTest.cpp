// Whole runs at the edges other tests leave open: the run's memory budget,
// collision rules and numbering as the user reads them in the output folder.
#include "BatchFixture.h"

#include "core/PictureMemory.h"
#include "../core/FilesTestUtil.h"

namespace {

class SweepBatch : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedLimit = SystemOption.PictureMemoryLimit;
        SavedSystem = SystemOption;
    }
    void TearDown() override
    {
        SystemOption = SavedSystem;
        SystemOption.PictureMemoryLimit = SavedLimit;
        BatchRunTest::TearDown();
    }
    int32_t SavedLimit = 0;
    TSystemOption SavedSystem;
};

} // namespace

// A picture that the run lets in with more than its whole budget (the
// decoded picture and as much again) but that needs less than the budget
// converts alone, with three workers and small pictures beside it, and the
// run ends: it neither waits for room that never comes nor is refused.
TEST_F(SweepBatch, APictureLargerThanTheWholeRunBudgetAloneConverts)
{
    SystemOption.PictureMemoryLimit = 1; // MiB; the large one is let in with 2 MB
    SystemOption.ParallelProcessing = true;
    SystemOption.MaxThread = 3;
    const fs::path Big = MakeBMP("big.bmp", 500, 500, 1); // 750 kB decoded
    const fs::path A = MakeBMP("a.bmp", 40, 30, 2), B = MakeBMP("b.bmp", 30, 40, 3);
    List({A, Big, B});
    ASSERT_GT(PictureBytes(500, 500, 4) * 2, uint64_t(1) << 20);
    EXPECT_TRUE(Run(3, IO));
    EXPECT_THAT(Lines(), IsEmpty());
    EXPECT_EQ(SizeOf(Out("big.bmp")), std::make_pair(500, 500));
    EXPECT_EQ(Read(Out("big.bmp")).substr(54), Read(Big).substr(54)); // the very pixels
    EXPECT_EQ(SizeOf(Out("a.bmp")), std::make_pair(40, 30));
    EXPECT_EQ(SizeOf(Out("b.bmp")), std::make_pair(30, 40));
}

// Without leave to overwrite and with "skip" chosen, a file that was there
// before the run is passed over as asked, but a name this run already gave
// another picture is no reason to drop a picture silently: it says so.
TEST_F(SweepBatch, SkipPassesOverOldFilesButNotANameOfThisRun)
{
    FileOption.NotOverwrite = true;
    FileOption.Skip = true;
    FileOption.FileNameFormat = "same.bmp";
    const fs::path A = MakeBMP("a.bmp", 8, 6, 1), B = MakeBMP("b.bmp", 6, 8, 2);
    List({A, B});
    Run(1, IO);
    EXPECT_THAT(Lines(), ElementsAre(AllOf(StartsWith("b.bmp: "), HasSubstr("same.bmp"),
                                           HasSubstr("another file of this run is written there"))));
    EXPECT_EQ(SizeOf(Out("same.bmp")), std::make_pair(8, 6));

    // A file from before the run: both pass over it without a word.
    ErrorLog.Clear();
    List({A, B});
    Run(1, IO);
    EXPECT_THAT(Lines(), IsEmpty());
    EXPECT_EQ(SizeOf(Out("same.bmp")), std::make_pair(8, 6));
    EXPECT_EQ(Entries(Dir / "out"), 1);
}

// Files handed over at once are numbered in name order when the settings
// sort by name, whatever order they came in; otherwise in that order.
TEST_F(SweepBatch, AtOnceFilesAreNumberedInNameOrderWhenSorted)
{
    FileOption.FileNameFormat = "<n>_<old>.bmp";
    FileOption.StartNumber = 1;
    FileOption.ResetType = 0;
    for (int32_t Sort : {1, 0}) {
        SCOPED_TRACE(Sort);
        fs::remove_all(Dir / "out");
        FileOption.AutoSortMode = Sort;
        std::vector<TImageFileInfo> Input;
        for (const char* N : {"c.bmp", "a.bmp", "b.bmp"})
            Input.push_back(TImageFileInfo{MakeBMP(N, 4, 4, N[0]).string(), "", "", "", true});
        ASSERT_TRUE(Run(1, IO, false, nullptr, &Input));
        const char* const Want[2][3] = {{"1_c.bmp", "2_a.bmp", "3_b.bmp"}, {"1_a.bmp", "2_b.bmp", "3_c.bmp"}};
        for (const char* N : Want[Sort])
            EXPECT_TRUE(fs::exists(Out(N))) << N;
        EXPECT_EQ(Entries(Dir / "out"), 3);
    }
}

// A JPEG's EXIF resolution is set to the settings' resolution only when the
// resolution is not kept: keeping it wins over "update the EXIF resolution".
TEST_F(SweepBatch, KeptResolutionWinsOverTheExifResolutionUpdate)
{
    const std::vector<uint8_t> Exif =
        BuildExif(etII, {{RationalEntry(282, 150, 1, etII), RationalEntry(283, 150, 1, etII), ShortEntry(296, 2)}});
    FileOption.FileNameFormat = "<old>.jpg";
    JPEGOption.AlwaysRecompress = true;
    JPEGOption.AddExifInfo = true;
    JPEGOption.UpdateExifResolution = true;
    MetadataOption.Resolution = 300;
    const struct {
        bool Keep;
        double Dpi;
    } Rows[] = {{true, 150}, {false, 300}};
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Keep);
        fs::remove_all(Dir / "out");
        MetadataOption.KeepResolution = R.Keep;
        List({MakeJPEG("a.jpg", 24, 16, 1, Exif.data(), uint32_t(Exif.size()))});
        ASSERT_TRUE(Run(1, IO));
        EXPECT_THAT(Lines(), IsEmpty());
        TImageInfo O;
        ASSERT_TRUE(GetImageInfo(Out("a.jpg").string(), O));
        EXPECT_EQ(O.XResolution(), R.Dpi);
        EXPECT_EQ(O.YResolution(), R.Dpi);
    }
}
