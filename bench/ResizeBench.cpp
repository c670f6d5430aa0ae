// Speed of the resampler on realistic sizes, per kernel family, pass kind,
// channel count, filter and thread count.
//
//   Goal/<src>-1600x1067/<rgb|rgba>/<filter>/<family>/t<threads>
//       whole resizes of a 24 MP (5184x3456) and a 4.5 MP (2592x1728) picture
//       with Lanczos 3 and area average, integer family;
//   Pass/<kind>/<mode>/<C>ch/<family>
//       every SIMD mode and pass kind (both sides, width only: final
//       horizontal kernel, height only: direct vertical kernel, enlarging)
//       from 2592x1728, one thread;
//   Small/<src>-half/t<threads>[-split]
//       small pictures halved with Lanczos 3, where starting pass threads
//       costs about as much as the pass; -split: threads started even below
//       the plan's one-thread limit (PassThreads.MinWork);
//   Tail/<src>-<dest>/t<threads>
//       the vertical pass alone at the geometry of the last step before the
//       encoder: a 106 MP picture to 25 % (12600x8400 after the horizontal
//       pass: 3150x8400 -> 3150x2100) and a 24 MP photo fitted into 1600 px
//       (1600x3456 -> 1600x1067): what overlapping the encoder with it could
//       save at most.
//
// The picture is VESTRO_BENCH_PICTURE (a binary PPM, P6, 8-bit) when set,
// else a generated one with photograph-like gradients and grain. The plan is
// made before timing, as in a batch of pictures of one size.
#include "core/FilterKernels.h"
#include "core/Resize.h"
#include "platform/SysInfo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>

namespace {

TImgInfo LoadPPM(const char* Path)
{
    FILE* f = std::fopen(Path, "rb");
    if (!f)
        throw std::runtime_error(std::string("cannot open ") + Path);
    unsigned w = 0, h = 0, maxv = 0;
    if (std::fscanf(f, "P6 %u %u %u", &w, &h, &maxv) != 3 || maxv != 255 || std::fgetc(f) == EOF)
        throw std::runtime_error("not an 8-bit binary PPM");
    TImgInfo img;
    AllocImg(img, w, h, 3);
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = ScanLine(img, y);
        if (std::fread(row, 3, w, f) != w)
            throw std::runtime_error("short PPM");
        for (uint32_t x = 0; x < w; ++x)
            std::swap(row[3 * x], row[3 * x + 2]); // RGB -> BGR
    }
    std::fclose(f);
    return img;
}

TImgInfo Generated(uint32_t W, uint32_t H)
{
    TImgInfo img;
    AllocImg(img, W, H, 3);
    uint32_t s = 2463534242u;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            for (uint32_t c = 0; c < 3; ++c) {
                s ^= s << 13;
                s ^= s >> 17;
                s ^= s << 5;
                const double v = 128 +
                    80 * std::sin(x * 0.0021 * (c + 1) + y * 0.0013) * std::cos(y * 0.0017 - x * 0.0009 * c) +
                    30 * std::sin(x * 0.05 + y * 0.07) + double(s % 17) - 8;
                MemRow(img, y)[3 * x + c] = uint8_t(std::clamp(v, 0.0, 255.0));
            }
    return img;
}

// Sources by size and channel count, made once and kept.
const TImgInfo& Picture(uint32_t W, uint32_t H, uint32_t C)
{
    static std::map<std::tuple<uint32_t, uint32_t, uint32_t>, TImgInfo> cache;
    auto key = std::make_tuple(W, H, C);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    TImgInfo img;
    if (C == 3) {
        // The given picture when it has this size, else it (or a generated
        // 24 MP one) scaled to this size by area averaging.
        static TImgInfo base = [] {
            const char* p = std::getenv("VESTRO_BENCH_PICTURE");
            return p && *p ? LoadPPM(p) : Generated(5184, 3456);
        }();
        if (base.Width == W && base.Height == H) {
            img = base;
        } else {
            TResizer r;
            r.SetDecimationMode(1, CreateWeightSetter(1, 0, 0, 0));
            r.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 0));
            r.SetSIMDMode(3, false);
            r.SetMaxThreadNum(1);
            r.ResizeImage(base, img, W, H, false);
        }
    } else {
        // 1 channel: the green samples; 4 channels: colour with a soft alpha.
        const TImgInfo& rgb = Picture(W, H, 3);
        AllocImg(img, W, H, C);
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x) {
                const uint8_t* s = MemRow(rgb, y) + 3 * x;
                uint8_t* d = MemRow(img, y) + C * x;
                if (C == 1) {
                    d[0] = s[1];
                } else {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                    d[3] = uint8_t(x < W / 4 ? 0 : x < W / 2 ? (x * 7 + y) & 255 : 255);
                }
            }
    }
    return cache.emplace(key, img).first->second;
}

struct TCase {
    uint32_t SW, SH, DW, DH, C;
    uint32_t Mode; // 1, 2, 3; 4 = linear light
    uint32_t Filter;
    int32_t Threads;
    TKernelFamily Family;
    bool Split = false; // pass threads even below the plan's one-thread limit
};

void Run(benchmark::State& State, TCase K)
{
    const TImgInfo& src = Picture(K.SW, K.SH, K.C);
    SelectResizeKernels(K.Family);
    const uint64_t minWork = PassThreads.MinWork;
    if (K.Split)
        PassThreads.MinWork = 0;
    TResizer r;
    r.SetDecimationMode(K.Filter, CreateWeightSetter(K.Filter, 3, 0, 10));
    r.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r.SetSIMDMode(K.Mode == 4 ? 2 : K.Mode, K.Mode == 4);
    r.SetMaxThreadNum(K.Threads);
    TImgInfo d;
    r.ResizeImage(src, d, K.DW, K.DH, K.C == 4); // plans
    FreeImg(d);
    for (auto _ : State) {
        r.ResizeImage(src, d, K.DW, K.DH, K.C == 4);
        benchmark::DoNotOptimize(d.Mem);
        FreeImg(d);
    }
    State.counters["inMP/s"] =
        benchmark::Counter(double(K.SW) * K.SH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    SelectResizeKernels(TKernelFamily::Best);
    PassThreads.MinWork = minWork;
}

std::string FamilyName(TKernelFamily F)
{
    return F == TKernelFamily::Scalar ? "scalar" : F == TKernelFamily::SSE2 ? "SSE2" : "AVX2";
}

void Register(const std::string& Name, const TCase& K)
{
    benchmark::RegisterBenchmark(Name.c_str(), Run, K)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
}

} // namespace

int main(int argc, char** argv)
{
    const int32_t all = std::clamp(platform::UsableProcessorCount(), 1, 64);
    std::vector<TKernelFamily> families = {TKernelFamily::Scalar, TKernelFamily::SSE2};
    if (CPUHasAVX2())
        families.push_back(TKernelFamily::AVX2);

    for (auto [sw, sh] : {std::pair{5184u, 3456u}, std::pair{2592u, 1728u}})
        for (uint32_t c : {3u, 4u})
            for (uint32_t filter : {2u, 1u})
                for (TKernelFamily f : families)
                    for (int32_t t : {1, all}) {
                        if (f == TKernelFamily::Scalar && t != 1)
                            continue;
                        Register("Goal/" + std::to_string(sw) + "x" + std::to_string(sh) + "-1600x1067/" +
                                     (c == 3 ? "rgb/" : "rgba/") + (filter == 2 ? "lanczos3/" : "area/") +
                                     FamilyName(f) + "/t" + std::to_string(t),
                                 {sw, sh, 1600, 1067, c, 3, filter, t, f});
                    }

    struct TKind {
        const char* Name;
        uint32_t DW, DH;
    };
    const TKind kinds[] = {
        {"both", 1600, 1067}, {"width", 1600, 1728}, {"height", 2592, 1067}, {"enlarge", 3600, 2400}};
    const char* modes[] = {"", "mmx-int", "sse-float", "sse2-int", "linear"};
    for (const TKind& k : kinds)
        for (uint32_t mode = 1; mode <= 4; ++mode)
            for (uint32_t c : {1u, 3u, 4u})
                for (TKernelFamily f : families)
                    Register(std::string("Pass/") + k.Name + "/" + modes[mode] + "/" + std::to_string(c) + "ch/" +
                                 FamilyName(f),
                             {2592, 1728, k.DW, k.DH, c, mode, 2, 1, f});

    for (auto [sw, sh] : {std::pair{320u, 200u}, std::pair{640u, 400u}, std::pair{1024u, 683u}, std::pair{1600u, 1067u},
                          std::pair{2592u, 1728u}})
        for (int32_t t : {1, all})
            for (bool split : {false, true})
                if (t > 1 || !split)
                    Register("Small/" + std::to_string(sw) + "x" + std::to_string(sh) + "-half/t" + std::to_string(t) +
                                 (split ? "-split" : ""),
                             {sw, sh, sw / 2, sh / 2, 3, 3, 2, t, TKernelFamily::Best, split});

    for (auto [w, sh, dh] : {std::tuple{3150u, 8400u, 2100u}, std::tuple{1600u, 3456u, 1067u}})
        for (int32_t t : {1, all})
            Register("Tail/" + std::to_string(w) + "x" + std::to_string(sh) + "-" + std::to_string(w) + "x" +
                         std::to_string(dh) + "/t" + std::to_string(t),
                     {w, sh, w, dh, 3, 3, 2, t, TKernelFamily::Best});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
