// The process-wide sharpen and blur objects of the start-up.
#include "app/Startup.h"
#include "core/WeightedMean.h"
#include "effects/Effect.h"

void CreateSharedFilters()
{
    App.MainUnsharpMask = new TUnsharpMask;
    App.MainGaussianBlur = new TGaussianBlur;
    App.MainGaussianBlur->SetGauusianBlurParam(2.0);
    PreviewParams.UnSharpMask = App.MainUnsharpMask;
    PreviewParams.GaussianBlur = App.MainGaussianBlur;
}

void FreeSharedFilters()
{
    PreviewParams.UnSharpMask = nullptr;
    PreviewParams.GaussianBlur = nullptr;
    delete App.MainUnsharpMask;
    App.MainUnsharpMask = nullptr;
    delete App.MainGaussianBlur;
    App.MainGaussianBlur = nullptr;
}

void SetSharedFilterThreads(uint32_t Threads)
{
    if (App.MainUnsharpMask)
        App.MainUnsharpMask->SetMaxThreadNum(Threads);
}
