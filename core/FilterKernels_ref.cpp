// Scalar reference of every pass kernel. The SIMD families must give exactly
// these bytes; the arithmetic here is the definition (see FilterKernels.h).
#include "core/FilterKernels.h"
#include "core/Filter.h"

#include <cmath>
#include <cstring>

namespace {

using kern::WeightCount;

// Integer accumulators wrap like the SIMD registers do (never in practice:
// see the bound in FilterKernels.h), so the reference has no undefined overflow.
inline int32_t Madd(int32_t Acc, int16_t Wa, int16_t Wb, int32_t Sa, int32_t Sb)
{
    return int32_t(uint32_t(Acc) + uint32_t(int32_t(Wa) * Sa) + uint32_t(int32_t(Wb) * Sb));
}

inline uint8_t IntRound(int32_t Acc)
{
    const int32_t v = int32_t(uint32_t(Acc) + 8192u) >> 14;
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline int16_t IntRound16(int32_t Acc)
{
    const int32_t v = int32_t(uint32_t(Acc) + 8192u) >> 14;
    return int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

// Round to nearest (ties to even) and saturate to 0..255. NaN gives 0, as
// the SIMD max/min sequence does.
inline uint8_t FloatRound(float V)
{
    V = V > 0.0f ? V : 0.0f;
    V = V < 255.0f ? V : 255.0f;
    return uint8_t(std::lrintf(V));
}

inline uint8_t LinearOut(float V)
{
    V = V > 0.0f ? V : 0.0f;
    V = V < 8192.0f ? V : 8192.0f;
    return LinearToSRGB8[std::lrintf(V)];
}

// Colour of a premultiplied sum: divided by the alpha sum when that exceeds
// 0.5, else 0.
inline float Unpremultiply(float C, float A)
{
    return A > 0.5f ? C / A : 0.0f;
}

// ---------------------------------------------------------------- integer

// Work memory, 1 channel: per pixel pair 16 bytes = rows 0..3 (p, p + 1) as int16.
void IntConvert1(int16_t* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    const uint32_t pairs = (Width + 1) / 2;
    for (uint32_t q = 0; q < pairs; ++q)
        for (uint32_t r = 0; r < 4; ++r) {
            W[q * 8 + r * 2] = Src[r * Bpl + 2 * q];
            W[q * 8 + r * 2 + 1] = Src[r * Bpl + 2 * q + 1];
        }
}

template <bool Final>
void IntH1(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
           uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    auto* w16 = reinterpret_cast<int16_t*>(Work);
    for (uint32_t it = 0; it < Count; ++it) {
        IntConvert1(w16, Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const int16_t* s = w16 + Info[2 * x] / 2;
            const auto* wt = reinterpret_cast<const int16_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            int32_t acc[4] = {0, 0, 0, 0};
            for (uint32_t j = 0; j < p; ++j)
                for (uint32_t r = 0; r < 4; ++r)
                    acc[r] = Madd(acc[r], wt[2 * j], wt[2 * j + 1], s[j * 8 + r * 2], s[j * 8 + r * 2 + 1]);
            for (uint32_t r = 0; r < 4; ++r) {
                if (Final)
                    Dest[r * DestBpl + x] = IntRound(acc[r]);
                else
                    Dest[(r & 2) * DestBpl + 2 * x + (r & 1)] = IntRound(acc[r]);
            }
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

// 3 channels: per pixel pair 48 bytes = for B, G, R: rows 0..3 (p, p + 1).
void IntConvert3(int16_t* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    const uint32_t pairs = (Width + 1) / 2;
    for (uint32_t q = 0; q < pairs; ++q)
        for (uint32_t c = 0; c < 3; ++c)
            for (uint32_t r = 0; r < 4; ++r) {
                W[q * 24 + c * 8 + r * 2] = Src[r * Bpl + 6 * q + c];
                W[q * 24 + c * 8 + r * 2 + 1] = Src[r * Bpl + 6 * q + 3 + c];
            }
}

template <bool Final>
void IntH3(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
           uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    auto* w16 = reinterpret_cast<int16_t*>(Work);
    for (uint32_t it = 0; it < Count; ++it) {
        IntConvert3(w16, Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const int16_t* s = w16 + Info[2 * x] / 2;
            const auto* wt = reinterpret_cast<const int16_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            int32_t acc[3][4] = {};
            for (uint32_t j = 0; j < p; ++j)
                for (uint32_t c = 0; c < 3; ++c)
                    for (uint32_t r = 0; r < 4; ++r)
                        acc[c][r] = Madd(acc[c][r], wt[2 * j], wt[2 * j + 1], s[j * 24 + c * 8 + r * 2],
                                         s[j * 24 + c * 8 + r * 2 + 1]);
            for (uint32_t r = 0; r < 4; ++r)
                for (uint32_t c = 0; c < 3; ++c) {
                    if (Final)
                        Dest[r * DestBpl + 3 * x + c] = IntRound(acc[c][r]);
                    else
                        Dest[(r & 2) * DestBpl + 6 * x + 2 * c + (r & 1)] = IntRound(acc[c][r]);
                }
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

// Direct: from 8-bit rows (a pair of rows per weight pair), else from the
// interleaved temporary.
template <bool Direct>
void IntV(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows, size_t DestBpl,
          size_t SrcBpl)
{
    const size_t second = Direct ? SrcBpl : 1; // the odd row's sample, from the even one's
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const int16_t*>(Info[2 * y + 1]);
        const uint32_t p = WeightCount(wt);
        for (uint32_t b = 0; b < Count * 8; ++b) {
            int32_t acc = 0;
            for (uint32_t j = 0; j < p; ++j) {
                const uint8_t* pr = s + j * 2 * SrcBpl + (Direct ? b : 2 * b);
                acc = Madd(acc, wt[2 * j], wt[2 * j + 1], pr[0], pr[second]);
            }
            Dest[b] = IntRound(acc);
        }
        Dest += DestBpl;
    }
}

// ----------------------------------------------------------- integer RGBA

inline int16_t Premul(const uint8_t* Px, uint32_t C)
{
    return C == 3 ? int16_t(Px[3]) : int16_t((uint32_t(Px[C]) * Px[3]) >> 2);
}

// Integer sums to a pixel: colour scaled by 2^-12, alpha by 2^-14.
inline void IntRGBAOut(uint8_t* D, const int32_t* Acc)
{
    const float a = float(Acc[3]) * (1.0f / 16384.0f);
    for (uint32_t c = 0; c < 3; ++c)
        D[c] = FloatRound(Unpremultiply(float(Acc[c]) * (1.0f / 4096.0f), a));
    D[3] = FloatRound(a);
}

// Work: per pixel pair 32 bytes = row 0 then row 1, each B B G G R R A A (p, p + 1).
template <bool Final>
void IntRGBAH(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
              uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    auto* w16 = reinterpret_cast<int16_t*>(Work);
    const uint32_t pairs = (SrcWidth + 1) / 2;
    for (uint32_t it = 0; it < Count; ++it) {
        for (uint32_t q = 0; q < pairs; ++q)
            for (uint32_t r = 0; r < 2; ++r)
                for (uint32_t c = 0; c < 4; ++c)
                    for (uint32_t k = 0; k < 2; ++k)
                        w16[q * 16 + r * 8 + c * 2 + k] = Premul(Src + r * SrcBpl + (2 * q + k) * 4, c);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const int16_t* s = w16 + Info[2 * x] / 2;
            const auto* wt = reinterpret_cast<const int16_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            int32_t acc[2][4] = {};
            for (uint32_t j = 0; j < p; ++j)
                for (uint32_t r = 0; r < 2; ++r)
                    for (uint32_t c = 0; c < 4; ++c)
                        acc[r][c] = Madd(acc[r][c], wt[2 * j], wt[2 * j + 1], s[j * 16 + r * 8 + c * 2],
                                         s[j * 16 + r * 8 + c * 2 + 1]);
            if (Final) {
                for (uint32_t r = 0; r < 2; ++r)
                    IntRGBAOut(Dest + r * DestBpl + 4 * x, acc[r]);
            } else {
                auto* d = reinterpret_cast<int16_t*>(Dest + 16 * size_t(x));
                for (uint32_t c = 0; c < 4; ++c)
                    for (uint32_t r = 0; r < 2; ++r)
                        d[c * 2 + r] = IntRound16(acc[r][c]);
            }
        }
        Src += 2 * SrcBpl;
        Dest += 2 * DestBpl;
    }
}

// Direct: from 8-bit pixels, premultiplied here; else from the temporary.
template <bool Direct>
void IntRGBAV(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows,
              size_t DestBpl, size_t SrcBpl)
{
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const int16_t*>(Info[2 * y + 1]);
        const uint32_t p = WeightCount(wt);
        for (uint32_t px = 0; px < Count * 2; ++px) {
            int32_t acc[4] = {};
            for (uint32_t j = 0; j < p; ++j) {
                const uint8_t* a = s + j * 2 * SrcBpl + (Direct ? 4 : 16) * size_t(px);
                const auto* v = reinterpret_cast<const int16_t*>(a);
                for (uint32_t c = 0; c < 4; ++c)
                    acc[c] = Direct ? Madd(acc[c], wt[2 * j], wt[2 * j + 1], Premul(a, c), Premul(a + SrcBpl, c))
                                    : Madd(acc[c], wt[2 * j], wt[2 * j + 1], v[2 * c], v[2 * c + 1]);
            }
            IntRGBAOut(Dest + 4 * px, acc);
        }
        Dest += DestBpl;
    }
}

// ------------------------------------------------------- float and linear
//
// Linear selects the input table and the output lookup; RGBA premultiplies.

inline float In16(const uint8_t* Row, uint32_t P)
{
    uint16_t v;
    std::memcpy(&v, Row + 2 * size_t(P), 2);
    return SRGB12ToLinear[v < 4080 ? v : 4080];
}

template <bool Linear> inline float In(uint8_t V)
{
    return Linear ? SRGB8ToLinear[V] : float(V);
}

template <bool Linear> inline uint8_t Out(float V)
{
    return Linear ? LinearOut(V) : FloatRound(V);
}

// 1 and 3 channels. Work: per source pixel C x 4 floats: for each channel,
// rows 0..3. Wide: 16-bit samples on the 12-bit scale, linear light.
template <bool Linear, uint32_t C, bool Final, bool Wide = false>
void FloatH(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
            uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    auto* wf = reinterpret_cast<float*>(Work);
    for (uint32_t it = 0; it < Count; ++it) {
        for (uint32_t p = 0; p < SrcWidth; ++p)
            for (uint32_t c = 0; c < C; ++c)
                for (uint32_t r = 0; r < 4; ++r)
                    wf[p * C * 4 + c * 4 + r] =
                        Wide ? In16(Src + r * SrcBpl, p) : In<Linear>(Src[r * SrcBpl + p * C + c]);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const float* s = wf + Info[2 * x] / 4;
            const auto* wt = reinterpret_cast<const float*>(Info[2 * x + 1]);
            const uint32_t n = WeightCount(wt);
            for (uint32_t c = 0; c < C; ++c)
                for (uint32_t r = 0; r < 4; ++r) {
                    float acc = 0.0f;
                    for (uint32_t k = 0; k < n; ++k)
                        acc = acc + wt[k] * s[k * C * 4 + c * 4 + r];
                    if (Final)
                        Dest[r * DestBpl + C * x + c] = Out<Linear>(acc);
                    else
                        reinterpret_cast<float*>(Dest + r * DestBpl)[C * x + c] = acc;
                }
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
}

// Direct: from 8-bit rows, else from float rows.
template <bool Linear, bool Direct>
void FloatV(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows, size_t DestBpl,
            size_t SrcBpl)
{
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const float*>(Info[2 * y + 1]);
        const uint32_t n = WeightCount(wt);
        for (uint32_t b = 0; b < Count * 16; ++b) {
            float acc = 0.0f;
            for (uint32_t k = 0; k < n; ++k) {
                const uint8_t* row = s + k * SrcBpl;
                acc = acc + wt[k] * (Direct ? In<Linear>(row[b]) : reinterpret_cast<const float*>(row)[b]);
            }
            Dest[b] = Out<Linear>(acc);
        }
        Dest += DestBpl;
    }
}

// RGBA: premultiplied colour and alpha of one pixel as 4 floats.
template <bool Linear> inline void PremulF(float* D, const uint8_t* Px)
{
    const float a = float(Px[3]);
    for (uint32_t c = 0; c < 3; ++c)
        D[c] = In<Linear>(Px[c]) * a;
    D[3] = a;
}

template <bool Linear> inline void RGBAOut(uint8_t* D, const float* Acc)
{
    for (uint32_t c = 0; c < 3; ++c)
        D[c] = Out<Linear>(Unpremultiply(Acc[c], Acc[3]));
    D[3] = FloatRound(Acc[3]);
}

// Work: per source pixel 32 bytes = row 0 (B G R A), row 1.
template <bool Linear, bool Final>
void FloatRGBAH(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
                uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    auto* wf = reinterpret_cast<float*>(Work);
    for (uint32_t it = 0; it < Count; ++it) {
        for (uint32_t p = 0; p < SrcWidth; ++p)
            for (uint32_t r = 0; r < 2; ++r)
                PremulF<Linear>(wf + p * 8 + r * 4, Src + r * SrcBpl + 4 * p);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const float* s = wf + Info[2 * x] / 4;
            const auto* wt = reinterpret_cast<const float*>(Info[2 * x + 1]);
            const uint32_t n = WeightCount(wt);
            for (uint32_t r = 0; r < 2; ++r) {
                float acc[4];
                for (uint32_t c = 0; c < 4; ++c) {
                    acc[c] = 0.0f;
                    for (uint32_t k = 0; k < n; ++k)
                        acc[c] = acc[c] + wt[k] * s[k * 8 + r * 4 + c];
                }
                if (Final)
                    RGBAOut<Linear>(Dest + r * DestBpl + 4 * x, acc);
                else
                    std::memcpy(Dest + r * DestBpl + 16 * size_t(x), acc, 16);
            }
        }
        Src += 2 * SrcBpl;
        Dest += 2 * DestBpl;
    }
}

// Direct: from 8-bit pixels, premultiplied here; else from the float temporary.
template <bool Linear, bool Direct>
void FloatRGBAV(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows,
                size_t DestBpl, size_t SrcBpl)
{
    for (uint32_t y = 0; y < DestRows; ++y) {
        const uint8_t* s = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const float*>(Info[2 * y + 1]);
        const uint32_t n = WeightCount(wt);
        for (uint32_t px = 0; px < Count * 2; ++px) {
            float acc[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (uint32_t k = 0; k < n; ++k) {
                float v[4];
                if (Direct)
                    PremulF<Linear>(v, s + k * SrcBpl + 4 * size_t(px));
                else
                    std::memcpy(v, s + k * SrcBpl + 16 * size_t(px), 16);
                for (uint32_t c = 0; c < 4; ++c)
                    acc[c] = acc[c] + wt[k] * v[c];
            }
            RGBAOut<Linear>(Dest + 4 * px, acc);
        }
        Dest += DestBpl;
    }
}

} // namespace

namespace kern {

uint64_t IntHWorkSize(uint64_t Width, uint32_t Channels)
{
    // Conversion runs in groups of 8 pixels; room for two items side by side
    // (the AVX2 kernels convert two at once).
    const uint64_t pairs = (Width + 7) / 8 * 4;
    const uint64_t per = Channels == 1 ? IntStep1 : Channels == 3 ? IntStep3 : IntRGBAStep;
    return 2 * pairs * per + 64;
}

uint64_t FloatHWorkSize(uint64_t Width, uint32_t Channels)
{
    const uint64_t px = (Width + 7) / 8 * 8;
    const uint64_t per = Channels == 1 ? FloatStep1 : Channels == 3 ? FloatStep3 : FloatRGBAStep;
    return px * per + 64;
}

} // namespace kern

const TResizeKernels RefResizeKernels = {
    "scalar",
    IntH1<false>,
    IntH1<true>,
    IntH3<false>,
    IntH3<true>,
    IntV<false>,
    IntV<true>,
    IntRGBAH<false>,
    IntRGBAH<true>,
    IntRGBAV<false>,
    IntRGBAV<true>,
    FloatH<false, 1, false>,
    FloatH<false, 1, true>,
    FloatH<false, 3, false>,
    FloatH<false, 3, true>,
    FloatV<false, false>,
    FloatV<false, true>,
    FloatRGBAH<false, false>,
    FloatRGBAH<false, true>,
    FloatRGBAV<false, false>,
    FloatRGBAV<false, true>,
    FloatH<true, 1, false>,
    FloatH<true, 1, true>,
    FloatH<true, 3, false>,
    FloatH<true, 3, true>,
    FloatV<true, false>,
    FloatV<true, true>,
    FloatRGBAH<true, false>,
    FloatRGBAH<true, true>,
    FloatRGBAV<true, false>,
    FloatRGBAV<true, true>,
    FloatH<true, 1, false, true>,
};
