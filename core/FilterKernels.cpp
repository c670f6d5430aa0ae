// Chooses the kernel family once, from the processor and VESTRO_NOVECTOR.
#include "core/FilterKernels.h"
#include "core/ImgInfo.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

const TResizeKernels* Pick(TKernelFamily Family)
{
    switch (Family) {
    case TKernelFamily::Scalar:
        return &RefResizeKernels;
    case TKernelFamily::SSE2:
        return &SSE2ResizeKernels;
    case TKernelFamily::AVX2:
        return CPUHasAVX2() ? &AVX2ResizeKernels() : &SSE2ResizeKernels;
    case TKernelFamily::Best:
        break;
    }
    const char* nv = std::getenv("VESTRO_NOVECTOR");
    if (nv && *nv && std::strcmp(nv, "0") != 0)
        return &RefResizeKernels;
    return CPUHasAVX2() ? &AVX2ResizeKernels() : &SSE2ResizeKernels;
}

std::atomic<const TResizeKernels*> Active{nullptr};

} // namespace

const TResizeKernels& ResizeKernels()
{
    const TResizeKernels* k = Active.load(std::memory_order_acquire);
    if (!k) {
        k = Pick(TKernelFamily::Best);
        Active.store(k, std::memory_order_release);
    }
    return *k;
}

void SelectResizeKernels(TKernelFamily Family)
{
    Active.store(Pick(Family), std::memory_order_release);
}
