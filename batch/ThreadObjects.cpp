#include "batch/BatchJobs.h"
#include "core/Resize.h"
#include "core/WeightedMean.h"

// Each worker of a parallel run gets its own copies of the shared filters:
// a resizer keeps its plan between calls and must not be shared by threads.

TResizer* CopyResizer(TResizer* R)
{
    return R ? R->CreateMTResizer() : nullptr;
}

void FreeResizer(TResizer*& R)
{
    delete R;
    R = nullptr;
}

void CopyFilters(const TWorkerObjects& Shared, TWorkerObjects& Copy)
{
    Copy.UnSharpMask = Shared.UnSharpMask ? Shared.UnSharpMask->CreateMTUnSharpMask().release() : nullptr;
    Copy.GaussianBlur = Shared.GaussianBlur ? Shared.GaussianBlur->CreateMTGauusinBlur().release() : nullptr;
}

void FreeFilters(TWorkerObjects& Copy)
{
    delete Copy.UnSharpMask;
    delete Copy.GaussianBlur;
    Copy.UnSharpMask = nullptr;
    Copy.GaussianBlur = nullptr;
}
