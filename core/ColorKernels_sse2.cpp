// SSE2 colour kernels. Rows start 128-byte aligned, so whole pixel groups are
// read and written with aligned 16-byte accesses; the pixels after the last
// whole group of a row go through the per-pixel arithmetic of ColorKernels.h,
// so nothing past a row's last pixel is touched.
//
// Three-channel data is moved in 48- or 96-byte groups and cut into 12-byte
// pieces (4 pixels of 3 bytes, or 2 pixels of 3 words), which are then spread
// to 4-byte or 8-byte slots so that pixels line up with 32- or 64-bit lanes.
#include "core/ColorKernels.h"

#include <emmintrin.h>
#include <cstring>

using namespace colorpx;

namespace {

inline __m128i Load(const uint8_t* P)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(P));
}
inline void Store(uint8_t* P, __m128i V)
{
    _mm_store_si128(reinterpret_cast<__m128i*>(P), V);
}

inline __m128i Mask64(uint64_t Lo, uint64_t Hi)
{
    return _mm_set_epi64x(int64_t(Hi), int64_t(Lo));
}

// 48 bytes -> four 12-byte pieces in bytes 0..11 (bytes 12..15 undefined).
inline void Unstitch12(__m128i A, __m128i B, __m128i C, __m128i R[4])
{
    R[0] = A;
    R[1] = _mm_or_si128(_mm_srli_si128(A, 12), _mm_slli_si128(B, 4));
    R[2] = _mm_or_si128(_mm_srli_si128(B, 8), _mm_slli_si128(C, 8));
    R[3] = _mm_srli_si128(C, 4);
}
// Four 12-byte pieces (bytes 12..15 zero) -> 48 bytes.
inline void Stitch12(const __m128i R[4], __m128i& A, __m128i& B, __m128i& C)
{
    A = _mm_or_si128(R[0], _mm_slli_si128(R[1], 12));
    B = _mm_or_si128(_mm_srli_si128(R[1], 4), _mm_slli_si128(R[2], 8));
    C = _mm_or_si128(_mm_srli_si128(R[2], 8), _mm_slli_si128(R[3], 4));
}

// Two 6-byte halves of a 12-byte piece -> bytes 0..5 and 8..13.
inline __m128i Spread6(__m128i R)
{
    return _mm_or_si128(_mm_and_si128(R, Mask64(0xFFFFFFFFFFFFull, 0)),
                        _mm_and_si128(_mm_slli_si128(R, 2), Mask64(0, 0xFFFFFFFFFFFFull)));
}
inline __m128i Pack6(__m128i V)
{
    return _mm_or_si128(_mm_and_si128(V, Mask64(0xFFFFFFFFFFFFull, 0)),
                        _mm_srli_si128(_mm_and_si128(V, Mask64(0, 0xFFFFFFFFFFFFull)), 2));
}
// Four 3-byte pixels of a 12-byte piece -> 32-bit lanes [b g r 0].
inline __m128i Spread3(__m128i R)
{
    const __m128i v = Spread6(R);
    return _mm_or_si128(_mm_and_si128(v, Mask64(0xFFFFFFull, 0xFFFFFFull)),
                        _mm_and_si128(_mm_slli_epi64(v, 8), Mask64(0xFFFFFF00000000ull, 0xFFFFFF00000000ull)));
}
// 32-bit lanes [b g r x] -> a 12-byte piece with bytes 12..15 zero.
inline __m128i Pack3(__m128i V)
{
    const __m128i v = _mm_or_si128(_mm_and_si128(V, Mask64(0xFFFFFFull, 0xFFFFFFull)),
                                   _mm_and_si128(_mm_srli_epi64(V, 8), Mask64(0xFFFFFF000000ull, 0xFFFFFF000000ull)));
    return Pack6(v);
}

// Four registers of two pixels of four words each -> the words of 8 pixels by
// channel (W0 = word 0 of pixels 0..7, ...), and back.
inline void Transpose(const __m128i Q[4], __m128i W[4])
{
    const __m128i t0 = _mm_unpacklo_epi16(Q[0], Q[1]), t1 = _mm_unpackhi_epi16(Q[0], Q[1]);
    const __m128i t2 = _mm_unpacklo_epi16(Q[2], Q[3]), t3 = _mm_unpackhi_epi16(Q[2], Q[3]);
    const __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
    W[0] = _mm_unpacklo_epi64(u0, u2);
    W[1] = _mm_unpackhi_epi64(u0, u2);
    W[2] = _mm_unpacklo_epi64(u1, u3);
    W[3] = _mm_unpackhi_epi64(u1, u3);
}
inline void Interleave(const __m128i W[4], __m128i Q[4])
{
    const __m128i a0 = _mm_unpacklo_epi16(W[0], W[1]), a1 = _mm_unpackhi_epi16(W[0], W[1]);
    const __m128i b0 = _mm_unpacklo_epi16(W[2], W[3]), b1 = _mm_unpackhi_epi16(W[2], W[3]);
    Q[0] = _mm_unpacklo_epi32(a0, b0);
    Q[1] = _mm_unpackhi_epi32(a0, b0);
    Q[2] = _mm_unpacklo_epi32(a1, b1);
    Q[3] = _mm_unpackhi_epi32(a1, b1);
}

// 8 pixels of words B, G, R (0..255) -> Y, Cb, Cr of the 16-bit form.
inline void BGRToYCC16x8(__m128i B, __m128i G, __m128i R, __m128i& Y, __m128i& Cb, __m128i& Cr)
{
    B = _mm_slli_epi16(B, 4);
    G = _mm_slli_epi16(G, 4);
    R = _mm_slli_epi16(R, 4);
    // 38470 does not fit a signed word: applied as 22086 + 16384.
    const __m128i cYbg = _mm_set1_epi32(int32_t((uint32_t(22086) << 16) | 7471));
    const __m128i cYrg = _mm_set1_epi32(int32_t((uint32_t(16384) << 16) | 19595));
    const __m128i cCbrg = _mm_set1_epi32(int32_t((uint32_t(uint16_t(-21709)) << 16) | uint16_t(-11059)));
    const __m128i cCrbg = _mm_set1_epi32(int32_t((uint32_t(uint16_t(-27439)) << 16) | uint16_t(-5329)));
    const __m128i rY = _mm_set1_epi32(32768), rC = _mm_set1_epi32(32767);
    const __m128i zero = _mm_setzero_si128();
    __m128i y2[2], cb2[2], cr2[2];
    for (int h = 0; h < 2; ++h) {
        const __m128i bg = h ? _mm_unpackhi_epi16(B, G) : _mm_unpacklo_epi16(B, G);
        const __m128i rg = h ? _mm_unpackhi_epi16(R, G) : _mm_unpacklo_epi16(R, G);
        const __m128i b32 = h ? _mm_unpackhi_epi16(B, zero) : _mm_unpacklo_epi16(B, zero);
        const __m128i r32 = h ? _mm_unpackhi_epi16(R, zero) : _mm_unpacklo_epi16(R, zero);
        y2[h] =
            _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(bg, cYbg), _mm_madd_epi16(rg, cYrg)), rY), 16);
        cb2[h] =
            _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rg, cCbrg), _mm_slli_epi32(b32, 15)), rC), 16);
        cr2[h] =
            _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(bg, cCrbg), _mm_slli_epi32(r32, 15)), rC), 16);
    }
    Y = _mm_packs_epi32(y2[0], y2[1]);
    Cb = _mm_packs_epi32(cb2[0], cb2[1]);
    Cr = _mm_packs_epi32(cr2[0], cr2[1]);
}

// 8 pixels of 16-bit Y, Cb, Cr -> words B, G, R still to be saturated to 0..255.
inline void YCC16ToBGRx8(__m128i Y, __m128i Cb, __m128i Cr, __m128i& B, __m128i& G, __m128i& R)
{
    const __m128i eight = _mm_set1_epi16(8);
    B = _mm_adds_epi16(
        _mm_adds_epi16(_mm_adds_epi16(Y, _mm_adds_epi16(Cb, Cb)), _mm_mulhi_epi16(Cb, _mm_set1_epi16(-14942))), eight);
    R = _mm_adds_epi16(_mm_adds_epi16(_mm_adds_epi16(Y, Cr), _mm_mulhi_epi16(Cr, _mm_set1_epi16(26345))), eight);
    const __m128i cG = _mm_set1_epi32(int32_t((uint32_t(18734) << 16) | uint16_t(-22554)));
    const __m128i g0 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(Cb, Cr), cG), 16);
    const __m128i g1 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(Cb, Cr), cG), 16);
    const __m128i gc = _mm_packs_epi32(g0, g1);
    G = _mm_adds_epi16(_mm_subs_epi16(_mm_adds_epi16(Y, gc), Cr), eight);
    B = _mm_srai_epi16(B, 4);
    G = _mm_srai_epi16(G, 4);
    R = _mm_srai_epi16(R, 4);
}

// 8 pixels of 8-bit Y, Cb, Cr words -> words B, G, R still to be saturated.
inline void YCC8ToBGRx8(__m128i Y, __m128i Cb, __m128i Cr, __m128i& B, __m128i& G, __m128i& R)
{
    const __m128i c128 = _mm_set1_epi16(128), one = _mm_set1_epi16(1);
    const __m128i x = _mm_sub_epi16(Cb, c128), z = _mm_sub_epi16(Cr, c128);
    const __m128i x2 = _mm_add_epi16(x, x), z2 = _mm_add_epi16(z, z);
    B = _mm_add_epi16(_mm_add_epi16(Y, x2),
                      _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(x2, _mm_set1_epi16(-14942)), one), 1));
    R = _mm_add_epi16(_mm_add_epi16(Y, z),
                      _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(z2, _mm_set1_epi16(26345)), one), 1));
    const __m128i cG = _mm_set1_epi32(int32_t((uint32_t(18734) << 16) | uint16_t(-22554)));
    const __m128i rnd = _mm_set1_epi32(32768);
    const __m128i g0 = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(x, z), cG), rnd), 16);
    const __m128i g1 = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(x, z), cG), rnd), 16);
    G = _mm_sub_epi16(_mm_add_epi16(Y, _mm_packs_epi32(g0, g1)), z);
}

// Two registers of 4 pixels in 32-bit lanes [c0 c1 c2 c3] -> words by channel.
inline void BytesToWords(__m128i P0, __m128i P1, __m128i W[4])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i q[4] = {_mm_unpacklo_epi8(P0, zero), _mm_unpackhi_epi8(P0, zero), _mm_unpacklo_epi8(P1, zero),
                          _mm_unpackhi_epi8(P1, zero)};
    Transpose(q, W);
}
// Words by channel -> two registers of 4 pixels, each word saturated to 0..255.
inline void WordsToBytes(const __m128i W[4], __m128i& P0, __m128i& P1)
{
    __m128i q[4];
    Interleave(W, q);
    P0 = _mm_packus_epi16(q[0], q[1]);
    P1 = _mm_packus_epi16(q[2], q[3]);
}

// ---- 8-bit YCbCr to BGR(A), in place, 16 pixels per group ----

template <uint32_t C> void YCbCrInPlaceSSE2(TImgInfo& Info)
{
    const uint32_t groups = Info.Width / 16;
    for (uint32_t y = 0; y < Info.Height; ++y) {
        uint8_t* row = MemRow(Info, y);
        for (uint32_t g = 0; g < groups; ++g) {
            uint8_t* p = row + g * 16 * C;
            __m128i px[4];
            if constexpr (C == 3) {
                __m128i r[4];
                Unstitch12(Load(p), Load(p + 16), Load(p + 32), r);
                for (int i = 0; i < 4; ++i)
                    px[i] = Spread3(r[i]);
            } else {
                for (int i = 0; i < 4; ++i)
                    px[i] = Load(p + 16 * i);
            }
            for (int h = 0; h < 4; h += 2) {
                __m128i w[4];
                BytesToWords(px[h], px[h + 1], w);
                // Word 3 is the alpha (4 channels) or zero; it passes unchanged.
                YCC8ToBGRx8(w[0], w[1], w[2], w[0], w[1], w[2]);
                WordsToBytes(w, px[h], px[h + 1]);
            }
            if constexpr (C == 3) {
                __m128i r[4], a, b, c;
                for (int i = 0; i < 4; ++i)
                    r[i] = Pack3(px[i]);
                Stitch12(r, a, b, c);
                Store(p, a);
                Store(p + 16, b);
                Store(p + 32, c);
            } else {
                for (int i = 0; i < 4; ++i)
                    Store(p + 16 * i, px[i]);
            }
        }
        for (uint32_t x = groups * 16; x < Info.Width; ++x)
            YCC8ToBGR(row + x * C);
    }
}

// ---- BGR(A) to the 16-bit form: 16 pixels (3 channels) or 8 (4 channels) ----

template <uint32_t C> void RowToYCC16SSE2(const uint8_t* Src, uint8_t* Dst, uint32_t Width)
{
    constexpr uint32_t N = (C == 3) ? 16 : 8;
    const uint32_t groups = Width / N;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint8_t* s = Src + g * N * C;
        uint8_t* d = Dst + g * N * C * 2;
        __m128i px[4];
        int blocks;
        if constexpr (C == 3) {
            __m128i r[4];
            Unstitch12(Load(s), Load(s + 16), Load(s + 32), r);
            for (int i = 0; i < 4; ++i)
                px[i] = Spread3(r[i]);
            blocks = 2;
        } else {
            px[0] = Load(s);
            px[1] = Load(s + 16);
            blocks = 1;
        }
        for (int h = 0; h < blocks; ++h) {
            __m128i w[4], q[4];
            BytesToWords(px[2 * h], px[2 * h + 1], w);
            BGRToYCC16x8(w[0], w[1], w[2], w[0], w[1], w[2]);
            Interleave(w, q); // word 3: alpha, or zero for 3 channels
            if constexpr (C == 3) {
                __m128i r[4], a, b, c;
                for (int i = 0; i < 4; ++i)
                    r[i] = Pack6(q[i]);
                Stitch12(r, a, b, c);
                Store(d + 48 * h, a);
                Store(d + 48 * h + 16, b);
                Store(d + 48 * h + 32, c);
            } else {
                for (int i = 0; i < 4; ++i)
                    Store(d + 16 * i, q[i]);
            }
        }
    }
    for (uint32_t x = groups * N; x < Width; ++x) {
        int16_t w[4];
        BGRToYCC16(Src[x * C], Src[x * C + 1], Src[x * C + 2], w);
        if constexpr (C == 4)
            w[3] = Src[x * C + 3];
        std::memcpy(Dst + x * C * 2, w, 2 * C);
    }
}

// ---- 16-bit form to BGR(A): 16 pixels (3 channels) or 8 (4 channels) ----

template <uint32_t C> void RowFromYCC16SSE2(const uint8_t* Src, uint8_t* Dst, uint32_t Width)
{
    constexpr uint32_t N = (C == 3) ? 16 : 8;
    const uint32_t groups = Width / N;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint8_t* s = Src + g * N * C * 2;
        uint8_t* d = Dst + g * N * C;
        __m128i px[4];
        const int blocks = (C == 3) ? 2 : 1;
        for (int h = 0; h < blocks; ++h) {
            __m128i q[4], w[4];
            if constexpr (C == 3) {
                __m128i r[4];
                Unstitch12(Load(s + 48 * h), Load(s + 48 * h + 16), Load(s + 48 * h + 32), r);
                for (int i = 0; i < 4; ++i)
                    q[i] = Spread6(r[i]);
            } else {
                for (int i = 0; i < 4; ++i)
                    q[i] = Load(s + 16 * i);
            }
            Transpose(q, w);
            YCC16ToBGRx8(w[0], w[1], w[2], w[0], w[1], w[2]);
            WordsToBytes(w, px[2 * h], px[2 * h + 1]);
        }
        if constexpr (C == 3) {
            __m128i r[4], a, b, c;
            for (int i = 0; i < 4; ++i)
                r[i] = Pack3(px[i]);
            Stitch12(r, a, b, c);
            Store(d, a);
            Store(d + 16, b);
            Store(d + 32, c);
        } else {
            Store(d, px[0]);
            Store(d + 16, px[1]);
        }
    }
    for (uint32_t x = groups * N; x < Width; ++x) {
        int16_t w[4];
        std::memcpy(w, Src + x * C * 2, 2 * C);
        YCC16ToBGR(w[0], w[1], w[2], Dst + x * C);
        if constexpr (C == 4)
            Dst[x * C + 3] = SatU8(w[3]);
    }
}

// ---- Lookup tables: vector loads and stores, one lookup per sample ----

// Per byte position k of a 16-byte vector, the table offset of that sample.
template <uint32_t C> inline void LUTOffsets8(uint32_t Phase, const uint32_t* Base, uint32_t Off[16], bool Keep[16])
{
    for (uint32_t k = 0; k < 16; ++k) {
        const uint32_t ch = (Phase + k) % C;
        Keep[k] = (C == 4 && ch == 3);
        Off[k] = Base[ch];
    }
}

// Applies an 8-bit table to whole 16-byte vectors of a row and then to the
// remaining samples one by one. Base[ch] is the table offset of channel ch.
template <uint32_t C> void ApplyLUT8SSE2(TImgInfo& Info, const int16_t* Table, const uint32_t* Base)
{
    // C x 16 bytes hold a whole number of pixels, so C vectors repeat.
    uint32_t off[C][16];
    bool keep[C][16];
    for (uint32_t v = 0; v < C; ++v)
        LUTOffsets8<C>((v * 16) % C, Base, off[v], keep[v]);
    const uint32_t bytes = Info.Width * C;
    const uint32_t groups = bytes / (16 * C);
    for (uint32_t y = 0; y < Info.Height; ++y) {
        uint8_t* row = MemRow(Info, y);
        for (uint32_t g = 0; g < groups; ++g) {
            for (uint32_t v = 0; v < C; ++v) {
                uint8_t* p = row + (g * C + v) * 16;
                alignas(16) uint8_t in[16];
                alignas(16) int16_t out[16];
                Store(in, Load(p));
                for (uint32_t k = 0; k < 16; ++k)
                    out[k] = keep[v][k] ? int16_t(in[k]) : Table[off[v][k] + in[k]];
                const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(out));
                const __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i*>(out + 8));
                Store(p, _mm_packus_epi16(lo, hi));
            }
        }
        for (uint32_t i = groups * 16 * C; i < bytes; ++i) {
            const uint32_t ch = i % C;
            if (C == 4 && ch == 3)
                continue;
            row[i] = LookupU8(Table, Base[ch] + row[i]);
        }
    }
}

template <uint32_t C> void ApplyLUT16SSE2(TImgInfo& Info, const int16_t* Table)
{
    // Words of a row; C x 8 words (C vectors) hold a whole number of pixels.
    const uint32_t words = Info.Width * C;
    const uint32_t groups = words / (8 * C);
    for (uint32_t y = 0; y < Info.Height; ++y) {
        int16_t* row = reinterpret_cast<int16_t*>(MemRow(Info, y));
        for (uint32_t g = 0; g < groups; ++g) {
            for (uint32_t v = 0; v < C; ++v) {
                int16_t* p = row + (g * C + v) * 8;
                const __m128i in = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
                alignas(16) int16_t w[8];
                _mm_store_si128(reinterpret_cast<__m128i*>(w), in);
                for (uint32_t k = 0; k < 8; ++k) {
                    const uint32_t ch = (v * 8 + k) % C;
                    if (ch == 0)
                        w[k] = Table[LumaIndex12(w[k])];
                    else if (ch < 3)
                        w[k] = Table[ChromaIndex12(w[k])];
                }
                _mm_store_si128(reinterpret_cast<__m128i*>(p), _mm_load_si128(reinterpret_cast<const __m128i*>(w)));
            }
        }
        for (uint32_t i = groups * 8 * C; i < words; ++i) {
            const uint32_t ch = i % C;
            if (ch == 0)
                row[i] = Table[LumaIndex12(row[i])];
            else if (ch < 3)
                row[i] = Table[ChromaIndex12(row[i])];
        }
    }
}

} // namespace

void YCbCrToRGB3SSE2(TImgInfo& Info)
{
    YCbCrInPlaceSSE2<3>(Info);
}
void YCbCrToRGB4SSE2(TImgInfo& Info)
{
    YCbCrInPlaceSSE2<4>(Info);
}
void RGB3ToYCbCr16SSE2(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, true, RowToYCC16SSE2<3>);
}
void YCbCr16ToRGB3SSE2(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, false, RowFromYCC16SSE2<3>);
}
void RGB4ToYCbCr16SSE2(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, true, RowToYCC16SSE2<4>);
}
void YCbCr16ToRGB4SSE2(TImgInfo& Info)
{
    ConvertIntoNewBlock(Info, false, RowFromYCC16SSE2<4>);
}

void ApplyRGBLUTSSE2(TImgInfo& Info, const int16_t* Table)
{
    static const uint32_t gray[1] = {768}, bgr[4] = {0, 256, 512, 0};
    switch (Info.Channels) {
    case 1:
        ApplyLUT8SSE2<1>(Info, Table, gray);
        break;
    case 3:
        ApplyLUT8SSE2<3>(Info, Table, bgr);
        break;
    case 4:
        ApplyLUT8SSE2<4>(Info, Table, bgr);
        break;
    default:
        break;
    }
}

void ApplyYCbCrLUT8SSE2(TImgInfo& Info, const int16_t* Table)
{
    static const uint32_t luma[1] = {0}, ycc[4] = {0, 256, 256, 0};
    switch (Info.Channels) {
    case 1:
        ApplyLUT8SSE2<1>(Info, Table, luma);
        break;
    case 3:
        ApplyLUT8SSE2<3>(Info, Table, ycc);
        break;
    case 4:
        ApplyLUT8SSE2<4>(Info, Table, ycc);
        break;
    default:
        break;
    }
}

void ApplyYCbCrLUT16SSE2(TImgInfo& Info, const int16_t* Table)
{
    switch (Info.Channels) {
    case 1:
        ApplyLUT16SSE2<1>(Info, Table);
        break;
    case 3:
        ApplyLUT16SSE2<3>(Info, Table);
        break;
    case 4:
        ApplyLUT16SSE2<4>(Info, Table);
        break;
    default:
        break;
    }
}
