// The PNG image data: bands compressed on several threads join into one valid
// stream with the same content as the one-call path, and a failed write says so.
#include "KodexTestUtil.h"

#include "kodex/PngImageData.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/resource.h>

#include <csignal>

using PngData = TKodexTest;

namespace {

bool Collect(void* Context, const uint8_t* Data, size_t Size)
{
    auto* v = static_cast<std::vector<uint8_t>*>(Context);
    v->insert(v->end(), Data, Data + Size);
    return true;
}

std::vector<uint8_t> Encode(const TImgInfo& Img, const kodex::TPngDataFormat& Fmt, int Level, int Threads,
                            const kodex::TPngDataPlan& Plan)
{
    std::vector<uint8_t> out;
    EXPECT_TRUE(kodex::EncodePngData(Img, Fmt, Level, Threads, Collect, &out, Plan));
    return out;
}

// The filtered rows a zlib stream holds; empty when it is not a valid stream
// (a wrong adler sum or a stream cut short included).
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& Z, size_t Expected)
{
    std::vector<uint8_t> out(Expected + 1);
    uLongf n = uLongf(out.size());
    if (uncompress(out.data(), &n, Z.data(), uLong(Z.size())) != Z_OK)
        return {};
    out.resize(n);
    return out;
}

} // namespace

TEST_F(PngData, BandsOnAnyThreadCountJoinIntoTheSameValidStream)
{
    // Bands of a few rows, so that small pictures have many of them.
    kodex::TPngDataPlan bands;
    bands.BandFrom = 0;
    bands.BandBytes = 700;
    kodex::TPngDataPlan whole; // one call
    for (uint32_t ch : {1u, 2u, 3u, 4u}) {
        TOwnedImg src{MakePicture(97, 61, ch)};
        const auto fmt = kodex::PngDataFormat(src.Img, false, false, 0);
        const size_t raw = size_t(61) * (97 * ch + 1);
        const std::vector<uint8_t> one = Inflate(Encode(src.Img, fmt, 6, 1, whole), raw);
        ASSERT_EQ(one.size(), raw) << ch;
        const std::vector<uint8_t> serial = Encode(src.Img, fmt, 6, 1, bands);
        for (int threads : {2, 3, 8}) {
            // The thread count changes nothing in the file.
            EXPECT_EQ(Encode(src.Img, fmt, 6, threads, bands), serial) << ch << " " << threads;
        }
        EXPECT_EQ(Inflate(serial, raw), one) << ch; // every band's filter bytes and rows equal the one-call path's
    }
    // 4-bit indices of an odd width, and a band size below one row.
    TOwnedImg idx{};
    AllocImg(idx.Img, 33, 9, 1);
    for (uint32_t y = 0; y < 9; ++y)
        for (uint32_t x = 0; x < 33; ++x)
            ScanLine(idx.Img, y)[x] = uint8_t((x * 3 + y) % 11);
    const auto fmt = kodex::PngDataFormat(idx.Img, true, true, 0);
    EXPECT_EQ(fmt.RowBytes, 17u);
    bands.BandBytes = 1;
    const std::vector<uint8_t> one = Inflate(Encode(idx.Img, fmt, 9, 1, whole), 9 * 18);
    ASSERT_EQ(one.size(), 9u * 18u);
    EXPECT_EQ(one[1], 0x03);                   // pixels 0 and 1 of the top row: 0, 3 (no filter for indices)
    EXPECT_EQ(one[17], 0x00 | (96 % 11) << 4); // the last, odd pixel alone in the high half
    EXPECT_EQ(Inflate(Encode(idx.Img, fmt, 9, 4, bands), 9 * 18), one);
}

TEST_F(PngData, AFailedWriteIsReportedAsAFailure)
{
    // The file may grow past its header but not hold the picture data.
    // Noise, so that the compressed data is far larger than the limit.
    TOwnedImg src{MakePicture(200, 120, 3)};
    std::mt19937 rnd(5);
    for (uint32_t y = 0; y < 120; ++y)
        for (uint32_t x = 0; x < 600; ++x)
            ScanLine(src.Img, y)[x] = uint8_t(rnd());
    TKodexWritePNG rec{};
    rec.Img = src.Img;
    rec.Level = 6;
    rec.PhysMode = -1;
    struct rlimit old { };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    for (int threads : {1, 4}) {
        const std::string f = Scratch / "cut.png";
        const int fd = open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        rec.Threads = threads;
        const int r = KodexProcs.WritePNG(&rec, fd);
        setrlimit(RLIMIT_FSIZE, &old);
        close(fd);
        EXPECT_EQ(r, 0) << threads;
        EXPECT_FALSE(TakeErrors().empty());
    }
    signal(SIGXFSZ, oldSignal);
}
