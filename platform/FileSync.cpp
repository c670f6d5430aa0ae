#include "platform/FileSync.h"

#include <unistd.h>

namespace platform {

bool SyncFile(std::FILE* F) noexcept
{
    if (!F || std::fflush(F) != 0)
        return false;
    return fsync(fileno(F)) == 0;
}

} // namespace platform
