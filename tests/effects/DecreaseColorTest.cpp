#include "effects/DecreaseColor.h"

#include "EffectTestUtil.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageLoader.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;

namespace {

class DecreaseColorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CodecLibraryReady()) << "codec library not built";
        SavedTemp = TempDir;
        TempDir = Dir.string() + "/";
    }
    void TearDown() override
    {
        TempDir = SavedTemp;
        ColorReductionDropsAlpha = false;
    }
    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    std::string SavedTemp;
};

} // namespace

TEST_F(DecreaseColorTest, SettingsFallBackToAPresentToolAndStayInRange)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    TMemIniFile Ini("");
    Ini.WriteBool("DecreaseColor", "Use", true);
    Ini.WriteInteger("DecreaseColor", "Mode", 1);
    Ini.WriteInteger("DecreaseColor", "PaletteEntries", 100000);
    Ini.WriteInteger("DecreaseColor", "Quality", 0);
    TDecreaseColorEffect E;
    E.ReadIniFile(Ini);
    EXPECT_EQ(E.FMode, 3) << "FLAXC has no build here: the quantiser stands in";
    EXPECT_EQ(E.FFlags, uint32_t(DC_PNGNQ));
    EXPECT_TRUE(E.FUse);
    EXPECT_EQ(E.FPaletteEntries, 256);
    EXPECT_EQ(E.FQuality, 1);
    EXPECT_FALSE(ColorReductionDropsAlpha) << "the quantiser keeps alpha";
}

TEST_F(DecreaseColorTest, PNGOutputBecomesAPalettePictureOtherOutputsPassThrough)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    TDecreaseColorEffect E;
    E.FMode = 3;
    E.FPaletteEntries = 16;
    TImgInfo Img;
    AllocImg(Img, 48, 40, 3);
    for (uint32_t Y = 0; Y < Img.Height; ++Y)
        for (uint32_t X = 0; X < Img.Width * 3; ++X)
            ScanLine(Img, Y)[X] = uint8_t(X * 5 + Y * 3);

    TEffectParams P;
    P.OutFileName = (Dir / "out.jpg").string();
    E.DoEffect(Img, P);
    EXPECT_FALSE(P.DecreaseColor);
    EXPECT_FALSE(fs::exists(P.OutFileName));

    P.OutFileName = (Dir / "out.png").string();
    E.DoEffect(Img, P);
    EXPECT_TRUE(P.DecreaseColor);
    std::ifstream F(P.OutFileName, std::ios::binary);
    const std::string S(std::istreambuf_iterator<char>(F), {});
    ASSERT_GT(S.size(), 26u);
    EXPECT_EQ(S[25], 3) << "palette colour type";
    TImgInfo Back;
    uint32_t Flags = 0;
    TBGColor BG;
    ASSERT_NE(ReadPNGFile(P.OutFileName, Back, Flags, nullptr, BG), 0);
    EXPECT_EQ(Back.Width, 48u);
    std::set<uint32_t> Colours;
    for (uint32_t Y = 0; Y < Back.Height; ++Y)
        for (uint32_t X = 0; X < Back.Width; ++X) {
            const uint8_t* Px = ScanLine(Back, Y) + X * Back.Channels;
            Colours.insert(Px[0] | Px[1] << 8 | Px[2] << 16);
        }
    EXPECT_LE(Colours.size(), 16u);
    EXPECT_GT(Colours.size(), 4u);
    FreeImg(Back);
    FreeImg(Img);
    // Only the output is left: no work file stays in the temporary folder.
    EXPECT_EQ(size_t(std::distance(fs::directory_iterator(Dir), {})), 1u);
}

TEST_F(DecreaseColorTest, AFileThatAppearedMeanwhileStaysWhenOutputsMustNotBeOverwritten)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    TDecreaseColorEffect E;
    E.FMode = 3;
    TImgInfo Img;
    AllocImg(Img, 8, 8, 3);
    TEffectParams P;
    P.OutFileName = (Dir / "taken.png").string();
    std::ofstream(P.OutFileName) << "someone else's file";
    const bool Saved = FileOption.NotOverwrite;
    FileOption.NotOverwrite = true;
    EXPECT_THROW(E.DoEffect(Img, P), EVestroError);
    FileOption.NotOverwrite = Saved;
    std::ifstream F(P.OutFileName);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(F), {}), "someone else's file");
    FreeImg(Img);
}
