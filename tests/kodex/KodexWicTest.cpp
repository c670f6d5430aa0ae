// Formats read through read_wic (TIFF, GIF, WebP, HEIF), made here with the
// same libraries other programs use; their header probe and EXIF blocks.
#include "KodexTestUtil.h"

#include <gif_lib.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

using Wic = TKodexTest;

namespace {

// 3 x 2 picture, top-down rows of blue, green, red (alpha): all bytes differ.
const uint8_t kPixels[2][3][4] = {{{10, 20, 30, 255}, {40, 50, 60, 0}, {70, 80, 90, 128}},
                                  {{100, 110, 120, 1}, {130, 140, 150, 254}, {160, 170, 180, 77}}};

// SkipClear: fully transparent pixels' colour is not compared (lossless WebP drops it).
void ExpectPixels(const TImgInfo& Img, bool Alpha, bool SkipClear = false)
{
    ASSERT_EQ(std::make_tuple(Img.Width, Img.Height, Img.Channels), std::make_tuple(3u, 2u, Alpha ? 4u : 3u));
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            for (uint32_t c = 0; c < Img.Channels; ++c)
                if (!(SkipClear && Alpha && kPixels[y][x][3] == 0)) {
                    EXPECT_EQ(At(Img, x, y, c), kPixels[y][x][c]) << x << "," << y << "," << c;
                }
}

void WriteTiff(const std::string& F, bool Alpha, const std::vector<uint8_t>* Profile)
{
    const uint16_t spp = Alpha ? 4 : 3;
    TIFF* t = OpenTiff(F, 3, 2, 8, spp, PHOTOMETRIC_RGB);
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ORIENTATION, 6);
    if (Alpha) {
        uint16_t ex = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &ex);
    }
    if (Profile)
        TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(Profile->size()), Profile->data());
    for (uint32_t y = 0; y < 2; ++y) {
        uint8_t row[12];
        for (uint32_t x = 0; x < 3 * spp; ++x) // red, green, blue (alpha)
            row[x] = kPixels[y][x / spp][x % spp < 3 ? 2 - x % spp : 3];
        TIFFWriteScanline(t, row, y, 0);
    }
    TIFFClose(t);
}

// The EXIF APP1 payload ("Exif\0\0" ...) of a create_exif result.
std::vector<uint8_t> ExifPayload(const TKodexInfo& Info, const std::string& Src = "")
{
    std::vector<uint8_t> out(65535);
    uint32_t n = 0;
    EXPECT_TRUE(CreateExif(Src, Info, nullptr, 0, out.data(), uint32_t(out.size()), n));
    EXPECT_GT(n, 6u);
    return std::vector<uint8_t>(out.begin() + 6, out.begin() + n);
}

// A HEIF compression this libheif build can both write and read, or undefined.
heif_compression_format HeifFormat()
{
    heif_init(nullptr);
    for (auto f : {heif_compression_HEVC, heif_compression_AV1})
        if (heif_have_encoder_for_format(f) && heif_have_decoder_for_format(f))
            return f;
    return heif_compression_undefined;
}

} // namespace

TEST_F(Wic, TiffReadsToTheStoredPixelsWithItsProfile)
{
    const std::vector<uint8_t> prof = MakeProfile("Tiff RGB");
    for (bool alpha : {false, true}) {
        const std::string f = Scratch / "t.tif";
        WriteTiff(f, alpha, &prof);
        TOwnedImg out{};
        TICCInfo icc;
        ASSERT_TRUE(ReadWICFile(f, out.Img, 0, &icc, TBGColor{}));
        ExpectPixels(out.Img, alpha);
        EXPECT_EQ(out.Img.Bpl, CalcBpl(3, out.Img.Channels));
        ExpectProfile(icc, prof, "Tiff RGB");
        const TKodexInfo info = InfoOf(f);
        EXPECT_EQ(std::make_tuple(info.Width, info.Height, info.Orientation), std::make_tuple(3u, 2u, 6));
    }
}

// Too few colour samples for the alpha they declare: a failure or a picture
// within the stored samples, never a read past a row (the sanitizer build checks).
TEST_F(Wic, TiffWithTooFewColourSamplesIsNotReadAsRgbOrGray)
{
    struct TCase {
        uint16_t Photometric, Spp;
    };
    for (const TCase c : {TCase{PHOTOMETRIC_RGB, 3}, TCase{PHOTOMETRIC_MINISBLACK, 1}}) {
        const std::string f = Scratch / "x.tif";
        TIFF* t = OpenTiff(f, 5, 2, 8, c.Spp, c.Photometric);
        ASSERT_NE(t, nullptr);
        uint16_t ex = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &ex);
        uint8_t row[15] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        for (uint32_t y = 0; y < 2; ++y)
            TIFFWriteScanline(t, row, y, 0);
        TIFFClose(t);
        TOwnedImg out{};
        const int r = ReadWicMem(ReadBytes(f), out.Img);
        if (c.Photometric == PHOTOMETRIC_RGB) // two colour samples cannot make an RGB picture
            ExpectRefused(r, out.Img);
        TakeErrors();
    }
}

// A small strip file claiming 30000 samples per pixel: libtiff would ask
// for 3 GB of strip buffer. Refused before decoding.
TEST_F(Wic, TiffWithAbsurdSamplesPerPixelIsRefused)
{
    const std::string f = Scratch / "s.tif";
    TIFF* t = OpenTiff(f, 16, 5, 8, 1, PHOTOMETRIC_MINISBLACK);
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    uint8_t row[16] = {};
    for (uint32_t y = 0; y < 5; ++y)
        TIFFWriteScanline(t, row, y, 0);
    TIFFClose(t);
    std::vector<uint8_t> d = ReadBytes(f);
    SetTiffTag(d, 256, 20000); // width
    SetTiffTag(d, 277, 30000); // samples per pixel
    TOwnedImg out{};
    ExpectRefused(ReadWicMem(d, out.Img), out.Img, "Unsupported TIFF picture size");
}

TEST_F(Wic, GifFirstFrameWithTransparency)
{
    const std::string f = Scratch / "g.gif";
    int err = 0;
    GifFileType* g = EGifOpenFileName(f.c_str(), false, &err);
    ASSERT_NE(g, nullptr);
    GifColorType cols[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(4, cols);
    EGifPutScreenDesc(g, 4, 3, 2, 0, map);
    const uint8_t gce[4] = {1, 0, 0, 2}; // transparent index 2
    EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce);
    EGifPutImageDesc(g, 0, 0, 4, 3, false, nullptr);
    GifPixelType rows[3][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {1, 1, 2, 2}};
    for (auto& r : rows)
        EGifPutLine(g, r, 4);
    // A second frame that must not show.
    EGifPutImageDesc(g, 0, 0, 4, 3, false, nullptr);
    GifPixelType other[4] = {3, 3, 3, 3};
    for (int i = 0; i < 3; ++i)
        EGifPutLine(g, other, 4);
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);

    TOwnedImg out{};
    ASSERT_TRUE(ReadWICFile(f, out.Img, 0, nullptr, TBGColor{}));
    ASSERT_EQ(std::make_pair(out.Img.Channels, out.Img.Width), std::make_pair(4u, 4u));
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
            const int i = rows[y][x];
            EXPECT_EQ(At(out.Img, x, y, 3), i == 2 ? 0 : 255);
            if (i != 2) {
                EXPECT_EQ(std::make_tuple(At(out.Img, x, y, 2), At(out.Img, x, y, 1), At(out.Img, x, y, 0)),
                          std::make_tuple(cols[i].Red, cols[i].Green, cols[i].Blue));
            }
        }
    // Asked to flatten, the transparent pixels take the background colour.
    TOwnedImg flat{};
    ASSERT_TRUE(ReadWICFile(f, flat.Img, 1, nullptr, TBGColor{0, 7, 8, 9, 0}));
    ASSERT_EQ(flat.Img.Channels, 3u);
    EXPECT_EQ(std::make_tuple(At(flat.Img, 2, 0, 2), At(flat.Img, 2, 0, 0), At(flat.Img, 1, 0, 2)),
              std::make_tuple(7, 9, 255));
}

// A graphic control block names a transparent index only with its flag set:
// without it the index is a colour like any other, and the picture has no
// alpha.
TEST_F(Wic, AGifTransparentIndexCountsOnlyWithItsFlag)
{
    for (const uint8_t flag : {0, 1}) {
        SCOPED_TRACE(int(flag));
        const std::string f = Scratch / "t.gif";
        int err = 0;
        GifFileType* g = EGifOpenFileName(f.c_str(), false, &err);
        ASSERT_NE(g, nullptr);
        GifColorType cols[2] = {{200, 100, 50}, {0, 0, 0}};
        ColorMapObject* map = GifMakeMapObject(2, cols);
        EGifPutScreenDesc(g, 2, 1, 1, 0, map);
        const uint8_t gce[4] = {flag, 0, 0, 0}; // index 0
        EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce);
        EGifPutImageDesc(g, 0, 0, 2, 1, false, nullptr);
        GifPixelType row[2] = {0, 1};
        EGifPutLine(g, row, 2);
        EGifCloseFile(g, &err);
        GifFreeMapObject(map);
        TOwnedImg out{};
        ASSERT_TRUE(ReadWICFile(f, out.Img, 0, nullptr, TBGColor{}));
        ASSERT_EQ(out.Img.Channels, flag ? 4u : 3u);
        if (flag)
            EXPECT_EQ(std::make_pair(int(At(out.Img, 0, 0, 3)), int(At(out.Img, 1, 0, 3))), std::make_pair(0, 255));
        else
            EXPECT_EQ(std::make_tuple(At(out.Img, 0, 0, 2), At(out.Img, 0, 0, 1), At(out.Img, 0, 0, 0)),
                      std::make_tuple(200, 100, 50));
    }
}

TEST_F(Wic, WebpLosslessWithProfileAndExif)
{
    for (bool alpha : {false, true}) {
        uint8_t packed[18];
        for (int i = 0; i < 6; ++i)
            std::memcpy(packed + i * 3, kPixels[i / 3][i % 3], 3);
        uint8_t* enc = nullptr;
        const size_t n = alpha ? WebPEncodeLosslessBGRA(&kPixels[0][0][0], 3, 2, 12, &enc)
                               : WebPEncodeLosslessBGR(packed, 3, 2, 9, &enc);
        ASSERT_GT(n, 0u);
        const std::vector<uint8_t> prof = MakeProfile("Webp RGB");
        TKodexInfo ei{};
        ei.Orientation = 3;
        std::memcpy(ei.DateTime, "2021:02:03 04:05:06", 19);
        const std::vector<uint8_t> exif = ExifPayload(ei);
        WebPMux* mux = WebPMuxNew();
        WebPData img{enc, n}, icc{prof.data(), prof.size()}, ex{exif.data() + 6, exif.size() - 6};
        WebPMuxSetImage(mux, &img, 0);
        WebPMuxSetChunk(mux, "ICCP", &icc, 1);
        WebPMuxSetChunk(mux, "EXIF", &ex, 1);
        WebPData out{};
        ASSERT_EQ(WebPMuxAssemble(mux, &out), WEBP_MUX_OK);
        const std::string f = Scratch / "w.webp";
        WriteBytes(f, std::vector<uint8_t>(out.bytes, out.bytes + out.size));
        WebPDataClear(&out);
        WebPMuxDelete(mux);
        WebPFree(enc);

        TOwnedImg pic{};
        TICCInfo got;
        ASSERT_TRUE(ReadWICFile(f, pic.Img, 0, &got, TBGColor{}));
        ExpectPixels(pic.Img, alpha, true);
        ExpectProfile(got, prof, "Webp RGB");
        const TKodexInfo info = InfoOf(f);
        EXPECT_EQ(std::make_tuple(info.Width, info.Orientation, bool(info.HasExif), std::string(info.DateTime)),
                  std::make_tuple(3u, 3, true, std::string("2021:02:03 04:05:06")));

        // create_exif takes the shooting date from such a source.
        TKodexInfo none{};
        const std::vector<uint8_t> carried = ExifPayload(none, f);
        const std::string j = Scratch / "c.jpg";
        TOwnedImg small{MakePicture(8, 8, 3)};
        ASSERT_TRUE(WriteJPEG(j, small.Img, 90, {}, false, nullptr, carried.data(), uint32_t(carried.size()), 1, 0,
                              TakeRunSettings()));
        EXPECT_STREQ(InfoOf(j).DateTime, "2021:02:03 04:05:06");
    }
}

// libheif turns the picture by the file's own rotation; the EXIF orientation
// that phones store beside it says the same and must not turn it again.
TEST_F(Wic, HeifRotatedByTheFileIsNotTurnedAgainByItsExif)
{
    const heif_compression_format fmt = HeifFormat();
    if (fmt == heif_compression_undefined)
        GTEST_SKIP() << "this libheif build cannot both encode and decode";
    TKodexInfo tags{};
    tags.Orientation = 6;
    const std::string f = Scratch / "r.heic";
    ASSERT_TRUE(EncodeTurnedHeif(f, fmt, false, ExifPayload(tags)));
    TOwnedImg out{};
    ASSERT_TRUE(ReadWICFile(f, out.Img, 0, nullptr, TBGColor{}));
    EXPECT_EQ(std::make_pair(out.Img.Width, out.Img.Height), std::make_pair(16u, 24u)); // already upright
    const TKodexInfo info = InfoOf(f);
    EXPECT_EQ(std::make_tuple(info.Width, info.Height, bool(info.HasExif)), std::make_tuple(16u, 24u, true));
    EXPECT_LE(info.Orientation, 1);
}

TEST_F(Wic, DamagedFilesFailWithoutACrash)
{
    const std::string f = Scratch / "t.tif";
    WriteTiff(f, true, nullptr);
    const std::vector<uint8_t> tif = ReadBytes(f);
    uint8_t* enc = nullptr;
    uint8_t px[3 * 64 * 64] = {};
    const size_t n = WebPEncodeBGR(px, 64, 64, 192, 80, &enc);
    const std::vector<uint8_t> webp(enc, enc + n);
    WebPFree(enc);
    for (const auto* good : {&tif, &webp}) {
        for (size_t cut : {size_t(4), size_t(12), good->size() / 2, good->size() - 3}) {
            TOwnedImg out{};
            EXPECT_EQ(0, ReadWicMem(std::vector<uint8_t>(good->begin(), good->begin() + long(cut)), out.Img)) << cut;
            EXPECT_EQ(out.Img.Mem, nullptr);
        }
        ForEachDamaged(*good, 0, 3, 5, [](const std::vector<uint8_t>& Bad) {
            TOwnedImg out{};
            ReadWicMem(Bad, out.Img);
        });
    }
    // 36 bytes claiming an 11308 x 11308 frame: refused at once, not painted.
    const std::vector<uint8_t> hostileGif{0x47, 0x49, 0x46, 0x38, 0x01, 0x23, 0x01, 0x00, 0x60, 0x80, 0x80, 0x01,
                                          0x08, 0x47, 0x49, 0x46, 0x38, 0x3a, 0x78, 0x2c, 0x2c, 0x2c, 0x2c, 0x2c,
                                          0x0c, 0x2c, 0x2c, 0x2c, 0x29, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00};
    TOwnedImg gif{};
    EXPECT_EQ(0, ReadWicMem(hostileGif, gif.Img));
    TOwnedImg out{};
    EXPECT_EQ(0, ReadWicMem({'n', 'o', 'p', 'e'}, out.Img));
    EXPECT_FALSE(TakeErrors().empty());
}

// Strips or tiles that stop before the last row (short uncompressed data, or a
// cut JPEG strip libtiff fills with gray) are a damaged file. Each reads whole first.
TEST_F(Wic, TiffWhoseDataDoesNotCoverThePictureFails)
{
    struct {
        uint16_t Bits;
        bool Tiled, Jpeg;
    } const kinds[] = {{8, false, false}, {16, false, false}, {8, true, false}, {8, false, true}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(testing::Message() << k.Bits << k.Tiled << k.Jpeg);
        const std::string f = Scratch / "short.tif";
        TIFF* t = OpenTiff(f, 32, 32, k.Bits, 3, PHOTOMETRIC_RGB);
        ASSERT_NE(t, nullptr);
        std::vector<uint8_t> buf(16 * 16 * 6 * 4);
        for (size_t i = 0; i < buf.size(); ++i)
            buf[i] = uint8_t(i * 5 + i / 96 * 3);
        if (k.Jpeg)
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        if (k.Tiled) {
            TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
            for (uint32_t y = 0; y < 32; y += 16)
                for (uint32_t x = 0; x < 32; x += 16)
                    TIFFWriteTile(t, buf.data(), x, y, 0, 0);
        } else {
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, k.Jpeg ? 32 : 8);
            for (uint32_t y = 0; y < 32; ++y)
                TIFFWriteScanline(t, buf.data() + y * 96, y, 0);
        }
        TIFFClose(t);
        std::vector<uint8_t> d = ReadBytes(f);
        TOwnedImg whole{}, out{};
        EXPECT_EQ(1, ReadWicMem(d, whole.Img));
        EXPECT_TRUE(TakeErrors().empty());
        if (k.Jpeg)
            SetTiffTag(d, 279, 0, true); // the strip's byte count halved: the codec reaches its end half-way
        else
            SetTiffTag(d, 257, 64); // twice the rows the data holds
        ExpectRefused(ReadWicMem(d, out.Img), out.Img, k.Jpeg ? "JPEG" : "does not cover");
    }
}

// Pictures without a thumbnail of their own come back shrunk by a whole factor
// (long side / 160) with each block averaged; blocks at the right edge are
// cut short, and small pictures come back as they are.
TEST_F(Wic, ThumbnailsAreThePictureShrunkByBlockAverages)
{
    // 5 x 5 blocks of one colour each; block (1, 0) is a checkerboard of 0 and 255.
    const uint32_t W = 803, H = 330;
    auto Value = [](uint32_t X, uint32_t Y, uint32_t C) -> uint8_t {
        if (X / 5 == 1 && Y / 5 == 0)
            return (X + Y) % 2 ? 0 : 255;
        return uint8_t((X / 5) * 3 + (Y / 5) * 11 + C * 40);
    };
    std::vector<uint8_t> bgr(size_t(W) * H * 3);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            for (uint32_t c = 0; c < 3; ++c)
                bgr[(size_t(y) * W + x) * 3 + c] = Value(x, y, c);
    const std::string tif = Scratch / "big.tif", webp = Scratch / "big.webp";
    TIFF* t = OpenTiff(tif, W, H, 8, 3, PHOTOMETRIC_RGB);
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> row(size_t(W) * 3);
    for (uint32_t y = 0; y < H; ++y) {
        for (uint32_t x = 0; x < W * 3; ++x)
            row[x] = bgr[size_t(y) * W * 3 + x / 3 * 3 + 2 - x % 3];
        TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFClose(t);
    uint8_t* enc = nullptr;
    const size_t n = WebPEncodeLosslessBGR(bgr.data(), int(W), int(H), int(W * 3), &enc);
    ASSERT_GT(n, 0u);
    std::ofstream(webp, std::ios::binary).write(reinterpret_cast<const char*>(enc), std::streamsize(n));
    WebPFree(enc);
    for (const std::string& f : {tif, webp}) {
        TOwnedImg out{};
        ASSERT_TRUE(ReadWICThumbnail(f, out.Img, 0, nullptr, TBGColor{})) << f;
        ASSERT_EQ(std::make_tuple(out.Img.Width, out.Img.Height), std::make_tuple(161u, 66u)) << f;
        EXPECT_EQ(At(out.Img, 1, 0, 0), 122) << f; // 12 x 255 + 13 x 0 over 25
        for (uint32_t y : {0u, 40u, 65u})
            for (uint32_t x : {0u, 77u, 160u}) // 160: the last three columns alone
                for (uint32_t c = 0; c < 3; ++c)
                    ASSERT_EQ(At(out.Img, x, y, c), Value(x * 5, y * 5, c)) << f << " " << x << "," << y;
    }
    for (const uint32_t w : {319u, 320u}) { // halved from twice the thumbnail's side on
        TIFF* s = OpenTiff(tif, w, 2, 8, 3, PHOTOMETRIC_RGB);
        for (uint32_t y = 0; y < 2; ++y)
            TIFFWriteScanline(s, row.data(), y, 0);
        TIFFClose(s);
        TOwnedImg small{};
        ASSERT_TRUE(ReadWICThumbnail(tif, small.Img, 0, nullptr, TBGColor{}));
        EXPECT_EQ(std::make_tuple(small.Img.Width, small.Img.Height),
                  w == 320 ? std::make_tuple(160u, 1u) : std::make_tuple(w, 2u));
    }
}
