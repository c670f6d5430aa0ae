// Histogram counting: exact counts on small pictures, converter against the
// formula, and the same result for any number of bands.
#include "effects/Histogram.h"

#include "core/MultiThread.h"
#include "EffectTestUtil.h"

#include <algorithm>
#include <numeric>

namespace {

std::vector<uint32_t> Count(const TImgInfo& Img, int Mode, TMultiThread* Pool = nullptr)
{
    std::vector<uint32_t> c(HistogramCounters, 0xDEADu);
    CalcHistogram(Img, c.data(), Mode, Pool);
    return c;
}

uint64_t TableSum(const std::vector<uint32_t>& C, int Table)
{
    return std::accumulate(C.begin() + Table * 256, C.begin() + (Table + 1) * 256, uint64_t(0));
}

// A picture whose pixels all differ from their neighbours.
void FillNoise(TTestImg& T)
{
    uint32_t s = 12345;
    for (uint32_t y = 0; y < T.I.Height; ++y)
        for (uint32_t x = 0; x < T.I.Width * T.I.Channels; ++x) {
            s = s * 1103515245u + 12345u;
            ScanLine(T.I, y)[x] = uint8_t(s >> 16);
        }
}

} // namespace

TEST(Histogram, SSE2ConverterEqualsTheReference)
{
    for (uint32_t ch : {3u, 4u})
        for (uint32_t w : {1u, 15u, 16u, 17u, 40u, 333u}) {
            TTestImg img(w, 2, std::vector<uint8_t>(ch, 0));
            FillNoise(img);
            // Corners of the colour cube too, where chroma reaches its ends.
            const uint8_t corners[8][3] = {{0, 0, 0},     {255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                           {255, 255, 0}, {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
            for (uint32_t x = 0; x < w && x < 8; ++x)
                std::copy_n(corners[x], 3, img.Px(x, 0));
            const uint64_t n = HistogramPlaneStride(w) * 3;
            std::vector<uint8_t> a(n + 16), b(n + 16);
            uint8_t* pa = a.data() + (16 - uintptr_t(a.data()) % 16) % 16;
            uint8_t* pb = b.data() + (16 - uintptr_t(b.data()) % 16) % 16;
            for (uint32_t y = 0; y < 2; ++y) {
                HistogramToYCbCrRef(ScanLine(img.I, y), img.I.Bpl, pa, w, ch);
                HistogramToYCbCrSSE2(ScanLine(img.I, y), img.I.Bpl, pb, w, ch);
                for (int p = 0; p < 3; ++p)
                    EXPECT_EQ(0, std::memcmp(pa + p * HistogramPlaneStride(w), pb + p * HistogramPlaneStride(w), w))
                        << ch << " channels, width " << w << ", plane " << p;
                // A row without spare bytes is converted without reading past it.
                HistogramToYCbCrSSE2(ScanLine(img.I, y), w * ch, pb, w, ch);
                EXPECT_EQ(0, std::memcmp(pa, pb, w));
            }
        }
}

TEST(Histogram, AnyBandCountGivesTheSameCounts)
{
    TMultiThread pool4(4), pool7(7);
    for (uint32_t ch : {1u, 3u, 4u})
        for (uint32_t h : {1u, 3u, 61u}) {
            TTestImg img(37, h, std::vector<uint8_t>(ch, 0));
            FillNoise(img);
            const auto one = Count(img.I, HistogramAll);
            EXPECT_EQ(Count(img.I, HistogramAll, &pool4), one) << ch << "x" << h;
            EXPECT_EQ(Count(img.I, HistogramAll, &pool7), one) << ch << "x" << h;
            EXPECT_EQ(TableSum(one, 0), 37u * h);
        }
}
