#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "FilesTestUtil.h"
#include "core/Bitmap.h"
#include "core/Errors.h"
#include "core/ImageLoader.h"
#include "core/SusiePlugin.h"

namespace {

TEST(Loader, DecodeDenominator)
{
    TOptionGuard Guard;
    JPEGOption.DownScalingLimit = 100;
    JPEGOption.DecodeWithDownScaling = 3;
    EXPECT_EQ(JPEGDecodeDenominator(0.2, JPEGOption), 4); // 1/8 < 0.2 stops it
    EXPECT_EQ(JPEGDecodeDenominator(0.6, JPEGOption), 1);
    JPEGOption.DecodeWithDownScaling = 20; // however many steps: never below 1/8
    EXPECT_EQ(JPEGDecodeDenominator(0.0001, JPEGOption), 8);
    JPEGOption.DownScalingLimit = 200; // the default keeps twice the target size
    EXPECT_EQ(JPEGDecodeDenominator(0.2, JPEGOption), 2);
}

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

TEST_F(FileTimes, LastWriteIsRestoredToEvenSeconds)
{
    WriteBytes(D.File("out.jpg"), {1});
    Info.OutPutFileName = D.File("out.jpg");
    ASSERT_TRUE(TryEncodeDateTime(2015, 6, 7, 10, 0, 1, Info.DateTimeLastWrite));
    int64_t Want = 0;
    ASSERT_TRUE(platform::LocalToUTC({2015, 6, 7, 10, 0, 0}, Want));
    RestoreFileTimes(Info, Info.OutPutFileName, MetadataOption); // KeepLastWriteTime is off
    EXPECT_NE(Stamp(Info.OutPutFileName).Sec, Want);
    MetadataOption.KeepLastWriteTime = true;
    RestoreFileTimes(Info, Info.OutPutFileName, MetadataOption);
    EXPECT_EQ(Stamp(Info.OutPutFileName).Sec, Want);
    Info.LastWriteStamp = {Want + 1, 500}; // as the probe keeps it
    RestoreFileTimes(Info, Info.OutPutFileName, MetadataOption);
    EXPECT_EQ(Stamp(Info.OutPutFileName).Sec, Want);
    EXPECT_EQ(Stamp(Info.OutPutFileName).NSec, 0u);
}

TEST_F(FileTimes, TimesOutsideTheDOSRangeAreRestoredExactly)
{
    WriteBytes(D.File("src"), {1});
    WriteBytes(D.File("out"), {1});
    const platform::TFileStamp Old{1000003, 123456789}; // January 1970
    ASSERT_TRUE(platform::SetLastWriteTime(D.File("src"), Old));
    ASSERT_TRUE(GetBasicFileInfo(D.File("src"), Info));
    Info.OutPutFileName = D.File("out");
    MetadataOption.KeepLastWriteTime = true;
    MetadataOption.KeepCreationTime = true; // cannot be set here; must not disturb the rest
    RestoreFileTimes(Info, Info.OutPutFileName, MetadataOption);
    EXPECT_EQ(Stamp(D.File("out")).Sec, Old.Sec);
    EXPECT_EQ(Stamp(D.File("out")).NSec, Old.NSec);
}

class LoadByType : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        CPUFeatures = GetCPUFeatures();
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
    TImgHolder Src, J, P;
    Src.I = MakeGradient(16, 8, 4);
    ASSERT_NE(WritePNG(D.File("a.png"), Src.I, 0, false, false, {}, 0, nullptr, nullptr, 6, TakeRunSettings()), 0);
    DefaultBGColor = TBGColor{0, 255, 0, 0, 0}; // red
    ASSERT_EQ(Load(D.File("a.png"), J, ofJPEG), 1);
    EXPECT_EQ(J.I.Channels, 3u);
    EXPECT_GT(ScanLine(J.I, 0)[2], ScanLine(Src.I, 0)[2]); // half-transparent over red
    ASSERT_EQ(Load(D.File("a.png"), P, ofPNG), 1);
    EXPECT_EQ(P.I.Channels, 4u);
    BitmapOption.AlphaChannelSupport = false;
    EXPECT_EQ(LoaderFlags(ofBMP, TakeRunSettings()), uint32_t(lfFlattenAlpha));
}

TEST_F(LoadByType, ReducedJPEGDecodingOnlyWhenAllowed)
{
    TImgHolder Src, Full, Small;
    Src.I = MakeGradient(400, 200, 3);
    ASSERT_NE(WriteJPEG(D.File("p.jpg"), Src.I, 90, {}, false, nullptr, nullptr, 0, 1, 0, TakeRunSettings()), 0);
    JPEGOption.DownScalingLimit = 100;
    JPEGOption.DecodeWithDownScaling = 3;
    ASSERT_EQ(Load(D.File("p.jpg"), Full, ofJPEG, {0.2, 0.2}, false), 1);
    EXPECT_EQ(Full.I.Width, 400u);
    ASSERT_EQ(Load(D.File("p.jpg"), Small, ofJPEG, {0.2, 0.2}, true), 4);
    EXPECT_EQ(std::make_pair(Small.I.Width, Small.I.Height), std::make_pair(100u, 50u));
    std::filesystem::remove(D.File("p.jpg"));
    TImgHolder None;
    EXPECT_EQ(LoadImageByType(Info, None.I, {}, false, nullptr, YCbCr, Flags, ofJPEG, TakeRunSettings()), 0);
}

TEST_F(LoadByType, BitmapAndPluginInputs)
{
    TImgHolder Src, B, P;
    Src.I = MakeGradient(9, 5, 3);
    ASSERT_TRUE(SaveBitmapFile(D.File("b.bmp"), Src.I, {2835, 2835, 3}, TakeRunSettings()));
    ASSERT_EQ(Load(D.File("b.bmp"), B, ofJPEG, {0.1, 0.1}, true), 1);
    for (uint32_t Y = 0; Y < 5; ++Y)
        EXPECT_EQ(0, std::memcmp(ScanLine(B.I, Y), ScanLine(Src.I, Y), 27)) << Y;

    std::ofstream(D.File("x.ppm"), std::ios::binary) << "P6\n3 2\n255\n" << std::string(18, '\x41');
    EXPECT_FALSE(GetImageInfo(D.File("x.ppm"), Info)); // no plug-ins loaded
    TSPIList List;
    List.LoadSPI(std::string(VESTRO_TEST_BIN_DIR) + "/spi", "pnm.spi");
    ASSERT_EQ(List.Count(), 1u);
    ActiveSPIList = &List;
    const int32_t R = Load(D.File("x.ppm"), P, ofPNG);
    ActiveSPIList = nullptr;
    EXPECT_EQ(std::make_tuple(Info.PictureFormat, Info.Width, Info.Height), std::make_tuple(pfSPI, 3, 2));
    EXPECT_EQ(Info.SPI(), List.Items(0));
    ASSERT_EQ(R, 1);
    EXPECT_EQ(std::make_pair(P.I.Width, ScanLine(P.I, 1)[8]), std::make_pair(3u, uint8_t(0x41)));
}

} // namespace
