#include <gtest/gtest.h>

#include "FilesTestUtil.h"
#include "core/ImageLoader.h"
#include "platform/FileTimes.h"

namespace {

TEST(Loader, FormatFromOutputName)
{
    EXPECT_EQ(FormatIdFromExt("/a/B.JPEG"), ofJPEG);
    EXPECT_EQ(FormatIdFromExt("x.jpg"), ofJPEG);
    EXPECT_EQ(FormatIdFromExt("x.Png"), ofPNG);
    EXPECT_EQ(FormatIdFromExt("x.bmp"), ofBMP);
    EXPECT_EQ(FormatIdFromExt("x.gif"), ofNone);
    EXPECT_EQ(FormatIdFromExt("/dir.jpg/noext"), ofNone);
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
};

TEST_F(FileTimes, LastWriteIsRestoredToEvenSeconds)
{
    WriteBytes(D.File("out.jpg"), {1});
    TImageInfo Info;
    Info.OutPutFileName = D.File("out.jpg");
    ASSERT_TRUE(TryEncodeDateTime(2015, 6, 7, 10, 0, 1, Info.DateTimeLastWrite));
    int64_t Want = 0;
    ASSERT_TRUE(platform::LocalToUTC({2015, 6, 7, 10, 0, 0}, Want));

    MetadataOption.KeepLastWriteTime = false;
    RestoreFileTimes(Info);
    EXPECT_NE(Stamp(Info.OutPutFileName).Sec, Want);

    MetadataOption.KeepLastWriteTime = true;
    RestoreFileTimes(Info);
    EXPECT_EQ(Stamp(Info.OutPutFileName).Sec, Want);
    EXPECT_EQ(Stamp(Info.OutPutFileName).NSec, 0u);
}

TEST_F(FileTimes, TimesOutsideTheDOSRangeAreRestoredExactly)
{
    WriteBytes(D.File("src"), {1});
    WriteBytes(D.File("out"), {1});
    const platform::TFileStamp Old{1000003, 123456789}; // January 1970
    ASSERT_TRUE(platform::SetLastWriteTime(D.File("src"), Old));
    TImageInfo Info;
    ASSERT_TRUE(GetBasicFileInfo(D.File("src"), Info));
    Info.OutPutFileName = D.File("out");
    MetadataOption.KeepLastWriteTime = true;
    MetadataOption.KeepCreationTime = true; // cannot be set here; must not disturb the rest
    RestoreFileTimes(Info);
    EXPECT_EQ(Stamp(D.File("out")).Sec, Old.Sec);
    EXPECT_EQ(Stamp(D.File("out")).NSec, Old.NSec);
    // A missing output is no error.
    Info.OutPutFileName = D.File("none");
    RestoreFileTimes(Info);
    EXPECT_FALSE(std::filesystem::exists(D.File("none")));
}

} // namespace

namespace {

TEST(Loader, DecodeDenominator)
{
    TOptionGuard Guard;
    JPEGOption.DownScalingLimit = 100;
    JPEGOption.DecodeWithDownScaling = 3;
    EXPECT_EQ(JPEGDecodeDenominator(0.2), 4); // 1/8 < 0.2 stops it
    EXPECT_EQ(JPEGDecodeDenominator(0.125), 8);
    EXPECT_EQ(JPEGDecodeDenominator(0.6), 1);
    JPEGOption.DecodeWithDownScaling = 0;
    EXPECT_EQ(JPEGDecodeDenominator(0.01), 1);
    // However many steps the settings allow, the decoder cannot go below 1/8.
    JPEGOption.DecodeWithDownScaling = 20;
    EXPECT_EQ(JPEGDecodeDenominator(0.0001), 8);
    // The default limit of 200 % keeps twice the target size.
    JPEGOption.DownScalingLimit = 200;
    EXPECT_EQ(JPEGDecodeDenominator(0.2), 2);
}

TEST(Loader, FlattenFlag)
{
    TOptionGuard Guard;
    const uint32_t Saved = CPUFeatures;
    CPUFeatures = CPU_SSE | CPU_SSE2;
    EXPECT_EQ(LoaderFlags(ofPNG), 0u);
    EXPECT_EQ(LoaderFlags(ofJPEG), lfFlattenAlpha);
    EXPECT_EQ(LoaderFlags(ofBMP), 0u);
    BitmapOption.AlphaChannelSupport = false;
    EXPECT_EQ(LoaderFlags(ofBMP), lfFlattenAlpha);
    ColorReductionDropsAlpha = true;
    EXPECT_EQ(LoaderFlags(ofPNG), lfFlattenAlpha);
    ColorReductionDropsAlpha = false;
    CPUFeatures = 0;
    EXPECT_EQ(LoaderFlags(ofPNG), lfFlattenAlpha);
    CPUFeatures = Saved;
}

} // namespace
