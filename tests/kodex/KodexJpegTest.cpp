// JPEG through the library: reduced-size and banded decoding, YCbCr output, CMYK,
// profiles and density, damaged files, memory output.
#include "KodexTestUtil.h"

#include <jpeglib.h>

#include <cstring>

using Jpeg = TKodexTest;

namespace {

// A JPEG made straight with libjpeg: the test picture (arithmetic-coded if asked), or
// flat CMYK Cmyk stored inverted (255 = no ink).
std::vector<uint8_t> MakeJpeg(uint32_t W, uint32_t H, int Components, bool Arith, const uint8_t* Cmyk = nullptr)
{
    const uint32_t ch = Cmyk ? 4 : uint32_t(Components);
    TOwnedImg pic{MakePicture(W, H, ch)};
    for (uint32_t y = 0; Cmyk && y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            std::memcpy(ScanLine(pic.Img, y) + x * 4, Cmyk, 4);
    auto setup = [&](jpeg_compress_struct& c) {
        if (Cmyk)
            jpeg_set_quality(&c, 100, TRUE);
        c.arith_code = Arith ? TRUE : FALSE;
    };
    return EncodeJpeg(W, H, int(ch), setup, [&](uint32_t y) { return ScanLine(pic.Img, y); });
}

// Offset of the coded data of the first scan (after the SOS header).
size_t ScanData(const std::vector<uint8_t>& B)
{
    for (size_t i = 0; i + 3 < B.size(); ++i)
        if (B[i] == 0xFF && B[i + 1] == 0xDA)
            return i + 2 + size_t(B[i + 2] << 8 | B[i + 3]);
    return 0;
}

TEST_F(Jpeg, JpegYCbCrOutputConvertsBackWithinOneLevel)
{
    TOwnedImg src{MakePicture(48, 32, 3, true)};
    const std::string f = Scratch / "y.jpg";
    ASSERT_TRUE(WriteJPEG(f, src.Img, 95, {}, false, nullptr, nullptr, 0, 2, 0, TakeRunSettings()));
    TOwnedImg bgr{}, ycc{};
    ASSERT_TRUE(ReadJpeg(f, bgr.Img));
    int32_t den = 1;
    bool isYcc = true;
    ASSERT_TRUE(ReadJPEGFile(f, ycc.Img, den, nullptr, isYcc, false, TakeRunSettings()) && isYcc);
    int worst = 0;
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 48; ++x) {
            const double Y = At(ycc.Img, x, y, 0), cb = At(ycc.Img, x, y, 1) - 128.0, cr = At(ycc.Img, x, y, 2) - 128.0;
            const double rgb[3] = {Y + 1.402 * cr, Y - 0.344136 * cb - 0.714136 * cr, Y + 1.772 * cb};
            for (int c = 0; c < 3; ++c) {
                const int v = std::clamp(int(std::lround(rgb[c])), 0, 255);
                worst = std::max(worst, std::abs(v - At(bgr.Img, x, y, 2 - c)));
            }
        }
    EXPECT_LE(worst, 1);
}

// A PNG keeps the profile too.
TEST_F(Jpeg, JpegProfileAndResolutionSurviveAWriteAndRead)
{
    TOwnedImg src{MakePicture(20, 10, 3)};
    const std::vector<uint8_t> prof = MakeProfile("Test RGB");
    TICCInfo icc = ProfileBlock(prof);
    std::strcpy(icc.Name, "Test RGB"); // the name a PNG stores with it
    TResolutionInfo res{300, 150, 1};
    const std::string f = Scratch / "p.jpg", png = Scratch / "icc.png";
    ASSERT_TRUE(WriteJPEG(f, src.Img, 90, res, false, &icc, nullptr, 0, 1, 0, TakeRunSettings()));
    ASSERT_TRUE(WritePNG(png, src.Img, 0, false, false, {}, 0, nullptr, &icc, 6, TakeRunSettings()));
    FreeICC(icc);
    for (const std::string& F : {f, png}) {
        TOwnedImg out{};
        TICCInfo got;
        ASSERT_TRUE(F == f ? ReadJpeg(F, out.Img, &got) : ReadPng(F, out.Img, &got)) << F;
        ExpectProfile(got, prof, "Test RGB");
    }
    const TKodexInfo info = InfoOf(f);
    EXPECT_EQ(std::make_tuple(info.Width, info.XResolution, info.YResolution), std::make_tuple(20u, 300, 150));

    // Kept resolution of a source without one: aspect-only density.
    ASSERT_TRUE(WriteJPEG(f, src.Img, 90, {}, false, nullptr, nullptr, 0, 1, 0, TakeRunSettings()));
    EXPECT_EQ(InfoOf(f).XResolution, 0);
}

TEST_F(Jpeg, JpegCMYKReadsAsInvertedSamplesAndConverts)
{
    const uint8_t ink[4] = {255 - 0, 255 - 128, 255 - 255, 255 - 0}; // no cyan, half magenta, full yellow
    const std::string f = Scratch / "cmyk.jpg";
    WriteBytes(f, MakeJpeg(16, 16, 4, false, ink));
    TOwnedImg out{};
    int32_t den = 1;
    bool ycc = true; // asked for, but CMYK has no such form
    ASSERT_TRUE(ReadJPEGFile(f, out.Img, den, nullptr, ycc, false, TakeRunSettings()));
    ASSERT_EQ(out.Img.Channels, 4u);
    EXPECT_FALSE(ycc);
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(At(out.Img, 5, 5, c), ink[c], 1);
    ASSERT_TRUE(CMYKToBGR(out.Img) && out.Img.Channels == 3u);
    const int bgr[3] = {0, 127, 255}; // red and half green
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(At(out.Img, 5, 5, c), bgr[c], 1);
}

TEST_F(Jpeg, JpegDamagedFilesFailWithAMessage)
{
    TOwnedImg src{MakePicture(64, 48, 3)};
    std::vector<uint8_t> good;
    for (bool progressive : {false, true}) {
        Settings.JPEG.Progressive = progressive;
        good = JpegOf(src.Img);
        for (size_t cut : {size_t(2), size_t(20), good.size() / 3, good.size() / 2, good.size() - 40}) {
            std::vector<uint8_t> bad(good.begin(), good.begin() + long(cut));
            TKodexReadJPEG rec{};
            rec.Denominator = 1;
            SCOPED_TRACE(cut);
            ExpectRefused(KodexProcs.ReadJPEG(&rec, bad.data(), bad.size()), rec.Img);
        }
        // Without its end marker the file still reads.
        ASSERT_EQ(good[good.size() - 2] << 8 | good.back(), 0xFFD9);
        TOwnedImg noEnd{};
        EXPECT_TRUE(ReadJPEGFromMemory(good.data(), good.size() - 2, noEnd.Img, TakeRunSettings())) << progressive;
        // A progressive file cut between two scans decodes blurred: damaged, not a success.
        size_t lastScan = 0;
        for (size_t i = 0; progressive && i + 1 < good.size(); ++i)
            if (good[i] == 0xFF && good[i + 1] == 0xDA)
                lastScan = i;
        if (progressive) {
            TOwnedImg blurred{};
            ASSERT_GT(lastScan, 0u);
            ExpectRefused(ReadJPEGFromMemory(good.data(), lastScan, blurred.Img, TakeRunSettings()), blurred.Img);
        }
    }
    // Flipped bytes: any result but a crash; a success is a whole picture.
    ForEachDamaged(good, 0, 4, 7, [](const std::vector<uint8_t>& Bad) {
        TOwnedImg out{};
        if (ReadJPEGFromMemory(Bad.data(), Bad.size(), out.Img, TakeRunSettings())) {
            EXPECT_GT(out.Img.Width, 0u);
            EXPECT_EQ(out.Img.Bpl, CalcBpl(out.Img.Width, out.Img.Channels));
        }
    });
    TOwnedImg none{};
    EXPECT_EQ(0, ReadJpeg(Scratch / "missing.jpg", none.Img));
}

TEST_F(Jpeg, FailedWriteLeavesTheExistingFile)
{
    const std::string f = Scratch / "keep.jpg";
    WriteBytes(f, {1, 2, 3});
    TOwnedImg two{MakePicture(8, 8, 2)};
    EXPECT_FALSE(WriteJPEG(f, two.Img, 90, {}, false, nullptr, nullptr, 0, 1, 0, TakeRunSettings()));
    EXPECT_EQ(ReadBytes(f), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Scratch.Dir), {}), 1);
    const auto errs = TakeErrors();
    ASSERT_FALSE(errs.empty());
    EXPECT_EQ(errs[0].rfind(f + ": ", 0), 0u) << errs[0]; // the line names the file
}

// Cut inside its coded data, an arithmetic-coded file decodes to gray rows
// without the decoder complaining: it is damaged all the same.
TEST_F(Jpeg, AnArithmeticCodedFileCutInsideItsScanFails)
{
    for (int components : {1, 3}) {
        const std::vector<uint8_t> good = MakeJpeg(96, 80, components, true);
        TOwnedImg whole{};
        ASSERT_TRUE(ReadJPEGFromMemory(good.data(), good.size(), whole.Img, TakeRunSettings())) << components;
        const size_t data = ScanData(good);
        ASSERT_GT(data, 0u);
        for (size_t cut : {data + 10, (data + good.size()) / 2, good.size() - 40}) {
            const std::vector<uint8_t> bad(good.begin(), good.begin() + long(cut));
            TOwnedImg out{};
            SCOPED_TRACE(testing::Message() << components << " " << cut);
            ExpectRefused(ReadJPEGFromMemory(bad.data(), bad.size(), out.Img, TakeRunSettings()), out.Img,
                          "Premature end of JPEG file");
        }
    }
}

// Coded data that is wrong rather than missing.
TEST_F(Jpeg, CorruptCodedDataFails)
{
    TOwnedImg src{MakePicture(96, 80, 3)};
    const std::vector<uint8_t> good = JpegOf(src.Img);
    const size_t data = ScanData(good);
    ASSERT_GT(data, 0u);
    // Sixteen one bits in a row are no code of any table.
    std::vector<uint8_t> bad = good;
    const size_t at = (data + good.size()) / 2;
    for (size_t i = 0; i < 6; i += 2)
        bad[at + i] = 0xFF, bad[at + i + 1] = 0x00;
    TOwnedImg out{};
    ExpectRefused(ReadJPEGFromMemory(bad.data(), bad.size(), out.Img, TakeRunSettings()), out.Img, "Corrupt JPEG data");
    // Half the coded data taken out: the end marker comes too early.
    bad.assign(good.begin(), good.begin() + long(at));
    bad.insert(bad.end(), good.end() - 2, good.end());
    ExpectRefused(ReadJPEGFromMemory(bad.data(), bad.size(), out.Img, TakeRunSettings()), out.Img, "Corrupt JPEG data");
}

int ReadBands(const std::vector<uint8_t>& File, uint32_t Den, uint32_t BandRows, TBandSink& Sink, uint32_t Flags = 0)
{
    return ReadBandsWith(KodexProcs.ReadJPEGBands, File, Den, BandRows, Sink, Flags);
}

} // namespace

TEST_F(Jpeg, BandedDecodingHandsOverTheWholePictureRowForRow)
{
    ASSERT_NE(KodexProcs.ReadJPEGBands, nullptr);
    for (bool progressive : {false, true})
        for (uint32_t ch : {1u, 3u}) {
            Settings.JPEG.Progressive = progressive;
            TOwnedImg src{MakePicture(77, 53, ch, true)};
            const std::vector<uint8_t> file = JpegOf(src.Img);
            for (uint32_t den : {1u, 2u, 4u, 8u}) {
                TKodexReadJPEG whole{};
                whole.Denominator = den;
                ASSERT_TRUE(KodexProcs.ReadJPEG(&whole, file.data(), file.size()));
                TOwnedImg ref{whole.Img};
                // Reduced-size decoding gives the scaled size, rounded up.
                EXPECT_EQ(std::make_pair(ref.Img.Width, ref.Img.Height),
                          std::make_pair((77u + den - 1) / den, (53u + den - 1) / den));
                EXPECT_EQ(ref.Img.Bpl, CalcBpl(ref.Img.Width, ch));
                std::vector<uint8_t> expect;
                for (uint32_t y = 0; y < ref.Img.Height; ++y)
                    expect.insert(expect.end(), ScanLine(ref.Img, y), ScanLine(ref.Img, y) + ref.Img.Width * ch);
                // One row, a band size that leaves a short last band, more than the picture.
                for (uint32_t rows : {0u, 1u, 16u, 200u}) {
                    TBandSink sink;
                    ASSERT_TRUE(ReadBands(file, den, rows, sink)) << den << " " << rows;
                    EXPECT_TRUE(sink.InOrder);
                    EXPECT_EQ(sink.Next, ref.Img.Height);
                    EXPECT_TRUE(sink.Rows == expect) << progressive << " " << ch << " " << den << " " << rows;
                }
            }
        }
    EXPECT_TRUE(TakeErrors().empty());
}

TEST_F(Jpeg, BandedDecodingOfADamagedFileFailsAndAStoppedOneIsQuiet)
{
    TOwnedImg src{MakePicture(64, 96, 3)};
    const std::vector<uint8_t> good = JpegOf(src.Img);
    // Cut half-way: the first bands come, then the decode fails with a reason.
    const std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
    TBandSink sink;
    EXPECT_EQ(0, ReadBands(cut, 1, 8, sink));
    EXPECT_LT(sink.Next, 96u);
    EXPECT_FALSE(TakeErrors().empty());
    // Corrupt coded data.
    std::vector<uint8_t> bad = good;
    const size_t at = ScanData(bad) + (bad.size() - ScanData(bad)) / 2;
    bad[at] = 0xFF, bad[at + 1] = 0xD3; // a restart marker out of order
    TBandSink sink2;
    EXPECT_EQ(0, ReadBands(bad, 1, 8, sink2));
    EXPECT_FALSE(TakeErrors().empty());
    // The caller stops after two bands: no more come, nothing is reported.
    TBandSink stop;
    stop.StopAfter = 2;
    EXPECT_EQ(0, ReadBands(good, 1, 8, stop));
    EXPECT_EQ(stop.Bands, 2u);
    EXPECT_TRUE(TakeErrors().empty());
    // The caller refuses the picture when it learns its size: no band comes.
    TBandSink refuse;
    refuse.TakeSize = 0;
    EXPECT_EQ(0, ReadBands(good, 1, 8, refuse));
    EXPECT_EQ(std::make_pair(refuse.Bands, refuse.Held), std::make_pair(0u, uint64_t(CalcBpl(64, 3)) * 8));
    EXPECT_TRUE(TakeErrors().empty());
    // The budget counts what is held: too large whole, it comes in bands unless one band is too much.
    KodexProcs.SetPictureMemoryLimit(uint64_t(CalcBpl(64, 3)) * 40);
    TKodexReadJPEG whole{};
    whole.Denominator = 1;
    EXPECT_EQ(0, KodexProcs.ReadJPEG(&whole, good.data(), good.size()));
    EXPECT_EQ(whole.Img.Mem, nullptr);
    EXPECT_FALSE(TakeErrors().empty());
    TBandSink small;
    EXPECT_EQ(1, ReadBands(good, 1, 8, small));
    EXPECT_TRUE(small.InOrder && small.Next == 96u) << small.Next;
    TBandSink tooBig;
    EXPECT_EQ(0, ReadBands(good, 1, 48, tooBig));
    EXPECT_EQ(tooBig.Bands, 0u);
    EXPECT_FALSE(TakeErrors().empty());
    KodexProcs.SetPictureMemoryLimit(0);
    TakeErrors();
}
