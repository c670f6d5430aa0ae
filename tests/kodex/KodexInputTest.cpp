// What reading an input costs: files with huge tails, decompression bombs,
// and decodes that must stop.
#include "KodexTestUtil.h"

#include "core/Bitmap.h"
#include "core/Errors.h"

#include <fstream>
#include <unistd.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

using namespace kodextest;
using Input = kodextest::TKodexTest;

namespace {

uint64_t StatusKiB(const char* Key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(Key, 0) == 0)
            return std::stoull(line.substr(std::strlen(Key)));
    return 0;
}

// How far the peak resident memory rose above what was resident before
// Work ran (bytes).
template <typename F>
uint64_t PeakGrowth(F Work)
{
    std::ofstream("/proc/self/clear_refs") << "5"; // restarts the peak at the present
    const uint64_t before = StatusKiB("VmRSS:");
    Work();
    const uint64_t peak = StatusKiB("VmHWM:");
    return peak > before ? (peak - before) * 1024 : 0;
}

// ---- decompression bombs: small files that describe gigabytes ----

constexpr uint32_t kSide = 46340; // 46340 x 46340 is just below 2^31 pixels

// A blank fax page of kSide x kSide: a bit or so a row.
std::vector<uint8_t> FaxBomb(const std::string& Tmp)
{
    TIFF* t = TIFFOpen(Tmp.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSide);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSide);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kSide);
    const std::vector<uint8_t> row((kSide + 7) / 8, 0);
    for (uint32_t y = 0; y < kSide; ++y)
        TIFFWriteScanline(t, const_cast<uint8_t*>(row.data()), y, 0);
    TIFFClose(t);
    return ReadBytes(Tmp);
}

// An animation on a 30000-pixel canvas whose one frame is a single pixel.
std::vector<uint8_t> WebPBomb()
{
    const uint8_t px[4] = {1, 2, 3, 255};
    uint8_t* one = nullptr;
    const size_t n = WebPEncodeLosslessBGRA(px, 1, 1, 4, &one);
    WebPMux* mux = WebPMuxNew();
    WebPMuxFrameInfo frame{};
    frame.bitstream = {one, n};
    frame.id = WEBP_CHUNK_ANMF;
    frame.duration = 100;
    WebPMuxPushFrame(mux, &frame, 1);
    WebPMuxSetCanvasSize(mux, 30000, 30000);
    WebPMuxAnimParams anim{0xFFFFFFFF, 0};
    WebPMuxSetAnimationParams(mux, &anim);
    WebPData all{};
    WebPMuxAssemble(mux, &all);
    std::vector<uint8_t> v(all.bytes, all.bytes + all.size);
    WebPDataClear(&all);
    WebPMuxDelete(mux);
    WebPFree(one);
    return v;
}

// A kSide-pixel screen around a one-pixel frame, padded by a comment so that
// the file is as large as the screen is plausible for.
std::vector<uint8_t> GifBomb(const std::string& Tmp)
{
    int err = 0;
    GifFileType* g = EGifOpenFileName(Tmp.c_str(), false, &err);
    GifColorType cols[2] = {{255, 255, 255}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(2, cols);
    EGifPutScreenDesc(g, kSide, kSide, 1, 0, map);
    EGifPutExtensionLeader(g, COMMENT_EXT_FUNC_CODE);
    const std::vector<uint8_t> pad(255, 'x');
    for (int i = 0; i < 2100; ++i)
        EGifPutExtensionBlock(g, 255, pad.data());
    EGifPutExtensionTrailer(g);
    EGifPutImageDesc(g, 0, 0, 1, 1, false, nullptr);
    GifPixelType p = 1;
    EGifPutLine(g, &p, 1);
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return ReadBytes(Tmp);
}

// A run-length bitmap of kSide x kSide: its end mark, then padding.
std::vector<uint8_t> RleBomb()
{
    std::vector<uint8_t> f(14 + 40 + 1024, 0);
    auto put32 = [&](size_t At, uint32_t V) {
        for (int i = 0; i < 4; ++i)
            f[At + i] = uint8_t(V >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(10, uint32_t(f.size()));
    put32(14, 40);
    put32(18, kSide);
    put32(22, kSide);
    f[26] = 1, f[28] = 8;
    put32(30, 1); // RLE8
    f.resize(f.size() + 540004, 0);
    f[14 + 40 + 1024 + 3] = 1; // after an end of line, the end of the picture
    put32(2, uint32_t(f.size()));
    return f;
}

// An arithmetic-coded gray JPEG whose frame says kSide x kSide, padded by
// comments: made small, then given the large size.
std::vector<uint8_t> JpegBomb()
{
    const std::vector<uint8_t> comment(65000, 'x'), row(16, 128);
    std::vector<uint8_t> v = EncodeJpeg(
        16, 16, 1, [](jpeg_compress_struct& c) { c.arith_code = TRUE; }, [&](uint32_t) { return row.data(); },
        [&](jpeg_compress_struct& c) {
            for (int i = 0; i < 9; ++i)
                jpeg_write_marker(&c, JPEG_COM, comment.data(), unsigned(comment.size()));
        });
    for (size_t i = 0; i + 9 < v.size(); ++i)
        if (v[i] == 0xFF && (v[i + 1] == 0xC9 || v[i + 1] == 0xC0)) { // the frame header
            v[i + 5] = uint8_t(kSide >> 8), v[i + 6] = uint8_t(kSide);
            v[i + 7] = uint8_t(kSide >> 8), v[i + 8] = uint8_t(kSide);
            break;
        }
    return v;
}

struct TBudget {
    int32_t Saved = SystemOption.PictureMemoryLimit;
    explicit TBudget(int32_t MiB) { SystemOption.PictureMemoryLimit = MiB; }
    ~TBudget() { SystemOption.PictureMemoryLimit = Saved; }
};

} // namespace

// Each bomb is refused before its picture is allocated, and says so in the
// line of its file.
TEST_F(Input, DecompressionBombsAreRefusedAsTooLarge)
{
    const TBudget budget(256);
    const std::string tif = Scratch / "bomb.tif", webp = Scratch / "bomb.webp", gif = Scratch / "bomb.gif",
                      bmp = Scratch / "bomb.bmp", jpg = Scratch / "bomb.jpg";
    WriteBytes(tif, FaxBomb(Scratch / "tmp.tif"));
    WriteBytes(webp, WebPBomb());
    WriteBytes(gif, GifBomb(Scratch / "tmp.gif"));
    WriteBytes(bmp, RleBomb());
    WriteBytes(jpg, JpegBomb());
    for (const std::string& f : {tif, webp, gif})
        EXPECT_LT(std::filesystem::file_size(f), uint64_t(600) << 10) << f;
    TakeErrors();

    auto expectRefused = [](const std::string& File) {
        const auto errs = TakeErrors();
        ASSERT_FALSE(errs.empty()) << File;
        EXPECT_EQ(errs[0], File + ": picture too large");
    };
    for (const std::string& f : {tif, webp, gif}) {
        TOwnedImg img{};
        EXPECT_EQ(0, ReadWICFile(f, img.Img, 0, nullptr, TBGColor{})) << f;
        EXPECT_EQ(img.Img.Mem, nullptr);
        expectRefused(f);
    }
    TOwnedImg img{};
    int32_t den = 1;
    bool ycc = false;
    EXPECT_EQ(0, ReadJPEGFile(jpg, img.Img, den, nullptr, ycc, false, TakeRunSettings()));
    expectRefused(jpg);
    try {
        LoadBitmapFromMemory(bmp, img.Img, 0, TBGColor{}, BitmapOption.AlphaCheckType);
        ADD_FAILURE() << "the bitmap was read";
    } catch (const EVestroError& E) {
        EXPECT_STREQ(E.what(), "picture too large");
    }
    EXPECT_EQ(img.Img.Mem, nullptr);
}

// Hundreds of scans over a large picture would take minutes: refused. The same
// picture with the usual handful of scans reads.
TEST_F(Input, AProgressiveFileWithHundredsOfScansIsRefused)
{
    auto make = [](bool ManyScans) {
        // DC, then every coefficient on its own, each refined bit by bit.
        std::vector<jpeg_scan_info> scans;
        for (int k = 0; k <= 63; ++k)
            for (int al = 10; al >= 0; --al) {
                jpeg_scan_info s{};
                s.comps_in_scan = 1;
                s.Ss = s.Se = k;
                s.Ah = al == 10 ? 0 : al + 1;
                s.Al = al;
                scans.push_back(s);
            }
        auto setup = [&](jpeg_compress_struct& c) {
            if (ManyScans) {
                c.scan_info = scans.data();
                c.num_scans = int(scans.size());
            } else {
                jpeg_simple_progression(&c);
            }
        };
        std::vector<uint8_t> row(2048);
        return EncodeJpeg(2048, 1024, 1, setup, [&](uint32_t y) {
            for (uint32_t x = 0; x < 2048; ++x)
                row[x] = uint8_t((x ^ y) * 7);
            return row.data();
        });
    };
    const std::vector<uint8_t> many = make(true), few = make(false);
    TOwnedImg a{}, b{};
    EXPECT_FALSE(ReadJPEGFromMemory(many.data(), many.size(), a.Img, TakeRunSettings()));
    const auto errs = TakeErrors();
    ASSERT_FALSE(errs.empty());
    EXPECT_NE(errs[0].find("Too many scans"), std::string::npos) << errs[0];
    EXPECT_TRUE(ReadJPEGFromMemory(few.data(), few.size(), b.Img, TakeRunSettings()));
}

// The run's cancel flag reaches the decoder: a cancelled run's decode stops
// and reports nothing; without the flag the same file reads.
TEST_F(Input, ACancelStopsTheDecodeQuietly)
{
    TOwnedImg src{MakePicture(300, 200, 3)};
    const std::string jpg = Scratch / "c.jpg";
    for (bool progressive : {false, true}) {
        JPEGOption.Progressive = progressive;
        ASSERT_TRUE(WriteJPEG(jpg, src.Img, 90, {}, false, nullptr, nullptr, 0, 0, 0, TakeRunSettings()));
        std::atomic<bool> cancel{true};
        TOwnedImg a{}, b{};
        int32_t den = 1;
        bool ycc = false;
        {
            const TKodexCancelScope scope(&cancel);
            EXPECT_EQ(0, ReadJPEGFile(jpg, a.Img, den, nullptr, ycc, false, TakeRunSettings())) << progressive;
            EXPECT_EQ(a.Img.Mem, nullptr);
            EXPECT_TRUE(TakeErrors().empty());
        }
        EXPECT_NE(0, ReadJPEGFile(jpg, b.Img, den, nullptr, ycc, false, TakeRunSettings())) << progressive;
    }
}
