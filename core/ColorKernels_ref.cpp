// Plain reference colour kernels: one pixel at a time, the arithmetic of
// ColorKernels.h. The SSE2 kernels must give the same bytes.
#include "core/ColorKernels.h"

#include <cstring>

using namespace colorpx;

namespace {

void YCbCrInPlace(TImgInfo& Info, uint32_t Channels)
{
    for (uint32_t y = 0; y < Info.Height; ++y) {
        uint8_t* p = MemRow(Info, y);
        for (uint32_t x = 0; x < Info.Width; ++x, p += Channels)
            YCC8ToBGR(p);
    }
}

template <uint32_t C> void RowToYCC16(const uint8_t* Src, uint8_t* Dst, uint32_t Width)
{
    for (uint32_t x = 0; x < Width; ++x, Src += C, Dst += 2 * C) {
        int16_t w[4];
        BGRToYCC16(Src[0], Src[1], Src[2], w);
        if constexpr (C == 4)
            w[3] = Src[3];
        std::memcpy(Dst, w, 2 * C);
    }
}

template <uint32_t C> void RowFromYCC16(const uint8_t* Src, uint8_t* Dst, uint32_t Width)
{
    for (uint32_t x = 0; x < Width; ++x, Src += 2 * C, Dst += C) {
        int16_t w[4];
        std::memcpy(w, Src, 2 * C);
        YCC16ToBGR(w[0], w[1], w[2], Dst);
        if constexpr (C == 4)
            Dst[3] = SatU8(w[3]);
    }
}

} // namespace

void YCbCrToRGB3Ref(TImgInfo& Info)
{
    YCbCrInPlace(Info, 3);
}
void YCbCrToRGB4Ref(TImgInfo& Info)
{
    YCbCrInPlace(Info, 4);
}
void RGB3ToYCbCr16Ref(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, true, RowToYCC16<3>);
}
void YCbCr16ToRGB3Ref(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, false, RowFromYCC16<3>);
}
void RGB4ToYCbCr16Ref(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, true, RowToYCC16<4>);
}
void YCbCr16ToRGB4Ref(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, false, RowFromYCC16<4>);
}

void ApplyRGBLUTRef(TImgInfo& Info, const int16_t* Table)
{
    const uint32_t c = Info.Channels;
    if (c != 1 && c != 3 && c != 4)
        return;
    for (uint32_t y = 0; y < Info.Height; ++y) {
        uint8_t* p = MemRow(Info, y);
        if (c == 1) {
            for (uint32_t x = 0; x < Info.Width; ++x)
                p[x] = LookupU8(Table, 768 + p[x]);
            continue;
        }
        for (uint32_t x = 0; x < Info.Width; ++x, p += c) {
            p[0] = LookupU8(Table, p[0]);
            p[1] = LookupU8(Table, 256 + p[1]);
            p[2] = LookupU8(Table, 512 + p[2]);
        }
    }
}

void ApplyYCbCrLUT8Ref(TImgInfo& Info, const int16_t* Table)
{
    const uint32_t c = Info.Channels;
    if (c != 1 && c != 3 && c != 4)
        return;
    for (uint32_t y = 0; y < Info.Height; ++y) {
        uint8_t* p = MemRow(Info, y);
        if (c == 1) {
            for (uint32_t x = 0; x < Info.Width; ++x)
                p[x] = LookupU8(Table, p[x]);
            continue;
        }
        for (uint32_t x = 0; x < Info.Width; ++x, p += c) {
            p[0] = LookupU8(Table, p[0]);
            p[1] = LookupU8(Table, 256 + p[1]);
            p[2] = LookupU8(Table, 256 + p[2]);
        }
    }
}

void ApplyYCbCrLUT16Ref(TImgInfo& Info, const int16_t* Table)
{
    const uint32_t c = Info.Channels;
    if (c != 1 && c != 3 && c != 4)
        return;
    for (uint32_t y = 0; y < Info.Height; ++y) {
        int16_t* p = reinterpret_cast<int16_t*>(MemRow(Info, y));
        if (c == 1) {
            for (uint32_t x = 0; x < Info.Width; ++x)
                p[x] = Table[LumaIndex12(p[x])];
            continue;
        }
        for (uint32_t x = 0; x < Info.Width; ++x, p += c) {
            p[0] = Table[LumaIndex12(p[0])];
            p[1] = Table[ChromaIndex12(p[1])];
            p[2] = Table[ChromaIndex12(p[2])];
        }
    }
}
