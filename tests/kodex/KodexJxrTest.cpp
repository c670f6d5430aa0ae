// JPEG XR pictures: made losslessly from TIFF sources by the codec's own
// encoder tool, read back through read_wic and compared with the source.
#include "KodexTestUtil.h"
#include "platform/Process.h"

#include <tiffio.h>

#include <atomic>
#include <thread>

using Jxr = TKodexTest;

namespace {

constexpr uint32_t W = 37, H = 23; // not a multiple of the codec's 16-line macroblocks

uint8_t Sample(uint32_t X, uint32_t Y, uint32_t C)
{
    return uint8_t((X * 7 + Y * 13 + C * 61) & 255);
}

// A W x H TIFF of Spp samples in RGB(A) or gray order, 8 or 16 bits, uncompressed.
void WriteSource(const std::string& F, uint16_t Spp, uint16_t Bits)
{
    TIFF* t = OpenTiff(F, W, H, Bits, Spp, Spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, H);
    if (Spp == 4) {
        uint16_t ex = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &ex);
    }
    std::vector<uint8_t> row(size_t(W) * Spp * Bits / 8);
    for (uint32_t y = 0; y < H; ++y) {
        for (uint32_t x = 0; x < W; ++x)
            for (uint32_t c = 0; c < Spp; ++c)
                for (uint32_t b = 0; b < Bits / 8u; ++b) // a 16-bit sample is v * 257: both bytes v
                    row[(x * Spp + c) * Bits / 8 + b] = Sample(x, y, c);
        TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFClose(t);
}

// The JPEG XR file of that source, made losslessly; empty when the tool failed.
std::vector<uint8_t> MakeJxr(const TScratch& S, const std::string& Name, uint16_t Spp, uint16_t Bits)
{
    const std::string tif = S / (Name + ".tif"), jxr = S / (Name + ".jxr");
    WriteSource(tif, Spp, Bits);
    if (RunProcessAndWait({"JxrEncApp", "-i", tif, "-o", jxr, "-q", "1"}) != 0)
        return {};
    return ReadBytes(jxr);
}

} // namespace

TEST_F(Jxr, LosslessFilesReadAsTheirSourcesInEveryLayout)
{
    struct {
        const char* Name;
        uint16_t Spp, Bits;
        uint32_t Channels; // as handed on: gray 1, colour 3, with alpha 4
    } cases[] = {{"rgb", 3, 8, 3}, {"rgba", 4, 8, 4}, {"gray", 1, 8, 1}, {"rgb16", 3, 16, 3}, {"gray16", 1, 16, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> file = MakeJxr(Scratch, c.Name, c.Spp, c.Bits);
        ASSERT_FALSE(file.empty()) << "JxrEncApp (libjxr-tools) could not make the sample";
        TOwnedImg img;
        ASSERT_EQ(ReadWicMem(file, img.Img), 1) << ::testing::PrintToString(TakeErrors());
        ASSERT_EQ(std::make_tuple(img.Img.Width, img.Img.Height, img.Img.Channels), std::make_tuple(W, H, c.Channels));
        int wrong = 0;
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x)
                for (uint32_t ch = 0; ch < c.Channels; ++ch) {
                    // Our pixels are BGR(A); the source was RGB(A).
                    const uint32_t src = c.Channels == 1 ? 0 : ch < 3 ? 2 - ch : 3;
                    wrong += At(img.Img, x, y, ch) != Sample(x, y, src);
                }
        EXPECT_EQ(wrong, 0);

        // The header probe sees the same size without decoding.
        const TKodexInfo info = InfoOf(Scratch / (std::string(c.Name) + ".jxr"));
        EXPECT_EQ(std::make_pair(info.Width, info.Height), std::make_pair(W, H));
    }
}

TEST_F(Jxr, DamagedFilesAreRefusedWithAMessage)
{
    const std::vector<uint8_t> good = MakeJxr(Scratch, "rgb", 3, 8);
    ASSERT_FALSE(good.empty());
    // A file cut short is refused as a whole (the codec would fill the
    // missing blocks with whatever its buffer held), with or without alpha.
    const std::vector<uint8_t> alpha = MakeJxr(Scratch, "rgba", 4, 8);
    for (const auto* f : {&good, &alpha})
        for (size_t percent : {50, 75, 90, 99}) {
            TOwnedImg img;
            const std::vector<uint8_t> cut(f->begin(), f->begin() + ptrdiff_t(f->size() * percent / 100));
            ExpectRefused(ReadWicMem(cut, img.Img), img.Img, "Premature end of JPEG XR file");
        }
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t cut : {size_t(4), size_t(16), size_t(40), good.size() / 3, good.size() / 2, good.size() - 10})
        damaged.emplace_back(good.begin(), good.begin() + ptrdiff_t(cut));
    ForEachDamaged(
        good, 4, 8, 7, [&](const std::vector<uint8_t>& d) { damaged.push_back(d); }, 40);
    int refused = 0;
    for (const auto& d : damaged) {
        TOwnedImg img;
        const int r = ReadWicMem(d, img.Img);
        const std::vector<std::string> errors = TakeErrors();
        if (r == 0) {
            ++refused;
            EXPECT_FALSE(errors.empty()) << "a refused file must say why";
            EXPECT_EQ(img.Img.Mem, nullptr);
        } else {
            // Flipped bits inside the coded data may still decode to a picture;
            // it must then be whole.
            EXPECT_EQ(std::make_pair(img.Img.Width, img.Img.Height), std::make_pair(W, H));
        }
    }
    EXPECT_GE(refused, 6); // every cut file at least
}

// Workers decode at once while others allocate: the decoder is a program
// started afresh, never a copy of this one that may hold another thread's lock.
TEST_F(Jxr, PicturesDecodedOnManyThreadsAtOnceAllArrive)
{
    const std::vector<uint8_t> file = MakeJxr(Scratch, "rgb", 3, 8);
    ASSERT_FALSE(file.empty());
    std::atomic<int> whole{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t)
        workers.emplace_back([&] {
            for (int i = 0; i < 4; ++i) {
                std::vector<std::unique_ptr<char[]>> churn;
                for (int k = 0; k < 200; ++k)
                    churn.emplace_back(new char[size_t(64 + k * 16)]);
                TOwnedImg img;
                whole += ReadWicMem(file, img.Img) == 1 && img.Img.Width == W && img.Img.Height == H;
            }
        });
    for (std::thread& w : workers)
        w.join();
    EXPECT_EQ(whole, 32) << ::testing::PrintToString(TakeErrors());
}

TEST_F(Jxr, APictureBeyondTheMemoryBudgetIsRefused)
{
    const std::vector<uint8_t> file = MakeJxr(Scratch, "rgb", 3, 8);
    ASSERT_FALSE(file.empty());
    KodexProcs.SetPictureMemoryLimit(1024); // less than the 37 x 23 picture's block
    TOwnedImg img;
    const int r = ReadWicMem(file, img.Img);
    KodexProcs.SetPictureMemoryLimit(0);
    ExpectRefused(r, img.Img, "picture too large");
}
