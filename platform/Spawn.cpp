#include "platform/Spawn.h"

#include <csignal>

namespace platform {

TSpawnSetup::TSpawnSetup(std::initializer_list<int> DefaultSignals, short ExtraFlags)
{
    FActionsMade = posix_spawn_file_actions_init(&Actions) == 0;
    FAttrsMade = posix_spawnattr_init(&Attrs) == 0;
    if (!FAttrsMade)
        return;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : DefaultSignals)
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&Attrs, &none);
    posix_spawnattr_setsigdefault(&Attrs, &defaults);
    posix_spawnattr_setflags(&Attrs, short(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | ExtraFlags));
}

TSpawnSetup::~TSpawnSetup()
{
    if (FAttrsMade)
        posix_spawnattr_destroy(&Attrs);
    if (FActionsMade)
        posix_spawn_file_actions_destroy(&Actions);
}

void TSpawnSetup::CloseTheRest()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&Actions, 3);
#endif
}

} // namespace platform
