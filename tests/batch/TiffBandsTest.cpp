// TIFF files that are only resized are resized strip by strip (or a row of
// tiles at a time) as they are decoded: the files they give are the ones the
// whole picture gives, and a damaged file gets the same line.
#include "BatchFixture.h"

#include <tiffio.h>
#include <webp/encode.h>

#include <map>

namespace {

struct TTiffLayout {
    const char* Name;
    uint16_t Bits, Spp, Photometric, Compression;
    uint32_t Tile; // tile side, or 0 for strips
    uint32_t RowsPerStrip;
};

class TiffBands : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        Settings.File.FileNameFormat = "<old>.png";
        Settings.File.NotOverwrite = false;
    }
    // Noise of W x H in layout L (every sample byte its own), as strips or tiles.
    fs::path MakeTIFF(const TTiffLayout& L, uint32_t W, uint32_t H, int Seed)
    {
        const fs::path P = Dir / "in" / (std::string(L.Name) + ".tif");
        TIFF* T = TIFFOpen(P.c_str(), "w");
        EXPECT_NE(T, nullptr);
        TIFFSetField(T, TIFFTAG_IMAGEWIDTH, W);
        TIFFSetField(T, TIFFTAG_IMAGELENGTH, H);
        TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, L.Bits);
        TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, L.Spp);
        TIFFSetField(T, TIFFTAG_PHOTOMETRIC, L.Photometric);
        TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(T, TIFFTAG_COMPRESSION, L.Compression);
        if (L.Spp == 4) {
            const uint16_t Extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(T, TIFFTAG_EXTRASAMPLES, 1, &Extra);
        }
        const uint64_t RowBytes = (uint64_t(W) * L.Spp * L.Bits + 7) / 8;
        uint32_t X = uint32_t(Seed) * 2654435761u;
        auto Noise = [&](std::vector<uint8_t>& Buf) {
            for (uint8_t& B : Buf) {
                X = X * 1103515245u + 12345u;
                B = uint8_t(X >> 24);
            }
        };
        if (L.Tile) {
            TIFFSetField(T, TIFFTAG_TILEWIDTH, L.Tile);
            TIFFSetField(T, TIFFTAG_TILELENGTH, L.Tile);
            std::vector<uint8_t> Buf(size_t(TIFFTileSize(T)));
            for (uint32_t Y = 0; Y < H; Y += L.Tile)
                for (uint32_t C = 0; C < W; C += L.Tile) {
                    Noise(Buf);
                    EXPECT_GE(TIFFWriteTile(T, Buf.data(), C, Y, 0, 0), 0);
                }
        } else {
            TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, L.RowsPerStrip);
            std::vector<uint8_t> Row(RowBytes);
            for (uint32_t Y = 0; Y < H; ++Y) {
                Noise(Row);
                EXPECT_EQ(TIFFWriteScanline(T, Row.data(), Y, 0), 1);
            }
        }
        TIFFClose(T);
        return P;
    }
    std::map<std::string, std::string> Outputs()
    {
        std::map<std::string, std::string> M;
        if (fs::exists(Dir / "out"))
            for (const auto& E : fs::directory_iterator(Dir / "out"))
                M[E.path().filename().string()] = Read(E.path());
        return M;
    }
};

const TTiffLayout kLayouts[] = {
    {"rgb8-strips", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, 16},
    {"gray8-lzw", 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 0, 5},
    {"rgb8-tiles", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, 32, 0},
    {"gray1-fax4", 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 0, 10},
    {"rgb16-lzw", 16, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, 0, 7},
    {"gray16-tiles", 16, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 16, 0},
    {"rgba8-strips", 8, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, 8}, // alpha: loaded whole
};

} // namespace

// Every layout gives, resized as it is decoded, the file of the whole
// picture: shrinking and growing, odd sizes, one or several pass threads.
TEST_F(TiffBands, TiffsResizedAsTheyAreDecodedGiveTheFilesOfTheWholePicture)
{
    for (const TTiffLayout& L : kLayouts)
        Add(MakeTIFF(L, 203, 151, int(L.Bits * 7 + L.Spp)));
    {
        // Another format of the same reader: loaded whole, as before.
        std::vector<uint8_t> Px(size_t(61) * 47 * 3);
        for (size_t K = 0; K < Px.size(); ++K)
            Px[K] = uint8_t(K * 29 + K / 7);
        uint8_t* Webp = nullptr;
        const size_t N = WebPEncodeLosslessRGB(Px.data(), 61, 47, 61 * 3, &Webp);
        ASSERT_GT(N, 0u);
        std::ofstream(Dir / "in" / "other.webp", std::ios::binary)
            .write(reinterpret_cast<char*>(Webp), std::streamsize(N));
        WebPFree(Webp);
        Add(Dir / "in" / "other.webp");
    }
    const int Alpha = 1, Other = 1;
    struct TCase {
        double Percent;
        uint32_t Mode;
        int Threads;
    } const Cases[] = {{37, 3, 1}, {23, 2, 4}, {150, 3, 3}};
    for (const TCase& C : Cases) {
        Effects.SetResizeParam(RULE_PERCENT, C.Percent, 0);
        Main.SetSIMDMode(C.Mode, false);
        Main.SetMaxThreadNum(C.Threads);
        WholePictureIO WholeIO;
        ASSERT_TRUE(Run(2, WholeIO));
        ASSERT_TRUE(Lines().empty()) << Lines()[0];
        const std::map<std::string, std::string> Whole = Outputs();
        ASSERT_EQ(Whole.size(), std::size(kLayouts) + Other);
        fs::remove_all(Dir / "out");
        BandCountingIO Counting;
        ASSERT_TRUE(Run(2, Counting));
        ASSERT_TRUE(Lines().empty()) << Lines()[0];
        EXPECT_EQ(Counting.Banded, int(std::size(kLayouts)) - Alpha) << C.Percent; // not the WebP either
        const std::map<std::string, std::string> Banded = Outputs();
        ASSERT_EQ(Banded.size(), Whole.size());
        for (const auto& [Name, Bytes] : Whole)
            EXPECT_TRUE(Banded.at(Name) == Bytes) << Name << " at " << C.Percent << " % mode " << C.Mode;
    }
}

// A file cut inside its strips, and one whose last strip is garbage (found
// only after the strips above it went through the resize), get the line the
// whole picture gets; nothing is written, the source stays.
TEST_F(TiffBands, ADamagedTiffGetsTheLineOfTheWholePicture)
{
    const TTiffLayout Zip = {"zip", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, 0, 8};
    const fs::path Cut = MakeTIFF({"cut", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, 8}, 120, 64, 1);
    const fs::path Bad = MakeTIFF(Zip, 120, 64, 2);
    fs::resize_file(Cut, fs::file_size(Cut) / 2);
    {
        TIFF* T = TIFFOpen(Bad.c_str(), "r");
        ASSERT_NE(T, nullptr);
        const uint32_t Last = TIFFNumberOfStrips(T) - 1;
        const uint64_t Off = TIFFGetStrileOffset(T, Last), N = TIFFGetStrileByteCount(T, Last);
        TIFFClose(T);
        std::string Bytes = Read(Bad);
        for (uint64_t K = Off + 2; K < Off + N; ++K)
            Bytes[K] = char(0xFF);
        std::ofstream(Bad, std::ios::binary | std::ios::trunc) << Bytes;
    }
    const fs::path Good = MakeTIFF({"good", 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, 8}, 120, 64, 3);
    Add(Cut), Add(Bad), Add(Good);
    ErrorLog.Clear(); // what the listing said of the cut file
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    std::vector<std::string> Said[2];
    for (const bool Banded : {false, true}) {
        WholePictureIO WholeIO;
        fs::remove_all(Dir / "out");
        ASSERT_TRUE(Run(1, Banded ? IO : static_cast<TConvertIO&>(WholeIO)));
        Said[Banded] = Lines(); // what makes the run's status 1
        EXPECT_EQ(Said[Banded].size(), 2u) << ::testing::PrintToString(Said[Banded]);
        EXPECT_THAT(Said[Banded], Contains(StartsWith("zip.tif: ")));
        EXPECT_EQ(Outputs().size(), 1u) << Banded; // good.png alone
        EXPECT_TRUE(fs::exists(Out("good.png")));
        EXPECT_TRUE(fs::exists(Bad) && fs::exists(Cut));
        ErrorLog.Clear();
    }
    EXPECT_EQ(Said[0], Said[1]);
}
