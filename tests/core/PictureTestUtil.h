// Owned pictures and random fillers for the picture kernel tests.
#pragma once
#include "core/ImgInfo.h"
#include "platform/PageMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

// A picture record that frees its block with the object.
struct TImgHolder {
    TImgInfo I;
    TImgHolder() = default;
    explicit TImgHolder(const TImgInfo& A) : I(A) { }
    TImgHolder(TImgHolder&& O) noexcept : I(std::exchange(O.I, TImgInfo{})) { }
    TImgHolder& operator=(TImgHolder&& O) noexcept { return std::swap(I, O.I), *this; }
    ~TImgHolder() { FreeImg(I); }
};

// A picture freed with the object: 8 bits a sample, or the 16-bit working form.
struct TPicture {
    TImgInfo I;
    bool Is16;
    TPicture(uint32_t W, uint32_t H, uint32_t C = 1, bool Is16_ = false) : Is16(Is16_)
    {
        if (Is16)
            AllocImg16(I, W, H, C);
        else
            AllocImg(I, W, H, C);
    }
    TPicture(const TPicture& O) : TPicture(O.I.Width, O.I.Height, O.I.Channels, O.Is16)
    {
        std::memcpy(I.Mem, O.I.Mem, uint64_t(I.Bpl) * BlockRows(I.Height));
    }
    TPicture& operator=(const TPicture&) = delete;
    ~TPicture() { FreeImg(I); }
    uint8_t* Px(uint32_t X, uint32_t Y) { return MemRow(I, Y) + X * I.Channels; }
    int16_t* W(uint32_t X, uint32_t Y) { return reinterpret_cast<int16_t*>(MemRow(I, Y)) + X * I.Channels; }
    // The picture's samples only (the spare bytes of a row mean nothing).
    std::vector<uint8_t> Samples() const
    {
        std::vector<uint8_t> v;
        const uint32_t bytes = I.Width * I.Channels * (Is16 ? 2 : 1);
        for (uint32_t y = 0; y < I.Height; ++y)
            v.insert(v.end(), MemRow(I, y), MemRow(I, y) + bytes);
        return v;
    }
    // Whole rows including the spare bytes, so that a kernel that writes past
    // a row's end is caught too.
    std::vector<uint8_t> Bytes() const { return {I.Mem, I.Mem + uint64_t(I.Bpl) * I.Height}; }
};

// Picture bytes of Img, top row first, Width x Channels bytes a row.
inline std::vector<uint8_t> Pixels(const TImgInfo& Img)
{
    std::vector<uint8_t> v;
    for (uint32_t y = 0; y < Img.Height; ++y)
        v.insert(v.end(), ScanLine(Img, y), ScanLine(Img, y) + size_t(Img.Width) * Img.Channels);
    return v;
}

// Random bytes in every sample; with WholeBlock, in the spare bytes at the row
// ends too (kernels that read past the last pixel must not depend on them).
inline void FillRandom(TImgInfo& Img, uint32_t Seed, bool WholeBlock = false)
{
    std::mt19937 rng(Seed);
    if (WholeBlock) {
        for (uint64_t i = 0; i < uint64_t(Img.Bpl) * BlockRows(Img.Height); ++i)
            Img.Mem[i] = uint8_t(rng());
        return;
    }
    for (uint32_t y = 0; y < Img.Height; ++y)
        for (uint32_t x = 0; x < Img.Width * Img.Channels; ++x)
            MemRow(Img, y)[x] = uint8_t(rng());
}
inline void FillRandom(TPicture& P, uint32_t Seed, bool WholeBlock = false)
{
    FillRandom(P.I, Seed, WholeBlock);
}

inline TImgInfo RandomImage(uint32_t W, uint32_t H, uint32_t C, uint32_t Seed, bool WholeBlock = false)
{
    TImgInfo img;
    AllocImg(img, W, H, C);
    FillRandom(img, Seed, WholeBlock);
    return img;
}

// Random 16-bit working form within (or, with Wild, far outside) the legal
// ranges: lightness 0..4080, colour differences -2040..2040, alpha 0..255.
inline void FillRandom16(TPicture& M, uint32_t Seed, bool Wild = false)
{
    std::mt19937 rng(Seed);
    for (uint32_t y = 0; y < M.I.Height; ++y)
        for (uint32_t x = 0; x < M.I.Width; ++x) {
            int16_t* w = M.W(x, y);
            for (uint32_t c = 0; c < M.I.Channels; ++c) {
                if (Wild)
                    w[c] = int16_t(rng());
                else if (c == 0)
                    w[c] = int16_t(rng() % 4081);
                else if (c < 3)
                    w[c] = int16_t(int(rng() % 4081) - 2040);
                else
                    w[c] = int16_t(rng() % 256);
            }
        }
}

// A batch worker's keep, full of blocks an earlier picture left: every byte
// 0xFF (NaN when read as floats). Blocks freed while it lives are kept too.
inline std::unique_ptr<platform::TPageReuse> SoiledKeep()
{
    auto keep = std::make_unique<platform::TPageReuse>(uint64_t(1) << 30);
    for (int i = 0; i < platform::TPageReuse::kSlots; ++i) {
        void* p = platform::PageAlloc(platform::TPageReuse::kMinBlock);
        std::memset(p, 0xFF, platform::TPageReuse::kMinBlock);
        platform::PageFree(p);
    }
    return keep;
}

// Whole blocks alike: rows, their spare bytes and the rows BlockRows adds.
inline ::testing::AssertionResult SameBlocks(const TImgInfo& A, const TImgInfo& B)
{
    if (!A.Mem || !B.Mem || A.Width != B.Width || A.Height != B.Height || A.Bpl != B.Bpl)
        return ::testing::AssertionFailure() << "no picture or another geometry";
    for (uint64_t i = 0; i < uint64_t(A.Bpl) * BlockRows(A.Height); ++i)
        if (A.Mem[i] != B.Mem[i])
            return ::testing::AssertionFailure() << "byte " << i % A.Bpl << " of memory row " << i / A.Bpl << ": "
                                                 << int(A.Mem[i]) << " vs " << int(B.Mem[i]);
    return ::testing::AssertionSuccess();
}

// Normalised weights over an axis of Len pixels for output I of a Gaussian of
// sigma FRadius / 2 reaching Taps pixels to each side, taps beyond an end
// counted on the end pixel: the blur as its formula gives it.
inline std::vector<long double> GaussianAxis(int Len, int I, int Taps, long double FRadius)
{
    std::vector<long double> w(size_t(Len), 0.0L);
    long double sum = 0;
    for (int k = I - Taps; k <= I + Taps; ++k) {
        const long double x = 2.0L * (k - I) / FRadius, v = std::exp(-x * x / 2);
        w[size_t(std::clamp(k, 0, Len - 1))] += v;
        sum += v;
    }
    for (auto& v : w)
        v /= sum;
    return w;
}
