#include "platform/HeapBlock.h"

#include <cstdlib>
#include <malloc.h>

namespace platform {

uint64_t HeapBlockSize(void* P) noexcept
{
    return P ? malloc_usable_size(P) : 0;
}

void HeapFree(void* P) noexcept
{
    std::free(P);
}

} // namespace platform
