// The image data of a PNG file: every row filtered (one filter byte and the
// row's bytes) and the whole deflated into one zlib stream, the payload that
// the IDAT chunks carry.
//
// A picture of moderate size is filtered into one buffer and compressed in a
// single libdeflate call (its level n compresses about as well as zlib's
// level n, in half the time or less). A large picture is cut into bands of
// rows that zlib compresses, several threads at once: each band is primed
// with the 32 KB of filtered data before it and ends on a sync flush, so the
// bands join into one stream that any inflater reads, the file stays within a
// fraction of a percent of the one-stream size, and memory holds a few bands
// instead of the whole filtered picture. Which way is taken depends on the
// size alone: the same picture gives the same bytes whatever the threads.
#pragma once
#include "kodex/KodexImage.h"

#include <cstddef>
#include <cstdint>

namespace kodex {

struct TPngDataFormat {
    uint32_t RowBytes = 0;  // bytes of one row as stored in the file (without the filter byte)
    uint32_t Bpp = 1;       // bytes per complete pixel for the filters (at least 1)
    bool SwapRB = false;    // pixels are blue, green, red (alpha): store red first
    bool FourBit = false;   // one index byte per pixel packed to two pixels per byte
    uint8_t Filters = 0x08; // PNG_FILTER_NONE 0x08 .. PNG_FILTER_PAETH 0x80; several: chosen per row
};

// The format of Img's rows in a file: 1 to 4 channels of 8 bits, or indices
// (Palette) packed to 4 bits when FourBit. FilterFlags are the caller's filter
// choice (0: none for indices, all five otherwise); filters that cannot help a
// picture of one row or one sample per row are dropped.
TPngDataFormat PngDataFormat(const TImgInfo& Img, bool Palette, bool FourBit, int FilterFlags);

// Receives the zlib stream in order, on the calling thread; false stops the
// encoding (a write failed).
using TPngDataSink = bool (*)(void* Context, const uint8_t* Data, size_t Size);

// Where the bands begin: pictures of at least BandFrom bytes of filtered
// data are cut into bands of about BandBytes (whole rows, at least one).
struct TPngDataPlan {
    uint64_t BandFrom = uint64_t(16) << 20;
    uint64_t BandBytes = uint64_t(1) << 20;
};

// Filters and compresses Img (top row first) at zlib level Level (0..9) and
// hands the stream to Sink. Threads: how many threads the caller lets it use
// (below 2: only its own). False when memory could not be had or Sink failed;
// never throws.
bool EncodePngData(const TImgInfo& Img, const TPngDataFormat& Fmt, int Level, int Threads, TPngDataSink Sink,
                   void* Context, const TPngDataPlan& Plan = {}) noexcept;

} // namespace kodex
