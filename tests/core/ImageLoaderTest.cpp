

#include "FilesTestUtil.h"
#include "core/Bitmap.h"
#include "core/ImageLoader.h"
#include "core/SusiePlugin.h"

namespace {

class FileTimes : public ::testing::Test {
protected:
    platform::TFileStamp Stamp(const std::string& F)
    {
        platform::TFileStat St;
        EXPECT_TRUE(platform::StatFile(F, St));
        return St.LastWrite;
    }
    TOptionGuard Guard;
    TTempDir D;
    TImageInfo Info;
};

TEST_F(FileTimes, TimesOutsideTheDOSRangeAreRestoredExactly)
{
    WriteBytes(D.File("src"), {1});
    WriteBytes(D.File("out"), {1});
    const platform::TFileStamp Old{1000003, 123456789}; // January 1970
    ASSERT_TRUE(platform::SetLastWriteTime(D.File("src"), Old) && GetBasicFileInfo(D.File("src"), Info));
    Info.OutPutFileName = D.File("out");
    Settings.Metadata.KeepLastWriteTime = true;
    Settings.Metadata.KeepCreationTime = true; // cannot be set here; must not disturb the rest
    RestoreFileTimes(Info, Info.OutPutFileName, Settings.Metadata);
    EXPECT_EQ(std::make_pair(Stamp(D.File("out")).Sec, Stamp(D.File("out")).NSec), std::make_pair(Old.Sec, Old.NSec));
}

class LoadByType : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        Startup.CPUFeatures = GetCPUFeatures();
    }
    int32_t Load(const std::string& File, TImgHolder& Img, int32_t OutFormat, TScale Scale = {}, bool Down = false)
    {
        EXPECT_TRUE(GetImageInfo(File, Info));
        return LoadImageByType(Info, Img.I, Scale, Down, nullptr, YCbCr, Flags, OutFormat, TakeRunSettings());
    }
    TOptionGuard Guard;
    TTempDir D;
    TImageInfo Info;
    bool YCbCr = false;
    uint32_t Flags = 0;
};

TEST_F(LoadByType, AlphaIsFlattenedOnlyWhereTheOutputNeedsIt)
{
    TImgHolder Src{MakeGradient(16, 8, 4)}, J, P;
    ASSERT_NE(WritePNG(D.File("a.png"), Src.I, 0, false, false, {}, 0, nullptr, nullptr, 6, TakeRunSettings()), 0);
    Settings.Background = TBGColor{0, 255, 0, 0, 0}; // red
    ASSERT_EQ(Load(D.File("a.png"), J, ofJPEG), 1);
    EXPECT_EQ(J.I.Channels, 3u);
    EXPECT_GT(ScanLine(J.I, 0)[2], ScanLine(Src.I, 0)[2]); // half-transparent over red
    ASSERT_EQ(Load(D.File("a.png"), P, ofPNG), 1);
    EXPECT_EQ(P.I.Channels, 4u);
    Settings.Bitmap.AlphaChannelSupport = false;
    EXPECT_EQ(LoaderFlags(ofBMP, TakeRunSettings()), uint32_t(lfFlattenAlpha));
}

TEST_F(LoadByType, BitmapAndPluginInputs)
{
    TImgHolder Src{MakeGradient(9, 5, 3)}, B, P;
    ASSERT_TRUE(SaveBitmapFile(D.File("b.bmp"), Src.I, {2835, 2835, 3}, TakeRunSettings()));
    ASSERT_EQ(Load(D.File("b.bmp"), B, ofJPEG, {0.1, 0.1}, true), 1);
    for (uint32_t Y = 0; Y < 5; ++Y)
        EXPECT_EQ(0, std::memcmp(ScanLine(B.I, Y), ScanLine(Src.I, Y), 27)) << Y;

    std::ofstream(D.File("x.ppm"), std::ios::binary) << "P6\n3 2\n255\n" << std::string(18, '\x41');
    EXPECT_FALSE(GetImageInfo(D.File("x.ppm"), Info)); // no plug-ins loaded
    TSPIList List;
    List.LoadSPI(std::string(VESTRO_TEST_BIN_DIR) + "/spi", "pnm.spi");
    ASSERT_EQ(List.Count(), 1u);
    PictureTypes.ActiveSPIList = &List;
    const int32_t R = Load(D.File("x.ppm"), P, ofPNG);
    PictureTypes.ActiveSPIList = nullptr;
    EXPECT_EQ(std::make_tuple(Info.PictureFormat, Info.Width, Info.Height), std::make_tuple(pfSPI, 3, 2));
    EXPECT_EQ(Info.SPI(), List.Items(0));
    ASSERT_EQ(R, 1);
    EXPECT_EQ(std::make_pair(P.I.Width, ScanLine(P.I, 1)[8]), std::make_pair(3u, uint8_t(0x41)));
}

} // namespace
