// The colour reduction: reduces a PNG output to a palette of at most 256
// colours with an external quantiser, as the last step of a batch run (never
// for previews). It writes the output file itself and tells the worker so
// through Params.DecreaseColor.
//
// Of the three tools the settings know (1 FLAXC, 2 IZYINS, 3 pngnqi) only the
// third has a Linux stand-in: pngquant (bin/pngquant beside the program, else
// /usr/bin/pngquant), which takes the same picture (a PNG) and gives the same
// result (a palette PNG with alpha). Modes 1 and 2 are kept in the settings
// file but never offered.
#pragma once
#include "effects/Effect.h"

#include <cstdint>
#include <string>

// Tool bits of FFlags.
enum : uint32_t { DC_FLAXC = 1, DC_IZYINS = 2, DC_PNGNQ = 4 };

// The quantiser that stands in for mode 3; empty when none is installed.
std::string FindQuantiserPath();

class TDecreaseColorEffect : public TEffect {
public:
    TDecreaseColorEffect();

    // PNG output in mode 3: the picture goes to a work file in TempDir, the
    // quantiser writes its palette PNG beside it, which is read back to prove
    // it whole and then copied over the output through a temporary name. Any
    // other output or mode leaves the picture to the worker. A failing tool
    // raises "Failed to save file" with the output untouched; a cancelled run
    // ends the tool and writes nothing (DecreaseColor is set all the same,
    // so the worker does not write the unreduced picture instead).
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void SetUse(bool Value) override;
    void ShowConfigDialog() override;
    // Reads the keys, then checks which tools exist: a mode without its tool
    // falls back to the first present one; with none, Use is cleared.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Called when a batch starts. Only FLAXC needed per-worker copies of
    // itself; it has no Linux build, so there is nothing to prepare.
    void InitDecraseColorEXE() {}

    int32_t FMode = 0;        // 1 FLAXC, 2 IZYINS, 3 pngnqi; 0 none available
    uint32_t FFlags = 0;      // tools present (DC_*); not stored
    std::string FOption = "-Y10 -C10 -G10 -O8 -I8";
    int32_t FPaletteEntries = 256; // 2..256
    int32_t FTransparentType = 0;  // 0 none, 1 top-left, 2 bottom-left, 3 top-right, 4 bottom-right
    int32_t FDitherType = 2;       // 0 none, 1 gPeanos, 2 Floyd-Steinberg, 3 Jarvis, 4 Anime
    int32_t FDitherStr = 8;        // 0..10
    int32_t FQuality = 9;          // 1..10; higher samples more finely (slower)

private:
    void UpdateLoaderFlag() const;
};

// The settings dialog, installed by the window code; null without windows.
using TDecreaseColorDialogProc = bool (*)(TDecreaseColorEffect& Effect);
extern TDecreaseColorDialogProc DecreaseColorDialogProc;
