// Undoing the PNG row filters: each row of the image data starts with a
// filter type (0 none, 1 sub, 2 up, 3 average, 4 Paeth) and predicts its
// bytes from the pixel to the left, the row above or both. The prediction
// of a byte needs the finished byte one pixel to the left, so a row is
// worked pixel by pixel; the vector form works on the bytes of one pixel at
// once. Both forms give the same bytes for every input.
#pragma once
#include <cstdint>

namespace kodex {

// Undoes filter Type on Row (N bytes) in place. Prev: the row above,
// already unfiltered (zeros for the top row); Bpp: bytes of one complete
// pixel (1 to 8; 1 for pixels smaller than a byte). False for a filter type
// that does not exist (the row is left as it was).
bool UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prev, uint32_t N, uint32_t Bpp) noexcept;

namespace ref {
// The plain form, byte by byte: the reference the vector form is held to.
bool UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prev, uint32_t N, uint32_t Bpp) noexcept;
} // namespace ref

} // namespace kodex
