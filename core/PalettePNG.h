// PNG output: the exact-palette writer, the wrapper that picks filter and
// compression level, and the recompression pass by an external optimiser.
//
// Settings followed, from the run's copy S: [PNG] Filter, CompressLevel,
// WritepHYsChunk, TransparentType, TransparentColor, UsePNGOUT,
// MaximumOptimization, FullColorOptimization; [Metadata] KeepICCProfile.
#pragma once
#include "core/ExactPalette.h"
#include "core/ImgInfo.h"
#include "core/SafeWrite.h"

#include <cstdint>
#include <string>

struct TPNGOption;
struct TRunSettings;

// The encoder behind WritePNGFile: the codec library's PNG writer (WritePNG
// of the bridge), which writes to a temporary name and renames it into place.
using TWritePNGProc = int (*)(const std::string& FileName, const TImgInfo& Img, int32_t Filter, bool Transparent,
                              bool FourBit, const TResolutionInfo& Resolution, int32_t PaletteCount,
                              const uint8_t* Palette, const TICCInfo* ICCInfo, int32_t Level, const TRunSettings& S,
                              TWriteMode Mode);
extern TWritePNGProc WritePNGProc;

// The transparent key colour of a 3-channel picture by [PNG] TransparentType
// (0 none and 2: bottom-left pixel; 1 top-left; 3 top-right; 4 bottom-right;
// otherwise TransparentColor), in pixel order (see PixelColor).
uint32_t PNGKeyColor(const TImgInfo& Img, const TPNGOption& PNG);

// Writes a 3-channel picture of at most 255 colours besides the key colour as
// a palette PNG whose index 0 is the key colour (transparent unless
// TransparentType is 0). False, with nothing written, when it has more
// colours (the caller then writes a true-colour PNG), or when the write failed.
bool SavePalettePNG(const std::string& FileName, const TImgInfo& Img, const TICCInfo* ICCInfo,
                    const TResolutionInfo& Resolution, const TRunSettings& S, TWriteMode Mode = TWriteMode::Replace);

// Writes Img (1, 3 or 4 channels; 1 channel with Palette = indices) with the
// [PNG] filter and level, or with filter 0 and level 1 followed by the
// recompression pass when UsePNGOUT asks for it (palette pictures, and gray
// or - with FullColorOptimization - all pictures). Palette: PaletteCount
// red, green, blue triplets, or null. Returns the encoder's result (non-zero
// = written); the pass runs only after a successful write.
int WritePNGFile(const std::string& FileName, const TImgInfo& Img, const TICCInfo* ICCInfo, bool Transparent,
                 bool FourBit, const TResolutionInfo& Resolution, int32_t PaletteCount, const uint8_t* Palette,
                 const TRunSettings& S, TWriteMode Mode = TWriteMode::Replace);

// The optimiser's path: ExeDir + "bin/zopflipng" when present, else the one
// found in PATH; empty when there is none (UsePNGOUT then waits: the file is
// written with the configured filter and level, and nothing is recompressed).
std::string PNGOUTPath();

// Recompresses a written PNG without changing its pixels: the optimiser
// writes a temporary file beside it, which replaces the PNG only when the
// optimiser succeeded. A failure leaves the file as it was and logs one
// line against it; the optimiser's own output is discarded. S.ToolCancel, when
// given, ends the optimiser (the file stays as written, nothing is logged).
// Keeps the pHYs chunk when WritepHYsChunk is on and iCCP when
// KeepICCProfile is on; MaximumOptimization spends more iterations.
void RunPNGOUT(const std::string& FileName, const TRunSettings& S);
