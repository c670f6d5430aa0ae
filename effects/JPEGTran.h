// The lossless JPEG transform: optimisation, progressive coding, grayscale,
// quarter turns, flips and cropping done by the jpegtran tool on the
// compressed data, file to file; the pixels are never decoded.
//
// Held beside the chain as EffectList's JPEGTranEffect. Several batch workers
// may run it at once; it keeps no per-file state.
#pragma once
#include "effects/Effect.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// FRotation values.
enum : int32_t {
    JT_NONE = 0,
    JT_AUTO = 1,
    JT_ROTATE90 = 2,
    JT_ROTATE180 = 3,
    JT_ROTATE270 = 4,
    JT_FLIPH = 5,
    JT_FLIPV = 6,
};

// The tool to run: ExeDir + "bin/jpegtran" when it is there, else the
// system's /usr/bin/jpegtran; empty when neither exists. Start-up stores the
// result in JPEGTranPath.
std::string FindJPEGTranPath();

// A crop rectangle in pixels, top-down.
struct TJPEGTranCrop {
    int64_t X = 0, Y = 0, Width = 0, Height = 0;
};

// The crop of a W x H picture by the trimming rule: Type 0..3 and the eight
// size expressions of the trimming effect (values 4..7 for portrait pictures,
// 0..3 otherwise). False when the rule leaves no rectangle (a side below 1).
// A rectangle reaching past the picture (type 3 positions outside 0..100) is
// moved back inside. Raises the evaluator's error for a bad expression.
bool CalcJPEGTranCrop(int32_t Type, const std::array<std::string, 8>& Values, int64_t W, int64_t H,
                      TJPEGTranCrop& Crop);

class TJPEGTran : public TEffect {
public:
    TJPEGTran();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }

    // Work is file to file from Params.InFileName to Params.OutFileName; Img
    // carries only the input's width and height. The tool writes a temporary
    // file beside the output, which replaces the output only when the tool
    // succeeded (input and output may be the same file). A tool that is
    // missing, fails or writes nothing raises "Failed to save file: " and why
    // (the tool's exit status and its last line of output) and leaves the
    // output as it was; a cancelled run (Params.ToolCancel) ends the tool and returns
    // without output.
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;

    // The tool's options for a W x H input with the given EXIF orientation
    // (0 when none), in the order the tool expects them. ResetOrientation
    // tells whether the output's EXIF orientation must be set to 1 afterwards
    // (automatic rotation with the markers copied).
    std::vector<std::string> MakeOptions(int64_t W, int64_t H, int32_t ExifOrientation, bool& ResetOrientation) const;

    bool FOptimize = true;
    bool FProgressive = false;
    bool FGrayscale = false;
    bool FTrimming = false;
    bool FRemoveExtraMarker = false;
    int32_t FRotation = JT_NONE; // 0..6, see above
};
