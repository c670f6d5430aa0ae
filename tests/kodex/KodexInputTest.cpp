// What reading an input costs: files with huge tails, decompression bombs,
// and decodes that must stop.
#include "KodexTestUtil.h"

#include "core/Bitmap.h"

#include <fstream>
#include <unistd.h>

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

// Path with Head and then a sparse tail of Tail zero bytes.
void WithSparseTail(const std::string& Path, const std::vector<uint8_t>& Head, uint64_t Tail)
{
    WriteBytes(Path, Head);
    ASSERT_EQ(truncate(Path.c_str(), off_t(Head.size() + Tail)), 0);
}

} // namespace

// A small picture followed by a gigabyte of nothing reads in about its own
// size: only what the decoder needs is brought into memory.
TEST_F(Input, AHugeTailCostsNothing)
{
    constexpr uint64_t tail = uint64_t(1) << 30, allowance = uint64_t(64) << 20;
    TOwnedImg src{MakePicture(60, 40, 3)};
    const std::string jpg = Scratch / "a.jpg", png = Scratch / "a.png", bmp = Scratch / "a.bmp";
    ASSERT_TRUE(WriteJPEG(jpg, src.Img, 90, {}, false, nullptr, nullptr, 0, 0, 0, TakeRunSettings()));
    ASSERT_TRUE(WritePNG(png, src.Img, 0, false, false, {}, 0, nullptr, nullptr, 6, TakeRunSettings()));
    ASSERT_TRUE(SaveBitmapFile(bmp, src.Img, {}));
    for (const std::string& f : {jpg, png, bmp})
        WithSparseTail(f, ReadBytes(f), tail);

    TOwnedImg a{}, b{}, c{}, d{};
    EXPECT_LT(PeakGrowth([&] {
                  int32_t den = 1;
                  bool ycc = false;
                  EXPECT_TRUE(ReadJPEGFile(jpg, a.Img, den, nullptr, ycc, false, TakeRunSettings()));
              }),
              allowance);
    EXPECT_LT(PeakGrowth([&] {
                  uint32_t flags = 0;
                  TBGColor bg;
                  EXPECT_TRUE(ReadPNGFile(png, b.Img, flags, nullptr, bg));
                  EXPECT_TRUE(ReadWICFile(png, c.Img, 0, nullptr, bg));
              }),
              allowance);
    EXPECT_LT(PeakGrowth([&] { EXPECT_TRUE(LoadBitmapFromMemory(bmp, d.Img, 0, TBGColor{})); }), allowance);
    EXPECT_LT(PeakGrowth([&] {
                  TKodexInfo info{};
                  EXPECT_TRUE(ReadWICInfo(jpg, info));
                  EXPECT_EQ(info.Width, 60u);
              }),
              allowance);
    EXPECT_EQ(a.Img.Width, 60u);
    EXPECT_EQ(d.Img.Height, 40u);
}
