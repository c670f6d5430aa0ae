// Unsharp mask and the luma/chroma round trip on a 24-megapixel picture
// (6000 x 4000, 3 channels), on one thread and on every thread.
//
// The picture is VESTRO_BENCH_PICTURE when that names a binary PPM (P6, 8-bit)
// - bench/unsharp_compare.sh makes one and times the other tool on it - and
// otherwise a synthetic picture of the same size.
#include "core/ColorCorrectionFunc.h"
#include "core/ColorKernels.h"
#include "core/Filter.h"
#include "core/WeightedMean.h"
#include "platform/SysInfo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t PicW = 6000, PicH = 4000;

bool ReadPPM(const char* Path, TImgInfo& Img)
{
    FILE* f = std::fopen(Path, "rb");
    if (!f)
        return false;
    unsigned w = 0, h = 0, maxv = 0;
    const bool ok = std::fscanf(f, "P6 %u %u %u", &w, &h, &maxv) == 3 && maxv == 255 && w && h && w <= 100000 &&
        h <= 100000 && std::fgetc(f) != EOF;
    if (ok) {
        AllocImg(Img, w, h, 3);
        std::vector<uint8_t> row(size_t(w) * 3);
        for (uint32_t y = 0; y < h; ++y) {
            if (std::fread(row.data(), 1, row.size(), f) != row.size())
                break;
            uint8_t* d = ScanLine(Img, y);
            for (uint32_t x = 0; x < w; ++x) { // RGB in the file, BGR in memory
                d[3 * x] = row[3 * x + 2];
                d[3 * x + 1] = row[3 * x + 1];
                d[3 * x + 2] = row[3 * x];
            }
        }
    }
    std::fclose(f);
    return ok;
}

// Smooth gradients with fine detail, like a photograph more than noise.
void Synthesise(TImgInfo& Img)
{
    AllocImg(Img, PicW, PicH, 3);
    for (uint32_t y = 0; y < PicH; ++y) {
        uint8_t* p = MemRow(Img, y);
        for (uint32_t x = 0; x < PicW; ++x, p += 3) {
            p[0] = uint8_t((x * 255) / PicW);
            p[1] = uint8_t((y * 255) / PicH);
            p[2] = uint8_t(((x ^ y) & 31) * 4 + ((x / 97 + y / 61) & 1) * 100);
        }
    }
}

const TImgInfo& Picture()
{
    static TImgInfo pic = [] {
        TImgInfo p;
        const char* path = std::getenv("VESTRO_BENCH_PICTURE");
        if (!path || !ReadPPM(path, p))
            Synthesise(p);
        return p;
    }();
    return pic;
}

void CopyOf(const TImgInfo& Src, TImgInfo& Dst)
{
    AllocImg(Dst, Src.Width, Src.Height, Src.Channels);
    std::memcpy(Dst.Mem, Src.Mem, uint64_t(Src.Bpl) * Src.Height);
}

uint32_t AllThreads()
{
    return uint32_t(std::clamp(platform::UsableProcessorCount(), 1, 64));
}

// Arg 0: threads (0 = all); Arg 1: 1 = linear light.
void BM_UnsharpMask(benchmark::State& State)
{
    TImgInfo img;
    CopyOf(Picture(), img);
    TUnsharpMask usm;
    usm.SetUnSharpMaskParam(100, 100, 0, 1.0, State.range(1) != 0);
    usm.SetMaxThreadNum(State.range(0) ? uint32_t(State.range(0)) : AllThreads());
    for (auto _ : State)
        usm.DoUnSharpMask(img, false, false);
    State.counters["threads"] = usm.MaxThreadNum();
    State.counters["Mpx/s"] =
        benchmark::Counter(double(img.Width) * img.Height * State.iterations() / 1e6, benchmark::Counter::kIsRate);
    FreeImg(img);
}
BENCHMARK(BM_UnsharpMask)->Args({1, 0})->Args({0, 0})->Args({0, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

// BGR -> 16-bit luma/chroma -> BGR. Arg 0: threads (0 = all): the picture is
// cut into that many strips, converted at once as workers convert their own
// pictures. Arg 1: 1 = SSE2 kernels, 0 = plain.
void BM_YCbCrRoundTrip(benchmark::State& State)
{
    const TImgInfo& pic = Picture();
    const uint32_t n = State.range(0) ? uint32_t(State.range(0)) : AllThreads();
    InitColorProcs(State.range(1) != 0);
    std::vector<TImgInfo> strips(n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t y0 = pic.Height * i / n, y1 = pic.Height * (i + 1) / n;
        AllocImg(strips[i], pic.Width, std::max(y1 - y0, 1u), 3);
        for (uint32_t y = y0; y < y1; ++y)
            std::memcpy(MemRow(strips[i], y - y0), MemRow(pic, y), uint64_t(pic.Width) * 3);
    }
    auto roundTrip = [](TImgInfo& s) {
        RGB3ToYCbCr16(s);
        YCbCr16ToRGB3(s);
    };
    for (auto _ : State) {
        if (n == 1) {
            roundTrip(strips[0]);
            continue;
        }
        std::vector<std::thread> th;
        for (uint32_t i = 0; i < n; ++i)
            th.emplace_back(roundTrip, std::ref(strips[i]));
        for (auto& t : th)
            t.join();
    }
    State.counters["threads"] = n;
    State.counters["Mpx/s"] =
        benchmark::Counter(double(pic.Width) * pic.Height * State.iterations() / 1e6, benchmark::Counter::kIsRate);
    for (auto& s : strips)
        FreeImg(s);
    InitColorProcs(true);
}
BENCHMARK(BM_YCbCrRoundTrip)->Args({1, 1})->Args({0, 1})->Args({1, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
