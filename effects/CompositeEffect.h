// The composite effect: lays one fixed image file over each picture, or the
// picture onto that image ("under"), placed by an anchor and an offset and
// blended with an opacity and the top layer's own alpha.
#pragma once
#include "effects/Effect.h"

#include <cstdint>
#include <string>

class TMemIniFile;

// Blends Top into Canvas at the anchor (0..8, column by column; others act
// as 8) plus the offsets, with Opacity in percent (held to 0..100). Rect
// receives the covered part of the canvas (right and bottom exclusive).
// Canvas 1 channel: mixes the layer's gray (of a colour layer, the gray of
// its colour by the gray weights); 3: mixes each colour; 2 and 4: "over"
// onto the canvas's alpha (a 2-channel canvas takes gray as above).
// A layer without alpha mixes at the opacity, one with alpha at opacity x
// alpha. Integer arithmetic; a 255ths division is (x + 127) x 257 >> 16.
void CompositeImage(TImgInfo& Canvas, const TImgInfo& Top, int32_t Anchor, int32_t OffsetX, int32_t OffsetY,
                    int32_t Opacity, TRect& Rect);

class TCompositeEffect : public TEffect {
public:
    TCompositeEffect();
    // The loaded image is copied, not shared: the copy's run keeps it
    // whatever the window's chain frees.
    TCompositeEffect(const TCompositeEffect& Other);
    std::unique_ptr<TEffect> Clone() const override;
    ~TCompositeEffect() override;
    // Mode 0 lays the image file over the picture (which workers share, only
    // reading it); any other value lays the picture over a copy of the image
    // file, whose size and channels the result takes: with alpha, flattened
    // onto the run's background colour where the output's format flattens
    // alpha (LoaderFlags). Raises "result too large" before the copy when it
    // does not fit the picture budget beside the picture.
    // Raises "Failed to load file" naming the image file when it is set but
    // could not be loaded, so that the picture is not written without it.
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Loads the image file (full size) when none is loaded. Runs on the GUI
    // thread before a run or preview; workers only read the result. A failure
    // leaves FExternalImg empty and its reason in FLoadError. An image larger
    // than half the picture budget is refused ("picture too large" and its
    // size) before it is read, or let go when loaded before; a run's budget
    // holds the image until the run ends (HoldPictureMemoryForRun).
    void LoadExternalImage() override;
    // Forgets the loaded image so that the next use loads the file again.
    void FreeExternalImage();

    int32_t FMode = 0;
    std::string FImageFileName;
    int32_t FBasePos = 8;
    int32_t FOffsetX = 0, FOffsetY = 0;
    int32_t FOpacity = 100;
    TImgInfo FExternalImg;  // owned; empty until loaded
    std::string FLoadError; // why the last load failed; empty after success
};
