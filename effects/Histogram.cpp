#include "effects/Histogram.h"

#include "core/MultiThread.h"

#include <algorithm>
#include <cstring>
#include <memory>

const THistogramConvProc HistogramToYCbCr = HistogramToYCbCrSSE2;

void HistogramToYCbCrRef(const uint8_t* Src, uint32_t, uint8_t* Dst, uint32_t Width, uint32_t Channels)
{
    const uint64_t s = HistogramPlaneStride(Width);
    for (uint32_t x = 0; x < Width; ++x, Src += Channels)
        HistogramPixelToYCbCr(Src, Dst + x, Dst + s + x, Dst + 2 * s + x);
}

namespace {

struct TAlignedDeleter {
    void operator()(void* P) const { FreeAligned(P); }
};
using TAlignedBuf = std::unique_ptr<uint32_t[], TAlignedDeleter>;

struct THistogramJob {
    const TImgInfo* Img;
    uint32_t* Partial; // one HistogramCounters table per band, 128-byte apart
    int Mode;
};

// Counts the rows of one band into its own table.
void CountBand(uint32_t Index, uint32_t Count, void* Param)
{
    const auto& job = *static_cast<const THistogramJob*>(Param);
    const TImgInfo& img = *job.Img;
    uint32_t* t = job.Partial + uint64_t(Index) * HistogramCounters;
    std::memset(t, 0, HistogramCounters * sizeof(uint32_t));
    const uint32_t y0 = uint32_t(uint64_t(img.Height) * Index / Count);
    const uint32_t y1 = uint32_t(uint64_t(img.Height) * (Index + 1) / Count);
    if (y0 >= y1)
        return;
    const uint32_t w = img.Width, ch = img.Channels;

    if (ch == 1) {
        for (uint32_t y = y0; y < y1; ++y) {
            const uint8_t* p = MemRow(img, y);
            for (uint32_t x = 0; x < w; ++x)
                ++t[p[x]];
        }
        return;
    }

    const bool rgb = job.Mode & HistogramRGB, ycc = job.Mode & HistogramYCbCr;
    TAlignedBuf row;
    if (ycc)
        row.reset(static_cast<uint32_t*>(AllocAligned(uint64_t(HistogramPlaneStride(w)) * 3, 128)));
    uint8_t* conv = reinterpret_cast<uint8_t*>(row.get());
    const uint64_t plane = HistogramPlaneStride(w);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint8_t* p = MemRow(img, y);
        if (rgb) {
            const uint8_t* q = p;
            for (uint32_t x = 0; x < w; ++x, q += ch) {
                ++t[q[0]];
                ++t[256 + q[1]];
                ++t[512 + q[2]];
            }
        }
        if (ycc) {
            HistogramToYCbCr(p, img.Bpl, conv, w, ch);
            for (uint32_t x = 0; x < w; ++x) {
                ++t[768 + conv[x]];
                ++t[1024 + conv[plane + x]];
                ++t[1280 + conv[2 * plane + x]];
            }
        }
    }
}

} // namespace

void CalcHistogram(const TImgInfo& Img, uint32_t* Counts, int Mode, TMultiThread* Pool)
{
    std::fill_n(Counts, HistogramCounters, 0u);
    const bool countable = Img.Channels == 1 || Img.Channels == 3 || Img.Channels == 4;
    if (!countable || !Img.Mem || Img.Width == 0 || Img.Height == 0)
        return;
    if (Img.Channels != 1 && !(Mode & HistogramAll))
        return;

    const uint32_t n = Pool ? std::max<uint32_t>(Pool->MaxThread(), 1) : 1;
    // 6,144 bytes a table: a multiple of 128, so every band's table starts on
    // its own cache lines and no counter is shared between threads.
    TAlignedBuf partial(static_cast<uint32_t*>(AllocAligned(uint64_t(n) * HistogramCounters * sizeof(uint32_t), 128)));
    THistogramJob job{&Img, partial.get(), Mode};
    if (Pool)
        Pool->ExecMultiThreadFunc(CountBand, &job);
    else
        CountBand(0, 1, &job);

    std::memcpy(Counts, partial.get(), HistogramCounters * sizeof(uint32_t));
    for (uint32_t i = 1; i < n; ++i) {
        const uint32_t* t = partial.get() + uint64_t(i) * HistogramCounters;
        for (int j = 0; j < HistogramCounters; ++j)
            Counts[j] += t[j];
    }
    if (Img.Channels == 1)
        std::copy_n(Counts, 256, Counts + 768);
}
