// AVX2 kernels of the integer families (1, 3 channels and RGBA): the
// horizontal kernels run two row items side by side in the two halves of a
// register (both items use the same weights), the vertical kernels several
// column items.
// Same integer arithmetic as the scalar reference, so the same bytes. What
// does not fill a register (an odd last item, the last columns) goes to the
// SSE2 kernels. Only called when the processor has AVX2.
#include "core/FilterKernels.h"
#include "core/FilterKernelsSIMD.h"

#include <immintrin.h>
#include <cstring>

namespace {

using namespace kern;

inline __m256i Load256(const uint8_t* P)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
}

inline __m256i Round14(__m256i Acc)
{
    return _mm256_srai_epi32(_mm256_add_epi32(Acc, _mm256_set1_epi32(8192)), 14);
}

// Work layouts: the SSE2 layout of item 0 and of item 1 interleaved in
// 16-byte units, so one 32-byte load reads the same unit of both items and
// offsets are twice the table's.

// Row R of item 0 in the low half, of item 1 (4 rows further) in the high half.
inline __m256i Rows2(const uint8_t* S, size_t Bpl, uint32_t R)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load64(S + R * Bpl)), Load64(S + (R + 4) * Bpl), 1);
}

void Convert1(uint8_t* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    const __m256i z = _mm256_setzero_si256();
    const uint32_t groups = (Width + 7) / 8;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint8_t* s = Src + 8 * size_t(g);
        // 16-bit units are pixel pairs: gather each pair of the 4 rows.
        const __m256i a = _mm256_unpacklo_epi16(Rows2(s, Bpl, 0), Rows2(s, Bpl, 1));
        const __m256i b = _mm256_unpacklo_epi16(Rows2(s, Bpl, 2), Rows2(s, Bpl, 3));
        const __m256i lo = _mm256_unpacklo_epi32(a, b), hi = _mm256_unpackhi_epi32(a, b);
        __m256i* d = reinterpret_cast<__m256i*>(W + 128 * size_t(g));
        _mm256_store_si256(d, _mm256_unpacklo_epi8(lo, z));
        _mm256_store_si256(d + 1, _mm256_unpackhi_epi8(lo, z));
        _mm256_store_si256(d + 2, _mm256_unpacklo_epi8(hi, z));
        _mm256_store_si256(d + 3, _mm256_unpackhi_epi8(hi, z));
    }
}

template <bool Final>
void IntH1(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
           uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    for (; Count >= 2; Count -= 2) {
        Convert1(Work, Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const uint8_t* s = Work + 2 * Info[2 * x];
            const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
            uint32_t j = 0;
            for (; j + 2 <= p; j += 2) {
                acc0 = _mm256_add_epi32(acc0,
                                        _mm256_madd_epi16(Load256(s + 32 * j), _mm256_set1_epi32(Word32(wt + 4 * j))));
                acc1 = _mm256_add_epi32(
                    acc1, _mm256_madd_epi16(Load256(s + 32 * j + 32), _mm256_set1_epi32(Word32(wt + 4 * j + 4))));
            }
            if (j < p)
                acc0 = _mm256_add_epi32(acc0,
                                        _mm256_madd_epi16(Load256(s + 32 * j), _mm256_set1_epi32(Word32(wt + 4 * j))));
            __m256i v = Round14(_mm256_add_epi32(acc0, acc1));
            v = _mm256_packs_epi32(v, v);
            v = _mm256_packus_epi16(v, v);
            for (uint32_t item = 0; item < 2; ++item) {
                const uint32_t b = uint32_t(item == 0 ? _mm256_extract_epi32(v, 0) : _mm256_extract_epi32(v, 4));
                uint8_t* d = Dest + item * 4 * DestBpl;
                if (Final) {
                    d[x] = uint8_t(b);
                    d[DestBpl + x] = uint8_t(b >> 8);
                    d[2 * DestBpl + x] = uint8_t(b >> 16);
                    d[3 * DestBpl + x] = uint8_t(b >> 24);
                } else {
                    const uint16_t r01 = uint16_t(b), r23 = uint16_t(b >> 16);
                    std::memcpy(d + 2 * size_t(x), &r01, 2);
                    std::memcpy(d + 2 * DestBpl + 2 * size_t(x), &r23, 2);
                }
            }
        }
        Src += 8 * SrcBpl;
        Dest += 8 * DestBpl;
    }
    if (Count)
        (Final ? SSE2ResizeKernels.IntH1chFinal : SSE2ResizeKernels.IntH1ch)(Dest, Src, Info, Work, SrcWidth, DestWidth,
                                                                             1, DestBpl, SrcBpl);
}

void Convert3(uint8_t* W, const uint8_t* Src, uint32_t Width, size_t Bpl)
{
    const __m256i z = _mm256_setzero_si256();
    const uint32_t pairs = (Width + 1) / 2;
    for (uint32_t q = 0; q < pairs; ++q) {
        const uint8_t* s = Src + 6 * size_t(q);
        __m256i t[4];
        for (uint32_t r = 0; r < 4; ++r) {
            // Pixel p and p + 1 side by side: (B B) (G G) (R R) as 16-bit units.
            const __m256i x = Rows2(s, Bpl, r);
            t[r] = _mm256_unpacklo_epi8(x, _mm256_srli_si256(x, 3));
        }
        const __m256i a = _mm256_unpacklo_epi16(t[0], t[1]);
        const __m256i b = _mm256_unpacklo_epi16(t[2], t[3]);
        const __m256i lo = _mm256_unpacklo_epi32(a, b), hi = _mm256_unpackhi_epi32(a, b);
        __m256i* d = reinterpret_cast<__m256i*>(W + 96 * size_t(q));
        _mm256_store_si256(d, _mm256_unpacklo_epi8(lo, z));
        _mm256_store_si256(d + 1, _mm256_unpackhi_epi8(lo, z));
        _mm256_store_si256(d + 2, _mm256_unpacklo_epi8(hi, z));
    }
}

template <bool Final>
void IntH3(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
           uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    for (; Count >= 2; Count -= 2) {
        Convert3(Work, Src, SrcWidth, SrcBpl);
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const uint8_t* s = Work + 2 * Info[2 * x];
            const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            __m256i b = _mm256_setzero_si256(), g = b, r = b;
            for (uint32_t j = 0; j < p; ++j, s += 96) {
                const __m256i w = _mm256_set1_epi32(Word32(wt + 4 * j));
                b = _mm256_add_epi32(b, _mm256_madd_epi16(Load256(s), w));
                g = _mm256_add_epi32(g, _mm256_madd_epi16(Load256(s + 32), w));
                r = _mm256_add_epi32(r, _mm256_madd_epi16(Load256(s + 64), w));
            }
            b = Round14(b);
            g = Round14(g);
            r = Round14(r);
            IntOut3<Final>(Dest, x, DestBpl, _mm256_castsi256_si128(b), _mm256_castsi256_si128(g),
                           _mm256_castsi256_si128(r));
            IntOut3<Final>(Dest + 4 * DestBpl, x, DestBpl, _mm256_extracti128_si256(b, 1),
                           _mm256_extracti128_si256(g, 1), _mm256_extracti128_si256(r, 1));
        }
        Src += 8 * SrcBpl;
        Dest += 8 * DestBpl;
    }
    if (Count)
        (Final ? SSE2ResizeKernels.IntH3chFinal : SSE2ResizeKernels.IntH3ch)(Dest, Src, Info, Work, SrcWidth, DestWidth,
                                                                             1, DestBpl, SrcBpl);
}

// Vertical: four items (32 result bytes) per step; each item's 16 interleaved
// bytes widen in order to 16 words, so its 8 sums come out in column order.
template <bool Direct>
void IntVT(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows, size_t DestBpl,
           size_t SrcBpl)
{
    const size_t in = Direct ? 8 : 16;
    const uint32_t wide = Count & ~3u;
    for (uint32_t y = 0; y < DestRows && wide; ++y) {
        const uint8_t* s0 = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * y + 1]);
        const uint32_t p = WeightCount(wt);
        uint8_t* d = Dest + y * DestBpl;
        for (uint32_t i = 0; i < wide; i += 4) {
            __m256i a[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                            _mm256_setzero_si256()};
            const uint8_t* s = s0 + i * in;
            for (uint32_t j = 0; j < p; ++j, s += 2 * SrcBpl) {
                const __m256i w = _mm256_set1_epi32(Word32(wt + 4 * j));
                for (uint32_t k = 0; k < 4; ++k) {
                    const __m128i pair =
                        Direct ? _mm_unpacklo_epi8(Load64(s + 8 * k), Load64(s + SrcBpl + 8 * k)) : Load(s + 16 * k);
                    a[k] = _mm256_add_epi32(a[k], _mm256_madd_epi16(_mm256_cvtepu8_epi16(pair), w));
                }
            }
            const __m256i p01 = _mm256_permute4x64_epi64(_mm256_packs_epi32(Round14(a[0]), Round14(a[1])), 0xD8);
            const __m256i p23 = _mm256_permute4x64_epi64(_mm256_packs_epi32(Round14(a[2]), Round14(a[3])), 0xD8);
            const __m256i v = _mm256_permute4x64_epi64(_mm256_packus_epi16(p01, p23), 0xD8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * size_t(i)), v);
        }
    }
    if (Count > wide)
        (Direct ? SSE2ResizeKernels.IntVDirect : SSE2ResizeKernels.IntV)(Dest + 8 * size_t(wide), Src + in * wide, Info,
                                                                         Count - wide, DestRows, DestBpl, SrcBpl);
}

// ----------------------------------------------------------- integer RGBA
//
// Work: the SSE2 layout of two items (2 rows each) interleaved per row:
// per pixel pair 64 bytes = row 0 of item 0 and of item 1, then row 1 of both.

// Low half: row R of item 0; high half: row R of item 1 (2 rows further).
inline __m256i RGBARows2(const uint8_t* S, size_t Bpl, uint32_t R)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load64(S + R * Bpl)), Load64(S + (R + 2) * Bpl), 1);
}

// Two pixels per half -> words, colour premultiplied (c x a shr 2), alpha kept.
inline __m256i Premul(__m256i Bytes)
{
    const __m256i w = _mm256_unpacklo_epi8(Bytes, _mm256_setzero_si256());
    const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(w, 0xFF), 0xFF);
    const __m256i m = _mm256_srli_epi16(_mm256_mullo_epi16(w, a), 2);
    const __m256i alpha = _mm256_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1);
    return _mm256_or_si256(_mm256_andnot_si256(alpha, m), _mm256_and_si256(alpha, w));
}

// Integer sums B G R A of one pixel per half -> rounded 32-bit values; as
// the reference: colour x 2^-12 divided by alpha x 2^-14 when that exceeds
// 0.5, else 0; alpha not divided; round to nearest even, saturate.
inline __m256i RGBAOut(__m256i Acc)
{
    const __m256 scale = _mm256_setr_ps(1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 16384.0f, 1.0f / 4096.0f,
                                        1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 16384.0f);
    const __m256 f = _mm256_mul_ps(_mm256_cvtepi32_ps(Acc), scale);
    const __m256 a = _mm256_shuffle_ps(f, f, 0xFF);
    const __m256 colour = _mm256_castsi256_ps(_mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0));
    const __m256 keep = _mm256_and_ps(_mm256_cmp_ps(a, _mm256_set1_ps(0.5f), _CMP_GT_OQ), colour);
    __m256 r = _mm256_or_ps(_mm256_and_ps(keep, _mm256_div_ps(f, a)), _mm256_andnot_ps(colour, f));
    r = _mm256_min_ps(_mm256_max_ps(r, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
    return _mm256_cvtps_epi32(r);
}

template <bool Final>
void IntRGBAH(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work, uint32_t SrcWidth,
              uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl)
{
    const uint32_t pairs = (SrcWidth + 1) / 2;
    for (; Count >= 2; Count -= 2) {
        for (uint32_t q = 0; q < pairs; ++q)
            for (uint32_t r = 0; r < 2; ++r) {
                const __m256i m = Premul(RGBARows2(Src + 8 * size_t(q), SrcBpl, r));
                _mm256_store_si256(reinterpret_cast<__m256i*>(Work + 64 * size_t(q) + 32 * r),
                                   _mm256_unpacklo_epi16(m, _mm256_srli_si256(m, 8)));
            }
        for (uint32_t x = 0; x < DestWidth; ++x) {
            const uint8_t* s = Work + 2 * Info[2 * x];
            const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * x + 1]);
            const uint32_t p = WeightCount(wt);
            __m256i a0 = _mm256_setzero_si256(), a1 = _mm256_setzero_si256();
            for (uint32_t j = 0; j < p; ++j, s += 64) {
                const __m256i w = _mm256_set1_epi32(Word32(wt + 4 * j));
                a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(Load256(s), w));
                a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(Load256(s + 32), w));
            }
            if (Final) {
                __m256i v = _mm256_packs_epi32(RGBAOut(a0), RGBAOut(a1));
                v = _mm256_packus_epi16(v, v); // per half: row 0, row 1 of the item
                const __m128i i0 = _mm256_castsi256_si128(v), i1 = _mm256_extracti128_si256(v, 1);
                Store32(Dest + 4 * size_t(x), i0);
                Store32(Dest + DestBpl + 4 * size_t(x), _mm_srli_si128(i0, 4));
                Store32(Dest + 2 * DestBpl + 4 * size_t(x), i1);
                Store32(Dest + 3 * DestBpl + 4 * size_t(x), _mm_srli_si128(i1, 4));
            } else {
                const __m256i v = _mm256_packs_epi32(Round14(a0), Round14(a1));
                const __m256i o = _mm256_unpacklo_epi16(v, _mm256_srli_si256(v, 8));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + 16 * size_t(x)), _mm256_castsi256_si128(o));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + 2 * DestBpl + 16 * size_t(x)),
                                 _mm256_extracti128_si256(o, 1));
            }
        }
        Src += 4 * SrcBpl;
        Dest += 4 * DestBpl;
    }
    if (Count)
        (Final ? SSE2ResizeKernels.IntRGBAHFinal : SSE2ResizeKernels.IntRGBAH)(Dest, Src, Info, Work, SrcWidth,
                                                                               DestWidth, 1, DestBpl, SrcBpl);
}

// Vertical: an item is two pixels, one per half of a register; two items per
// step.
template <bool Direct>
void IntRGBAVT(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count, uint32_t DestRows,
               size_t DestBpl, size_t SrcBpl)
{
    const size_t in = Direct ? 8 : 32;
    const uint32_t wide = Count & ~1u;
    auto pixels = [SrcBpl](const uint8_t* S) {
        if (!Direct)
            return Load256(S);
        // Rows 2k and 2k + 1, premultiplied, then each pixel's two rows side by side.
        const __m256i x = _mm256_inserti128_si256(_mm256_castsi128_si256(Load64(S)), Load64(S + SrcBpl), 1);
        const __m256i m = _mm256_permute4x64_epi64(Premul(x), 0xD8);
        return _mm256_unpacklo_epi16(m, _mm256_srli_si256(m, 8));
    };
    for (uint32_t y = 0; y < DestRows && wide; ++y) {
        const uint8_t* s0 = Src + Info[2 * y];
        const auto* wt = reinterpret_cast<const uint8_t*>(Info[2 * y + 1]);
        const uint32_t p = WeightCount(wt);
        uint8_t* d = Dest + y * DestBpl;
        for (uint32_t i = 0; i < wide; i += 2) {
            __m256i a0 = _mm256_setzero_si256(), a1 = _mm256_setzero_si256();
            const uint8_t* s = s0 + i * in;
            for (uint32_t j = 0; j < p; ++j, s += 2 * SrcBpl) {
                const __m256i w = _mm256_set1_epi32(Word32(wt + 4 * j));
                a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(pixels(s), w));
                a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(pixels(s + in), w));
            }
            // Halves: (item i pixel 0, pixel 1), (item i + 1 pixel 0, pixel 1).
            __m256i v = _mm256_permute4x64_epi64(_mm256_packs_epi32(RGBAOut(a0), RGBAOut(a1)), 0xD8);
            v = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0xD8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8 * size_t(i)), _mm256_castsi256_si128(v));
        }
    }
    if (Count > wide)
        (Direct ? SSE2ResizeKernels.IntRGBAVDirect : SSE2ResizeKernels.IntRGBAV)(
            Dest + 8 * size_t(wide), Src + in * wide, Info, Count - wide, DestRows, DestBpl, SrcBpl);
}

} // namespace

const TResizeKernels& AVX2ResizeKernels()
{
    static const TResizeKernels k = [] {
        TResizeKernels t = SSE2ResizeKernels;
        t.Name = "AVX2";
        t.IntH1ch = IntH1<false>;
        t.IntH1chFinal = IntH1<true>;
        t.IntH3ch = IntH3<false>;
        t.IntH3chFinal = IntH3<true>;
        t.IntV = IntVT<false>;
        t.IntVDirect = IntVT<true>;
        t.IntRGBAH = IntRGBAH<false>;
        t.IntRGBAHFinal = IntRGBAH<true>;
        t.IntRGBAV = IntRGBAVT<false>;
        t.IntRGBAVDirect = IntRGBAVT<true>;
        return t;
    }();
    return k;
}
