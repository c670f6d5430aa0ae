// The rows of a PNG picture without interlacing, decoded without libpng's
// row reader: the image data is inflated with libdeflate in one call when
// the filtered rows are small enough to hold at once (their size is known
// from the header), else with zlib a row at a time; the rows are unfiltered
// with the vector kernels and converted as libpng's transforms would (16-bit
// samples scaled, indices and small grays expanded, the transparent key or
// palette entries turned into alpha, red and blue swapped). Anything
// unexpected (a damaged chunk or stream) is left to libpng, which then says
// what is wrong.
#pragma once
#include <png.h>

#include <cstddef>
#include <cstdint>

namespace kodex {

// The header facts, as libpng read them.
struct TPngLayout {
    uint32_t Width = 0, Height = 0;
    int Depth = 8, Type = 0;
    png_colorp Palette = nullptr;
    int PaletteCount = 0;
    png_bytep TransAlpha = nullptr; // alpha of the first TransCount palette entries
    int TransCount = 0;
    bool HasKey = false; // a transparent gray or colour (Key, in the file's bits)
    png_color_16 Key{};
};

// Channels of the converted rows: gray (with alpha), or blue, green, red (and alpha).
uint32_t PngRowChannels(const TPngLayout& L);

enum class TPngRowsResult { Done, Fallback, Cancelled };

// Where converted row Y (top-down) goes; null stops the decode (Cancelled).
using TPngRowTarget = uint8_t* (*)(void* Context, uint32_t Y);

// Filtered rows up to this many bytes are inflated in one call.
constexpr uint64_t kPngInflateWhole = uint64_t(64) << 20;

// Decodes every row from the run of IDAT chunks starting at Pos (a chunk's
// first byte) and hands it to Target in order. Fallback: the data is not as
// expected (some rows may have been written). Release: Data is a read-only
// file mapping, and the pages of chunks inflated row by row are given back
// (the system reads them again should anyone look). Never throws.
TPngRowsResult DecodePngRows(const uint8_t* Data, size_t Size, size_t Pos, const TPngLayout& L, TPngRowTarget Target,
                             void* Context, uint64_t WholeLimit = kPngInflateWhole, bool Release = false) noexcept;

} // namespace kodex
