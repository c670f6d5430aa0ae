#include "batch/BatchJobs.h"
#include "core/WeightedMean.h"

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
