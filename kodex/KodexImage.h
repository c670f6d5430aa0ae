// The records the codec library shares with the program: the image record, an
// ICC profile and the background colour, with the stride and block rules both
// sides rely on. The program's core includes this header; nothing here depends
// on the core.
//
// Rows are stored bottom-up: memory row 0 is the picture's bottom row. Channel
// order is blue, green, red (then alpha); 2 channels are gray then alpha.
// The pixel block is page memory (platform::PageAlloc or PageAllocDirty) of
// Bpl x (Height rounded up to 4) bytes; every row starts 128-byte aligned, has
// at least 64 spare bytes, and no stride is a multiple of 1024. Kernels may
// rely on all three.
//
// The holder of a record owns its block; copying a record copies only the
// pointer, and exactly one copy may be freed (FreeImg).
#pragma once
#include "platform/PageMemory.h"

#include <cstddef>
#include <cstdint>

struct TImgInfo {
    uint8_t* Mem = nullptr; // bottom row
    uint32_t Width = 0;     // pixels per row
    uint32_t Height = 0;    // rows
    uint32_t Bpl = 0;       // bytes from one memory row to the next
    uint32_t Channels = 0;  // 1, 2, 3 or 4 bytes (or 16-bit samples in the 16-bit form)
};

// An ICC profile carried from reader to writer. Profile is a page block
// (platform::PageAlloc) owned by the holder; FreeICC releases it.
struct TICCInfo {
    char Name[80] = {};
    uint8_t* Profile = nullptr;
    uint32_t Len = 0;
};

// Background colour for flattening alpha: a leading word, then red, green,
// blue and gray, each 0..255 in a 16-bit word.
struct TBGColor {
    uint16_t Lead = 0, Red = 255, Green = 255, Blue = 255, Gray = 255;
};

// Stride of an 8-bit image: s = (Width x Channels + 191) rounded down to a
// multiple of 128, plus 128 when s is a multiple of 1024. Computed in 64 bits:
// a size from a file can never wrap into a small stride.
inline uint64_t CalcBpl(uint64_t Width, uint64_t Channels)
{
    const uint64_t s = (Width * Channels + 191) & ~uint64_t(127);
    return (s % 1024 == 0) ? s + 128 : s;
}
// Stride of the 16-bit form: the same rule on Width x Channels x 2 bytes.
inline uint64_t CalcBpl16(uint64_t Width, uint64_t Channels)
{
    return CalcBpl(Width * 2, Channels);
}

// Largest picture any reader accepts: 2^31 pixels, 2^20 rows or columns.
// More than any codec here can describe; keeps a damaged header from asking
// for absurd memory.
inline bool PictureSizeAcceptable(uint64_t Width, uint64_t Height)
{
    return Width > 0 && Height > 0 && Width <= (uint64_t(1) << 20) && Height <= (uint64_t(1) << 20) &&
        Width * Height <= (uint64_t(1) << 31);
}

// Rows that a block of Height rows holds: Height rounded up to a multiple of 4.
inline uint64_t BlockRows(uint64_t Height)
{
    return (Height + 3) & ~uint64_t(3);
}

// Zeroes what a writer of groups of rows leaves of a block of Bytes bytes:
// in each of the first Groups groups of Stride bytes, the bytes from Filled
// on, and every byte behind those groups. Kernels read a row's spare bytes
// and the rows BlockRows adds; a block taken back from an earlier picture
// (platform::PageAllocDirty) must hold there what a fresh one holds.
inline void ClearGaps(uint8_t* Mem, uint64_t Stride, uint64_t Filled, uint64_t Groups, uint64_t Bytes) noexcept
{
    if (Filled > Stride)
        Filled = Stride;
    if (Groups > Bytes / Stride)
        Groups = Bytes / Stride;
    if (Filled < Stride)
        for (uint64_t g = 0; g < Groups; ++g)
            __builtin_memset(Mem + g * Stride + Filled, 0, Stride - Filled);
    __builtin_memset(Mem + Groups * Stride, 0, Bytes - Groups * Stride);
}

// Fills Img with a new block of Width x Height x Channels (1..8) with stride
// Bpl. False, with Img empty, when a size does not fit the record or a sane
// block (2^46 bytes), or the memory cannot be had. Sizes come from files:
// everything is checked before it is multiplied. Does not free what Img held.
// FilledRowBytes 0: the block is zeroed. Otherwise the caller writes the
// first FilledRowBytes of every row before anyone reads them: the block may
// be one an earlier picture left (platform::PageAllocDirty), and only the
// rest of each row and the rows BlockRows adds are zeroed here.
inline bool NewImgBlock(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels, uint64_t Bpl,
                        uint64_t FilledRowBytes = 0) noexcept
{
    Img = TImgInfo{};
    if (Width == 0 || Height == 0 || Channels == 0 || Channels > 8 || Width > 0xFFFFFFFFu || Height > 0xFFFFFFFFu ||
        Bpl == 0 || Bpl > 0xFFFFFFFFu)
        return false;
    const uint64_t rows = BlockRows(Height);
    if (rows > (uint64_t(1) << 46) / Bpl)
        return false;
    bool fresh = true;
    void* p = FilledRowBytes ? platform::PageAllocDirty(Bpl * rows, false, &fresh) : platform::PageAlloc(Bpl * rows);
    if (!p)
        return false;
    Img.Mem = static_cast<uint8_t*>(p);
    if (!fresh)
        ClearGaps(Img.Mem, Bpl, FilledRowBytes, Height, Bpl * rows);
    Img.Width = static_cast<uint32_t>(Width);
    Img.Height = static_cast<uint32_t>(Height);
    Img.Bpl = static_cast<uint32_t>(Bpl);
    Img.Channels = Channels;
    return true;
}

// Releases the block (when there is one) and zeroes all five fields.
inline void FreeImg(TImgInfo& Img) noexcept
{
    platform::PageFree(Img.Mem);
    Img = TImgInfo{};
}

// Releases an ICC profile block and clears the record (the name stays).
inline void FreeICC(TICCInfo& ICC) noexcept
{
    platform::PageFree(ICC.Profile);
    ICC.Profile = nullptr;
    ICC.Len = 0;
}

// Memory row R (0 = bottom picture row).
inline uint8_t* MemRow(const TImgInfo& Img, uint32_t R)
{
    return Img.Mem + uint64_t(R) * Img.Bpl;
}
// Picture row Y in top-down picture coordinates.
inline uint8_t* ScanLine(const TImgInfo& Img, uint32_t Y)
{
    return Img.Mem + uint64_t(Img.Height - Y - 1) * Img.Bpl;
}
