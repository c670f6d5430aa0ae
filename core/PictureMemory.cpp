#include "core/PictureMemory.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "platform/PageMemory.h"
#include "platform/SysInfo.h"

#include <algorithm>

namespace {
thread_local uint64_t RunBudget = 0; // 0: no run on this thread
}

uint64_t PictureMemoryBudget(const TSystemOption& S)
{
    if (S.PictureMemoryLimit > 0)
        return uint64_t(S.PictureMemoryLimit) << 20;
    // As many pictures are read at once as the batch has workers.
    const uint64_t workers = S.ParallelProcessing ? uint64_t(std::max(1, S.MaxThread)) : 1;
    return std::max(platform::PhysicalMemoryBytes() / (2 * workers), uint64_t(256) << 20);
}

uint64_t PictureMemoryBudget()
{
    return RunBudget != 0 ? RunBudget : PictureMemoryBudget(SystemOption);
}

TPictureBudgetScope::TPictureBudgetScope(const TSystemOption& S) : FOuter(RunBudget)
{
    RunBudget = PictureMemoryBudget(S);
    // Blocks a batch worker keeps for its next picture stay within half of it.
    platform::LimitPageReuse(RunBudget / 2);
}

TPictureBudgetScope::~TPictureBudgetScope()
{
    RunBudget = FOuter;
}

void CheckPictureMemory(uint64_t Bytes)
{
    if (Bytes > PictureMemoryBudget())
        throw EVestroError(LoadResText(SPictureTooLarge));
}
