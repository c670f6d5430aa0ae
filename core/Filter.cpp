#include "core/Filter.h"

#include "core/Errors.h"
#include "core/ImgInfo.h"

#include <cmath>

TFilter::~TFilter()
{
    FreeWorkBuffers();
}

uint64_t TFilter::GetVFilterWorkSize(uint64_t)
{
    return 0;
}

void TFilter::SetMaxThreadNum(uint32_t Value)
{
    if (Value == FMaxThreadNum)
        return;
    FreeWorkBuffers();
    FMaxThreadNum = Value;
    HFilterWork.assign(Value, nullptr);
    VFilterWork.assign(Value, nullptr);
    ResetParam();
}

namespace {

// One block for every thread. A ring gets 2 x size per thread, aligned to
// 2 x size, so that clearing the size bit of an address wraps it; other work
// memory is padded to whole 128-byte units.
void AllocSide(uint64_t Size, bool Ring, uint32_t Threads, void*& Mem, std::vector<uint8_t*>& Work)
{
    if (Size == 0 || Threads == 0)
        return;
    uint64_t per, align;
    if (Ring) {
        per = Size * 2;
        align = per;
    } else {
        per = (Size + 127) & ~uint64_t(127);
        align = 128;
    }
    if (align > 0x80000000u || per > (uint64_t(1) << 40) / Threads)
        throw EOutOfMemory();
    Mem = AllocAligned(per * Threads, uint32_t(align));
    for (uint32_t i = 0; i < Threads; ++i)
        Work[i] = static_cast<uint8_t*>(Mem) + i * per;
}

} // namespace

void TFilter::AllocWorkBuffers(uint64_t HBufLength, uint64_t VBufLength)
{
    FreeWorkBuffers();
    HFilterWork.assign(FMaxThreadNum, nullptr);
    VFilterWork.assign(FMaxThreadNum, nullptr);
    AllocSide(GetHFilterWorkSize(HBufLength), FHBufNeedAlign, FMaxThreadNum, HFilterWorkMem, HFilterWork);
    AllocSide(GetVFilterWorkSize(VBufLength), FVBufNeedAlign, FMaxThreadNum, VFilterWorkMem, VFilterWork);
}

void TFilter::FreeWorkBuffers()
{
    for (auto& p : HFilterWork)
        p = nullptr;
    for (auto& p : VFilterWork)
        p = nullptr;
    if (HFilterWorkMem)
        FreeAligned(HFilterWorkMem);
    if (VFilterWorkMem)
        FreeAligned(VFilterWorkMem);
    HFilterWorkMem = nullptr;
    VFilterWorkMem = nullptr;
}

void TFilter::HFilterShare(uint32_t ThreadNum, uint64_t& Start, uint32_t& Count)
{
    const uint32_t n = FHCount ? FHCount : GetHLoopCount();
    const uint32_t N = FMaxThreadNum;
    Start = 0;
    if (N <= 1) {
        Count = n;
        return;
    }
    const uint32_t q = n / N, r = n % N;
    if (ThreadNum < r) {
        Start = uint64_t(ThreadNum) * (q + 1);
        Count = q + 1;
    } else {
        Start = uint64_t(r) * (q + 1) + uint64_t(ThreadNum - r) * q;
        Count = q;
    }
}

void TFilter::GetHFilterRange(uint8_t*& Tmp, const uint8_t*& Src, uint32_t ThreadNum, uint32_t& Count)
{
    uint64_t start;
    HFilterShare(ThreadNum, start, Count);
    Src += start * FHFilterSrcBlockSize;
    Tmp += (uint64_t(FHFirst) + start) * FHFilterDestBlockSize;
}

void TFilter::VFilterShare(uint32_t ThreadNum, uint64_t& Start, uint32_t& Count)
{
    const uint64_t n = GetVLoopCount();
    const uint32_t N = FMaxThreadNum;
    Start = 0;
    if (N <= 1) {
        Count = uint32_t(n);
        return;
    }
    uint64_t g = GetVMinBlock();
    if (g == 0)
        g = 1;
    const uint64_t G = (n + g - 1) / g;
    const uint64_t q = G / N, r = G % N;
    uint64_t end;
    if (ThreadNum < r) {
        Start = ThreadNum * (q + 1) * g;
        end = Start + (q + 1) * g;
    } else {
        Start = r * (q + 1) * g + (ThreadNum - r) * q * g;
        end = Start + q * g;
    }
    if (end > n)
        end = n;
    Count = Start < end ? uint32_t(end - Start) : 0;
}

void TFilter::GetVFilterRange(uint8_t*& Dest, const uint8_t*& Tmp, uint32_t ThreadNum, uint32_t& Count)
{
    uint64_t start;
    VFilterShare(ThreadNum, start, Count);
    if (Count == 0)
        return;
    Tmp += start * FVFilterSrcBlockSize;
    Dest += start * FVFilterDestBlockSize;
}

uint64_t NextPow2(uint64_t Value)
{
    if (Value == 0)
        return 0;
    uint64_t p = 1;
    while (p < Value)
        p <<= 1;
    return p;
}
