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
