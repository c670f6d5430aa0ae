// Separable filter base: a horizontal pass from the source into a temporary
// image, a vertical pass from the temporary into the result, each cut into
// shares for several threads. Resampling, the Gaussian blur and the unsharp
// mask descend from TFilter. The filter plans and runs the kernels; starting
// and joining the threads is the driver's business.
//
// Also the four sRGB <-> linear-light tables used by the linear-light kernels.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Form of a weight table: 14-bit integers, floats, or doubles (the blur's
// weight builder works in doubles before it converts).
enum TWeightType { wtInt, wtSingle, wtDouble };

class TFilter {
public:
    TFilter() = default;
    TFilter(const TFilter&) = delete;
    TFilter& operator=(const TFilter&) = delete;
    // Frees the work memory. A descendant that holds a plan calls ResetParam
    // in its own destructor (the base cannot reach the override from here).
    virtual ~TFilter();

    // Geometry of the planned pass (bytes).
    uint32_t FSrcBpl = 0;   // stride of the source image
    uint32_t FTmpBpl = 0;   // stride of the temporary written by the horizontal pass
    uint32_t FDestBpl = 0;  // stride of the result image
    uint32_t FChannels = 0; // bytes per source pixel (1, 3 or 4)
    // Bytes that one work item advances (64-bit: items of 4 rows of a wide
    // stride do not fit 32 bits).
    uint64_t FHFilterSrcBlockSize = 0;
    uint64_t FHFilterDestBlockSize = 0;
    uint64_t FVFilterSrcBlockSize = 0;
    uint64_t FVFilterDestBlockSize = 0;
    bool FIsRGBA = false;        // the 4th byte is alpha
    bool FHBufNeedAlign = false; // horizontal work memory is a ring (2 x size, aligned to 2 x size)
    bool FVBufNeedAlign = false;
    uintptr_t HBufMask = 0; // all bits but the ring size: address & mask wraps into the ring
    uintptr_t VBufMask = 0;
    bool FNeedTmpBuf = false;          // the horizontal pass cannot write over the rows it reads
    std::vector<uint8_t*> HFilterWork; // per thread, FMaxThreadNum entries
    std::vector<uint8_t*> VFilterWork;
    void* HFilterWorkMem = nullptr; // one AllocAligned block for all threads
    void* VFilterWorkMem = nullptr;

    // Vertical work items (column blocks) and horizontal ones (row blocks).
    virtual uint32_t GetVLoopCount() = 0;
    virtual uint32_t GetHLoopCount() = 0;
    // Granule, in vertical items, in which the vertical pass is shared out.
    virtual uint32_t GetVMinBlock() = 0;
    // Forgets the plan (weight tables and work memory).
    virtual void ResetParam() = 0;
    // Bytes of work memory one thread needs for the planned pass.
    virtual uint64_t GetHFilterWorkSize(uint64_t BufLength) = 0;
    virtual uint64_t GetVFilterWorkSize(uint64_t BufLength);
    // Run thread ThreadNum's share of a pass. Tmp/Src/Dest point at the whole
    // image (memory row 0); the share is found by GetH/VFilterRange.
    virtual void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) = 0;
    virtual void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) = 0;

    uint32_t MaxThreadNum() const { return FMaxThreadNum; }
    // A new value frees the work memory and drops the plan; the same value
    // keeps both.
    void SetMaxThreadNum(uint32_t Value);

    // Takes every thread's work memory after planning. Raises EOutOfMemory.
    void AllocWorkBuffers(uint64_t HBufLength, uint64_t VBufLength);
    void FreeWorkBuffers();

    // This thread's share: advances the pointers to its first item and gives
    // the item count (0: nothing to do). The first n mod N threads take one
    // horizontal item more; the vertical pass is shared in whole granules.
    void GetHFilterRange(uint8_t*& Tmp, const uint8_t*& Src, uint32_t ThreadNum, uint32_t& Count);
    // The rows (from Start, Count of them) a thread's share of the horizontal pass covers.
    void HFilterShare(uint32_t ThreadNum, uint64_t& Start, uint32_t& Count);
    // Limits the horizontal pass to items [First, First + Count) of the
    // picture, for a source that arrives in bands: Src then points at item
    // First of a band, Tmp still at the whole temporary. Count 0: all items,
    // Src the whole source.
    void SetHItemRange(uint32_t First, uint32_t Count)
    {
        FHFirst = First;
        FHCount = Count;
    }
    void GetVFilterRange(uint8_t*& Dest, const uint8_t*& Tmp, uint32_t ThreadNum, uint32_t& Count);
    // The columns or rows (from Start, Count of them) a thread's share of the vertical pass covers.
    void VFilterShare(uint32_t ThreadNum, uint64_t& Start, uint32_t& Count);

protected:
    uint32_t FMaxThreadNum = 0;
    uint32_t FHFirst = 0, FHCount = 0;
};

// Smallest power of two not below Value; 0 for 0.
uint64_t NextPow2(uint64_t Value);

// Linear light is carried on a scale where 8192 is full intensity. The tables
// are computed at build time (core/gen/MakeGammaTables.cpp).
// sRGB 8-bit sample -> linear x 8192.
extern const float SRGB8ToLinear[256];
// Linear value 0..8192 (an integer index) -> sRGB 8-bit sample.
extern const uint8_t LinearToSRGB8[8193];
// sRGB sample on the 12-bit scale 0..4080 -> linear x 8192.
extern const float SRGB12ToLinear[4081];
// Linear value 0..8192 -> sample on the 12-bit scale 0..4080.
extern const uint16_t LinearToSRGB12[8193];
