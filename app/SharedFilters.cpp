// The process-wide sharpen and blur objects of the start-up.
#include "app/Startup.h"
#include "core/WeightedMean.h"
#include "effects/Effect.h"

void CreateSharedFilters()
{
    MainUnsharpMask = new TUnsharpMask;
    MainGaussianBlur = new TGaussianBlur;
    MainGaussianBlur->SetGauusianBlurParam(2.0);
    PreviewParams.UnSharpMask = MainUnsharpMask;
    PreviewParams.GaussianBlur = MainGaussianBlur;
}

void FreeSharedFilters()
{
    PreviewParams.UnSharpMask = nullptr;
    PreviewParams.GaussianBlur = nullptr;
    delete MainUnsharpMask;
    MainUnsharpMask = nullptr;
    delete MainGaussianBlur;
    MainGaussianBlur = nullptr;
}

void SetSharedFilterThreads(uint32_t Threads)
{
    if (MainUnsharpMask)
        MainUnsharpMask->SetMaxThreadNum(Threads);
}
