// Six-table histogram of a picture, counted in bands on a fork-join pool.
//
// The counters are 6 tables of 256 unsigned 32-bit counts (1,536 in all), in
// this order: pixel byte 0, byte 1, byte 2 (blue, green, red of BGR / BGRA
// pixels), then luma Y, Cb, Cr (chroma centred on 128). A 1-channel picture
// is counted into table 0, which is then copied into table 3. Pictures with 2
// channels (gray and alpha) are not counted.
#pragma once
#include "core/ImgInfo.h"

#include <cstdint>

class TMultiThread;

inline constexpr int HistogramTables = 6;
inline constexpr int HistogramCounters = HistogramTables * 256;

// Counting modes: which tables of a 3- or 4-channel picture are filled.
enum : int {
    HistogramRGB = 1,   // tables 0-2 from the pixel bytes
    HistogramYCbCr = 2, // tables 3-5 from the converted pixels
    HistogramAll = 3,   // all six
};

// Fills Counts (HistogramCounters entries, owned by the caller) for Img in
// Mode; tables the mode does not fill are zero. Band i of n threads counts rows
// [Height x i / n, Height x (i + 1) / n) into its own table, and the tables are
// summed after the join, so the result does not depend on the thread count.
// Pool may be null: one band on the calling thread. Raises EOutOfMemory when
// the work tables cannot be had (Counts is then unspecified).
void CalcHistogram(const TImgInfo& Img, uint32_t* Counts, int Mode, TMultiThread* Pool);

// Converts Width pixels of a 3- or 4-channel (Channels) BGR(A) row into
// three planes of Y, Cb and Cr bytes (JFIF weights in 16-bit fixed point, Y
// rounded half up, chroma centred on 128, saturated to 0..255):
//   Y  = (19595 R + 38470 G +  7471 B + 32768) >> 16
//   Cb = (-11059 R - 21709 G + 32768 B + K) >> 16
//   Cr = ( 32768 R - 27439 G -  5329 B + K) >> 16,  K = 128 x 65536 + 32767.
// The planes lie at Dst, Dst + S and Dst + 2 S, S = Width rounded up to 16;
// Dst is 16-byte aligned and holds 3 S bytes. SrcBytes is how many bytes of
// the row may be read (its stride): the SSE2 converter takes 16 pixels a step
// and reads up to 15 pixels past Width when the stride has room for them.
using THistogramConvProc = void (*)(const uint8_t* Src, uint32_t SrcBytes, uint8_t* Dst, uint32_t Width,
                                    uint32_t Channels);
void HistogramToYCbCrRef(const uint8_t* Src, uint32_t SrcBytes, uint8_t* Dst, uint32_t Width, uint32_t Channels);
void HistogramToYCbCrSSE2(const uint8_t* Src, uint32_t SrcBytes, uint8_t* Dst, uint32_t Width, uint32_t Channels);
// The converter that CalcHistogram uses: the SSE2 one (x86-64 baseline).
extern const THistogramConvProc HistogramToYCbCr;

// Plane stride of the converters' output.
inline uint64_t HistogramPlaneStride(uint32_t Width)
{
    return (uint64_t(Width) + 15) & ~uint64_t(15);
}

// One pixel's Y, Cb, Cr by the formulas above (the converters' reference, and
// the SSE2 converter's tail).
inline void HistogramPixelToYCbCr(const uint8_t* P, uint8_t* Y, uint8_t* Cb, uint8_t* Cr)
{
    constexpr int32_t K = 128 * 65536 + 32767;
    const int32_t b = P[0], g = P[1], r = P[2];
    const int32_t y = (19595 * r + 38470 * g + 7471 * b + 32768) >> 16;
    const int32_t cb = (-11059 * r - 21709 * g + 32768 * b + K) >> 16;
    const int32_t cr = (32768 * r - 27439 * g - 5329 * b + K) >> 16;
    *Y = uint8_t(y < 0 ? 0 : y > 255 ? 255 : y);
    *Cb = uint8_t(cb < 0 ? 0 : cb > 255 ? 255 : cb);
    *Cr = uint8_t(cr < 0 ? 0 : cr > 255 ? 255 : cr);
}
