#include "core/PalettePNG.h"

#include "FilesTestUtil.h"

#include "core/ErrorLog.h"
#include "core/Global.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Chunks of a PNG file by type (the last of each type).
std::map<std::string, std::vector<uint8_t>> Chunks(const std::vector<uint8_t>& F)
{
    std::map<std::string, std::vector<uint8_t>> out;
    for (size_t i = 8; i + 12 <= F.size();) {
        const size_t n = size_t(F[i]) << 24 | F[i + 1] << 16 | F[i + 2] << 8 | F[i + 3];
        if (i + 12 + n > F.size())
            break;
        out[std::string(F.begin() + i + 4, F.begin() + i + 8)].assign(F.begin() + i + 8, F.begin() + i + 8 + n);
        i += 12 + n;
    }
    return out;
}

class PNGFileTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureKodex(); }
    void TearDown() override { WritePNGProc = WritePNG; }
    // Reads a PNG back; Channels 3 or 4 as the file holds it.
    TImgHolder Read(const fs::path& P)
    {
        TImgHolder img;
        uint32_t flags = 0;
        TBGColor bg;
        EXPECT_NE(ReadPNGFile(P.string(), img.I, flags, nullptr, bg), 0) << P;
        return img;
    }
    // A picture of a few dozen colours in blocks, so it compresses well.
    static TImgInfo Sample(uint32_t Channels)
    {
        TImgInfo img;
        AllocImg(img, 61, 37, Channels);
        for (uint32_t y = 0; y < img.Height; ++y)
            for (uint32_t x = 0; x < img.Width; ++x) {
                const uint32_t k = (x / 7) * 11 + (y / 5) * 3;
                uint8_t* p = MemRow(img, y) + Channels * x;
                p[0] = uint8_t(k * 5), p[1] = uint8_t(k * 9), p[2] = uint8_t(255 - k);
                if (Channels == 4)
                    p[3] = uint8_t(k * 17);
            }
        return img;
    }
    static void ExpectSameColours(const TImgInfo& A, const TImgInfo& B)
    {
        ASSERT_EQ(A.Width, B.Width);
        ASSERT_EQ(A.Height, B.Height);
        for (uint32_t y = 0; y < A.Height; ++y)
            for (uint32_t x = 0; x < A.Width; ++x)
                for (uint32_t c = 0; c < std::min(A.Channels, B.Channels); ++c)
                    ASSERT_EQ(MemRow(A, y)[A.Channels * x + c], MemRow(B, y)[B.Channels * x + c]) << x << "," << y;
    }
    TOptionGuard Guard;
    TTempDir Temp;
    const fs::path Dir{Temp.Path};
};

} // namespace

TEST_F(PNGFileTest, TwoHundredFiftySixColoursFitAndAKeyBeyondThemIsRefused)
{
    TPicture pic(16, 16, 3);
    const TImgInfo& img = pic.I;
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t c = 0; c < 3; ++c)
            MemRow(img, i / 16)[3 * (i % 16) + c] = uint8_t((i * 0x010305) >> (8 * c));
    Settings.PNG.UsePNGOUT = false;
    Settings.PNG.TransparentType = 0;
    const fs::path p = Dir / "x.png";
    ASSERT_TRUE(SavePalettePNG(p.string(), img, nullptr, TResolutionInfo{}, TakeRunSettings()));
    const auto chunks = Chunks(ReadBytes(p.string()));
    EXPECT_EQ(chunks.at("IHDR")[8], 8); // 8 bits an index
    EXPECT_EQ(chunks.at("PLTE").size(), 256u * 3);
    ExpectSameColours(img, Read(p).I);
    // None of them is the fixed key: 257 indices would be needed; nothing is written.
    Settings.PNG.TransparentType = 5;
    Settings.PNG.TransparentColor = 0x123456;
    EXPECT_FALSE(SavePalettePNG((Dir / "y.png").string(), img, nullptr, TResolutionInfo{}, TakeRunSettings()));
    EXPECT_FALSE(fs::exists(Dir / "y.png"));
}

TEST_F(PNGFileTest, PalettePNGAndTheOptimiserKeepEveryPixel)
{
    const TImgHolder pic{Sample(3)};
    const TImgInfo& src = pic.I;
    for (bool optimise : {false, true}) {
        if (optimise && PNGOUTPath().empty())
            GTEST_SKIP() << "no optimiser installed";
        Settings.PNG.UsePNGOUT = optimise;
        Settings.PNG.TransparentType = 0;
        // A name that is not UTF-8 ends under its own name all the same.
        const fs::path p = Dir / (optimise ? "caf\xe9.png" : "plain.png");
        ASSERT_TRUE(SavePalettePNG(p.string(), src, nullptr, TResolutionInfo{}, TakeRunSettings()));
        // The optimiser may choose another colour type; the pixels stay.
        const auto chunks = Chunks(ReadBytes(p.string()));
        if (!optimise) {
            ASSERT_TRUE(chunks.count("PLTE"));
            EXPECT_EQ(chunks.at("PLTE")[0], MemRow(src, 0)[2]) << "bottom-left colour at index 0";
        }
        EXPECT_FALSE(chunks.count("tRNS"));
        EXPECT_EQ(Read(p).I.Channels, 3u);
        ExpectSameColours(src, Read(p).I);

        // With a key colour: transparent exactly where the top-left colour is.
        Settings.PNG.TransparentType = 1;
        ASSERT_TRUE(SavePalettePNG(p.string(), src, nullptr, TResolutionInfo{}, TakeRunSettings()));
        const TImgHolder back = Read(p);
        ASSERT_EQ(back.I.Channels, 4u);
        ExpectSameColours(src, back.I);
        const uint32_t key = PixelColor(MemRow(src, src.Height - 1));
        for (uint32_t y = 0; y < src.Height; ++y)
            for (uint32_t x = 0; x < src.Width; ++x)
                ASSERT_EQ(MemRow(back.I, y)[4 * x + 3], PixelColor(MemRow(src, y) + 3 * x) == key ? 0 : 255);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), {}), 2) << "no temporary file is left";
}

TEST_F(PNGFileTest, OptimiserKeepsAlphaAndTheChunksAsked)
{
    if (PNGOUTPath().empty())
        GTEST_SKIP() << "no optimiser installed";
    const TImgHolder pic{Sample(4)};
    const TImgInfo& src = pic.I;
    const fs::path p = Dir / "rgba.png";
    Settings.PNG.UsePNGOUT = true;
    Settings.PNG.FullColorOptimization = true;
    Settings.PNG.WritepHYsChunk = true;
    Settings.Metadata.KeepResolution = false;
    Settings.Metadata.Resolution = 96;
    ASSERT_NE(WritePNGFile(p.string(), src, nullptr, false, false, TResolutionInfo{}, 0, nullptr, TakeRunSettings()),
              0);
    const auto chunks = Chunks(ReadBytes(p.string()));
    ASSERT_TRUE(chunks.count("pHYs"));
    EXPECT_EQ(chunks.at("pHYs")[3], 3780 & 255);
    const TImgHolder back = Read(p);
    ASSERT_EQ(back.I.Channels, 4u);
    ExpectSameColours(src, back.I);
}

TEST_F(PNGFileTest, NoOptimiserPassAfterAFailedWrite)
{
    if (PNGOUTPath().empty())
        GTEST_SKIP() << "no optimiser installed";
    const TImgHolder pic{Sample(3)};
    const TImgInfo& src = pic.I;
    Settings.PNG.UsePNGOUT = true;
    Settings.PNG.FullColorOptimization = true;
    // The encoder writes the file and then reports success or failure.
    static int result;
    WritePNGProc = [](const std::string& F, const TImgInfo& I, int32_t Fl, bool T, bool Fb, const TResolutionInfo& R,
                      int32_t N, const uint8_t* P, const TICCInfo* C, int32_t L, const TRunSettings& S, TWriteMode M) {
        WritePNG(F, I, Fl, T, Fb, R, N, P, C, L, S, M);
        return result;
    };
    const fs::path a = Dir / "a.png", b = Dir / "b.png";
    result = 0;
    EXPECT_EQ(WritePNGFile(a.string(), src, nullptr, false, false, TResolutionInfo{}, 0, nullptr, TakeRunSettings()),
              0);
    ASSERT_TRUE(
        WritePNG(b.string(), src, 0, false, false, TResolutionInfo{}, 0, nullptr, nullptr, 1, TakeRunSettings()));
    EXPECT_EQ(ReadBytes(a.string()), ReadBytes(b.string())) << "left as the encoder wrote it";
    result = 1;
    EXPECT_EQ(WritePNGFile(a.string(), src, nullptr, false, false, TResolutionInfo{}, 0, nullptr, TakeRunSettings()),
              1);
    EXPECT_LT(ReadBytes(a.string()).size(), ReadBytes(b.string()).size()) << "recompressed after a good write";
}

TEST_F(PNGFileTest, TheOptimiserRunsOnlyWhenInstalledAndACancelEndsIt)
{
    const TImgHolder pic{Sample(3)};
    const std::string SavedExe = Startup.ExeDir, SavedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    fs::create_directories(Dir / "prog" / "bin");
    fs::create_directories(Dir / "empty");
    Settings.PNG.UsePNGOUT = Settings.PNG.FullColorOptimization = true;
    auto Write = [&](const fs::path& P, const TRunSettings& S) {
        return WritePNGFile(P.string(), pic.I, nullptr, false, false, TResolutionInfo{}, 0, nullptr, S);
    };
    // None installed: written as configured, the setting waiting for the tool.
    Startup.ExeDir = (Dir / "empty").string() + "/";
    setenv("PATH", (Dir / "empty").c_str(), 1);
    ASSERT_TRUE(PNGOUTPath().empty());
    ASSERT_NE(Write(Dir / "a.png", TakeRunSettings()), 0);
    Settings.PNG.UsePNGOUT = false;
    ASSERT_NE(Write(Dir / "b.png", TakeRunSettings()), 0);
    EXPECT_EQ(ReadBytes((Dir / "a.png").string()), ReadBytes((Dir / "b.png").string()));

    // A slow one, ended by the run's cancel: the file stays as written, and a
    // cancel is no failure.
    const fs::path Tool = Dir / "prog" / "bin" / "zopflipng";
    std::ofstream(Tool) << "#!/bin/sh\ntouch \"$0.started\"\nexec sleep 100\n";
    fs::permissions(Tool, fs::perms::owner_all);
    Startup.ExeDir = (Dir / "prog").string() + "/";
    setenv("PATH", SavedPath.c_str(), 1);
    Settings.PNG.UsePNGOUT = true;
    TProcessCancel Cancel;
    TRunSettings S = TakeRunSettings();
    S.ToolCancel = &Cancel;
    ErrorLog.Clear();
    std::thread Worker([&] { Write(Dir / "c.png", S); });
    for (int i = 0; i < 500 && !fs::exists(Tool.string() + ".started"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto Start = std::chrono::steady_clock::now();
    Cancel.Cancel();
    Worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(1));
    Startup.ExeDir = SavedExe;
    ExpectSameColours(pic.I, Read(Dir / "c.png").I);
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0) << (ErrorLog.Lines().empty() ? "" : ErrorLog.Lines()[0]);
}
