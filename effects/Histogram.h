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
// Y, Cb, Cr bytes, 3 per pixel, in Dst (JFIF weights in 16-bit fixed point,
// Y rounded half up, chroma centred on 128, saturated to 0..255):
//   Y  = (19595 R + 38470 G +  7471 B + 32768) >> 16
//   Cb = (-11059 R - 21709 G + 32768 B + K) >> 16
//   Cr = ( 32768 R - 27439 G -  5329 B + K) >> 16,  K = 128 x 65536 + 32767.
// Dst holds 3 x Width bytes (CalcHistogram gives it room for Width rounded up
// to 16 pixels, so that a wider converter may write whole steps).
using THistogramConvProc = void (*)(const uint8_t* Src, uint8_t* Dst, uint32_t Width, uint32_t Channels);
void HistogramToYCbCrRef(const uint8_t* Src, uint8_t* Dst, uint32_t Width, uint32_t Channels);
// The converter that CalcHistogram uses.
extern THistogramConvProc HistogramToYCbCr;
