// What reading an input costs: decompression bombs, and decodes that must
// stop.
#include "KodexTestUtil.h"

#include <jpeglib.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

using Input = TKodexTest;

namespace {

// ---- decompression bombs: small files that describe gigabytes ----

constexpr uint32_t kSide = 46340; // 46340 x 46340 is just below 2^31 pixels

// A blank fax page of kSide x kSide: a bit or so a row.
std::vector<uint8_t> FaxBomb(const std::string& Tmp)
{
    TIFF* t = OpenTiff(Tmp, kSide, kSide, 1, 1, PHOTOMETRIC_MINISWHITE);
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
    frame.bitstream = {one, n}, frame.id = WEBP_CHUNK_ANMF, frame.duration = 100;
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

struct TBudget {
    int32_t Saved = Settings.System.PictureMemoryLimit;
    explicit TBudget(int32_t MiB) { Settings.System.PictureMemoryLimit = MiB; }
    ~TBudget() { Settings.System.PictureMemoryLimit = Saved; }
};

} // namespace

// Each bomb is refused before its picture is allocated, and says so in the
// line of its file. (The run-length bitmap, GIF screen and JPEG frame bombs
// are run through a whole batch in the batch tests.)
TEST_F(Input, DecompressionBombsAreRefusedAsTooLarge)
{
    const TBudget budget(256);
    const std::string tif = Scratch / "bomb.tif", webp = Scratch / "bomb.webp";
    WriteBytes(tif, FaxBomb(Scratch / "tmp.tif"));
    WriteBytes(webp, WebPBomb());
    TakeErrors();
    for (const std::string& f : {tif, webp}) {
        EXPECT_LT(std::filesystem::file_size(f), uint64_t(600) << 10) << f;
        TOwnedImg img{};
        ExpectRefused(ReadWICFile(f, img.Img, 0, nullptr, TBGColor{}), img.Img, f + ": picture too large");
    }
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
    ExpectRefused(ReadJPEGFromMemory(many.data(), many.size(), a.Img, TakeRunSettings()), a.Img, "Too many scans");
    EXPECT_TRUE(ReadJPEGFromMemory(few.data(), few.size(), b.Img, TakeRunSettings()));
}

TEST_F(Input, ACancelStopsTheDecodeQuietly)
{
    TOwnedImg src{MakePicture(300, 200, 3)};
    const std::string jpg = Scratch / "c.jpg";
    for (bool progressive : {false, true}) {
        Settings.JPEG.Progressive = progressive;
        ASSERT_TRUE(WriteJPEG(jpg, src.Img, 90, {}, false, nullptr, nullptr, 0, 0, 0, TakeRunSettings()));
        std::atomic<bool> cancel{true};
        TOwnedImg a{}, b{};
        {
            const TKodexCancelScope scope(&cancel);
            EXPECT_EQ(0, ReadJpeg(jpg, a.Img)) << progressive;
            EXPECT_EQ(a.Img.Mem, nullptr);
            EXPECT_TRUE(TakeErrors().empty());
        }
        EXPECT_NE(0, ReadJpeg(jpg, b.Img)) << progressive;
    }
}
