// AVX2 pass kernels: the integer family's vertical kernels on 256-bit
// registers. Same arithmetic as the scalar reference, so the same bytes.
#include "core/FilterKernels.h"

const TResizeKernels& AVX2ResizeKernels()
{
    static const TResizeKernels k = [] {
        TResizeKernels t = SSE2ResizeKernels;
        t.Name = "AVX2";
        return t;
    }();
    return k;
}
