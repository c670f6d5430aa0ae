// The colour reduction: reduces a BMP or PNG output to a palette of at most
// 256 colours with an external quantiser, as the last step of a batch run
// (never for previews). It writes the output file itself and tells the worker
// so through Params.DecreaseColor.
//
// Of the three tools the settings know (1 FLAXC, 2 IZYINS, 3 pngnqi) FLAXC has
// no Linux build; the other two are served by pngquant (bin/pngquant beside
// the program, else /usr/bin/pngquant):
// - mode 3 hands it a PNG and takes back its palette PNG, alpha kept (PNG
//   output only, as pngnqi);
// - mode 2 reduces the picture (alpha flattened) to the asked colours, with
//   Floyd-Steinberg dithering at the asked strength or none, and writes an
//   8-bit palette BMP, the output itself for BMP output, or the palette
//   turned into a palette PNG with the transparent corner for PNG output.
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
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }

    // PNG output in modes 2 and 3, BMP output in mode 2: the picture goes to a
    // work file in TempDir, the quantiser writes its palette PNG beside it,
    // which is read back to prove it whole, converted as the mode asks, and
    // then copied over the output through a temporary name. JPEG output, BMP
    // output in mode 3 and mode 0 leave the picture to the worker. A failing
    // tool raises "Failed to save file" with the output untouched; a cancelled
    // run ends the tool and writes nothing (DecreaseColor is set all the
    // same, so the worker does not write the unreduced picture instead).
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void SetUse(bool Value) override;
    void ShowConfigDialog() override;
    // Reads the keys, then checks which tools exist: a mode without its tool
    // falls back to the first present one; with none, Use is cleared.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Called when a batch starts. Only FLAXC needed per-worker copies of
    // itself; it has no Linux build, so there is nothing to prepare.
    void InitDecraseColorEXE() { }

    int32_t FMode = 0;   // 1 FLAXC, 2 IZYINS, 3 pngnqi; 0 none available
    uint32_t FFlags = 0; // tools present (DC_*); not stored
    std::string FOption = "-Y10 -C10 -G10 -O8 -I8";
    int32_t FPaletteEntries = 256; // 2..256
    int32_t FTransparentType = 0;  // 0 none, 1 top-left, 2 bottom-left, 3 top-right, 4 bottom-right
    int32_t FDitherType = 2;       // 0 none, 1 gPeanos, 2 Floyd-Steinberg, 3 Jarvis, 4 Anime
    int32_t FDitherStr = 8;        // 0..10
    int32_t FQuality = 9;          // 1..10; higher samples more finely (slower)

private:
    void UpdateLoaderFlag() const;
};
