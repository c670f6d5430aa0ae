#include "core/PictureMemory.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "platform/SysInfo.h"

#include <algorithm>

uint64_t PictureMemoryBudget()
{
    if (SystemOption.PictureMemoryLimit > 0)
        return uint64_t(SystemOption.PictureMemoryLimit) << 20;
    // As many pictures are read at once as the batch has workers.
    const uint64_t workers = SystemOption.ParallelProcessing ? uint64_t(std::max(1, SystemOption.MaxThread)) : 1;
    return std::max(platform::PhysicalMemoryBytes() / (2 * workers), uint64_t(256) << 20);
}

void CheckPictureMemory(uint64_t Bytes)
{
    if (Bytes > PictureMemoryBudget())
        throw EVestroError(LoadResText(SPictureTooLarge));
}
