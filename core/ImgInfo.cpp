#include "core/ImgInfo.h"

#include "core/Errors.h"
#include "platform/PageMemory.h"

#include <cmath>
#include <cpuid.h>
#include <cstring>
#include <algorithm>
#include <climits>

void AllocImg(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels)
{
    if (!NewImgBlock(Img, Width, Height, Channels, CalcBpl(Width, Channels)))
        throw EOutOfMemory();
}

void AllocFilledImg(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels)
{
    // A width that does not fit 32 bits fails in NewImgBlock before the product matters.
    if (!NewImgBlock(Img, Width, Height, Channels, CalcBpl(Width, Channels), Width * Channels))
        throw EOutOfMemory();
}

uint64_t ImgBytes(const TImgInfo& Img)
{
    return Img.Mem ? uint64_t(Img.Bpl) * BlockRows(Img.Height) : 0;
}

void AllocImg16(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels)
{
    if (!NewImgBlock(Img, Width, Height, Channels, CalcBpl16(Width, Channels)))
        throw EOutOfMemory();
}

void CopyImageRect(const TImgInfo& Src, TImgInfo& Dst, const TRect& R, int32_t DestY, int32_t DestX)
{
    if (Src.Channels != Dst.Channels || !Src.Mem || !Dst.Mem)
        return;
    // Work in 64 bits; clip every side against both pictures.
    int64_t sl = R.Left, st = R.Top, sr = R.Right, sb = R.Bottom;
    int64_t dx = DestX, dy = DestY;
    if (sl < 0) {
        dx -= sl;
        sl = 0;
    }
    if (st < 0) {
        dy -= st;
        st = 0;
    }
    if (dx < 0) {
        sl -= dx;
        dx = 0;
    }
    if (dy < 0) {
        st -= dy;
        dy = 0;
    }
    int64_t w = std::min<int64_t>(sr, Src.Width) - sl;
    int64_t h = std::min<int64_t>(sb, Src.Height) - st;
    w = std::min<int64_t>(w, int64_t(Dst.Width) - dx);
    h = std::min<int64_t>(h, int64_t(Dst.Height) - dy);
    if (w <= 0 || h <= 0)
        return;
    const uint64_t bytes = uint64_t(w) * Src.Channels;
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* s = ScanLine(Src, uint32_t(st + y)) + uint64_t(sl) * Src.Channels;
        uint8_t* d = ScanLine(Dst, uint32_t(dy + y)) + uint64_t(dx) * Dst.Channels;
        std::memmove(d, s, bytes);
    }
}

namespace {
int32_t RoundEven(double V)
{
    // Resolutions come from files (an EXIF RATIONAL of 4294967295/1, a pHYs
    // of 2^32 - 1 per metre); past the int32 range the conversion itself is
    // undefined, so saturate first. Nonsense (NaN) counts as unknown.
    const double R = std::nearbyint(V); // default rounding: halves to even
    if (!(R == R))
        return 0;
    if (R >= double(INT32_MAX))
        return INT32_MAX;
    if (R <= double(INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(R);
}
} // namespace

void ResolutionToPPM(int32_t& X, int32_t& Y, const TResolutionInfo& Res)
{
    switch (Res.ResolutionUnit) {
    case 1:
        X = RoundEven(Res.XResolution / 0.0254);
        Y = RoundEven(Res.YResolution / 0.0254);
        break;
    case 2:
        X = RoundEven(Res.XResolution * 100);
        Y = RoundEven(Res.YResolution * 100);
        break;
    case 3:
        X = RoundEven(Res.XResolution);
        Y = RoundEven(Res.YResolution);
        break;
    default:
        X = 0;
        Y = 0;
    }
}

void ResolutionToDPI(int32_t& X, int32_t& Y, const TResolutionInfo& Res)
{
    switch (Res.ResolutionUnit) {
    case 1:
        X = RoundEven(Res.XResolution);
        Y = RoundEven(Res.YResolution);
        break;
    case 2:
        X = RoundEven(Res.XResolution * 2.54);
        Y = RoundEven(Res.YResolution * 2.54);
        break;
    case 3:
        X = RoundEven(Res.XResolution * 0.0254);
        Y = RoundEven(Res.YResolution * 0.0254);
        break;
    default:
        X = 1;
        Y = 1;
    }
}

uint32_t CPUFeaturesFromCpuid(uint32_t Leaf1Edx, uint32_t MaxExtLeaf, uint32_t ExtLeaf1Edx)
{
    uint32_t f = 0;
    if (Leaf1Edx & (1u << 23))
        f |= CPU_MMX;
    if (Leaf1Edx & (1u << 25))
        f |= CPU_SSE;
    if (Leaf1Edx & (1u << 26))
        f |= CPU_SSE2;
    if (MaxExtLeaf >= 0x80000001u) {
        if (ExtLeaf1Edx & (1u << 22))
            f |= CPU_MMXEXT;
        if (ExtLeaf1Edx & (1u << 31))
            f |= CPU_3DNOW;
        if (ExtLeaf1Edx & (1u << 30))
            f |= CPU_3DNOWEXT;
    }
    return f;
}

uint32_t GetCPUFeatures()
{
    // Asked once: under a hypervisor every cpuid is a trip out of the
    // machine, and the kernel families and every resizer ask again.
    static const uint32_t Features = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        uint32_t edx1 = 0, maxExt = 0, edxExt = 0;
        if (__get_cpuid(1, &a, &b, &c, &d))
            edx1 = d;
        maxExt = __get_cpuid_max(0x80000000u, nullptr);
        if (maxExt >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d))
            edxExt = d;
        return CPUFeaturesFromCpuid(edx1, maxExt, edxExt);
    }();
    return Features;
}

bool CPUHasAVX2()
{
    return __builtin_cpu_supports("avx2");
}

void* AllocAligned(uint64_t Size, uint32_t Alignment)
{
    if (Alignment < 8)
        Alignment = 8;
    if (Alignment & (Alignment - 1))
        throw EOutOfMemory(); // not a power of two: a caller's fault, refuse it
    if (Size > (uint64_t(1) << 46))
        throw EOutOfMemory();
    auto* raw = static_cast<uint8_t*>(platform::PageAlloc(Size + Alignment - 1 + sizeof(void*)));
    if (!raw)
        throw EOutOfMemory();
    const uintptr_t first = reinterpret_cast<uintptr_t>(raw) + sizeof(void*);
    const uintptr_t aligned = (first + Alignment - 1) & ~uintptr_t(Alignment - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void FreeAligned(void* P)
{
    void* raw = reinterpret_cast<void**>(P)[-1];
    if (raw)
        platform::PageFree(raw);
}
