#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "FilesTestUtil.h"
#include "core/Bitmap.h"
#include "core/ImageLoader.h"
#include "core/SusiePlugin.h"
#include "core/Errors.h"
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

namespace {

class LoadByType : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        CPUFeatures = GetCPUFeatures();
    }
    TImageInfo& Probe(const std::string& File)
    {
        EXPECT_TRUE(GetImageInfo(File, Info));
        return Info;
    }
    TOptionGuard Guard;
    TTempDir D;
    TImageInfo Info;
    bool YCbCr = false;
    uint32_t Flags = 0;
};

TEST_F(LoadByType, AlphaIsFlattenedOnlyWhereTheOutputNeedsIt)
{
    TImgHolder Src;
    Src.I = MakeGradient(16, 8, 4);
    ASSERT_NE(WritePNG(D.File("a.png"), Src.I, 0, false, false, {}, 0, nullptr, nullptr, 6), 0);
    Probe(D.File("a.png"));
    DefaultBGColor = TBGColor{0, 255, 0, 0, 0}; // flatten onto red
    TImgHolder J, P;
    ASSERT_EQ(LoadImageByType(Info, J.I, {}, false, nullptr, YCbCr, Flags, ofJPEG), 1);
    EXPECT_EQ(Flags & lfFlattenAlpha, uint32_t(lfFlattenAlpha));
    EXPECT_EQ(J.I.Channels, 3u);
    // Half-transparent blue-ish over red: red rises, no alpha is left.
    EXPECT_GT(ScanLine(J.I, 0)[2], ScanLine(Src.I, 0)[2]);
    DefaultBGColor = TBGColor{};
    ASSERT_EQ(LoadImageByType(Info, P.I, {}, false, nullptr, YCbCr, Flags, ofPNG), 1);
    EXPECT_EQ(Flags & lfFlattenAlpha, 0u);
    EXPECT_EQ(P.I.Channels, 4u);
    EXPECT_EQ(ScanLine(P.I, 3)[7], 128);
}

TEST_F(LoadByType, ReducedJPEGDecoding)
{
    TImgHolder Src;
    Src.I = MakeGradient(400, 200, 3);
    ASSERT_NE(WriteJPEG(D.File("p.jpg"), Src.I, 90, {}, false, nullptr, nullptr, 0, 1, 0), 0);
    Probe(D.File("p.jpg"));
    JPEGOption.DownScalingLimit = 100;
    JPEGOption.DecodeWithDownScaling = 3;
    const TScale Fifth{0.2, 0.2};
    TImgHolder Full, Small;
    ASSERT_EQ(LoadImageByType(Info, Full.I, Fifth, false, nullptr, YCbCr, Flags, ofJPEG), 1);
    EXPECT_EQ(Full.I.Width, 400u);
    ASSERT_EQ(LoadImageByType(Info, Small.I, Fifth, true, nullptr, YCbCr, Flags, ofJPEG), 4);
    EXPECT_EQ(Small.I.Width, 100u);
    EXPECT_EQ(Small.I.Height, 50u);
}

TEST_F(LoadByType, MissingOrDamagedFilesFail)
{
    TImgHolder Src;
    Src.I = MakeGradient(40, 20, 3);
    ASSERT_NE(WriteJPEG(D.File("p.jpg"), Src.I, 90, {}, false, nullptr, nullptr, 0, 1, 0), 0);
    Probe(D.File("p.jpg"));
    std::vector<uint8_t> B = ReadBytes(D.File("p.jpg"));
    B.resize(B.size() / 3);
    WriteBytes(D.File("p.jpg"), B);
    TImgHolder I;
    int32_t R = 0;
    try {
        R = LoadImageByType(Info, I.I, {}, false, nullptr, YCbCr, Flags, ofJPEG);
    } catch (const EVestroError&) {
        R = -1;
    }
    EXPECT_LE(R, 0);
    std::filesystem::remove(D.File("p.jpg"));
    EXPECT_EQ(LoadImageByType(Info, I.I, {}, false, nullptr, YCbCr, Flags, ofJPEG), 0);
    EXPECT_EQ(I.I.Mem, nullptr);
}

} // namespace

namespace {

TEST_F(LoadByType, PluginInputs)
{
    {
        std::ofstream F(D.File("x.ppm"), std::ios::binary);
        F << "P6\n3 2\n255\n";
        for (int K = 0; K < 18; ++K)
            F.put(char(K * 13 + 1));
    }
    EXPECT_FALSE(GetImageInfo(D.File("x.ppm"), Info)); // no plug-ins loaded
    TSPIList List;
    List.LoadSPI(std::string(VESTRO_TEST_BIN_DIR) + "/spi", "pnm.spi");
    ASSERT_EQ(List.Count(), 1u);
    ActiveSPIList = &List;
    const bool Probed = GetImageInfo(D.File("x.ppm"), Info);
    TImgHolder I;
    const int32_t R = Probed ? LoadImageByType(Info, I.I, {}, true, nullptr, YCbCr, Flags, ofPNG) : 0;
    ActiveSPIList = nullptr;
    ASSERT_TRUE(Probed);
    EXPECT_EQ(Info.PictureFormat, pfSPI);
    EXPECT_EQ(Info.SPI(), List.Items(0));
    EXPECT_EQ(Info.Width, 3);
    EXPECT_EQ(Info.Height, 2);
    ASSERT_EQ(R, 1);
    EXPECT_EQ(I.I.Width, 3u);
    EXPECT_EQ(ScanLine(I.I, 0)[2], 1); // first sample is red
}

TEST_F(LoadByType, BitmapInputs)
{
    TImgHolder Src, I;
    Src.I = MakeGradient(9, 5, 3);
    ASSERT_TRUE(SaveBitmapFile(D.File("b.bmp"), Src.I, {2835, 2835, 3}));
    Probe(D.File("b.bmp"));
    EXPECT_EQ(Info.PictureFormat, pfBMP);
    ASSERT_EQ(LoadImageByType(Info, I.I, {0.1, 0.1}, true, nullptr, YCbCr, Flags, ofJPEG), 1);
    ASSERT_EQ(I.I.Width, 9u);
    for (uint32_t Y = 0; Y < 5; ++Y)
        EXPECT_EQ(0, std::memcmp(ScanLine(I.I, Y), ScanLine(Src.I, Y), 27)) << Y;
}

} // namespace
