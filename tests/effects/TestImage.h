// A small owned image for the effect tests.
#pragma once
#include "core/ImgInfo.h"

#include <cstring>
#include <vector>

struct TTestImg {
    TImgInfo I;
    // W x H, every pixel holding Px (its size is the channel count).
    TTestImg(uint32_t W, uint32_t H, std::vector<uint8_t> Px)
    {
        AllocImg(I, W, H, uint32_t(Px.size()));
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x)
                std::memcpy(ScanLine(I, y) + x * Px.size(), Px.data(), Px.size());
    }
    // An image to be filled by the code under test.
    TTestImg() = default;
    TTestImg(const TTestImg& S) : TTestImg(S.I.Width, S.I.Height, std::vector<uint8_t>(S.I.Channels))
    {
        std::memcpy(I.Mem, S.I.Mem, size_t(uint64_t(I.Bpl) * BlockRows(I.Height)));
    }
    ~TTestImg() { FreeImg(I); }
    std::vector<uint8_t> At(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = ScanLine(I, y) + x * I.Channels;
        return {p, p + I.Channels};
    }
    uint8_t* Px(uint32_t x, uint32_t y) { return ScanLine(I, y) + x * I.Channels; }
    bool operator==(const TTestImg& O) const
    {
        if (I.Width != O.I.Width || I.Height != O.I.Height || I.Channels != O.I.Channels)
            return false;
        for (uint32_t y = 0; y < I.Height; ++y)
            if (std::memcmp(ScanLine(I, y), ScanLine(O.I, y), size_t(I.Width) * I.Channels))
                return false;
        return true;
    }
};
using V = std::vector<uint8_t>;
