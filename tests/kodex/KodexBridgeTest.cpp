// The bridge itself: loading failures, and the palette bitmaps that the
// colour-reduction tools write.
#include "KodexTestUtil.h"

using Bridge = TKodexTest;

namespace {

// A palette BMP as the tools write it. Index(x, y) gives the index at
// top-down picture position (x, y); colour i of the palette is (i*40, 255-i*20, i) as red, green, blue.
template <typename F>
std::vector<uint8_t> MakePaletteBmp(int32_t W, int32_t H, int Bpp, int Colours, bool TopDown, F Index)
{
    TBmpSpec s{.Width = W, .Height = TopDown ? -H : H, .Bits = uint16_t(Bpp), .ColorsUsed = uint32_t(Colours)};
    for (int i = 0; i < Colours; ++i)
        s.Extra.insert(s.Extra.end(), {uint8_t(i), uint8_t(255 - i * 20), uint8_t(i * 40), 0}); // blue, green, red
    const uint32_t rowBytes = uint32_t(W * Bpp + 31) / 32 * 4;
    s.Data.assign(rowBytes * uint32_t(H), 0);
    for (int32_t r = 0; r < H; ++r) // file rows; y is the picture row of file row r
        for (int32_t x = 0, y = TopDown ? r : H - 1 - r; x < W; ++x)
            s.Data[rowBytes * uint32_t(r) + uint32_t(x * Bpp / 8)] |= uint8_t(Index(x, y) << (8 - Bpp - x * Bpp % 8));
    return MakeBmp(s);
}

} // namespace

TEST(KodexLoading, MissingOrBrokenLibraryGivesTheSystemMessage)
{
    TScratch scratch;
    std::string err;
    EXPECT_FALSE(LoadKodex(scratch / "nowhere/", err));
    EXPECT_NE(err.find("libkodex.so"), std::string::npos) << err;
    EXPECT_EQ(KodexProcs.ReadPNG, nullptr);
    std::filesystem::create_directories(scratch.Dir / "bin");
    WriteBytes(scratch / "bin/libkodex.so", {'n', 'o', 't', ' ', 'E', 'L', 'F'});
    err.clear();
    EXPECT_FALSE(LoadKodex(scratch.Dir.string() + "/", err) || err.empty());
    // Without the library every wrapper fails cleanly.
    TImgInfo img;
    uint32_t flags = 0;
    TBGColor bg;
    EXPECT_EQ(0, ReadPNGFile(scratch / "x.png", img, flags, nullptr, bg));
    EXPECT_EQ(img.Mem, nullptr);
    EXPECT_TRUE(GetWICExtensions().empty());
    // And a good folder loads every entry, including the one never called.
    EnsureKodex();
    EXPECT_NE(KodexProcs.ReadWICPreview, nullptr);
}

TEST_F(Bridge, PaletteBitmapsOfEveryDepthBecomeTheSamePalettePng)
{
    struct TCase {
        int Bpp, Colours;
        bool TopDown;
    };
    for (const TCase c :
         {TCase{1, 2, false}, TCase{4, 5, false}, TCase{4, 16, true}, TCase{8, 12, false}, TCase{8, 200, true}}) {
        auto index = [&](int x, int y) { return (x * 3 + y * 5) % c.Colours; };
        const std::string src = Scratch / "src.bmp", dst = Scratch / "out.png";
        WriteBytes(src, MakePaletteBmp(13, 7, c.Bpp, c.Colours, c.TopDown, index));
        ASSERT_NO_THROW(LoadPaletteBitmapFile(src, dst, c.Colours, {}, nullptr, 0, TakeRunSettings())) << c.Bpp;
        const std::vector<uint8_t> png = ReadBytes(dst);
        EXPECT_EQ(png[24], c.Colours <= 16 ? 4 : 8) << c.Bpp; // bit depth
        EXPECT_EQ(png[25], 3);
        TOwnedImg out{};
        ASSERT_TRUE(ReadPng(dst, out.Img));
        ASSERT_EQ(std::make_tuple(out.Img.Width, out.Img.Height, out.Img.Channels), std::make_tuple(13u, 7u, 3u));
        for (uint32_t y = 0; y < 7; ++y)
            for (uint32_t x = 0; x < 13; ++x) {
                const int i = index(int(x), int(y));
                ASSERT_EQ(At(out.Img, x, y, 2), uint8_t(i * 40)) << c.Bpp << " " << x << "," << y;
                ASSERT_EQ(At(out.Img, x, y, 1), uint8_t(255 - i * 20));
                ASSERT_EQ(At(out.Img, x, y, 0), uint8_t(i));
            }
    }
}

TEST_F(Bridge, PaletteBitmapKeyColourBecomesTransparentIndexZero)
{
    // Corners: top-left 3, top-right 1, bottom-left 2, bottom-right 0.
    auto index = [](int x, int y) {
        if (y == 0)
            return x == 0 ? 3 : x == 5 ? 1 : 4;
        if (y == 3)
            return x == 0 ? 2 : x == 5 ? 0 : 4;
        return (x + y) % 5;
    };
    const std::string src = Scratch / "k.bmp", dst = Scratch / "k.png";
    for (bool topDown : {false, true}) {
        WriteBytes(src, MakePaletteBmp(6, 4, 8, 5, topDown, index));
        for (int type = 1; type <= 4; ++type) {
            LoadPaletteBitmapFile(src, dst, 5, {}, nullptr, type, TakeRunSettings());
            TOwnedImg out{};
            ASSERT_TRUE(ReadPng(dst, out.Img));
            ASSERT_EQ(out.Img.Channels, 4u);
            const int key = type == 1 ? 3 : type == 2 ? 2 : type == 3 ? 1 : 0;
            for (uint32_t y = 0; y < 4; ++y)
                for (uint32_t x = 0; x < 6; ++x) {
                    const int i = index(int(x), int(y));
                    ASSERT_EQ(At(out.Img, x, y, 3), i == key ? 0 : 255) << type << " " << x << "," << y;
                    if (i != key) { // every other pixel keeps its colour
                        ASSERT_EQ(At(out.Img, x, y, 2), uint8_t(i * 40));
                        ASSERT_EQ(At(out.Img, x, y, 0), uint8_t(i));
                    }
                }
        }
    }
}

TEST_F(Bridge, DamagedPaletteBitmapsAreRefused)
{
    auto index = [](int x, int y) { return (x + y) % 4; };
    const std::vector<uint8_t> good = MakePaletteBmp(9, 5, 8, 4, false, index);
    const std::string src = Scratch / "d.bmp", dst = Scratch / "d.png";
    auto expectError = [&](std::vector<uint8_t> B, int Colours, const char* Why) {
        WriteBytes(src, B);
        std::filesystem::remove(dst);
        EXPECT_THROW(LoadPaletteBitmapFile(src, dst, Colours, {}, nullptr, 0, TakeRunSettings()), EVestroError) << Why;
        EXPECT_FALSE(std::filesystem::exists(dst)) << Why;
    };
    const struct {
        size_t At;
        uint32_t Value;
        const char* Why;
    } patches[] = {{0, 'X', "signature"},
                   {14, 12, "header size"},
                   {46, 300, "colours used over 256"},
                   {22, 0x80000000u, "height of -2^31"},
                   {10, 0xFFFFFFF0u, "data offset past the end"}};
    for (const auto& p : patches) {
        std::vector<uint8_t> b = good;
        Put32(b, p.At, p.Value);
        expectError(b, 4, p.Why);
    }
    std::vector<uint8_t> b = good;
    b[b.size() - 4] = 9; // last pixel of the top row (the rest is padding)
    expectError(b, 4, "index past the palette");
    expectError(std::vector<uint8_t>(good.begin(), good.end() - 10), 4, "truncated rows");
    expectError(good, 5, "more colours asked than the file has");
    expectError(good, 0, "no colours");
    expectError(good, 3, "index past the colours used");
    EXPECT_THROW(LoadPaletteBitmapFile(Scratch / "none.bmp", dst, 4, {}, nullptr, 0, TakeRunSettings()), EVestroError);
}
