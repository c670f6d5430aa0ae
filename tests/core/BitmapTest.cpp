#include "core/Bitmap.h"
#include "PictureTestUtil.h"
#include "FilesTestUtil.h"

namespace fs = std::filesystem;

namespace {

bool Load(const std::vector<uint8_t>& F, TImgInfo& Img, uint32_t Flags = 0)
{
    return LoadBitmapFromBuffer(F.data(), F.size(), Img, Flags, TBGColor{}, Settings.Bitmap.AlphaCheckType);
}

// The channel count and pixels of the picture read from the file made of S;
// (0, nothing) when it does not read.
using TLoaded = std::pair<uint32_t, std::vector<uint8_t>>;
TLoaded Loaded(const TBmpSpec& S)
{
    TImgHolder img;
    if (!Load(MakeBmp(S), img.I))
        return {};
    return {img.I.Channels, Pixels(img.I)};
}

// True when the file is refused (false or, with Raised, only an error) with
// nothing handed out.
bool Refused(const std::vector<uint8_t>& F, bool Raised = false)
{
    TImgHolder img;
    try {
        const bool ok = Load(F, img.I);
        EXPECT_EQ(img.I.Mem != nullptr, ok);
        return !ok && !Raised;
    } catch (const EVestroError&) {
        EXPECT_EQ(img.I.Mem, nullptr);
        return true;
    }
}

class BitmapTest : public ::testing::Test {
protected:
    TOptionGuard Guard;
    TTempDir Temp;
    const fs::path Dir{Temp.Path};
};

} // namespace

TEST_F(BitmapTest, RoundTripEveryChannelCountAndHeader)
{
    for (uint32_t ch : {1u, 3u, 4u})
        for (int header : {0, 1})
            for (uint32_t w : {1u, 5u, 17u}) {
                Settings.Bitmap.AlphaBitmapHeaderType = header;
                const TImgHolder pic{RandomImage(w, 3, ch, w * 7 + ch)};
                const TImgInfo& src = pic.I;
                const fs::path p = Dir / "a.bmp";
                ASSERT_TRUE(SaveBitmapFile(p.string(), src, TResolutionInfo{}, TakeRunSettings()));
                TImgHolder back, again;
                ASSERT_TRUE(LoadBitmapFromMemory(p.string(), back.I, 0, TBGColor{}, Settings.Bitmap.AlphaCheckType));
                EXPECT_EQ(back.I.Channels, ch);
                EXPECT_EQ(Pixels(back.I), Pixels(src)) << "channels " << ch << " header " << header;
                const auto file = ReadBytes(p);
                EXPECT_EQ(Get32(file, 14), (ch == 4 && header == 1) ? 108u : 40u);
                if (ch == 1) {
                    EXPECT_EQ(Get32(file, 10), 1078u);
                    EXPECT_EQ(Get32(file, 46), 256u);
                    EXPECT_EQ(file[54 + 4 * 200], 200);
                }
                std::vector<uint8_t> stream;
                ASSERT_TRUE(SaveBitmapToStream(stream, src, TResolutionInfo{}, Settings.Metadata));
                EXPECT_EQ(Get32(stream, 14), ch == 4 ? 108u : 40u);
                ASSERT_TRUE(Load(stream, again.I));
                EXPECT_EQ(Pixels(again.I), Pixels(src));
            }
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), {}), 1) << "no temporary file is left";
}

TEST_F(BitmapTest, PaletteDepths)
{
    // An 8-bit gray ramp gives a 1-channel image whose bytes are the indices.
    TBmpSpec s{.Width = 5, .Height = 2, .Bits = 8};
    for (int i = 0; i < 256; ++i)
        s.Extra.insert(s.Extra.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    s.Data = {9, 8, 7, 6, 5, 0, 0, 0, 1, 2, 3, 4, 250, 0, 0, 0};
    EXPECT_EQ(Loaded(s), TLoaded(1, {1, 2, 3, 4, 250, 9, 8, 7, 6, 5}));
    // A ramp of 8 levels: the indices past it are black, not their own value.
    s.ColorsUsed = 8;
    s.Extra.resize(8 * 4);
    EXPECT_EQ(Loaded(s), TLoaded(1, {1, 2, 3, 4, 0, 0, 0, 7, 6, 5}));

    // 1 and 4 bits: the leftmost pixel sits in the high bits; an index beyond
    // the palette reads as black.
    s = TBmpSpec{.Width = 10, .Bits = 1, .Extra = {10, 20, 30, 0, 40, 50, 60, 0}, .Data = {0xA5, 0x80, 0, 0}};
    const TLoaded bits = Loaded(s);
    ASSERT_EQ(bits.first, 3u);
    const uint8_t one[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(bits.second[3 * x], one[x] ? 40 : 10) << x;
    s = TBmpSpec{.Width = 3, .Bits = 4, .ColorsUsed = 2, .Extra = {1, 2, 3, 0, 4, 5, 6, 0}, .Data = {0x10, 0x50, 0, 0}};
    EXPECT_EQ(Loaded(s), TLoaded(3, {4, 5, 6, 1, 2, 3, 0, 0, 0}));
}

TEST_F(BitmapTest, RunLengthData)
{
    // A gray palette (index i is level 10 i), so the picture comes back as indices x 10.
    TBmpSpec s{.Width = 6,
               .Height = 3,
               .Bits = 8,
               .Compression = BI_RLE8,
               .ColorsUsed = 4,
               .Extra = {0, 0, 0, 0, 10, 10, 10, 0, 20, 20, 20, 0, 30, 30, 30, 0}};
    // Bottom row: 3 x index 1, then 3 pixels as they are (2, 3, 1, padded).
    // Middle row: moved 2 right and 1 up, i.e. skipped to the top row at x 2.
    // Top row from x 2: a run of 9 x index 2 clipped at the right edge.
    s.Data = {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 9, 2, 0, 1};
    EXPECT_EQ(Loaded(s), TLoaded(1, {0, 0, 20, 20, 20, 20, 0, 0, 0, 0, 0, 0, 10, 10, 10, 20, 30, 10}));

    // RLE4: a run alternates the two nibbles; absolute pixels are packed.
    s.Bits = 4;
    s.Compression = BI_RLE4;
    s.Height = 1;
    s.Data = {3, 0x12, 0, 3, 0x30, 0x10, 0, 1};
    EXPECT_EQ(Loaded(s), TLoaded(1, {10, 20, 10, 30, 0, 10}));
}

TEST_F(BitmapTest, RunLengthDataThatMissesPartOfThePictureFails)
{
    TBmpSpec s{.Width = 4,
               .Height = 4,
               .Bits = 8,
               .Compression = BI_RLE8,
               .ColorsUsed = 2,
               .Extra = {0, 0, 0, 0, 0, 0, 255, 0}};
    const std::vector<uint8_t> row = {2, 1, 2, 0, 0, 0}; // two red, two black, end of line
    std::vector<uint8_t> whole;
    for (int y = 0; y < 4; ++y)
        whole.insert(whole.end(), row.begin(), row.end());
    whole.insert(whole.end(), {0, 1});
    s.Data = whole;
    EXPECT_EQ(Loaded(s).first, 3u);
    // Every row but without the end-of-picture mark: still the whole picture.
    s.Data.assign(whole.begin(), whole.end() - 2);
    EXPECT_EQ(Loaded(s).first, 3u);

    s.Data.assign(whole.begin(), whole.begin() + 12); // cut after two rows
    EXPECT_TRUE(Refused(MakeBmp(s), true));
    s.Data.assign(whole.begin(), whole.begin() + 20); // cut inside the last row
    EXPECT_TRUE(Refused(MakeBmp(s), true));
    s.Data.assign(whole.begin(), whole.begin() + 12);
    s.Data.insert(s.Data.end(), {0, 1}); // the end mark after two rows
    EXPECT_TRUE(Refused(MakeBmp(s), true));
    // The header's size enlarged past the data.
    s.Data = whole;
    s.Height = 8;
    EXPECT_TRUE(Refused(MakeBmp(s), true));
    s.Height = 4;
    s.Width = 8;
    EXPECT_TRUE(Refused(MakeBmp(s), true));
}

TEST_F(BitmapTest, Alpha32ByCheckType)
{
    TBmpSpec s{.Width = 2, .Bits = 32};
    for (uint8_t a : {0, 255}) {
        s.Data = {1, 2, 3, a, 4, 5, 6, a};
        Settings.Bitmap.AlphaCheckType = 0;
        EXPECT_EQ(Loaded(s), TLoaded(3, {1, 2, 3, 4, 5, 6}));
        Settings.Bitmap.AlphaCheckType = 1;
        EXPECT_EQ(Loaded(s).first, 4u);
    }
    s.Data = {1, 2, 3, 0, 4, 5, 6, 9};
    Settings.Bitmap.AlphaCheckType = 0;
    EXPECT_EQ(Loaded(s).first, 4u);
    Settings.Bitmap.AlphaCheckType = 2;
    EXPECT_EQ(Loaded(s).first, 3u);

    // Red and blue exchanged by the masks; a zero mask reads as 0 and a zero
    // alpha mask in a header that has one gives no alpha.
    s.HeaderSize = 108;
    s.Compression = BI_BITFIELDS;
    s.Masks[0] = 0xFF, s.Masks[1] = 0xFF00, s.Masks[2] = 0xFF0000, s.Masks[3] = 0;
    EXPECT_EQ(Loaded(s), TLoaded(3, {3, 2, 1, 6, 5, 4}));
    s.Masks[1] = 0;
    EXPECT_EQ(Loaded(s), TLoaded(3, {3, 0, 1, 6, 0, 4}));
}

TEST_F(BitmapTest, HostileFilesFailCleanly)
{
    TBmpSpec good{.Width = 7, .Height = 3, .Bits = 8};
    for (int i = 0; i < 256; ++i)
        good.Extra.insert(good.Extra.end(), {uint8_t(i), 0, 0, 0});
    good.Data.assign(8 * 3, 7);
    const auto base = MakeBmp(good);

    // Files that cannot be read at all.
    TImgInfo none;
    EXPECT_THROW(
        LoadBitmapFromMemory((Dir / "missing.bmp").string(), none, 0, TBGColor{}, Settings.Bitmap.AlphaCheckType),
        EVestroError);
    EXPECT_THROW(LoadBitmapFromMemory(Dir.string(), none, 0, TBGColor{}, Settings.Bitmap.AlphaCheckType), EVestroError);

    // Every truncation of a valid file (the last row's padding may go).
    for (size_t n = 0; n + 1 < base.size(); ++n)
        EXPECT_TRUE(Refused(std::vector<uint8_t>(base.begin(), base.begin() + n))) << n;

    auto patched = [&](size_t At, uint32_t V) {
        auto f = base;
        Put32(f, At, V);
        return f;
    };
    // Data offset past the end; header too small or large; width or height 0,
    // negative or huge; colours used beyond 256; bit fields on a palette
    // depth; unknown compression; unknown depth.
    for (auto [at, v] : {std::pair<size_t, uint32_t>{10, 0xFFFFFFF0},
                         {10, uint32_t(base.size())},
                         {14, 12},
                         {14, 0x7FFFFFFF},
                         {18, 0},
                         {22, 0},
                         {18, 0x80000000u},
                         {18, 0x7FFFFFFF},
                         {22, 0x80000000u},
                         {46, 1000},
                         {46, 0xFFFFFFFF},
                         {30, 3},
                         {30, 4},
                         {28, 2}})
        EXPECT_TRUE(Refused(patched(at, v))) << at << " " << v;
    auto noOffset = patched(10, 0);
    EXPECT_FALSE(Refused(noOffset)) << "a zero offset means right after the palette";
    Put32(noOffset, 46, 256);
    EXPECT_FALSE(Refused(noOffset));

    // Other depths with an unknown compression, bit fields without room for
    // their masks, a run-length file claiming a huge size.
    for (uint16_t bits : {16, 24, 32}) {
        TBmpSpec s{.Width = 2, .Bits = uint16_t(bits), .Compression = 4};
        s.Data.assign(8, 0);
        EXPECT_TRUE(Refused(MakeBmp(s))) << bits;
        s.Compression = BI_BITFIELDS;
        auto f = MakeBmp(s);
        f.resize(14 + 40 + 4);
        Put32(f, 10, 0);
        EXPECT_TRUE(Refused(f)) << bits;
        Put32(f, 14, 44); // an odd header size with the masks past the end
        EXPECT_TRUE(Refused(f)) << bits;
    }
    TBmpSpec rle{.Width = 0x7FFFFFFF,
                 .Height = 0x7FFFFFFF,
                 .Bits = 8,
                 .Compression = BI_RLE8,
                 .ColorsUsed = 1,
                 .Extra = {0, 0, 0, 0},
                 .Data = {0, 1}};
    EXPECT_TRUE(Refused(MakeBmp(rle)));
    // Small enough to allocate, still absurd for two bytes of data.
    rle.Width = rle.Height = 50000;
    EXPECT_TRUE(Refused(MakeBmp(rle)));
}

// A batch worker reads the next file into blocks the last one left: rows
// read in whole give the bytes of a fresh block, spare bytes included, and
// pixels that run-length data skips stay black.
TEST_F(BitmapTest, BlocksAnEarlierPictureLeftReadAsFreshOnes)
{
    std::vector<std::pair<std::vector<uint8_t>, uint32_t>> files; // file, flags
    for (uint32_t ch : {1u, 3u, 4u}) {
        const TImgHolder src{RandomImage(37, 11, ch, ch)};
        std::vector<uint8_t> f;
        ASSERT_TRUE(SaveBitmapToStream(f, src.I, TResolutionInfo{}, Settings.Metadata));
        files.push_back({f, 0});
        if (ch == 4)
            files.push_back({f, BMP_FLATTEN_ALPHA});
    }
    TBmpSpec fields{.HeaderSize = 56,
                    .Width = 5,
                    .Height = 3,
                    .Bits = 16,
                    .Compression = BI_BITFIELDS,
                    .Masks = {0x0F00, 0x00F0, 0x000F, 0xF000}};
    for (int i = 0; i < 5 * 2 * 3 + 6; ++i)
        fields.Data.push_back(uint8_t(i * 37));
    files.push_back({MakeBmp(fields), 0});
    TBmpSpec rle{.Width = 6,
                 .Height = 3,
                 .Bits = 8,
                 .Compression = BI_RLE8,
                 .ColorsUsed = 4,
                 .Extra = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0}};
    rle.Data = {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 9, 2, 0, 1};
    files.push_back({MakeBmp(rle), 0});
    for (size_t i = 0; i < files.size(); ++i) {
        TImgHolder fresh, kept;
        ASSERT_TRUE(Load(files[i].first, fresh.I, files[i].second)) << i;
        const auto keep = SoiledKeep();
        ASSERT_TRUE(Load(files[i].first, kept.I, files[i].second)) << i;
        EXPECT_TRUE(SameBlocks(kept.I, fresh.I)) << "file " << i;
    }
}
