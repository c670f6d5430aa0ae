#include "batch/BatchJobs.h"
#include "core/Resize.h"

TResizer* CopyResizer(TResizer* R)
{
    return R ? R->CreateMTResizer() : nullptr;
}

void FreeResizer(TResizer*& R)
{
    delete R;
    R = nullptr;
}
