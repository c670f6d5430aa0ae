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

struct TRunSettings {
    TFileOption File;
    TResizeOption Resize;
    TSPIOption SPI;
    TSystemOption System;
    TBitmapOption Bitmap;
    TJPEGOption JPEG;
    TPNGOption PNG;
    TWICOption WIC;
    TMetadataOption Metadata;
    TCombineOption Combine;
    TBGColor Background;                   // colour alpha is flattened onto
    int32_t RunMode = 0;                   // as the global RunMode
    bool ColorReductionDropsAlpha = false; // the loader flattens alpha for colour reduction
    // Not a setting: the run's cancel of external tools (a worker's copy
    // carries it), null outside a batch run. Not owned.
    TProcessCancel* ToolCancel = nullptr;
};

// The option records as they stand now. Called where a run starts, never
// while one goes on.
TRunSettings TakeRunSettings();
