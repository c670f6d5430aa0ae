// The in-memory image record and its pixel memory.
//
// Rows are stored bottom-up: memory row 0 is the picture's bottom row. Channel
// order is blue, green, red (then alpha); 2 channels are gray then alpha.
// The pixel block is page memory of Bpl x (Height rounded up to 4) bytes; every
// row starts 128-byte aligned, has at least 64 spare bytes, and no stride is a
// multiple of 1024. Kernels may rely on all three.
//
// The holder of a record owns its block; copying a record copies only the
// pointer, and exactly one copy may be freed (FreeImg).
#pragma once
#include <cstdint>
#include <cstddef>

struct TImgInfo {
    uint8_t* Mem = nullptr; // bottom row
    uint32_t Width = 0;     // pixels per row
    uint32_t Height = 0;    // rows
    uint32_t Bpl = 0;       // bytes from one memory row to the next
    uint32_t Channels = 0;  // 1, 2, 3 or 4 bytes (or 16-bit samples in the 16-bit form)
};

// Resolution carried from reader to writer. Unit: 1 inch, 2 centimetre,
// 3 metre, anything else unknown.
struct TResolutionInfo {
    double XResolution = 0;
    double YResolution = 0;
    int32_t ResolutionUnit = 0;
};

// An ICC profile carried from reader to writer. Profile is a page block
// (platform::PageAlloc) owned by the holder; FreeICC releases it.
struct TICCInfo {
    char Name[80] = {};
    uint8_t* Profile = nullptr;
    uint32_t Len = 0;
};

// Stride of an 8-bit image: s = (Width x Channels + 191) rounded down to a
// multiple of 128, plus 128 when s is a multiple of 1024. Computed in 64 bits:
// a size from a file can never wrap into a small stride.
uint64_t CalcBpl(uint64_t Width, uint64_t Channels);
// Stride of the 16-bit form: the same rule on Width x Channels x 2 bytes.
uint64_t CalcBpl16(uint64_t Width, uint64_t Channels);

// Rows that a block of Height rows holds: Height rounded up to a multiple of 4.
inline uint64_t BlockRows(uint64_t Height) { return (Height + 3) & ~uint64_t(3); }

// Fills Img with a new zeroed block for Width x Height x Channels (8-bit), its
// stride from CalcBpl. Raises EOutOfMemory when the block cannot be had or a
// size does not fit the record; Img is then left with no block. Does not free
// what Img held before.
void AllocImg(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels);
// The same for the 16-bit form (stride from CalcBpl16).
void AllocImg16(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels);

// Releases the block (when there is one) and zeroes all five fields.
void FreeImg(TImgInfo& Img);

// Memory row R (0 = bottom picture row).
inline uint8_t* MemRow(const TImgInfo& Img, uint32_t R)
{
    return Img.Mem + uint64_t(R) * Img.Bpl;
}
// Picture row Y in top-down picture coordinates.
inline uint8_t* ScanLine(const TImgInfo& Img, uint32_t Y)
{
    return Img.Mem + uint64_t(Img.Height - Y - 1) * Img.Bpl;
}

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
    CPU_MMX = 1, CPU_SSE = 2, CPU_SSE2 = 4, CPU_MMXEXT = 8, CPU_3DNOW = 16, CPU_3DNOWEXT = 32,
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

// Releases an ICC profile block and clears the record.
void FreeICC(TICCInfo& ICC);
