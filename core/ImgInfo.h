// The in-memory image record and its pixel memory. The record, the ICC
// profile record, the stride rule and the block helpers are shared with the
// codec library and live in its header; this one adds the core's own helpers.
#pragma once
#include "kodex/KodexImage.h"

#include <cstdint>
#include <cstddef>

// Resolution carried from reader to writer. Unit: 1 inch, 2 centimetre,
// 3 metre, anything else unknown.
struct TResolutionInfo {
    double XResolution = 0;
    double YResolution = 0;
    int32_t ResolutionUnit = 0;
};

// Fills Img with a new zeroed block for Width x Height x Channels (8-bit), its
// stride from CalcBpl. Raises EOutOfMemory when the block cannot be had or a
// size does not fit the record; Img is then left with no block. Does not free
// what Img held before.
void AllocImg(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels);
// The same for the 16-bit form (stride from CalcBpl16).
void AllocImg16(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels);
// AllocImg for a writer that fills every pixel of every row before anyone
// reads the block: it may be a block an earlier picture of this thread left
// (platform::PageAllocDirty), with only the spare bytes behind each row and
// the rows BlockRows adds zeroed.
void AllocFilledImg(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels);
// Bytes of Img's pixel block (stride times the rows BlockRows gives); 0 when
// it has none.
uint64_t ImgBytes(const TImgInfo& Img);

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Copies the picture rectangle R of Src (top-down coordinates) into Dst with its
// top-left corner at (DestX, DestY). The rectangle is clipped on all four sides
// to both images; nothing is copied when nothing overlaps. Both must have the
// same channel count (otherwise nothing is copied).
void CopyImageRect(const TImgInfo& Src, TImgInfo& Dst, const TRect& R, int32_t DestY, int32_t DestX);

// Exchanges the lowest and third bytes of a colour value (red-first <-> blue-first).
constexpr uint32_t SwapRB(uint32_t C)
{
    return (C & 0xFF000000u) | ((C & 0xFFu) << 16) | (C & 0xFF00u) | ((C >> 16) & 0xFFu);
}

// Pixels per metre, rounded half to even; unknown unit gives 0 x 0.
void ResolutionToPPM(int32_t& X, int32_t& Y, const TResolutionInfo& Res);
// Dots per inch, rounded half to even; unknown unit gives 1 x 1.
void ResolutionToDPI(int32_t& X, int32_t& Y, const TResolutionInfo& Res);

// Processor feature word.
enum : uint32_t {
    CPU_MMX = 1,
    CPU_SSE = 2,
    CPU_SSE2 = 4,
    CPU_MMXEXT = 8,
    CPU_3DNOW = 16,
    CPU_3DNOWEXT = 32,
};
// Reads the feature word through cpuid (standard leaf 1; the extended leaf
// 0x80000001 only when the processor has it).
uint32_t GetCPUFeatures();
// Builds the word from raw cpuid answers; GetCPUFeatures calls it. MaxExtLeaf
// is EAX of leaf 0x80000000.
uint32_t CPUFeaturesFromCpuid(uint32_t Leaf1Edx, uint32_t MaxExtLeaf, uint32_t ExtLeaf1Edx);
// True when the processor and the OS support AVX2 (for the wider kernels).
bool CPUHasAVX2();

// Committed work buffer of Size bytes aligned to Alignment (a power of two,
// raised to at least 8). The raw block address is kept just below the returned
// address. Raises EOutOfMemory when it cannot be had.
void* AllocAligned(uint64_t Size, uint32_t Alignment);
// Releases a buffer from AllocAligned. P must not be null.
void FreeAligned(void* P);
