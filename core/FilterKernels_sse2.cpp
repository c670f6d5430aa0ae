#include "core/FilterKernels.h"
// placeholder until the SSE2 kernels land
const TResizeKernels SSE2ResizeKernels = {};
const TResizeKernels& AVX2ResizeKernels() { return RefResizeKernels; }
