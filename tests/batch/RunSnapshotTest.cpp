// A run follows the settings it started with: a dialog or a profile that
// changes the option records while it goes on changes none of its outputs.
#include "BatchFixture.h"

namespace {

// Reads as the program does, and after the first picture of the run turns
// every setting an output depends on to something else.
struct ChangingSettingsIO : TConvertIO {
    int Loads = 0;
    int32_t LoadImage(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                      bool& IsYCbCr, uint32_t& Flags, int32_t OutFormat, const TRunSettings& S) override
    {
        Change();
        return TConvertIO::LoadImage(Info, Img, Scale, AllowDownScale, ICC, IsYCbCr, Flags, OutFormat, S);
    }
    // A JPEG resized as it is decoded is one load too (and no second one
    // when it goes back to the whole picture).
    int32_t LoadResizedJPEG(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                            int32_t OutFormat, TResizer& Resizer,
                            const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>& NewSize,
                            const TRunSettings& S) override
    {
        Change();
        const int32_t r =
            TConvertIO::LoadResizedJPEG(Info, Img, Scale, AllowDownScale, ICC, OutFormat, Resizer, NewSize, S);
        if (r < 0)
            --Loads;
        return r;
    }
    void Change()
    {
        if (Loads++ == 1) {
            for (bool* B : {&JPEGOption.Progressive, &JPEGOption.AddExifInfo, &MetadataOption.KeepResolution,
                            &PNGOption.WritepHYsChunk, &PNGOption.IndexColor, &BitmapOption.IndexColor,
                            &ResizeOption.Degamma, &ResizeOption.NoExpand, &FileOption.NotOverwrite})
                *B = !*B;
            JPEGOption.Quality = 20;
            JPEGOption.SampleType = 2;
            JPEGOption.DCTMethod = 1 - JPEGOption.DCTMethod;
            JPEGOption.UseFileSizeLimit = FileOption.DeleteInputFile = true;
            JPEGOption.FileSizeLimit = 1;
            MetadataOption.Resolution = 300;
            PNGOption.CompressLevel = 1;
            PNGOption.Filter = 0xF8;
            BitmapOption.AlphaBitmapHeaderType = 1 - BitmapOption.AlphaBitmapHeaderType;
            DefaultBGColor = TBGColor{0, 10, 20, 30, 18};
        }
    }
};

class RunSnapshot : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedPNG = PNGOption;
        SavedBG = DefaultBGColor;
    }
    void TearDown() override
    {
        PNGOption = SavedPNG;
        DefaultBGColor = SavedBG;
        BatchRunTest::TearDown();
    }
    // Every output of a run over four pictures, by name.
    std::map<std::string, std::string> Outputs(TConvertIO& With)
    {
        const auto Saved =
            std::make_tuple(FileOption, JPEGOption, MetadataOption, ResizeOption, PNGOption, BitmapOption);
        fs::remove_all(Dir / "out");
        List({In[0], In[1], In[2], In[3]});
        EXPECT_TRUE(Run(1, With));
        EXPECT_TRUE(Lines().empty()) << Lines()[0];
        std::map<std::string, std::string> R;
        for (const auto& E : fs::directory_iterator(Dir / "out"))
            R[E.path().filename().string()] = Read(E.path());
        std::tie(FileOption, JPEGOption, MetadataOption, ResizeOption, PNGOption, BitmapOption) = Saved;
        DefaultBGColor = SavedBG;
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
        FileOption.FileNameFormat = Rule;
        FileOption.NotOverwrite = false;
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
