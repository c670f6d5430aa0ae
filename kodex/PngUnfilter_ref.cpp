#include "kodex/PngUnfilter.h"

#include <cstdlib>

namespace kodex::ref {

namespace {

// The predictor nearest to A + B - C of A (left), B (above), C (above
// left), ties going to A, then B.
inline uint8_t Paeth(uint8_t A, uint8_t B, uint8_t C)
{
    const int pa = std::abs(int(B) - C), pb = std::abs(int(A) - C), pc = std::abs(int(A) + B - 2 * C);
    if (pa <= pb && pa <= pc)
        return A;
    return pb <= pc ? B : C;
}

} // namespace

bool UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prev, uint32_t N, uint32_t Bpp) noexcept
{
    const uint32_t lead = Bpp < N ? Bpp : N;
    switch (Type) {
    case 0:
        return true;
    case 1:
        for (uint32_t i = lead; i < N; ++i)
            Row[i] = uint8_t(Row[i] + Row[i - Bpp]);
        return true;
    case 2:
        for (uint32_t i = 0; i < N; ++i)
            Row[i] = uint8_t(Row[i] + Prev[i]);
        return true;
    case 3:
        for (uint32_t i = 0; i < lead; ++i)
            Row[i] = uint8_t(Row[i] + (Prev[i] >> 1));
        for (uint32_t i = lead; i < N; ++i)
            Row[i] = uint8_t(Row[i] + ((Row[i - Bpp] + Prev[i]) >> 1));
        return true;
    case 4:
        for (uint32_t i = 0; i < lead; ++i)
            Row[i] = uint8_t(Row[i] + Prev[i]);
        for (uint32_t i = lead; i < N; ++i)
            Row[i] = uint8_t(Row[i] + Paeth(Row[i - Bpp], Prev[i], Prev[i - Bpp]));
        return true;
    default:
        return false;
    }
}

} // namespace kodex::ref
