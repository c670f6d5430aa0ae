// What a run reports, through the batch engine and the process-wide error
// log: every input asked for and not written gets one "name: reason" line,
// expected answers of the codec library are no failures, and the chain's
// external images are there when the workers need them.
#include "BatchFixture.h"
#include "../core/FilesTestUtil.h"
#include "core/PalettePNG.h"
#include "effects/CompositeOptionFrm.h"

namespace {

// A real photograph from the system's wallpapers, or empty.
fs::path Photograph()
{
    std::error_code Ec;
    for (const auto& E : fs::directory_iterator("/usr/share/backgrounds/mate/nature", Ec))
        if (E.path().extension() == ".jpg")
            return E.path();
    return {};
}

class Reported : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        FileOption.NotOverwrite = false;
    }
    // A camera-like JPEG: EXIF with a thumbnail slot of SlotSize bytes.
    fs::path CameraJPEG(const std::string& Name, uint32_t SlotSize, int Seed)
    {
        TTestEntry Jif = LongEntry(513, 0);
        Jif.Ext.assign(SlotSize, 0);
        Jif.Ext[0] = 0xFF;
        Jif.Ext[1] = 0xD8;
        const std::vector<uint8_t> Exif =
            BuildExif(etII, {{ShortEntry(274, 1), AsciiEntry(305, "Camera")}, {},
                             {ShortEntry(259, 6), Jif, LongEntry(514, SlotSize)}});
        return MakeJPEG(Name, 640, 480, Seed, Exif.data(), uint32_t(Exif.size()));
    }
};

} // namespace

TEST_F(Reported, EncodingsThatDoNotFitTheirBufferAreNoErrors)
{
    // The size search and the thumbnail update try one encoding after the
    // other until one fits; none of the misses is a failure of the file, so
    // with AbortOnError every file is still converted.
    for (int i = 0; i < 3; ++i)
        Add(CameraJPEG("c" + std::to_string(i) + ".jpg", 600, i));
    FileOption.FileNameFormat = "<old>.jpg";
    JPEGOption.AlwaysRecompress = true;
    JPEGOption.UpdateExifThumbnail = true;
    JPEGOption.UseFileSizeLimit = true;
    JPEGOption.Quality = 95;
    JPEGOption.SampleType = 2;
    JPEGOption.QualityLimit = 5;
    JPEGOption.FileSizeLimit = 40; // KB: many tries before one fits
    ASSERT_TRUE(Run(2, IO, /*AbortOnError=*/true));
    EXPECT_TRUE(Lines().empty()) << Lines()[0];
    for (int i = 0; i < 3; ++i) {
        const fs::path O = Out("c" + std::to_string(i) + ".jpg");
        ASSERT_TRUE(fs::exists(O)) << O;
        EXPECT_LE(fs::file_size(O), 40u * 1024);
        TImageInfo I;
        ASSERT_TRUE(GetImageInfo(O.string(), I));
        EXPECT_TRUE(I.HasExif());
    }
}

TEST_F(Reported, CompositeImageIsLoadedForTheRunOnAPhotograph)
{
    const fs::path Photo = Photograph();
    if (Photo.empty())
        GTEST_SKIP() << "no photographs installed (mate-backgrounds)";
    // An opaque red logo, 40 x 30, for the bottom-right corner.
    TImgInfo Logo;
    AllocImg(Logo, 40, 30, 4);
    for (uint32_t Y = 0; Y < 30; ++Y)
        for (uint32_t X = 0; X < 40; ++X) {
            uint8_t* P = ScanLine(Logo, Y) + X * 4;
            P[0] = 0, P[1] = 0, P[2] = 255, P[3] = 255;
        }
    const fs::path LogoFile = Dir / "logo.png";
    ASSERT_NE(WritePNGFile(LogoFile.string(), Logo, nullptr, false, false, TResolutionInfo{}, 0, nullptr), 0);
    FreeImg(Logo);

    fs::copy_file(Photo, Dir / "in" / "photo.jpg");
    Add(Dir / "in" / "photo.jpg");
    auto C = std::make_unique<TCompositeEffect>();
    C->FImageFileName = LogoFile.string();
    C->FBasePos = 8; // bottom right
    C->FUse = true;
    Effects.AddFilter(std::move(C));
    Effects.SetResizeParam(RULE_PERCENT, 25, 0);
    FileOption.FileNameFormat = "<old>.png";
    ASSERT_TRUE(Run(2, IO));
    EXPECT_TRUE(Lines().empty()) << Lines()[0];

    TImgInfo Img;
    uint32_t Flags = 0;
    TBGColor Bg = DefaultBGColor;
    ASSERT_NE(ReadPNGFile(Out("photo.png").string(), Img, Flags, nullptr, Bg), 0);
    const auto [W, H] = SizeOf(Photo);
    EXPECT_EQ(Img.Width, uint32_t(W / 4));
    const uint8_t* Corner = ScanLine(Img, Img.Height - 1) + uint64_t(Img.Width - 1) * Img.Channels;
    EXPECT_EQ(Corner[0], 0);
    EXPECT_EQ(Corner[2], 255);
    const uint8_t* Outside = ScanLine(Img, Img.Height - 31) + uint64_t(Img.Width - 1) * Img.Channels;
    EXPECT_FALSE(Outside[0] == 0 && Outside[1] == 0 && Outside[2] == 255);
    FreeImg(Img);
    (void)H;
}
