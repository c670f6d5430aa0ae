// A run's own copy of the settings it follows.
//
// A run (batch, combine, rename-only, an option dialog's preview) takes one
// on the GUI thread when it starts and hands it to the name phase, the
// workers, the effects and the codec calls. The option records may then
// change (a dialog, a profile read again) without changing anything in the
// run that is going on.
#pragma once
#include "core/Global.h"

class TProcessCancel;

struct TRunSettings : TSettings {
    // Not a setting: the run's cancel of external tools (a worker's copy
    // carries it), null outside a batch run. Not owned.
    TProcessCancel* ToolCancel = nullptr;
};

// The settings as they stand now. Called where a run starts, never
// while one goes on.
TRunSettings TakeRunSettings();
