#include "core/PalettePNG.h"
#include "core/Global.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// What the encoder was asked to write.
struct TCall {
    int Count = 0;
    int32_t Filter = -1, Level = -1, PaletteCount = 0;
    bool Transparent = false, FourBit = false;
    uint32_t Channels = 0;
    std::vector<uint8_t> Index;   // picture rows from the bottom, one byte per pixel
    std::vector<uint8_t> Palette; // red, green, blue triplets
};
TCall Last;
int Result = 1;

int CaptureWriter(const std::string&, const TImgInfo& Img, int32_t Filter, bool Transparent, bool FourBit,
                  const TResolutionInfo&, int32_t PaletteCount, const uint8_t* Palette, const TICCInfo*, int32_t Level)
{
    Last = TCall{};
    Last.Count = 1;
    Last.Filter = Filter, Last.Level = Level, Last.Transparent = Transparent, Last.FourBit = FourBit;
    Last.PaletteCount = PaletteCount;
    Last.Channels = Img.Channels;
    for (uint32_t y = 0; y < Img.Height; ++y)
        Last.Index.insert(Last.Index.end(), MemRow(Img, y), MemRow(Img, y) + Img.Width * Img.Channels);
    if (Palette)
        Last.Palette.assign(Palette, Palette + 3 * PaletteCount);
    return Result;
}

class PalettePNGTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Saved = PNGOption;
        SavedProc = WritePNGProc;
        WritePNGProc = CaptureWriter;
        Result = 1;
        Last = TCall{};
    }
    void TearDown() override
    {
        PNGOption = Saved;
        WritePNGProc = SavedProc;
    }
    TPNGOption Saved;
    TWritePNGProc SavedProc = nullptr;
};

// Colour value (blue | green << 8 | red << 16) of pixel x of memory row y.
void SetPixel(TImgInfo& Img, uint32_t Row, uint32_t X, uint32_t C)
{
    uint8_t* p = MemRow(Img, Row) + 3 * X;
    p[0] = uint8_t(C), p[1] = uint8_t(C >> 8), p[2] = uint8_t(C >> 16);
}

// Every pixel mapped back through the palette equals the picture.
void ExpectSamePixels(const TImgInfo& Img)
{
    ASSERT_EQ(Last.Index.size(), size_t(Img.Width) * Img.Height);
    for (uint32_t y = 0; y < Img.Height; ++y)
        for (uint32_t x = 0; x < Img.Width; ++x) {
            const uint32_t i = Last.Index[y * Img.Width + x];
            ASSERT_LT(int(i), Last.PaletteCount);
            const uint8_t* p = MemRow(Img, y) + 3 * x;
            EXPECT_EQ(Last.Palette[3 * i], p[2]);
            EXPECT_EQ(Last.Palette[3 * i + 1], p[1]);
            EXPECT_EQ(Last.Palette[3 * i + 2], p[0]);
        }
}

} // namespace

TEST_F(PalettePNGTest, IndicesFollowFirstAppearanceWithTheKeyAtZero)
{
    // Memory row 0 (bottom): A B A; row 1 (top): C D B.
    const uint32_t A = 0x102030, B = 0x405060, C = 0x708090, D = 0xA0B0C0;
    TImgInfo img;
    AllocImg(img, 3, 2, 3);
    SetPixel(img, 0, 0, A), SetPixel(img, 0, 1, B), SetPixel(img, 0, 2, A);
    SetPixel(img, 1, 0, C), SetPixel(img, 1, 1, D), SetPixel(img, 1, 2, B);

    struct Case {
        int Type;
        std::vector<uint8_t> Index;
        bool Transparent;
    };
    for (const Case& c : {Case{0, {0, 1, 0, 2, 3, 1}, false}, // bottom-left, no transparency
                          Case{2, {0, 1, 0, 2, 3, 1}, true},
                          Case{1, {1, 2, 1, 0, 3, 2}, true},  // top-left C
                          Case{3, {1, 0, 1, 2, 3, 0}, true},  // top-right B
                          Case{4, {0, 1, 0, 2, 3, 1}, true}}) // bottom-right A
    {
        PNGOption.TransparentType = c.Type;
        ASSERT_TRUE(SavePalettePNG("x.png", img, nullptr, TResolutionInfo{}));
        EXPECT_EQ(Last.Index, c.Index) << c.Type;
        EXPECT_EQ(Last.Transparent, c.Transparent);
        EXPECT_EQ(Last.PaletteCount, 4);
        EXPECT_TRUE(Last.FourBit);
        EXPECT_EQ(Last.Channels, 1u);
        ExpectSamePixels(img);
    }
    // A fixed colour that does not occur keeps index 0 to itself.
    PNGOption.TransparentType = 5;
    PNGOption.TransparentColor = 0x0000FF; // red, in the settings' order
    ASSERT_TRUE(SavePalettePNG("x.png", img, nullptr, TResolutionInfo{}));
    EXPECT_EQ(Last.Index, (std::vector<uint8_t>{1, 2, 1, 3, 4, 2}));
    EXPECT_EQ(Last.PaletteCount, 5);
    EXPECT_EQ((std::vector<uint8_t>(Last.Palette.begin(), Last.Palette.begin() + 3)),
              (std::vector<uint8_t>{255, 0, 0}));
    FreeImg(img);

    // One colour: a single entry, all indices 0.
    AllocImg(img, 5, 3, 3);
    PNGOption.TransparentType = 0;
    ASSERT_TRUE(SavePalettePNG("x.png", img, nullptr, TResolutionInfo{}));
    EXPECT_EQ(Last.PaletteCount, 1);
    EXPECT_EQ(Last.Index, std::vector<uint8_t>(15, 0));
    FreeImg(img);
}

TEST_F(PalettePNGTest, TwoHundredFiftySixColours)
{
    TImgInfo img;
    AllocImg(img, 16, 16, 3);
    for (uint32_t i = 0; i < 256; ++i)
        SetPixel(img, i / 16, i % 16, i * 0x010305);
    PNGOption.TransparentType = 0;
    ASSERT_TRUE(SavePalettePNG("x.png", img, nullptr, TResolutionInfo{}));
    EXPECT_EQ(Last.PaletteCount, 256);
    EXPECT_FALSE(Last.FourBit);
    ExpectSamePixels(img);

    // None of them is the fixed key: 257 indices would be needed.
    Last = TCall{};
    PNGOption.TransparentType = 5;
    PNGOption.TransparentColor = 0x123456;
    EXPECT_FALSE(SavePalettePNG("x.png", img, nullptr, TResolutionInfo{}));
    EXPECT_EQ(Last.Count, 0) << "nothing written";
    FreeImg(img);
}

TEST_F(PalettePNGTest, FilterAndLevelByOptimisation)
{
    TImgInfo img;
    AllocImg(img, 2, 2, 3);
    PNGOption.Filter = 0xF8;
    PNGOption.CompressLevel = 9;
    PNGOption.UsePNGOUT = false;
    const uint8_t pal[3] = {};
    ASSERT_NE(WritePNGFile("/nonexistent/x.png", img, nullptr, false, false, TResolutionInfo{}, 0, nullptr), 0);
    EXPECT_EQ(Last.Filter, 0xF8);
    EXPECT_EQ(Last.Level, 9);
    WritePNGFile("/nonexistent/x.png", img, nullptr, false, true, TResolutionInfo{}, 1, pal);
    EXPECT_EQ(Last.Filter, 0);
    EXPECT_EQ(Last.Level, 9);

    PNGOption.UsePNGOUT = true;
    PNGOption.FullColorOptimization = false;
    WritePNGFile("/nonexistent/x.png", img, nullptr, false, false, TResolutionInfo{}, 0, nullptr);
    EXPECT_EQ(Last.Filter, 0xF8) << "a colour picture keeps its settings";
    EXPECT_EQ(Last.Level, 9);
    WritePNGFile("/nonexistent/x.png", img, nullptr, false, true, TResolutionInfo{}, 1, pal);
    EXPECT_EQ(Last.Filter, 0);
    EXPECT_EQ(Last.Level, 1);
    PNGOption.FullColorOptimization = true;
    WritePNGFile("/nonexistent/x.png", img, nullptr, false, false, TResolutionInfo{}, 0, nullptr);
    EXPECT_EQ(Last.Filter, 0);
    EXPECT_EQ(Last.Level, 1);
    FreeImg(img);
}
