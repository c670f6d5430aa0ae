// The address-space limit (RLIMIT_AS) a tool is started under; shared by the
// tool launcher and the program, which sets it itself without the launcher.
#pragma once
#include <cstdint>
#include <sys/resource.h>

namespace platform {

// Current held to Bytes: both its soft and its hard limit become Bytes, or
// the hard limit the process has when that is lower (a process may lower its
// limits, never raise them).
inline struct rlimit LowerAddressLimit(struct rlimit Current, uint64_t Bytes)
{
    if (Current.rlim_max == RLIM_INFINITY || rlim_t(Bytes) < Current.rlim_max)
        Current.rlim_max = rlim_t(Bytes);
    Current.rlim_cur = Current.rlim_max;
    return Current;
}

} // namespace platform
