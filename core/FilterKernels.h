// The pass kernels of the separable filters: plain procedures, one per family,
// pass and output form, in a scalar reference and in SSE2 (AVX2 where it gives
// the same bytes). The active set is chosen once at start-up; every family
// computes exactly the bytes of the scalar reference.
//
// Weight tables (built by the weight setters in Resize, or by the blur and
// unsharp-mask planners in the same forms). Info holds two entries per output
// position i: Info[2i] = byte offset of the row's first input sample (added to
// the input pointer of the kernel), Info[2i + 1] = address of the row's first
// weight; the weight count is the uint32_t just before that address.
//   integer form: P pairs of int16 weights (Q14: 16384 = 1.0). Pair j weighs
//     the input samples 2j and 2j + 1 counted from the row's first (even) source
//     index; offset = (first div 2) x Step.
//   single form: N floats; weight k weighs source index first + k;
//     offset = first x Step.
// Steps (input bytes per source position or pair of positions):
//   horizontal kernels read their own work memory: integer 1 channel 16,
//   3 channels 48, RGBA 32 (per pair); float and linear 1 channel 16,
//   3 channels 48, RGBA 32 (per position);
//   vertical kernels read rows: integer 2 x stride (a row pair), float and
//   linear 1 x stride.
//
// Items, rounding and over-reach:
//   Horizontal kernels process Count items of ItemRows rows (advancing Src by
//   ItemRows x SrcBpl and Dest by ItemRows x DestBpl) and read up to 16 bytes
//   past a row's last pixel and up to ItemRows - 1 rows past the last row;
//   blocks padded to 4 rows (AllocImg) and the stride's 64 spare bytes make
//   that safe. They copy an item into the work memory before writing, so Dest
//   may equal Src (in place) when the intermediate fits the source stride.
//   Vertical kernels process, for each of DestRows output rows, Count items
//   of VItemBytes result bytes, and may write up to VItemBytes - 1 bytes past
//   a row's last pixel.
//   Integer: sums of weight x sample in 32 bits, + 8192, arithmetic shift right
//   by 14, saturated to 0..255. Float and linear: float sums in tap order,
//   rounded to nearest (ties to even), saturated. Linear light runs on the
//   0..8192 scale of the tables in Filter.h; results are clamped to 0..8192
//   and looked up. RGBA: colour is premultiplied by alpha (integer: c x a shr 2,
//   float: c x a); the result colour is the sum divided by the alpha sum when
//   that exceeds 0.5, else 0; alpha is not divided.
//
// Intermediate forms between the passes (the "to V" kernels write them):
//   integer: bytes, rows 2k and 2k + 1 interleaved (byte j of row 2k at 2j,
//     of row 2k + 1 at 2j + 1) in the memory of those two rows;
//   integer RGBA: int16, premultiplied, rows paired and interleaved per channel
//     (16 bytes per pixel and row pair: B0 B1 G0 G1 R0 R1 A0 A1);
//   float, linear: plain rows of floats (4 bytes per sample); RGBA 16 bytes per
//     pixel, premultiplied.
//
// Use by other separable filters (blur, unsharp mask): take the kernels from
// ResizeKernels() (e.g. IntH1ch / IntH3ch to the interleaved form and IntV
// from it, LinearH1ch / LinearH3ch / LinearH16 to float rows), hand them
// tables in the forms above, and give each thread work memory of
// kern::IntHWorkSize / kern::FloatHWorkSize bytes aligned to 128 (TFilter's
// AllocWorkBuffers does both). The temporary needs (source rows rounded up to
// 4) rows plus 8 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// Horizontal kernel. SrcWidth, DestWidth in pixels; Count items.
using THFilterProc = void (*)(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint8_t* Work,
                              uint32_t SrcWidth, uint32_t DestWidth, uint32_t Count, size_t DestBpl, size_t SrcBpl);
// Vertical kernel. Dest and Src point at the first item of row 0.
using TVFilterProc = void (*)(uint8_t* Dest, const uint8_t* Src, const uintptr_t* Info, uint32_t Count,
                              uint32_t DestRows, size_t DestBpl, size_t SrcBpl);

// Item geometry of each family.
namespace kern {
constexpr uint32_t IntItemRows = 4; // integer 1 and 3 channels
constexpr uint32_t IntStep1 = 16, IntStep3 = 48;
constexpr uint32_t IntVItemBytes = 8; // result bytes; 16 from the interleaved temporary
constexpr uint32_t RGBAItemRows = 2;  // integer, float and linear RGBA
constexpr uint32_t IntRGBAStep = 32;
constexpr uint32_t RGBAVItemBytes = 8; // two pixels; 32 temporary bytes (16 of each row of a pair / float)
constexpr uint32_t FloatItemRows = 4;  // float and linear, 1 and 3 channels
constexpr uint32_t FloatStep1 = 16, FloatStep3 = 48, FloatRGBAStep = 32;
constexpr uint32_t FloatVItemBytes = 16; // 64 temporary bytes

// Bytes of horizontal work memory a kernel of the family needs per thread
// for a source row of Width pixels (Channels 1, 3 or 4).
uint64_t IntHWorkSize(uint64_t Width, uint32_t Channels);
uint64_t FloatHWorkSize(uint64_t Width, uint32_t Channels);

// Weights (integer pairs or floats) of a table row: the uint32_t just before
// the row's first weight.
inline uint32_t WeightCount(const void* W)
{
    uint32_t n;
    std::memcpy(&n, static_cast<const uint8_t*>(W) - 4, 4);
    return n;
}
} // namespace kern

struct TResizeKernels {
    const char* Name;
    // integer family, 1 and 3 channels ("to V" and final), vertical kernels
    // from the interleaved temporary and directly from 8-bit rows (any channel
    // count: they treat rows as bytes)
    THFilterProc IntH1ch, IntH1chFinal, IntH3ch, IntH3chFinal;
    TVFilterProc IntV, IntVDirect;
    THFilterProc IntRGBAH, IntRGBAHFinal;
    TVFilterProc IntRGBAV, IntRGBAVDirect;
    THFilterProc FloatH1ch, FloatH1chFinal, FloatH3ch, FloatH3chFinal;
    TVFilterProc FloatV, FloatVDirect;
    THFilterProc FloatRGBAH, FloatRGBAHFinal;
    TVFilterProc FloatRGBAV, FloatRGBAVDirect;
    THFilterProc LinearH1ch, LinearH1chFinal, LinearH3ch, LinearH3chFinal;
    TVFilterProc LinearV, LinearVDirect;
    THFilterProc LinearRGBAH, LinearRGBAHFinal;
    TVFilterProc LinearRGBAV, LinearRGBAVDirect;
    // Linear light from 16-bit samples on the 12-bit scale (0..4080; larger
    // values count as 4080), 1 channel, to float rows: the horizontal pass of
    // the linear-light unsharp mask on the luma plane. Src rows are uint16_t
    // (SrcBpl in bytes); items of 4 rows, step 16, like LinearH1ch.
    THFilterProc LinearH16;
};

extern const TResizeKernels RefResizeKernels;  // plain C++
extern const TResizeKernels SSE2ResizeKernels; // SSE2 intrinsics
// SSE2 with the AVX2 kernels that exist in place of theirs. Only valid when
// CPUHasAVX2().
const TResizeKernels& AVX2ResizeKernels();

enum class TKernelFamily { Best, Scalar, SSE2, AVX2 };

// The kernels every filter uses. Chosen on first use: AVX2 when the processor
// has it, else SSE2; the environment variable VESTRO_NOVECTOR=1 forces the
// scalar reference.
const TResizeKernels& ResizeKernels();
// Forces a family (tests, benchmarks); AVX2 falls back to SSE2 on processors
// without it. Only while no pass runs.
void SelectResizeKernels(TKernelFamily Family);
