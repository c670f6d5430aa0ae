// read_tiff_bands: a TIFF handed over in bands, strip by strip or a row of
// tiles at a time, with read_wic's pixels.
#include "KodexTestUtil.h"

#include "platform/FileMap.h"

#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <fstream>

using TiffBands = TKodexTest;

namespace {

// W x H noise, strips of Rows rows (Tile 0) or Tile x Tile tiles.
std::vector<uint8_t> NoiseTiff(const std::string& F, uint32_t W, uint32_t H, uint16_t Bits, uint16_t Spp,
                               uint16_t Photometric, uint16_t Compression, uint32_t Rows, uint32_t Tile)
{
    TIFF* t = OpenTiff(F, W, H, Bits, Spp, Photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, Compression);
    uint32_t x = 12345;
    auto noise = [&](std::vector<uint8_t>& Buf) {
        for (uint8_t& b : Buf)
            b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    };
    if (Tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, Tile);
        TIFFSetField(t, TIFFTAG_TILELENGTH, Tile);
        std::vector<uint8_t> buf(size_t(TIFFTileSize(t)));
        for (uint32_t y = 0; y < H; y += Tile)
            for (uint32_t c = 0; c < W; c += Tile) {
                noise(buf);
                TIFFWriteTile(t, buf.data(), c, y, 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, Rows);
        std::vector<uint8_t> row((uint64_t(W) * Spp * Bits + 7) / 8);
        for (uint32_t y = 0; y < H; ++y) {
            noise(row);
            TIFFWriteScanline(t, row.data(), y, 0);
        }
    }
    TIFFClose(t);
    return ReadBytes(F);
}

} // namespace

// Each layout hands over read_wic's rows in order, for several band sizes,
// also when the pages of a mapped file are given back behind the decoder; a
// caller's stop ends it silently; a budget too small for one band refuses it.
TEST_F(TiffBands, BandsHandOverTheRowsOfTheWholePicture)
{
    const uint32_t w = 77, h = 61;
    struct TCase {
        const char* Name;
        uint16_t Bits, Spp, Photometric, Compression;
        uint32_t Rows, Tile;
    } const cases[] = {{"rgb8 strips", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 4, 0},
                       {"gray8 one strip", 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, h, 0},
                       {"rgba8 strips", 8, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE, 9, 0},
                       {"gray1 fax", 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 6, 0},
                       {"rgb16 tiles", 16, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, 0, 16}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string f = Scratch / "b.tif";
        const std::vector<uint8_t> file =
            NoiseTiff(f, w, h, c.Bits, c.Spp, c.Photometric, c.Compression, c.Rows, c.Tile);
        TOwnedImg ref;
        ASSERT_TRUE(ReadWicMem(file, ref.Img));
        std::vector<uint8_t> expect;
        for (uint32_t y = 0; y < h; ++y)
            expect.insert(expect.end(), ScanLine(ref.Img, y), ScanLine(ref.Img, y) + w * ref.Img.Channels);
        platform::TMappedFile mapped(f);
        ASSERT_NE(mapped.Data(), nullptr);
        const std::vector<uint8_t> view(mapped.Data(), mapped.Data() + mapped.Size());
        for (uint32_t rows : {1u, 7u, 1000u})
            for (const uint32_t release : {0u, uint32_t(KODEX_PNG_RELEASE_INPUT)}) {
                TBandSink sink;
                TKodexReadJPEGBands rec{};
                rec.Flags = release;
                rec.BandRows = rows;
                rec.Band = TBandSink::Take;
                rec.Context = &sink;
                sink.Rec = &rec;
                ASSERT_EQ(1, KodexProcs.ReadTIFFBands(&rec, mapped.Data(), mapped.Size())) << rows;
                EXPECT_TRUE(sink.InOrder);
                EXPECT_EQ(sink.Next, h);
                EXPECT_EQ(rec.Channels, ref.Img.Channels);
                EXPECT_TRUE(sink.Rows == expect) << rows << " release " << release;
                // Pages given back are read again from the file.
                EXPECT_TRUE(std::equal(view.begin(), view.end(), mapped.Data()));
            }
        TBandSink stopped;
        stopped.StopAfter = 2;
        EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadTIFFBands, file, 1, 7, stopped));
        EXPECT_EQ(stopped.Bands, 2u);
        TBandSink refused;
        refused.TakeSize = 0; // the caller refuses the size: nothing decoded, nothing said
        EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadTIFFBands, file, 1, 7, refused));
        EXPECT_EQ(refused.Bands, 0u);
        EXPECT_TRUE(TakeErrors().empty());
        KodexProcs.SetPictureMemoryLimit(1000);
        TBandSink none;
        EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadTIFFBands, file, 1, 7, none));
        EXPECT_EQ(none.Bands, 0u);
        const std::vector<std::string> said = TakeErrors();
        ASSERT_EQ(said.size(), 1u);
        EXPECT_NE(said[0].find("too large"), std::string::npos) << said[0];
        KodexProcs.SetPictureMemoryLimit(0);
    }
}

// Bilevel strips are read a row at a time: 0 and 255, white where the
// photometric tag says, the bits of each byte from the most significant on,
// and the same bytes as the tiles of the same page (read through libtiff's
// RGBA interface).
TEST_F(TiffBands, BilevelPagesReadBlackAndWhiteAsTheFileSays)
{
    const uint32_t w = 45, h = 32, tile = 16, stride = (w + 7) / 8;
    std::vector<uint8_t> page(size_t(stride) * h);
    uint32_t x = 99;
    for (uint8_t& v : page)
        v = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    auto bit = [&](uint32_t X, uint32_t Y) { return X < w && Y < h && (page[Y * stride + X / 8] >> (7 - X % 8) & 1); };
    for (const uint16_t photometric : {uint16_t(PHOTOMETRIC_MINISWHITE), uint16_t(PHOTOMETRIC_MINISBLACK)})
        for (const uint16_t compression : {uint16_t(COMPRESSION_NONE), uint16_t(COMPRESSION_CCITTFAX4)}) {
            SCOPED_TRACE(::testing::Message() << photometric << " " << compression);
            TIFF* t = OpenTiff(Scratch / "s.tif", w, h, 1, 1, photometric);
            TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
            for (uint32_t y = 0; y < h; ++y)
                TIFFWriteScanline(t, page.data() + y * stride, y, 0);
            TIFFClose(t);
            t = OpenTiff(Scratch / "t.tif", w, h, 1, 1, photometric);
            TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
            TIFFSetField(t, TIFFTAG_TILEWIDTH, tile);
            TIFFSetField(t, TIFFTAG_TILELENGTH, tile);
            std::vector<uint8_t> buf(size_t(TIFFTileSize(t)));
            for (uint32_t ty = 0; ty < h; ty += tile)
                for (uint32_t tx = 0; tx < w; tx += tile) {
                    std::fill(buf.begin(), buf.end(), 0);
                    for (uint32_t y = 0; y < tile; ++y)
                        for (uint32_t i = 0; i < tile; ++i)
                            if (bit(tx + i, ty + y))
                                buf[y * (tile / 8) + i / 8] |= uint8_t(0x80 >> (i % 8));
                    TIFFWriteTile(t, buf.data(), tx, ty, 0, 0);
                }
            TIFFClose(t);
            TOwnedImg a, b;
            ASSERT_TRUE(ReadWicMem(ReadBytes(Scratch / "s.tif"), a.Img));
            ASSERT_TRUE(ReadWicMem(ReadBytes(Scratch / "t.tif"), b.Img));
            ASSERT_EQ(a.Img.Channels, 1u);
            ASSERT_EQ(b.Img.Channels, 1u);
            for (uint32_t y = 0; y < h; ++y) {
                for (uint32_t i = 0; i < w; ++i)
                    ASSERT_EQ(ScanLine(a.Img, y)[i], bit(i, y) != (photometric == PHOTOMETRIC_MINISWHITE) ? 255 : 0)
                        << y << "," << i;
                ASSERT_EQ(0, std::memcmp(ScanLine(a.Img, y), ScanLine(b.Img, y), w)) << y;
            }
        }
}

// A blank fax page spends about a bit a row, far more pixels a byte than any
// other coding: a wide one reads (white), while the same data claiming more
// rows than it has bits is still refused by its size.
TEST_F(TiffBands, AWideBlankFaxPageReadsAndOneClaimingMoreRowsIsRefused)
{
    const uint32_t w = 40000, h = 3000;
    TIFF* t = OpenTiff(Scratch / "fax.tif", w, h, 1, 1, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
    const std::vector<uint8_t> row(w / 8, 0);
    for (uint32_t y = 0; y < h; ++y)
        TIFFWriteScanline(t, const_cast<uint8_t*>(row.data()), y, 0);
    TIFFClose(t);
    std::vector<uint8_t> file = ReadBytes(Scratch / "fax.tif");
    ASSERT_LT(file.size(), 2000u);
    TBandSink sink;
    sink.StopAfter = 2; // two bands of 64 rows tell enough
    EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadTIFFBands, file, 1, 64, sink));
    EXPECT_TRUE(TakeErrors().empty());
    ASSERT_EQ(sink.Bands, 2u);
    EXPECT_TRUE(std::all_of(sink.Rows.begin(), sink.Rows.end(), [](uint8_t v) { return v == 255; }));
    SetTiffTag(file, 257, 40000); // the rows
    SetTiffTag(file, 278, 40000); // and the strip's
    TBandSink refused;
    ExpectRefused(ReadBandsWith(KodexProcs.ReadTIFFBands, file, 1, 64, refused), TImgInfo{},
                  "Unsupported TIFF picture size");
    EXPECT_EQ(refused.Bands, 0u);
}

namespace {

// Kilobytes of the mapping starting at Begin resident in the process (its smaps entry), or -1.
long ResidentKB(const uint8_t* Begin)
{
    std::ifstream f("/proc/self/smaps");
    char start[32];
    std::snprintf(start, sizeof start, "%lx-", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(Begin)));
    bool ours = false;
    for (std::string l; std::getline(f, l);) {
        if (l.find('-') != std::string::npos && l.find(' ') > l.find('-'))
            ours = l.rfind(start, 0) == 0;
        if (ours && l.rfind("Rss:", 0) == 0)
            return std::stol(l.substr(4));
    }
    return -1;
}

} // namespace

// Read in bands from a mapping it may give back, a large TIFF or PNG does
// not stay in memory behind the decoder; without leave, it does.
TEST_F(TiffBands, TheFilesPagesAreGivenBackBehindTheDecoder)
{
    const std::string tif = Scratch / "big.tif", png = Scratch / "big.png";
    NoiseTiff(tif, 1000, 1000, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 16, 0);
    std::vector<uint8_t> px(3000 * 1000);
    uint32_t x = 7;
    for (uint8_t& v : px)
        v = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    WriteBytes(png, EncodePng(1000, 1000, 8, PNG_COLOR_TYPE_RGB, [&](uint32_t y) { return px.data() + y * 3000; }));
    for (const auto& [file, proc] : {std::pair{tif, KodexProcs.ReadTIFFBands}, std::pair{png, KodexProcs.ReadPNGBands}})
        for (const uint32_t release : {uint32_t(KODEX_PNG_RELEASE_INPUT), 0u}) {
            SCOPED_TRACE(file);
            platform::TMappedFile mapped(file);
            ASSERT_NE(mapped.Data(), nullptr);
            ASSERT_GT(mapped.Size(), 2900000u);
            TBandSink sink;
            TKodexReadJPEGBands rec{};
            rec.Flags = release;
            rec.BandRows = 64;
            rec.Band = TBandSink::Take;
            rec.Context = &sink;
            sink.Rec = &rec;
            ASSERT_EQ(1, proc(&rec, mapped.Data(), mapped.Size()));
            const long kb = ResidentKB(mapped.Data());
            if (release)
                EXPECT_LT(kb, 100) << "of " << mapped.Size() / 1024 << " KB";
            else
                EXPECT_GT(kb, 2500);
        }
}
