// The vector form of the row unfilters: one pixel of 2, 3, 4, 6 or 8 bytes at a
// time in 16-bit lanes (the sums of the average and Paeth filters need nine
// bits). Rows of other pixel sizes and the up filter, which the compiler
// vectorises by itself, take the plain form.
#include "kodex/PngUnfilter.h"

#include <emmintrin.h>

#include <cstring>

namespace kodex {

namespace {

// Bytes bytes of a row as 16-bit lanes.
template <uint32_t Bytes> inline __m128i Load(const uint8_t* P)
{
    if constexpr (Bytes == 4) {
        uint32_t v;
        std::memcpy(&v, P, 4);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
    } else {
        uint64_t v = 0;
        std::memcpy(&v, P, Bytes);
        return _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(v)), _mm_setzero_si128());
    }
}

// Stores the low bytes of the first Bytes 16-bit lanes (which must be 0..255).
template <uint32_t Bytes> inline void Store(uint8_t* P, __m128i V)
{
    const __m128i b = _mm_packus_epi16(V, V);
    if constexpr (Bytes == 4) {
        const uint32_t v = uint32_t(_mm_cvtsi128_si32(b));
        std::memcpy(P, &v, 4);
    } else {
        const uint64_t v = uint64_t(_mm_cvtsi128_si64(b));
        std::memcpy(P, &v, Bytes);
    }
}

inline __m128i Abs16(__m128i V)
{
    return _mm_max_epi16(V, _mm_sub_epi16(_mm_setzero_si128(), V));
}

enum TKind { kSub, kAvg, kPaeth };

// Pixels of 3 and 6 bytes are loaded as 4 and 8 (whole registers; the extra
// lanes, bytes of the next pixel, are worked but never stored) and stored at
// their own size, so that no load overlaps the store before it. The last
// pixel, with nothing behind it, is loaded at its own size.
template <TKind Kind, uint32_t Bpp, uint32_t Bytes>
inline void Step(uint8_t* Row, const uint8_t* Prev, uint32_t I, __m128i& A, __m128i& C)
{
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i pred;
    if constexpr (Kind == kSub) {
        pred = A;
    } else if constexpr (Kind == kAvg) {
        pred = _mm_srli_epi16(_mm_add_epi16(A, Load<Bytes>(Prev + I)), 1);
    } else {
        const __m128i b = Load<Bytes>(Prev + I);
        const __m128i bc = _mm_sub_epi16(b, C), ac = _mm_sub_epi16(A, C);
        const __m128i pa = Abs16(bc), pb = Abs16(ac), pc = Abs16(_mm_add_epi16(bc, ac));
        // Not A where pa > pb or pa > pc; then not B where pb > pc.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_or_si128(_mm_andnot_si128(notB, b), _mm_and_si128(notB, C));
        pred = _mm_or_si128(_mm_andnot_si128(notA, A), _mm_and_si128(notA, bOrC));
        C = b;
    }
    A = _mm_and_si128(_mm_add_epi16(Load<Bytes>(Row + I), pred), low);
    Store<Bpp>(Row + I, A);
}

template <TKind Kind, uint32_t Bpp> void Run(uint8_t* Row, const uint8_t* Prev, uint32_t N)
{
    constexpr uint32_t wide = Bpp == 3 ? 4 : Bpp == 6 ? 8 : Bpp;
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    uint32_t i = 0;
    for (; i + wide <= N; i += Bpp)
        Step<Kind, Bpp, wide>(Row, Prev, i, a, c);
    for (; i < N; i += Bpp)
        Step<Kind, Bpp, Bpp>(Row, Prev, i, a, c);
}

template <uint32_t Bpp> bool Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prev, uint32_t N)
{
    switch (Type) {
    case 1:
        Run<kSub, Bpp>(Row, Prev, N);
        return true;
    case 3:
        Run<kAvg, Bpp>(Row, Prev, N);
        return true;
    case 4:
        Run<kPaeth, Bpp>(Row, Prev, N);
        return true;
    default:
        return ref::UnfilterRow(Type, Row, Prev, N, Bpp);
    }
}

} // namespace

bool UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prev, uint32_t N, uint32_t Bpp) noexcept
{
    if (Type > 4)
        return false;
    if (N % Bpp == 0) {
        switch (Bpp) {
        case 2:
            return Unfilter<2>(Type, Row, Prev, N);
        case 3:
            return Unfilter<3>(Type, Row, Prev, N);
        case 4:
            return Unfilter<4>(Type, Row, Prev, N);
        case 6:
            return Unfilter<6>(Type, Row, Prev, N);
        case 8:
            return Unfilter<8>(Type, Row, Prev, N);
        default:
            break;
        }
    }
    return ref::UnfilterRow(Type, Row, Prev, N, Bpp);
}

} // namespace kodex
