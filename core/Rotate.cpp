#include "core/Rotate.h"

#include <algorithm>
#include <cstring>

namespace {

// Source pixels are visited in 64 x 64 tiles so that both the rows read and
// the rows written stay in cache while a tile is turned.
constexpr uint32_t Tile = 64;

template <uint32_t N> inline void CopyPixel(uint8_t* D, const uint8_t* S)
{
    std::memcpy(D, S, N);
}

template <uint32_t N> inline void SwapPixel(uint8_t* A, uint8_t* B)
{
    uint8_t t[N];
    std::memcpy(t, A, N);
    std::memcpy(A, B, N);
    std::memcpy(B, t, N);
}

template <uint32_t N> void Rotate90(const TImgInfo& Src, TImgInfo& Dst, bool Clockwise)
{
    const uint32_t W = Src.Width, H = Src.Height; // Dst is H x W
    for (uint32_t y0 = 0; y0 < Dst.Height; y0 += Tile) {
        const uint32_t y1 = std::min(y0 + Tile, Dst.Height);
        for (uint32_t x0 = 0; x0 < Dst.Width; x0 += Tile) {
            const uint32_t x1 = std::min(x0 + Tile, Dst.Width);
            for (uint32_t y = y0; y < y1; ++y) {
                uint8_t* d = ScanLine(Dst, y) + uint64_t(x0) * N;
                if (Clockwise) {
                    // new(x, y) = old(y, H - 1 - x): walk up the old column y.
                    const uint8_t* s = ScanLine(Src, H - 1 - x0) + uint64_t(y) * N;
                    // Picture row H - 1 - x is memory row x, so the next
                    // destination pixel lies one stride further up in memory.
                    for (uint32_t x = x0; x < x1; ++x, d += N, s += Src.Bpl)
                        CopyPixel<N>(d, s);
                } else {
                    // new(x, y) = old(W - 1 - y, x): walk down the old column.
                    const uint8_t* s = ScanLine(Src, x0) + uint64_t(W - 1 - y) * N;
                    for (uint32_t x = x0; x < x1; ++x, d += N, s -= Src.Bpl)
                        CopyPixel<N>(d, s);
                }
            }
        }
    }
}

template <uint32_t N> void ReverseRow(uint8_t* Row, uint32_t W)
{
    uint8_t* a = Row;
    uint8_t* b = Row + uint64_t(W - 1) * N;
    for (; a < b; a += N, b -= N)
        SwapPixel<N>(a, b);
}

template <uint32_t N> void Rotate180(TImgInfo& Img)
{
    const uint32_t W = Img.Width, H = Img.Height;
    for (uint32_t i = 0; i < H / 2; ++i) {
        uint8_t* a = MemRow(Img, i);
        uint8_t* b = MemRow(Img, H - 1 - i) + uint64_t(W - 1) * N;
        for (uint32_t j = 0; j < W; ++j, a += N, b -= N)
            SwapPixel<N>(a, b);
    }
    if (H % 2)
        ReverseRow<N>(MemRow(Img, H / 2), W);
}

template <uint32_t N> void Mirror(TImgInfo& Img)
{
    for (uint32_t i = 0; i < Img.Height; ++i)
        ReverseRow<N>(MemRow(Img, i), Img.Width);
}

bool Usable(const TImgInfo& Img)
{
    return Img.Mem && Img.Width && Img.Height && Img.Channels >= 1 && Img.Channels <= 4;
}

} // namespace

void RotateImage90(TImgInfo& Img, bool Clockwise)
{
    if (!Usable(Img))
        return;
    TImgInfo r;
    AllocFilledImg(r, Img.Height, Img.Width, Img.Channels); // throws before Img changes
    switch (Img.Channels) {
    case 1:
        Rotate90<1>(Img, r, Clockwise);
        break;
    case 2:
        Rotate90<2>(Img, r, Clockwise);
        break;
    case 3:
        Rotate90<3>(Img, r, Clockwise);
        break;
    default:
        Rotate90<4>(Img, r, Clockwise);
        break;
    }
    FreeImg(Img);
    Img = r;
}

void RotateImage180(TImgInfo& Img)
{
    if (!Usable(Img))
        return;
    switch (Img.Channels) {
    case 1:
        Rotate180<1>(Img);
        break;
    case 2:
        Rotate180<2>(Img);
        break;
    case 3:
        Rotate180<3>(Img);
        break;
    default:
        Rotate180<4>(Img);
        break;
    }
}

void MirrorImage(TImgInfo& Img)
{
    if (!Usable(Img))
        return;
    switch (Img.Channels) {
    case 1:
        Mirror<1>(Img);
        break;
    case 2:
        Mirror<2>(Img);
        break;
    case 3:
        Mirror<3>(Img);
        break;
    default:
        Mirror<4>(Img);
        break;
    }
}

void FlipImage(TImgInfo& Img)
{
    if (!Usable(Img))
        return;
    // Whole 4-byte words: the stride always has room for the last partial one.
    const uint64_t bytes = (uint64_t(Img.Width) * Img.Channels + 3) & ~uint64_t(3);
    for (uint32_t i = 0; i < Img.Height / 2; ++i) {
        uint8_t* a = MemRow(Img, i);
        std::swap_ranges(a, a + bytes, MemRow(Img, Img.Height - 1 - i));
    }
}
