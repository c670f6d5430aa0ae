// PNG through the library: 16-bit and gray+alpha sources, palettes with
// transparency, pHYs, profiles and damaged files.
#include "KodexTestUtil.h"

#include <png.h>
#include <zlib.h>

using Png = TKodexTest;

TEST_F(Png, SixteenBitSamplesAreScaledToEight)
{
    // RGB 16-bit, 2 x 1: (0xFFFF, 0x8080, 0x0000), (0x1234, 0x0101, 0xFEFF)
    const uint8_t row[] = {0xFF, 0xFF, 0x80, 0x80, 0, 0, 0x12, 0x34, 0x01, 0x01, 0xFE, 0xFF};
    const std::string f = Scratch / "16.png";
    WriteBytes(f, EncodePng(2, 1, 16, PNG_COLOR_TYPE_RGB, [&](uint32_t) { return row; }));
    TOwnedImg out{};
    uint32_t flags = 0;
    TBGColor bg;
    ASSERT_TRUE(ReadPNGFile(f, out.Img, flags, nullptr, bg));
    ASSERT_EQ(out.Img.Channels, 3u);
    const uint8_t* r = MemRow(out.Img, 0); // blue, green, red
    EXPECT_EQ(std::vector<uint8_t>(r, r + 6), (std::vector<uint8_t>{0, 0x80, 0xFF, 0xFE, 0x01, 0x12}));
    EXPECT_EQ(flags & 0x30000u, 0u);
}

// (Palettes of 4 and 8 bits with a transparent key are written and read back
// in the palette bitmap tests of the bridge.)
// tRNS in every colour type reaches the alpha channel: per palette entry, and
// as the one key colour of a truecolour or gray picture (gray with alpha is
// widened to four channels and flagged so).
TEST_F(Png, TransparencyOfEveryColourTypeIsTheAlpha)
{
    const uint8_t indices[3] = {0, 1, 2}, rgb[9] = {10, 20, 30, 10, 20, 31, 0, 0, 0}, gray[3] = {7, 8, 7};
    const png_color pal[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const png_byte palAlpha[2] = {0, 128};
    png_color_16 rgbKey{}, grayKey{};
    rgbKey.red = 10, rgbKey.green = 20, rgbKey.blue = 30;
    grayKey.gray = 7;
    const struct {
        const char* Kind;
        int Type;
        const uint8_t* Row;
        bool Trns;
        uint32_t Channels;
        std::vector<int> Alpha; // of the three pixels; empty without alpha
        bool GrayAlpha;
    } Cases[] = {
        {"palette", PNG_COLOR_TYPE_PALETTE, indices, true, 4, {0, 128, 255}, false},
        {"palette without tRNS", PNG_COLOR_TYPE_PALETTE, indices, false, 3, {}, false},
        {"truecolour key", PNG_COLOR_TYPE_RGB, rgb, true, 4, {0, 255, 255}, false},
        {"gray key", PNG_COLOR_TYPE_GRAY, gray, true, 4, {0, 255, 0}, true},
    };
    for (const auto& c : Cases) {
        SCOPED_TRACE(c.Kind);
        const std::string f = Scratch / "t.png";
        WriteBytes(f,
                   EncodePng(
                       3, 1, 8, c.Type, [&](uint32_t) { return c.Row; }, false,
                       [&](void* P, void* I) {
                           auto* p = static_cast<png_structp>(P);
                           auto* i = static_cast<png_infop>(I);
                           if (c.Type == PNG_COLOR_TYPE_PALETTE)
                               png_set_PLTE(p, i, pal, 3);
                           if (c.Trns)
                               png_set_tRNS(p, i, palAlpha, c.Type == PNG_COLOR_TYPE_PALETTE ? 2 : 0,
                                            c.Type == PNG_COLOR_TYPE_RGB ? &rgbKey : &grayKey);
                       }));
        TOwnedImg out{};
        uint32_t flags = 0;
        TBGColor bg;
        ASSERT_TRUE(ReadPNGFile(f, out.Img, flags, nullptr, bg));
        ASSERT_EQ(out.Img.Channels, c.Channels);
        EXPECT_EQ((flags & KODEX_PNG_GRAYALPHA) != 0, c.GrayAlpha);
        for (uint32_t x = 0; x < c.Alpha.size(); ++x)
            EXPECT_EQ(At(out.Img, x, 0, 3), c.Alpha[x]) << x;
        if (c.Type == PNG_COLOR_TYPE_PALETTE) { // the colours stay under the alpha
            EXPECT_EQ(std::make_tuple(At(out.Img, 0, 0, 2), At(out.Img, 1, 0, 1), At(out.Img, 2, 0, 0)),
                      std::make_tuple(255, 255, 255));
        }
    }
}

TEST_F(Png, AnIndexPastThePaletteIsRefused)
{
    TOwnedImg idx{};
    AllocImg(idx.Img, 2, 1, 1);
    MemRow(idx.Img, 0)[1] = 3;
    const uint8_t pal[6] = {0, 0, 0, 255, 255, 255};
    EXPECT_FALSE(WritePNG(Scratch / "bad.png", idx.Img, 0, false, false, {}, 2, pal, nullptr, 6, TakeRunSettings()));
    EXPECT_FALSE(std::filesystem::exists(Scratch / "bad.png"));
}

TEST_F(Png, DamagedFilesFailWithAMessage)
{
    TOwnedImg src{MakePicture(40, 30, 3)};
    const std::string f = Scratch / "d.png";
    ASSERT_TRUE(WritePNG(f, src.Img, 0, false, false, {}, 0, nullptr, nullptr, 6, TakeRunSettings()));
    const std::vector<uint8_t> good = ReadBytes(f);
    for (size_t cut : {size_t(8), size_t(30), good.size() / 2, good.size() - 30}) {
        const std::string g = Scratch / "cut.png";
        WriteBytes(g, std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
        TOwnedImg out{};
        SCOPED_TRACE(cut);
        ExpectRefused(ReadPng(g, out.Img), out.Img);
    }
    // A header claiming a huge picture in a tiny file is refused up front.
    const uint8_t px[] = {1, 2, 3};
    std::vector<uint8_t> huge = EncodePng(1, 1, 8, PNG_COLOR_TYPE_RGB, [&](uint32_t) { return px; });
    for (int k = 0; k < 8; ++k) // width and height 1,000,000
        huge[16 + k] = uint8_t(1000000 >> (24 - 8 * (k % 4)));
    const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), &huge[12], 17));
    for (int k = 0; k < 4; ++k)
        huge[29 + k] = uint8_t(crc >> (24 - 8 * k));
    TKodexReadPNG rec{};
    EXPECT_EQ(0, KodexProcs.ReadPNG(&rec, huge.data(), huge.size()));
    EXPECT_EQ(rec.Img.Mem, nullptr);
    // Flipped bytes: any result but a crash; a success is a whole picture.
    ForEachDamaged(good, 8, 3, 11, [](const std::vector<uint8_t>& Bad) {
        TKodexReadPNG r{};
        if (KodexProcs.ReadPNG(&r, Bad.data(), Bad.size())) {
            EXPECT_EQ(r.Img.Bpl, CalcBpl(r.Img.Width, r.Img.Channels));
        }
        FreeImg(r.Img);
    });
}

TEST_F(Png, FlatteningOnReadUsesTheBackgroundAndAGrayForGrayPictures)
{
    // Colour with alpha: white at alpha 128 over black gives 128.
    const uint8_t rgba[] = {255, 255, 255, 128, 30, 20, 10, 255};
    const std::string f = Scratch / "a.png";
    WriteBytes(f, EncodePng(2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, [&](uint32_t) { return rgba; }));
    TOwnedImg out{};
    uint32_t flags = 1;
    TBGColor black{0, 0, 0, 0, 0};
    ASSERT_TRUE(ReadPNGFile(f, out.Img, flags, nullptr, black));
    ASSERT_EQ(out.Img.Channels, 3u);
    const uint8_t want[6] = {128, 128, 128, 10, 20, 30};
    EXPECT_EQ(0, std::memcmp(MemRow(out.Img, 0), want, 6));

    // Gray with alpha: flattened onto the gray of the caller's colour.
    const std::string g = Scratch / "ga.png";
    const uint8_t grayAlpha[] = {200, 0, 50, 255};
    WriteBytes(g, EncodePng(2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, [&](uint32_t) { return grayAlpha; }));
    TOwnedImg gray{};
    flags = 1;
    TBGColor red{0, 255, 0, 0, 0};
    ASSERT_TRUE(ReadPNGFile(g, gray.Img, flags, nullptr, red));
    EXPECT_TRUE(flags & 0x20000u);
    ASSERT_EQ(gray.Img.Channels, 3u);
    const uint8_t r = red.Gray;
    EXPECT_NEAR(r, 76, 1); // the gray of pure red
    EXPECT_EQ(red.Red, r);
    const uint8_t wantGray[6] = {r, r, r, 50, 50, 50};
    EXPECT_EQ(0, std::memcmp(MemRow(gray.Img, 0), wantGray, 6));
}

TEST_F(Png, ACancelStopsTheDecodeWithoutAWord)
{
    std::vector<uint8_t> row(64 * 3, 90);
    for (bool interlaced : {false, true}) {
        const std::vector<uint8_t> file = EncodePng(
            64, 40, 8, PNG_COLOR_TYPE_RGB, [&](uint32_t) { return row.data(); }, interlaced);
        std::atomic<bool> stop{true};
        KodexProcs.SetCancelFlag(&stop);
        TKodexReadPNG rec{};
        EXPECT_EQ(0, KodexProcs.ReadPNG(&rec, file.data(), file.size())) << interlaced;
        EXPECT_EQ(rec.Img.Mem, nullptr);
        EXPECT_TRUE(TakeErrors().empty());
        KodexProcs.SetCancelFlag(nullptr);
        ASSERT_EQ(1, KodexProcs.ReadPNG(&rec, file.data(), file.size()));
        FreeImg(rec.Img);
    }
}
