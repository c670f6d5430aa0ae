// Plain reference of the gray row kernels: the SSE2 family must give the same bytes.
#include "core/Grayscale.h"

#include <cmath>

namespace {

inline uint8_t GrayOf(uint8_t B, uint8_t G, uint8_t R, const float* W)
{
    float v = float(R) * W[0] + float(G) * W[1];
    v = v + float(B) * W[2];
    // The same limits as maxps/minps (a NaN becomes 0), then ties to even.
    v = (v > 0.0f) ? v : 0.0f;
    v = (v < 255.0f) ? v : 255.0f;
    return uint8_t(std::nearbyint(v));
}

} // namespace

void RGBToGrayRowPlain(uint8_t* Dst, const uint8_t* Src, uint32_t Groups, const float* Weights)
{
    for (uint64_t i = 0; i < uint64_t(Groups) * 4; ++i, Src += 3)
        Dst[i] = GrayOf(Src[0], Src[1], Src[2], Weights);
}

void RGBAToGrayAlphaRowPlain(uint8_t* Row, uint32_t Groups, const float* Weights)
{
    // Pixel i is read (bytes 4i..4i+3) before bytes 2i and 2i + 1 are written.
    for (uint64_t i = 0; i < uint64_t(Groups) * 4; ++i) {
        const uint8_t* p = Row + 4 * i;
        const uint8_t a = p[3];
        const uint8_t g = GrayOf(p[0], p[1], p[2], Weights);
        Row[2 * i] = g;
        Row[2 * i + 1] = a;
    }
}
