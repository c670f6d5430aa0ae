#include "effects/DecreaseColor.h"

#include "EffectTestUtil.h"

#include "core/ImageLoader.h"

#include <iterator>
#include <set>

namespace fs = std::filesystem;

namespace {

class DecreaseColorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        SavedTemp = Startup.TempDir;
        Startup.TempDir = Scratch.Path;
    }
    void TearDown() override
    {
        Startup.TempDir = SavedTemp;
        Settings.ColorReductionDropsAlpha = false;
    }
    // Runs E on Img with PNG output under Name and reads the written picture back.
    void WriteAndReadBack(TDecreaseColorEffect& E, TImgInfo& Img, const std::string& Name, TTestImg& Back)
    {
        TEffectParams P;
        P.OutFileName = P.ToolOutFileName = (Dir / Name).string(); // the worker's name for the tool's output
        E.DoEffect(Img, P);
        ASSERT_TRUE(P.DecreaseColor);
        uint32_t Flags = 0;
        TBGColor BG;
        ASSERT_NE(ReadPNGFile(P.OutFileName, Back.I, Flags, nullptr, BG), 0);
    }
    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    std::string SavedTemp;
};

TEST_F(DecreaseColorTest, PNGOutputBecomesAPalettePictureOtherOutputsPassThrough)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    TDecreaseColorEffect E;
    E.FMode = 3;
    E.FPaletteEntries = 16;
    TPatternPicture Pic(48, 40, 3);
    TImgInfo& Img = Pic.I;
    TEffectParams P;
    P.OutFileName = (Dir / "out.jpg").string();
    P.ToolOutFileName = P.OutFileName; // the worker's name for the tool's output
    E.DoEffect(Img, P);
    EXPECT_FALSE(P.DecreaseColor || fs::exists(P.OutFileName));
    TTestImg Back;
    ASSERT_NO_FATAL_FAILURE(WriteAndReadBack(E, Img, "out.png", Back));
    const std::vector<uint8_t> S = ReadBytes((Dir / "out.png").string());
    ASSERT_GT(S.size(), 26u);
    EXPECT_EQ(S[25], 3) << "palette colour type";
    // Only the output is left: no work file stays in the temporary folder.
    EXPECT_EQ(size_t(std::distance(fs::directory_iterator(Dir), {})), 1u);
}

TEST_F(DecreaseColorTest, TheToolNeverReplacesAFileAtTheNameItIsGiven)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    TDecreaseColorEffect E;
    E.FMode = 3;
    TTestPicture Pic(8, 8, 3);
    TEffectParams P;
    P.OutFileName = (Dir / "taken.png").string();
    P.ToolOutFileName = P.OutFileName; // the worker's name for the tool's output
    std::ofstream(P.OutFileName) << "someone else's file";
    EXPECT_THROW(E.DoEffect(Pic.I, P), EVestroError);
    const std::vector<uint8_t> Kept = ReadBytes(P.OutFileName);
    EXPECT_EQ(std::string(Kept.begin(), Kept.end()), "someone else's file");
}

TEST_F(DecreaseColorTest, AFailingToolSaysWhyInOneLine)
{
    // The quantiser beside the program is taken first: this one talks and fails.
    const std::string SavedExe = Startup.ExeDir;
    Startup.ExeDir = Scratch.Path;
    fs::create_directories(Dir / "bin");
    std::ofstream(Dir / "bin" / "pngquant")
        << "#!/bin/sh\necho 'working...'\necho 'error: out of memory' >&2\nexit 4\n";
    fs::permissions(Dir / "bin" / "pngquant", fs::perms::owner_all);
    TDecreaseColorEffect E;
    E.FMode = 3;
    TTestPicture Pic(8, 8, 3);
    TEffectParams P;
    P.OutFileName = (Dir / "out.png").string();
    P.ToolOutFileName = (Dir / "out-new.png").string();
    EXPECT_EQ(ErrorOf([&] { E.DoEffect(Pic.I, P); }),
              "Failed to save file: pngquant ended with exit status 4: error: out of memory");
    EXPECT_FALSE(fs::exists(P.ToolOutFileName));
    Startup.ExeDir = SavedExe;
}

// A smooth picture with fine detail: colour reduction must approximate it.
void PaintPhotoLike(TImgInfo& Img)
{
    for (uint32_t Y = 0; Y < Img.Height; ++Y)
        for (uint32_t X = 0; X < Img.Width; ++X) {
            uint8_t* P = ScanLine(Img, Y) + X * 3;
            P[0] = uint8_t(40 + X * 180 / Img.Width);
            P[1] = uint8_t(30 + Y * 200 / Img.Height);
            P[2] = uint8_t(128 + 100 * ((X / 5 + Y / 7) % 3 == 0) - 60 * ((X + Y) % 11 == 0));
        }
}

std::set<uint32_t> ColoursOf(const TImgInfo& Img)
{
    std::set<uint32_t> C;
    for (uint32_t Y = 0; Y < Img.Height; ++Y)
        for (uint32_t X = 0; X < Img.Width; ++X) {
            const uint8_t* P = ScanLine(Img, Y) + X * Img.Channels;
            C.insert(P[0] | P[1] << 8 | P[2] << 16);
        }
    return C;
}

} // namespace

// PNG output with the palette tool's stand-in keeps the transparent corner;
// BMP output in the quantiser-only mode is left to the worker.
TEST_F(DecreaseColorTest, PaletteToolPNGKeysTheCornerColour)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    TDecreaseColorEffect E;
    E.FMode = 2;
    E.FPaletteEntries = 16;
    E.FTransparentType = 1; // top-left
    TTestPicture Pic(40, 30, 3);
    PaintPhotoLike(Pic.I);
    TTestImg Back;
    ASSERT_NO_FATAL_FAILURE(WriteAndReadBack(E, Pic.I, "keyed.png", Back));
    ASSERT_EQ(Back.I.Channels, 4u);
    EXPECT_EQ(ScanLine(Back.I, 0)[3], 0) << "the top-left colour is transparent";
    EXPECT_LE(ColoursOf(Back.I).size(), 16u);
}

// A gray ramp in four colours: without dithering each row steps through them
// once; with it the steps alternate where the colours meet.
TEST_F(DecreaseColorTest, DitheringIsOnlyWhereAsked)
{
    if (FindQuantiserPath().empty())
        GTEST_SKIP() << "pngquant not installed";
    for (int32_t Dither : {0, 2}) {
        TDecreaseColorEffect E;
        E.FMode = 2;
        E.FPaletteEntries = 4;
        E.FDitherType = Dither;
        TTestPicture Pic(96, 6, 3);
        for (uint32_t y = 0; y < 6; ++y)
            for (uint32_t x = 0; x < 96 * 3; ++x)
                ScanLine(Pic.I, y)[x] = uint8_t(x / 3 * 255 / 95);
        TTestImg Back;
        ASSERT_NO_FATAL_FAILURE(WriteAndReadBack(E, Pic.I, "d" + std::to_string(Dither) + ".png", Back));
        int Steps = 0;
        for (uint32_t x = 1; x < 96; ++x)
            Steps += ScanLine(Back.I, 3)[x * Back.I.Channels] != ScanLine(Back.I, 3)[(x - 1) * Back.I.Channels];
        if (Dither == 0)
            EXPECT_LE(Steps, 3);
        else
            EXPECT_GT(Steps, 6);
    }
}
