// The numbers of every file format that a user or another program reads:
// strides, resolutions and their units, bit-field colours and palette key
// colours, written by the program and read back by an independent reader
// (libpng, libjpeg, libtiff or the bytes themselves), and the other way round.
#include "KodexTestUtil.h"

#include "core/Bitmap.h"
#include "core/ImageInfo.h"
#include "core/PalettePNG.h"

#include <algorithm>
#include <cstdio>
#include <csetjmp>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace {

using FormatNumbers = TKodexTest;

uint32_t Le32At(const std::vector<uint8_t>& B, size_t At)
{
    return B[At] | B[At + 1] << 8 | B[At + 2] << 16 | uint32_t(B[At + 3]) << 24;
}

// What libpng reads from a PNG file's header chunks.
struct TPngFacts {
    bool PHYs = false;
    png_uint_32 X = 0, Y = 0;
    int Unit = -1;
    std::vector<png_color> Palette;
    std::vector<png_byte> Alpha; // tRNS of a palette picture
};

TPngFacts PngFacts(const std::string& File)
{
    TPngFacts F;
    std::FILE* fp = std::fopen(File.c_str(), "rb");
    if (!fp) {
        ADD_FAILURE() << File;
        return F;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        ADD_FAILURE() << "libpng refused " << File;
    } else {
        png_init_io(png, fp);
        png_read_info(png, info);
        if (png_get_valid(png, info, PNG_INFO_pHYs)) {
            F.PHYs = true;
            png_get_pHYs(png, info, &F.X, &F.Y, &F.Unit);
        }
        png_colorp pal = nullptr;
        int n = 0;
        if (png_get_PLTE(png, info, &pal, &n))
            F.Palette.assign(pal, pal + n);
        png_bytep trans = nullptr;
        int nt = 0;
        if (png_get_tRNS(png, info, &trans, &nt, nullptr) && trans)
            F.Alpha.assign(trans, trans + nt);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(fp);
    return F;
}

// What libjpeg reads from a JPEG file's header.
struct TJpegFacts {
    bool JFIF = false;
    int Unit = -1, X = 0, Y = 0;
};

struct TJpegErr {
    jpeg_error_mgr Pub;
    jmp_buf Jump;
};

TJpegFacts JpegFacts(const std::string& File)
{
    TJpegFacts F;
    std::FILE* fp = std::fopen(File.c_str(), "rb");
    if (!fp) {
        ADD_FAILURE() << File;
        return F;
    }
    jpeg_decompress_struct d{};
    TJpegErr err{};
    d.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = [](j_common_ptr C) { longjmp(reinterpret_cast<TJpegErr*>(C->err)->Jump, 1); };
    if (setjmp(err.Jump)) {
        ADD_FAILURE() << "libjpeg refused " << File;
    } else {
        jpeg_create_decompress(&d);
        jpeg_stdio_src(&d, fp);
        jpeg_read_header(&d, TRUE);
        F.JFIF = d.saw_JFIF_marker;
        F.Unit = d.density_unit;
        F.X = d.X_density;
        F.Y = d.Y_density;
    }
    jpeg_destroy_decompress(&d);
    std::fclose(fp);
    return F;
}

TRunSettings RunSettingsWith(bool KeepResolution, int32_t Dpi, bool PHYs = true)
{
    TRunSettings S = TakeRunSettings();
    S.Metadata.KeepResolution = KeepResolution;
    S.Metadata.Resolution = Dpi;
    S.PNG.WritepHYsChunk = PHYs;
    return S;
}

} // namespace

// Strides by the rule: (Width x Channels + 191) rounded down to 128, plus 128
// when that is a multiple of 1024; every allocation takes it.
TEST(FormatNumbersStride, StridesOfTheRuleForEveryShape)
{
    const struct {
        uint64_t Width, Channels, Stride, Stride16;
    } Rows[] = {
        {1, 1, 128, 128},     {1, 3, 128, 128},      {100, 3, 384, 768},      {277, 3, 896, 1792},
        {278, 3, 1152, 1792}, {300, 3, 1152, 1920},  {341, 3, 1152, 2176},    {256, 4, 1152, 2176},
        {640, 3, 2176, 3968}, {1877, 1, 2176, 3840}, {682, 3, 2176, 4224},    {4096, 1, 4224, 8320},
        {170, 3, 640, 1152},  {2, 1, 128, 128},      {6016, 4, 24192, 48256}, {1365, 3, 4224, 8320},
    };
    for (const auto& R : Rows) {
        EXPECT_EQ(CalcBpl(R.Width, R.Channels), R.Stride) << R.Width << " x " << R.Channels;
        EXPECT_EQ(CalcBpl16(R.Width, R.Channels), R.Stride16) << R.Width << " x " << R.Channels;
        const uint64_t s = CalcBpl(R.Width, R.Channels);
        EXPECT_TRUE(s % 128 == 0 && s % 1024 != 0 && s >= R.Width * R.Channels + 64) << R.Width;
    }
    // The pictures every reader and effect allocates follow it.
    for (const uint32_t W : {300u, 341u, 1877u}) {
        TOwnedImg p;
        AllocImg(p.Img, W, 5, W == 1877 ? 1 : 3);
        EXPECT_EQ(p.Img.Bpl, CalcBpl(W, p.Img.Channels)) << W;
        TOwnedImg q;
        AllocFilledImg(q.Img, W, 5, 3);
        EXPECT_EQ(q.Img.Bpl, CalcBpl(W, 3)) << W;
    }
}

// Conversions of a resolution round to the nearest integer (halves to even).
TEST(FormatNumbersResolution, ConversionsRoundToTheNearestStep)
{
    const struct {
        double X, Y;
        int32_t Unit;
        int32_t PpmX, PpmY, DpiX, DpiY;
    } Rows[] = {
        {72, 72, 1, 2835, 2835, 72, 72},
        {96, 96, 1, 3780, 3780, 96, 96},
        {300, 150, 1, 11811, 5906, 300, 150},
        {72.4, 71.6, 1, 2850, 2819, 72, 72},
        {28.35, 28.35, 2, 2835, 2835, 72, 72},
        {37.8, 118.11, 2, 3780, 11811, 96, 300},
        {2835, 3780, 3, 2835, 3780, 72, 96},
        {2834.6, 11810.6, 3, 2835, 11811, 72, 300},
        {72, 72, 0, 0, 0, 1, 1},
        {72, 72, 4, 0, 0, 1, 1},
        {0.5, 2.5, 3, 0, 2, 0, 0},
    };
    for (const auto& R : Rows) {
        const TResolutionInfo Res{R.X, R.Y, R.Unit};
        int32_t x = -7, y = -7;
        ResolutionToPPM(x, y, Res);
        EXPECT_EQ(std::make_pair(x, y), std::make_pair(R.PpmX, R.PpmY)) << R.X << " unit " << R.Unit;
        ResolutionToDPI(x, y, Res);
        EXPECT_EQ(std::make_pair(x, y), std::make_pair(R.DpiX, R.DpiY)) << R.X << " unit " << R.Unit;
    }
}

// BMP: the pixels per metre written (the setting's dpi by (dpi x 10000 +
// 127) div 254, or the source's resolution converted), and what the list's
// probe reads back.
TEST_F(FormatNumbers, BitmapPixelsPerMetreBothWays)
{
    const struct {
        bool Keep;
        int32_t Dpi;
        TResolutionInfo Source;
        uint32_t X, Y;
    } Rows[] = {
        {false, 72, {}, 2835, 2835},
        {false, 96, {}, 3780, 3780},
        {false, 300, {}, 11811, 11811},
        {false, 1, {}, 39, 39},
        {false, 600, {300, 300, 1}, 23622, 23622},
        {true, 96, {72, 72, 1}, 2835, 2835},
        {true, 96, {300, 150, 1}, 11811, 5906},
        {true, 72, {37.8, 37.8, 2}, 3780, 3780},
        {true, 72, {3780, 2835, 3}, 3780, 2835},
        {true, 72, {300, 300, 0}, 0, 0},
    };
    TOwnedImg pic;
    pic.Img = MakePicture(7, 5, 3);
    for (const auto& R : Rows) {
        const TRunSettings S = RunSettingsWith(R.Keep, R.Dpi);
        for (const bool Palette : {false, true}) {
            const std::string f = Scratch / "res.bmp";
            ASSERT_TRUE(Palette ? SavePaletteBitmap(f, pic.Img, R.Source, S, 1)
                                : SaveBitmapFile(f, pic.Img, R.Source, S));
            const std::vector<uint8_t> b = ReadBytes(f);
            EXPECT_EQ(std::make_pair(Le32At(b, 38), Le32At(b, 42)), std::make_pair(R.X, R.Y))
                << R.Keep << " " << R.Dpi << " " << R.Source.XResolution << (Palette ? " palette" : "");
            TImageInfo info;
            ASSERT_TRUE(GetImageInfo(f, info));
            EXPECT_EQ(std::make_tuple(info.XResolution(), info.YResolution(), info.ResolutionUnit()),
                      std::make_tuple(double(R.X), double(R.Y), 3));
        }
        std::vector<uint8_t> thumb;
        ASSERT_TRUE(SaveBitmapToStream(thumb, pic.Img, R.Source, S.Metadata));
        EXPECT_EQ(std::make_pair(Le32At(thumb, 38), Le32At(thumb, 42)), std::make_pair(R.X, R.Y));
    }
}

// PNG: the pHYs chunk written (pixels per metre, unit metre) as libpng reads
// it, and the probe's reading of pHYs chunks another program wrote.
TEST_F(FormatNumbers, PngPhysBothWays)
{
    const struct {
        bool Chunk, Keep;
        int32_t Dpi;
        TResolutionInfo Source;
        bool Present;
        png_uint_32 X, Y;
        int Unit;
    } Rows[] = {
        {true, false, 72, {}, true, 2835, 2835, PNG_RESOLUTION_METER},
        {true, false, 96, {300, 300, 1}, true, 3780, 3780, PNG_RESOLUTION_METER},
        {true, true, 72, {96, 72, 1}, true, 3780, 2835, PNG_RESOLUTION_METER},
        {true, true, 72, {118.11, 28.35, 2}, true, 11811, 2835, PNG_RESOLUTION_METER},
        {true, true, 72, {2835, 2835, 3}, true, 2835, 2835, PNG_RESOLUTION_METER},
        {true, true, 72, {1, 2, 0}, true, 1, 1, PNG_RESOLUTION_UNKNOWN},
        {false, false, 72, {}, false, 0, 0, -1},
        {false, true, 72, {300, 300, 1}, false, 0, 0, -1},
    };
    TOwnedImg pic;
    pic.Img = MakePicture(9, 4, 3);
    for (const auto& R : Rows) {
        const std::string f = Scratch / "res.png";
        ASSERT_TRUE(WritePNG(f, pic.Img, 0, false, false, R.Source, 0, nullptr, nullptr, 6,
                             RunSettingsWith(R.Keep, R.Dpi, R.Chunk)));
        const TPngFacts F = PngFacts(f);
        EXPECT_EQ(std::make_tuple(F.PHYs, F.X, F.Y, F.Unit), std::make_tuple(R.Present, R.X, R.Y, R.Unit))
            << R.Chunk << R.Keep << " " << R.Dpi << " " << R.Source.XResolution;
    }
    // Read: pHYs unit 1 is the metre, 0 says nothing of the unit.
    const struct {
        png_uint_32 X, Y;
        int Unit;
        int32_t ProbeUnit;
    } Read[] = {{2835, 3780, PNG_RESOLUTION_METER, 3},
                {11811, 11811, PNG_RESOLUTION_METER, 3},
                {1, 2, PNG_RESOLUTION_UNKNOWN, 0}};
    const uint8_t row[3] = {1, 2, 3};
    for (const auto& R : Read) {
        const std::string f = Scratch / "theirs.png";
        WriteBytes(f,
                   EncodePng(
                       1, 1, 8, PNG_COLOR_TYPE_RGB, [&](uint32_t) { return row; }, false,
                       [&](void* P, void* I) {
                           png_set_pHYs(static_cast<png_structp>(P), static_cast<png_infop>(I), R.X, R.Y, R.Unit);
                       }));
        TImageInfo info;
        ASSERT_TRUE(GetImageInfo(f, info));
        EXPECT_EQ(std::make_tuple(info.XResolution(), info.YResolution(), info.ResolutionUnit()),
                  std::make_tuple(double(R.X), double(R.Y), R.ProbeUnit));
        // What a PNG output of it keeps: the same pixels per metre.
        if (R.ProbeUnit == 3) {
            const std::string o = Scratch / "again.png";
            ASSERT_TRUE(WritePNG(o, pic.Img, 0, false, false, info.Resolution(), 0, nullptr, nullptr, 6,
                                 RunSettingsWith(true, 72)));
            const TPngFacts F = PngFacts(o);
            EXPECT_EQ(std::make_pair(F.X, F.Y), std::make_pair(R.X, R.Y));
        }
    }
}

// A pHYs chunk behind the image data is out of its place: the probe stops at
// the data, so the picture has no resolution (and is read whole), and an
// output that keeps the resolution says none.
TEST_F(FormatNumbers, APhysChunkBehindTheImageDataIsNotTaken)
{
    const uint8_t row[6] = {1, 2, 3, 4, 5, 6};
    std::vector<uint8_t> png = EncodePng(
        2, 2, 8, PNG_COLOR_TYPE_RGB, [&](uint32_t) { return row; }, false,
        [&](void* P, void* I) {
            png_set_pHYs(static_cast<png_structp>(P), static_cast<png_infop>(I), 3780, 3780, PNG_RESOLUTION_METER);
        });
    const std::string before = Scratch / "before.png", behind = Scratch / "behind.png";
    WriteBytes(before, png);
    const auto at = std::search(png.begin(), png.end(), std::begin("pHYs"), std::end("pHYs") - 1) - 4;
    const std::vector<uint8_t> chunk(at, at + 21); // length, type, 9 bytes, CRC
    png.erase(at, at + 21);
    png.insert(png.end() - 12, chunk.begin(), chunk.end()); // before IEND
    ASSERT_LT(std::search(png.begin(), png.end(), std::begin("IDAT"), std::end("IDAT") - 1),
              std::search(png.begin(), png.end(), std::begin("pHYs"), std::end("pHYs") - 1));
    WriteBytes(behind, png);
    for (const auto& [file, res] : {std::pair{before, 3780.0}, {behind, 0.0}}) {
        SCOPED_TRACE(file);
        TImageInfo info;
        ASSERT_TRUE(GetImageInfo(file, info));
        EXPECT_EQ(std::make_tuple(info.XResolution(), info.YResolution(), info.ResolutionUnit()),
                  std::make_tuple(res, res, res > 0 ? 3 : 0));
        TOwnedImg img{};
        ASSERT_TRUE(ReadPng(file, img.Img));
        EXPECT_EQ(std::make_tuple(img.Img.Width, img.Img.Height, At(img.Img, 1, 1, 2)), std::make_tuple(2u, 2u, 4));
        EXPECT_TRUE(TakeErrors().empty());
        const std::string o = Scratch / "kept.png";
        ASSERT_TRUE(WritePNG(o, img.Img, 0, false, false, info.Resolution(), 0, nullptr, nullptr, 6,
                             RunSettingsWith(true, 72)));
        const TPngFacts F = PngFacts(o);
        EXPECT_EQ(std::make_tuple(F.X, F.Y, F.Unit),
                  res > 0 ? std::make_tuple(3780u, 3780u, int(PNG_RESOLUTION_METER))
                          : std::make_tuple(1u, 1u, int(PNG_RESOLUTION_UNKNOWN)));
    }
}

// JPEG: the JFIF density and its unit as libjpeg reads them, and the probe's
// reading of another program's JFIF header.
TEST_F(FormatNumbers, JpegDensityBothWays)
{
    const struct {
        bool Keep;
        int32_t Dpi;
        TResolutionInfo Source;
        int Unit, X, Y;
    } Rows[] = {
        {false, 72, {}, 1, 72, 72},
        {false, 350, {300, 300, 1}, 1, 350, 350},
        {false, 96, {1, 1, 0}, 1, 96, 96},
        {true, 72, {300, 150, 1}, 1, 300, 150},
        {true, 72, {118.11, 28.35, 2}, 1, 300, 72},
        {true, 72, {2835, 3780, 3}, 1, 72, 96},
        {true, 72, {300, 300, 0}, 0, 1, 1},
    };
    TOwnedImg pic;
    pic.Img = MakePicture(16, 8, 3, true);
    for (const auto& R : Rows) {
        const TRunSettings S = RunSettingsWith(R.Keep, R.Dpi);
        const std::string f = Scratch / "res.jpg";
        ASSERT_TRUE(WriteJPEG(f, pic.Img, 90, R.Source, false, nullptr, nullptr, 0, 0, 0, S));
        const TJpegFacts F = JpegFacts(f);
        EXPECT_EQ(std::make_tuple(F.JFIF, F.Unit, F.X, F.Y), std::make_tuple(true, R.Unit, R.X, R.Y))
            << R.Keep << " " << R.Dpi << " " << R.Source.XResolution;
        std::vector<uint8_t> mem(1 << 16);
        size_t n = mem.size();
        ASSERT_TRUE(WriteJPEGToMemory(mem.data(), n, pic.Img, R.Source, false, nullptr, nullptr, 0, 0, 0, 90, S));
        mem.resize(n);
        WriteBytes(Scratch / "mem.jpg", mem);
        const TJpegFacts M = JpegFacts(Scratch / "mem.jpg");
        EXPECT_EQ(std::make_tuple(M.Unit, M.X, M.Y), std::make_tuple(R.Unit, R.X, R.Y)) << "in memory";
    }
    // Read: JFIF units 1 inch, 2 centimetre, 0 none.
    for (const int Unit : {0, 1, 2}) {
        std::vector<uint8_t> j = JpegOf(pic.Img);
        ASSERT_EQ(std::string(j.begin() + 6, j.begin() + 10), "JFIF");
        j[13] = uint8_t(Unit);
        j[14] = 0x01, j[15] = 0x2C; // 300
        j[16] = 0x00, j[17] = 0x76; // 118
        WriteBytes(Scratch / "theirs.jpg", j);
        TImageInfo info;
        ASSERT_TRUE(GetImageInfo(Scratch / "theirs.jpg", info));
        EXPECT_EQ(std::make_tuple(info.XResolution(), info.YResolution(), info.ResolutionUnit()),
                  std::make_tuple(300.0, 118.0, Unit))
            << Unit;
    }
}

// TIFF: the resolution a TIFF states reaches the probe in dots per inch.
TEST_F(FormatNumbers, TiffResolutionIsReadInDotsPerInch)
{
    const struct {
        float X, Y;
        uint16_t Unit;
        double DpiX, DpiY;
    } Rows[] = {{300, 150, RESUNIT_INCH, 300, 150}, {118.11f, 28.35f, RESUNIT_CENTIMETER, 300, 72}};
    for (const auto& R : Rows) {
        const std::string f = Scratch / "res.tif";
        tiff* t = OpenTiff(f, 2, 2, 8, 3, PHOTOMETRIC_RGB);
        ASSERT_NE(t, nullptr);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, R.X);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, R.Y);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, R.Unit);
        const uint8_t px[12] = {};
        ASSERT_EQ(TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(px), 12), 12);
        TIFFClose(t);
        const TKodexInfo K = InfoOf(f);
        EXPECT_NEAR(K.XResolution, R.DpiX, 0.01) << R.Unit;
        EXPECT_NEAR(K.YResolution, R.DpiY, 0.01) << R.Unit;
        TImageInfo info;
        ASSERT_TRUE(GetImageInfo(f, info));
        EXPECT_EQ(info.ResolutionUnit(), 1);
        EXPECT_NEAR(info.XResolution(), R.DpiX, 0.01);
    }
}

// BMP bit fields of every width: each field widened to 8 bits by repeating
// its bits (a 5-bit 25 is 206, not 200), a field wider than 8 bits cut to
// its top 8.
TEST_F(FormatNumbers, BitFieldsOfEveryWidthWidenByBitReplication)
{
    const struct {
        uint32_t Width;
        uint32_t Value, Want;
    } Fields[] = {
        {1, 1, 255},  {1, 0, 0},     {2, 2, 170},   {2, 1, 85},   {3, 5, 182},     {3, 7, 255},    {4, 9, 153},
        {4, 15, 255}, {5, 25, 206},  {5, 16, 132},  {5, 31, 255}, {5, 1, 8},       {6, 32, 130},   {6, 51, 207},
        {6, 63, 255}, {7, 100, 201}, {7, 127, 255}, {8, 77, 77},  {10, 1023, 255}, {10, 514, 128}, {16, 0x8123, 0x81},
    };
    for (const auto& F : Fields) {
        // One field at the bottom (blue), one above it (green), one above that
        // (red), each of the same width, in a 32-bit pixel; a 16-bit pixel
        // where they fit. The 5-6-5 shape is tested with its own masks.
        for (const uint32_t Bytes : {2u, 4u}) {
            if (3 * F.Width > 8 * Bytes)
                continue;
            const uint32_t m = (F.Width >= 32 ? 0xFFFFFFFFu : (1u << F.Width) - 1);
            const uint32_t masks[3] = {m << (2 * F.Width), m << F.Width, m}; // red, green, blue
            const uint32_t pixel = (F.Value << (2 * F.Width)) | (((F.Value * 3) & m) << F.Width) | (m - F.Value);
            TBmpSpec s{.Width = 2, .Height = 1, .Bits = uint16_t(8 * Bytes), .Compression = 3};
            for (uint32_t k = 0; k < 3; ++k)
                for (int i = 0; i < 4; ++i)
                    s.Extra.push_back(uint8_t(masks[k] >> (8 * i)));
            s.Data.assign(8, 0);
            for (uint32_t i = 0; i < Bytes; ++i)
                s.Data[i] = uint8_t(pixel >> (8 * i));
            const std::vector<uint8_t> file = MakeBmp(s);
            TOwnedImg img;
            TBGColor bg;
            ASSERT_TRUE(LoadBitmapFromBuffer(file.data(), file.size(), img.Img, 0, bg, 0)) << F.Width;
            auto widen = [&](uint32_t v) {
                if (F.Width >= 8)
                    return uint32_t(v >> (F.Width - 8));
                uint32_t r = v << (8 - F.Width);
                for (uint32_t w = F.Width; w < 8; w *= 2)
                    r |= r >> w;
                return r & 255;
            };
            EXPECT_EQ(At(img.Img, 0, 0, 2), F.Want) << "red, width " << F.Width << " value " << F.Value;
            EXPECT_EQ(At(img.Img, 0, 0, 1), widen((F.Value * 3) & m)) << "green, width " << F.Width;
            EXPECT_EQ(At(img.Img, 0, 0, 0), widen(m - F.Value)) << "blue, width " << F.Width;
            EXPECT_EQ(At(img.Img, 1, 0, 0), 0) << F.Width;
        }
    }
    // 5-6-5 and 4-4-4-4 with alpha, as cameras and phones write them.
    const struct {
        uint32_t Header;
        uint32_t Masks[4];
        uint16_t Pixel;
        uint8_t B, G, R, A;
    } Shapes[] = {
        {40, {0xF800, 0x07E0, 0x001F, 0}, 0xFFFF, 255, 255, 255, 255},
        {40, {0xF800, 0x07E0, 0x001F, 0}, uint16_t(25 << 11 | 51 << 5 | 16), 132, 207, 206, 255},
        {40, {0x7C00, 0x03E0, 0x001F, 0}, uint16_t(25 << 10 | 1 << 5 | 31), 255, 8, 206, 255},
        {108, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x9A5C, 204, 85, 170, 153},
    };
    for (const auto& Sh : Shapes) {
        TBmpSpec s{.HeaderSize = Sh.Header, .Width = 1, .Height = 1, .Bits = 16, .Compression = 3};
        std::copy(std::begin(Sh.Masks), std::end(Sh.Masks), s.Masks);
        if (Sh.Header == 40)
            for (int k = 0; k < 3; ++k)
                for (int i = 0; i < 4; ++i)
                    s.Extra.push_back(uint8_t(Sh.Masks[k] >> (8 * i)));
        s.Data = {uint8_t(Sh.Pixel), uint8_t(Sh.Pixel >> 8), 0, 0};
        const std::vector<uint8_t> file = MakeBmp(s);
        TOwnedImg img;
        TBGColor bg;
        ASSERT_TRUE(LoadBitmapFromBuffer(file.data(), file.size(), img.Img, 0, bg, 0));
        EXPECT_EQ(At(img.Img, 0, 0, 0), Sh.B) << std::hex << Sh.Pixel;
        EXPECT_EQ(At(img.Img, 0, 0, 1), Sh.G) << std::hex << Sh.Pixel;
        EXPECT_EQ(At(img.Img, 0, 0, 2), Sh.R) << std::hex << Sh.Pixel;
        if (img.Img.Channels == 4)
            EXPECT_EQ(At(img.Img, 0, 0, 3), Sh.A);
        else
            EXPECT_EQ(Sh.A, 255);
    }
}

// Palette PNG: the key colour of each TransparentType is palette entry 0,
// transparent in tRNS (none for type 0), as libpng reads the file.
TEST_F(FormatNumbers, PalettePngKeyColourOfEachTransparentType)
{
    // Corners of distinct colours (top-down picture coordinates), the rest gray.
    TOwnedImg pic;
    AllocImg(pic.Img, 5, 4, 3);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 5; ++x) {
            uint8_t* p = ScanLine(pic.Img, y) + 3 * x;
            p[0] = p[1] = p[2] = 128;
        }
    const struct {
        uint32_t X, Y;
        png_color C;
    } Corners[] = {{0, 0, {200, 10, 20}}, {4, 0, {30, 220, 40}}, {0, 3, {50, 60, 230}}, {4, 3, {240, 250, 70}}};
    for (const auto& c : Corners) {
        uint8_t* p = ScanLine(pic.Img, c.Y) + 3 * c.X;
        p[0] = c.C.blue, p[1] = c.C.green, p[2] = c.C.red;
    }
    const png_color TopLeft = Corners[0].C, TopRight = Corners[1].C, BottomLeft = Corners[2].C,
                    BottomRight = Corners[3].C, Fixed = {0x11, 0x22, 0x33};
    const struct {
        int32_t Type;
        png_color Key;
        bool Transparent;
    } Rows[] = {
        {0, BottomLeft, false}, {1, TopLeft, true},     {2, BottomLeft, true},
        {3, TopRight, true},    {4, BottomRight, true}, {5, Fixed, true},
    };
    for (const auto& R : Rows) {
        TRunSettings S = TakeRunSettings();
        S.PNG.TransparentType = R.Type;
        S.PNG.TransparentColor = 0x332211; // red in the low byte
        EXPECT_EQ(PNGKeyColor(pic.Img, S.PNG),
                  uint32_t(R.Key.blue) | uint32_t(R.Key.green) << 8 | uint32_t(R.Key.red) << 16)
            << R.Type;
        const std::string f = Scratch / "key.png";
        ASSERT_TRUE(SavePalettePNG(f, pic.Img, nullptr, {}, S)) << R.Type;
        const TPngFacts F = PngFacts(f);
        ASSERT_FALSE(F.Palette.empty()) << R.Type;
        EXPECT_EQ(std::make_tuple(F.Palette[0].red, F.Palette[0].green, F.Palette[0].blue),
                  std::make_tuple(R.Key.red, R.Key.green, R.Key.blue))
            << "type " << R.Type;
        // Five colours of the picture, and the fixed key besides them.
        EXPECT_EQ(F.Palette.size(), R.Type == 5 ? 6u : 5u) << R.Type;
        if (R.Transparent) {
            ASSERT_FALSE(F.Alpha.empty()) << R.Type;
            EXPECT_EQ(F.Alpha[0], 0) << R.Type;
            for (size_t i = 1; i < F.Alpha.size(); ++i)
                EXPECT_EQ(F.Alpha[i], 255) << R.Type;
        } else {
            EXPECT_TRUE(F.Alpha.empty()) << R.Type;
        }
    }
}

// A side past 2^20 is refused by its size before any budget is asked, in the
// words every reader uses for it.
TEST_F(FormatNumbers, ASidePastTheReadersLimitIsRefusedByItsSize)
{
    for (const uint32_t W : {(1u << 20) + 1, 3000000u}) {
        const std::string f = Scratch / "wide.tif";
        tiff* t = OpenTiff(f, W, 1, 8, 3, PHOTOMETRIC_RGB);
        ASSERT_NE(t, nullptr);
        const uint8_t px[6] = {};
        ASSERT_EQ(TIFFWriteRawStrip(t, 0, const_cast<uint8_t*>(px), 6), 6);
        TIFFClose(t);
        TOwnedImg img;
        ExpectRefused(ReadWicMem(ReadBytes(f), img.Img), img.Img, "Unsupported TIFF picture size");
    }
    EXPECT_TRUE(PictureSizeAcceptable(1u << 20, 1u << 11));
    EXPECT_FALSE(PictureSizeAcceptable(1u << 20, (1u << 11) + 1)); // 2^31 pixels and one row more
    EXPECT_FALSE(PictureSizeAcceptable(0, 5));
}
