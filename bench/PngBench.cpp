// PNG decoding kernels: the row unfilters, plain and vector, on a row of a
// 4000-pixel picture; and whole pictures through the row decoder (inflated
// at once with libdeflate, or row by row with zlib) against libpng's own row
// reader with the same transforms.
//
//   bench_png [--benchmark_filter=...] [file.png ...]
#include "kodex/PngRows.h"
#include "kodex/PngUnfilter.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

void Unfilter(benchmark::State& State, bool Vector)
{
    const auto type = uint8_t(State.range(0));
    const auto bpp = uint32_t(State.range(1));
    const uint32_t n = 4000 * bpp;
    std::vector<uint8_t> prev(n), row(n);
    std::mt19937 rng(1);
    for (uint32_t i = 0; i < n; ++i) {
        prev[i] = uint8_t(i * 3 + (rng() & 7));
        row[i] = uint8_t(rng() & 15);
    }
    for (auto _ : State) {
        if (Vector)
            kodex::UnfilterRow(type, row.data(), prev.data(), n, bpp);
        else
            kodex::ref::UnfilterRow(type, row.data(), prev.data(), n, bpp);
        benchmark::DoNotOptimize(row.data());
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * n);
}

void UnfilterArgs(benchmark::internal::Benchmark* B)
{
    B->ArgNames({"type", "bpp"});
    for (int type : {1, 3, 4})
        for (int bpp : {1, 3, 4, 6})
            B->Args({type, bpp});
}

BENCHMARK_CAPTURE(Unfilter, plain, false)->Apply(UnfilterArgs);
BENCHMARK_CAPTURE(Unfilter, vector, true)->Apply(UnfilterArgs);

struct TFile {
    std::vector<uint8_t> Data;
    kodex::TPngLayout Layout;
    size_t Idat = 0;
    uint32_t Channels = 0;
};

struct TReader {
    const std::vector<uint8_t>* Data;
    size_t Pos = 0;
};

// libpng set up as the library sets it up; the read position is left at the
// first IDAT chunk's data. Interlace: the header's, before the transforms.
png_structp OpenPng(TReader& R, png_infop& Info, kodex::TPngLayout* L = nullptr, int* Interlace = nullptr)
{
    png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    Info = png_create_info_struct(p);
    png_set_read_fn(p, &R, [](png_structp P, png_bytep D, size_t N) {
        auto* r = static_cast<TReader*>(png_get_io_ptr(P));
        std::memcpy(D, r->Data->data() + r->Pos, N);
        r->Pos += N;
    });
    png_read_info(p, Info);
    if (L) {
        png_uint_32 w = 0, h = 0;
        png_get_IHDR(p, Info, &w, &h, &L->Depth, &L->Type, Interlace, nullptr, nullptr);
        L->Width = w;
        L->Height = h;
    }
    png_set_scale_16(p);
    png_set_palette_to_rgb(p);
    png_set_expand_gray_1_2_4_to_8(p);
    if (png_get_valid(p, Info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(p);
    png_set_bgr(p);
    png_read_update_info(p, Info);
    return p;
}

uint8_t* RowOf(void* Buf, uint32_t Y)
{
    auto* b = static_cast<std::pair<std::vector<uint8_t>, size_t>*>(Buf);
    return b->first.data() + size_t(Y) * b->second;
}

void DecodeOwn(benchmark::State& State, const TFile* F, uint64_t WholeLimit)
{
    std::pair<std::vector<uint8_t>, size_t> out;
    out.second = size_t(F->Layout.Width) * F->Channels;
    out.first.resize(out.second * F->Layout.Height);
    for (auto _ : State)
        if (kodex::DecodePngRows(F->Data.data(), F->Data.size(), F->Idat, F->Layout, RowOf, &out, WholeLimit) !=
            kodex::TPngRowsResult::Done)
            State.SkipWithError("not decoded");
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(out.first.size()));
}

void DecodeLibpng(benchmark::State& State, const TFile* F)
{
    std::vector<uint8_t> row(size_t(F->Layout.Width) * F->Channels);
    for (auto _ : State) {
        TReader r{&F->Data};
        png_infop info = nullptr;
        png_structp p = OpenPng(r, info);
        for (uint32_t y = 0; y < F->Layout.Height; ++y)
            png_read_row(p, row.data(), nullptr);
        png_destroy_read_struct(&p, &info, nullptr);
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * int64_t(row.size()) * F->Layout.Height);
}

// A smooth synthetic picture (a photo-like gradient with grain), RGB 3000 x 2000.
std::vector<uint8_t> SyntheticPng()
{
    const uint32_t w = 3000, h = 2000;
    std::vector<uint8_t> out, row(w * 3);
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop i = png_create_info_struct(p);
    png_set_write_fn(
        p, &out,
        [](png_structp P, png_bytep D, size_t N) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(P));
            v->insert(v->end(), D, D + N);
        },
        nullptr);
    png_set_IHDR(p, i, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(p, i);
    std::mt19937 rng(3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w * 3; ++x)
            row[x] = uint8_t((x / 3 * 255 / w + y * 255 / h * (x % 3)) / 2 + (rng() & 3));
        png_write_row(p, row.data());
    }
    png_write_end(p, i);
    png_destroy_write_struct(&p, &i);
    return out;
}

bool Load(TFile& F)
{
    TReader r{&F.Data};
    png_infop info = nullptr;
    kodex::TPngLayout& l = F.Layout;
    int interlace = 0;
    png_structp p = OpenPng(r, info, &l, &interlace);
    png_get_PLTE(p, info, &l.Palette, &l.PaletteCount);
    png_color_16p key = nullptr;
    if (png_get_tRNS(p, info, &l.TransAlpha, &l.TransCount, &key)) {
        l.HasKey = key && l.Type != PNG_COLOR_TYPE_PALETTE;
        if (l.HasKey)
            l.Key = *key;
    }
    if (l.Type != PNG_COLOR_TYPE_PALETTE || !l.TransAlpha)
        l.TransCount = 0;
    F.Channels = png_get_channels(p, info);
    F.Idat = r.Pos - 8;
    // The palette stays with the read structure: keep a copy.
    static std::vector<std::vector<png_color>> palettes;
    static std::vector<std::vector<png_byte>> alphas;
    palettes.emplace_back(l.Palette, l.Palette + (l.Palette ? l.PaletteCount : 0));
    alphas.emplace_back(l.TransAlpha, l.TransAlpha + (l.TransAlpha ? l.TransCount : 0));
    l.Palette = palettes.back().data();
    l.TransAlpha = alphas.back().data();
    png_destroy_read_struct(&p, &info, nullptr);
    return interlace == PNG_INTERLACE_NONE && kodex::PngRowChannels(l) == F.Channels;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    static std::vector<TFile> files;
    std::vector<std::string> names;
    for (int a = 1; a < argc; ++a) {
        std::ifstream in(argv[a], std::ios::binary);
        files.emplace_back().Data.assign(std::istreambuf_iterator<char>(in), {});
        names.push_back(argv[a]);
    }
    if (files.empty()) {
        files.emplace_back().Data = SyntheticPng();
        names.push_back("synthetic-rgb8-3000x2000");
    }
    for (size_t k = 0; k < files.size(); ++k) {
        if (!Load(files[k]))
            continue;
        const std::string n = names[k].substr(names[k].find_last_of('/') + 1);
        benchmark::RegisterBenchmark(("Decode/libpng/" + n).c_str(), DecodeLibpng, &files[k])
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Decode/whole/" + n).c_str(), DecodeOwn, &files[k], ~uint64_t(0))
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Decode/rows/" + n).c_str(), DecodeOwn, &files[k], uint64_t(0))
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
