// Files the decoders' fuzzer found costly (tests/kodex/finds), and the
// readings of real files their mends must keep.
#include "KodexTestUtil.h"

#include "core/PictureMemory.h"

#include <libheif/heif.h>
#include <tiffio.h>

using FuzzFinds = TKodexTest;

namespace {

std::vector<uint8_t> Find(const std::string& Name)
{
    return ReadBytes(std::string(VESTRO_SOURCE_DIR) + "/tests/kodex/finds/" + Name);
}

// The library's picture budget set to Bytes for the object's life.
struct TLibraryBudget {
    explicit TLibraryBudget(uint64_t Bytes) { KodexProcs.SetPictureMemoryLimit(Bytes); }
    ~TLibraryBudget() { KodexProcs.SetPictureMemoryLimit(PictureMemoryBudget()); }
};

// A W x H HEIF picture coded with HEVC, or nothing when this libheif cannot
// both write and read that.
std::vector<uint8_t> EncodeHeif(const std::string& Path, int W, int H)
{
    heif_init(nullptr);
    if (!heif_have_encoder_for_format(heif_compression_HEVC) || !heif_have_decoder_for_format(heif_compression_HEVC))
        return {};
    heif_context* ctx = heif_context_alloc();
    heif_encoder* enc = nullptr;
    heif_image* im = nullptr;
    bool ok = heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &enc).code == heif_error_Ok &&
        heif_image_create(W, H, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &im).code == heif_error_Ok &&
        heif_image_add_plane(im, heif_channel_interleaved, W, H, 8).code == heif_error_Ok;
    if (ok) {
        int stride = 0;
        uint8_t* p = heif_image_get_plane(im, heif_channel_interleaved, &stride);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W * 3; ++x)
                p[y * stride + x] = uint8_t(x * 7 + y * 3);
        ok = heif_context_encode_image(ctx, im, enc, nullptr, nullptr).code == heif_error_Ok &&
            heif_context_write_to_file(ctx, Path.c_str()).code == heif_error_Ok;
    }
    heif_image_release(im);
    if (enc)
        heif_encoder_release(enc);
    heif_context_free(ctx);
    return ok ? ReadBytes(Path) : std::vector<uint8_t>{};
}

// The bits of row Y of the fax pages: runs of black and white.
uint8_t FaxBits(uint32_t Byte, uint32_t Y)
{
    return (Byte + Y / 3) % 5 == 0 ? 0xF0 : (Byte * 3 + Y) % 7 == 0 ? 0x3C : 0;
}

// A W x H fax page in one strip, or in tiles of 64 x 32.
std::vector<uint8_t> FaxPage(const std::string& Path, uint16_t Compression, uint32_t W, uint32_t H, bool Tiled)
{
    TIFF* t = OpenTiff(Path, W, H, 1, 1, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, Compression);
    if (Tiled) {
        const uint32_t tw = 64, th = 32;
        TIFFSetField(t, TIFFTAG_TILEWIDTH, tw);
        TIFFSetField(t, TIFFTAG_TILELENGTH, th);
        std::vector<uint8_t> tile(tw / 8 * th);
        for (uint32_t y0 = 0; y0 < H; y0 += th)
            for (uint32_t x0 = 0; x0 < W; x0 += tw) {
                for (uint32_t y = 0; y < th; ++y)
                    for (uint32_t i = 0; i < tw / 8; ++i)
                        tile[y * (tw / 8) + i] = FaxBits(x0 / 8 + i, y0 + y);
                TIFFWriteTile(t, tile.data(), x0, y0, 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, H);
        std::vector<uint8_t> row((W + 7) / 8);
        for (uint32_t y = 0; y < H; ++y) {
            for (uint32_t i = 0; i < row.size(); ++i)
                row[i] = FaxBits(i, y);
            TIFFWriteScanline(t, row.data(), y, 0);
        }
    }
    TIFFClose(t);
    return ReadBytes(Path);
}

} // namespace

// A 16 x 24 picture cut from a coded picture of 26725 x 30328: libheif
// would take gigabytes and half a minute for it. Refused at once, as whole
// picture and as thumbnail (its own, damaged, thumbnail is passed over),
// with libheif's reason on one line.
TEST_F(FuzzFinds, AHeifPictureCutFromAHugeCodedOneIsRefused)
{
    const std::vector<uint8_t> file = Find("bomb.heic");
    for (const bool thumbnail : {false, true}) {
        TKodexReadWIC rec{};
        const int r = (thumbnail ? KodexProcs.ReadWICThumbnail : KodexProcs.ReadWIC)(&rec, file.data(), file.size());
        EXPECT_EQ(std::make_tuple(r, rec.Img.Mem), std::make_tuple(0, nullptr));
        FreeImg(rec.Img);
        const std::vector<std::string> errs = TakeErrors();
        ASSERT_EQ(errs.size(), 1u) << ::testing::PrintToString(errs);
        EXPECT_NE(errs[0].find("26725x30328"), std::string::npos) << errs[0];
        // A line break at its end would show as "?" (the log's mark for a control character).
        EXPECT_EQ(errs[0].find_first_of("?\n"), std::string::npos) << errs[0];
    }
}

// A coded HEVC picture is rounded up to whole coding blocks (203 x 101 is
// coded 208 x 104): it still reads under a budget that has room for the
// picture but not for a square of its side.
TEST_F(FuzzFinds, AHeifPictureReadsUnderABudgetWithLittleRoomBesideIt)
{
    const std::vector<uint8_t> file = EncodeHeif(Scratch / "odd.heic", 203, 101);
    if (file.empty())
        GTEST_SKIP() << "this libheif build cannot both encode and decode HEVC";
    const TLibraryBudget budget(300000);
    TOwnedImg out{};
    ASSERT_EQ(1, ReadWicMem(file, out.Img)) << ::testing::PrintToString(TakeErrors());
    EXPECT_EQ(std::make_tuple(out.Img.Width, out.Img.Height), std::make_tuple(203u, 101u));
}

// A fax strip of bad code words (the file's own header read as fax data):
// libtiff reports each and goes on, filling 12300 rows of 56872 pixels.
// Refused at the first row, before any band is handed over.
TEST_F(FuzzFinds, AFaxStripOfBadCodeWordsIsRefusedAtItsFirstRow)
{
    const std::vector<uint8_t> file = Find("slow.tif");
    TBandSink sink;
    ExpectRefused(ReadBandsWith(KodexProcs.ReadTIFFBands, file, 1, 64, sink), TImgInfo{}, "Bad code word");
    EXPECT_EQ(sink.Bands, 0u);
    TOwnedImg whole{};
    ExpectRefused(ReadWicMem(file, whole.Img), whole.Img, "Bad code word");
}

// A fax page read whole and in bands gives the rows written; the same page
// with its strip's data cut short (libtiff warns and fills the rest white) is
// damaged, and so is one with its first strip's or tile's bytes garbled.
TEST_F(FuzzFinds, FaxPagesReadAsWrittenAndCutOrGarbledOnesAreRefused)
{
    const uint32_t w = 203, h = 90;
    struct {
        uint16_t Compression;
        bool Tiled;
    } const kinds[] = {{COMPRESSION_CCITTFAX3, false}, {COMPRESSION_CCITTFAX4, false}, {COMPRESSION_CCITTFAX4, true}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(testing::Message() << k.Compression << " tiled " << k.Tiled);
        const std::vector<uint8_t> good = FaxPage(Scratch / "fax.tif", k.Compression, w, h, k.Tiled);
        TOwnedImg whole{};
        ASSERT_EQ(1, ReadWicMem(good, whole.Img)) << ::testing::PrintToString(TakeErrors());
        TBandSink sink;
        ASSERT_EQ(1, ReadBandsWith(KodexProcs.ReadTIFFBands, good, 1, 16, sink));
        EXPECT_TRUE(TakeErrors().empty());
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t want = (FaxBits(x / 8, y) >> (7 - x % 8) & 1) ? 0 : 255;
                ASSERT_EQ(At(whole.Img, x, y, 0), want) << x << "," << y;
                ASSERT_EQ(sink.Rows[size_t(y) * w + x], want) << x << "," << y;
            }

        // libtiff fills a cut two-dimensional page with white, warning that
        // the data ended; a cut one-dimensional page fails to read.
        const bool g4 = k.Compression == COMPRESSION_CCITTFAX4;
        if (!k.Tiled) {
            std::vector<uint8_t> cut = good;
            SetTiffTag(cut, 279, 0, true); // the strip's byte count halved
            TOwnedImg cutOut{};
            ExpectRefused(ReadWicMem(cut, cutOut.Img), cutOut.Img, g4 ? "Premature EOF" : "");
        }

        // The first strip or tile follows the 8-byte header; bytes near its
        // start garbled. Two-dimensional codes go wrong there; one-dimensional
        // ones run on until the data is gone.
        std::vector<uint8_t> garbled = good;
        for (size_t i = 12; i < 32; ++i)
            garbled[i] = uint8_t(i * 37);
        TBandSink refused;
        ExpectRefused(ReadBandsWith(KodexProcs.ReadTIFFBands, garbled, 1, 16, refused), TImgInfo{},
                      g4 ? "Bad code word" : "");
        if (g4) {
            EXPECT_EQ(refused.Bands, 0u); // stopped where the garbling is
        }
    }
}
