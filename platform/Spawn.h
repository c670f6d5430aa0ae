#pragma once
// One child start's file actions and attributes, made and freed together.
// Every child starts with no signal blocked and the given signals at their
// default action: a worker thread may block signals, and the program ignores
// SIGPIPE, and neither may carry over into a child.
#include <initializer_list>
#include <spawn.h>

namespace platform {

class TSpawnSetup {
public:
    // ExtraFlags are POSIX_SPAWN_* flags beyond the signal ones (their
    // attributes set by the caller through Attrs).
    TSpawnSetup(std::initializer_list<int> DefaultSignals, short ExtraFlags = 0);
    ~TSpawnSetup();
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;

    // False when the records could not be made; nothing may be started then.
    bool Ok() const { return FActionsMade && FAttrsMade; }
    // Closes every descriptor above 2 in the child, after the actions added
    // so far (where the C library offers it): files a worker holds open must
    // not stay open in a child.
    void CloseTheRest();

    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attrs;

private:
    bool FActionsMade = false, FAttrsMade = false;
};

} // namespace platform
