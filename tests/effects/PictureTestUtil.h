// A small picture for the effect tests, freed with the object.
#pragma once
#include "core/ImgInfo.h"

#include <vector>

struct TTestPicture {
    TImgInfo I;
    TTestPicture(uint32_t W, uint32_t H, uint32_t C) { AllocImg(I, W, H, C); }
    ~TTestPicture() { FreeImg(I); }
    TTestPicture(const TTestPicture&) = delete;
    TTestPicture& operator=(const TTestPicture&) = delete;
    // Pixel (X, Y), top-down.
    uint8_t* At(uint32_t X, uint32_t Y) const { return ScanLine(I, Y) + X * I.Channels; }
    // A value unique to upright pixel (X, Y) and channel C (modulo 256).
    static uint8_t MarkOf(uint32_t X, uint32_t Y, uint32_t C = 0) { return uint8_t(1 + Y * 40 + X * 4 + C); }
    // Stores the marks of upright pixel (X, Y) at (SX, SY).
    void Mark(uint32_t X, uint32_t Y, uint32_t SX, uint32_t SY)
    {
        for (uint32_t c = 0; c < I.Channels; ++c)
            At(SX, SY)[c] = MarkOf(X, Y, c);
    }
    // Every pixel marked with its own place.
    void MarkAll()
    {
        for (uint32_t y = 0; y < I.Height; ++y)
            for (uint32_t x = 0; x < I.Width; ++x)
                Mark(x, y, x, y);
    }
    std::vector<uint8_t> Pixels() const
    {
        std::vector<uint8_t> V;
        for (uint32_t y = 0; y < I.Height; ++y)
            V.insert(V.end(), At(0, y), At(I.Width, y));
        return V;
    }
};
