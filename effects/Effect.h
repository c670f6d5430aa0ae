// The effect chain: the effect base class, the ordered chain with the two
// effects held beside it, and the per-image context the chain runs with.
//
// The chain is built once at start-up (EffectList) and read, never changed, by
// the batch workers while a run is going on; settings, reordering and the
// effect strip are touched on the GUI thread only. Nothing here links Qt
// Widgets: the main window reaches in through TEffectHost.
#pragma once
#include "core/ImageInfo.h"
#include "core/ImgInfo.h"
#include "core/RunSettings.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMemIniFile;
class TResizer;
class TUnsharpMask;
class TGaussianBlur;
class TFontCache;
class TProcessCancel;
class TEffectList;
class TResizeFilter;

// A pixel size. 64-bit so that a size rule with absurd values cannot wrap;
// whoever allocates checks the result (TResizeFilter::DoEffect raises the
// out-of-memory error for sizes no image record can hold).
struct TSize {
    int64_t cx = 0;
    int64_t cy = 0;
};

// Context of one image going through the chain. One per batch worker (owned by
// the worker) and one process-wide for option-dialog previews (PreviewParams).
struct TEffectParams {
    int32_t ExifOrientation = 0; // 1..8, 0 when the source has none
    bool ToGrayAlpha = false;    // an effect asks for gray+alpha after the chain
    bool NeedGrayAlpha = false;  // a gray+alpha PNG source is written as PNG
    int32_t DownScale = 1;       // decode factor of the source (1, 2, 4, 8)
    // The objects an effect must use; not owned (shared ones in single-worker
    // runs and previews, the worker's own copies otherwise).
    TResizer* Resizer = nullptr;
    TUnsharpMask* UnSharpMask = nullptr;
    TResizer* Antialiasing = nullptr;
    TGaussianBlur* GaussianBlur = nullptr;
    TFontCache* FontCache = nullptr; // made on first use by add-text; freed by the holder
    std::string InFileName, OutFileName;
    // Where an effect whose tool writes the output file itself (the lossless
    // transform, colour reduction) puts it: a new name beside OutFileName
    // that the worker moves into place once the whole chain has succeeded.
    std::string ToolOutFileName;
    int32_t ThreadNum = 0; // 0-based worker index, names per-worker work files
    TResolutionInfo RInfo;
    TICCInfo* ICCInfo = nullptr; // the source's profile or null; not owned
    double Time = 0;             // shooting time (or last write), days since 1899-12-30
    bool IsYCbCr = false;        // pixels are in the luma/chroma working form
    bool DecreaseColor = false;  // colour reduction already wrote the output
    bool Preview = false;        // chain runs for a preview
    int32_t Number = 0;          // entry number for text tokens
    // Set while a batch runs (null otherwise): Cancel becomes true when the
    // user cancels; effects that run an external tool pass ToolCancel to
    // RunProcessAndWait, which then ends the tool at once.
    const std::atomic<bool>* Cancel = nullptr;
    TProcessCancel* ToolCancel = nullptr;
    // Set by an effect whose tool wrote the output but warned about the input
    // (damaged data): the output stays, the source is never deleted, and the
    // worker logs this text against the file. Cleared by the worker.
    std::string Warning;
    // Set by the worker when the output cannot take every picture (a BMP
    // holds at most 4 GiB): the resize calls it with the size it is about to
    // make, before it makes it, and it raises to refuse that size.
    std::function<void(int64_t Width, int64_t Height, uint32_t Channels)> CheckResult;
    // The settings of the run (or preview) the picture belongs to; effects
    // read these, never the option records.
    TRunSettings Settings;
};

// Effect identifiers (one bit each; 2048 is not used).
enum : uint32_t {
    EFFECT_GRAYSCALE = 1,
    EFFECT_ROTATION = 2,
    EFFECT_EXIFROTATION = 4,
    EFFECT_RESIZE = 8,
    EFFECT_TRIMMING = 16,
    EFFECT_ADDBLANK = 32,
    EFFECT_USM = 64,
    EFFECT_JPEGTRAN = 128,
    EFFECT_COLORADJUST = 256,
    EFFECT_TONECURVE = 512,
    EFFECT_DECREASECOLOR = 1024,
    EFFECT_ADDTEXT = 4096,
    EFFECT_COMPOSITE = 8192,
};

class TEffect {
public:
    TEffect(std::string Name, char Accelerator, std::string SectionName, uint32_t ID);
    virtual ~TEffect() = default;
    TEffect& operator=(const TEffect&) = delete;

    // A new effect of the same class with the same settings and no owner:
    // what a run works with, so that the chain may change while it goes on.
    // Whatever the effect loaded for a run (the composite's image) is copied
    // too; process-wide tables built from its settings are not.
    virtual std::unique_ptr<TEffect> Clone() const = 0;
    virtual void SetUse(bool Value);
    // Opens the dialog set for this effect's identifier (SetEffectDialog);
    // nothing when none is set.
    virtual void ShowConfigDialog();
    virtual void DoEffect(TImgInfo& Img, TEffectParams& Params) = 0;
    // Whether the effect would change this picture under the run's settings
    // S; the base says so whenever the effect is in use.
    virtual bool IsChange(const TImageInfo& Info, const TRunSettings& S);
    // "Use" and "Order" of the effect's section; Order defaults to the
    // effect's position in its list (-1 outside a list).
    virtual void ReadIniFile(TMemIniFile& Ini);
    virtual void WriteIniFile(TMemIniFile& Ini);
    // Loads an image the effect draws from a file of its own before a run or
    // preview (the composite overlay); nothing in the base.
    virtual void LoadExternalImage() { }

    TEffectList* FOwner = nullptr;
    std::string FName; // translated display name; strip caption and IndexOf key
    char FAccelerator;
    std::string FSectionName; // settings section
    bool FUse = false;
    int32_t FOrder = 0; // sort key of the chain
    uint32_t FID;

protected:
    // For Clone: the owner is left to the list that takes the copy.
    TEffect(const TEffect&) = default;
};

// Clone of an effect class whose members all copy as values.
template <class TOwnEffect> std::unique_ptr<TEffect> CloneEffect(const TOwnEffect& E)
{
    auto C = std::make_unique<TOwnEffect>(E);
    C->FOwner = nullptr;
    return C;
}

// The effects' settings dialogs, one per effect identifier. The dialog code
// links Qt Widgets and fills this at start-up; the effects only look
// themselves up. GUI thread only. A dialog returns true when the user
// confirmed (its values are then in the effect).
using TEffectDialog = std::function<bool(TEffect& Effect)>;
// Sets the dialog of the effect with identifier ID; an empty Dialog clears it.
void SetEffectDialog(uint32_t ID, TEffectDialog Dialog);
// The same for a dialog written for the effect's own class: it is handed only
// effects of that class (any other gets no dialog and false).
template <class TOwnEffect, class TFn> void SetEffectDialogOf(uint32_t ID, TFn Dialog)
{
    SetEffectDialog(ID, [Dialog = std::move(Dialog)](TEffect& Effect) {
        auto* Own = dynamic_cast<TOwnEffect*>(&Effect);
        return Own && Dialog(*Own);
    });
}
// Runs the dialog set for Effect.FID: false when there is none or the user
// cancelled.
bool ShowEffectDialog(TEffect& Effect);

// What the chain needs from the main window. The window code implements it
// and sets EffectHost; with none set (tests, at-once runs) the calls do nothing.
class TEffectHost {
public:
    virtual ~TEffectHost() = default;
    // Rebuilds the effect strip rows from the list (after reorders and settings).
    virtual void UpdateEffectStrip(TEffectList& List) = 0;
    // The resampling settings dialog, opened from the resize row.
    virtual void ShowResizeSettings() = 0;
    // Pushes the window's size edits into the chain (SetResizeParam).
    virtual void PushSizeRule() = 0;
    // The output-file-name rule as the window's rule edit holds it.
    virtual std::string RenameRule() = 0;
    // Configures the shared resizer: decimation and interpolation filter ids
    // (0 keeps a filter) and the SIMD mode.
    virtual void SetResizeFilters(int32_t Decimation, int32_t Interpolation, int32_t SIMDMode) = 0;
};
extern TEffectHost* EffectHost;

// The ordered chain. Owns its items and the two effects held beside them.
class TEffectList {
public:
    TEffectList();
    ~TEffectList();
    TEffectList(const TEffectList&) = delete;
    TEffectList& operator=(const TEffectList&) = delete;
    // A chain of its own with the same effects (Clone), order, size rule and
    // copies: a run's, made on the GUI thread when the run starts.
    std::unique_ptr<TEffectList> Clone() const;

    // Appends E (the list takes ownership) and makes the list its owner.
    void AddFilter(std::unique_ptr<TEffect> E);
    // The two effects kept outside the order; the list owns them. Null until
    // the effect exists in the program (treated as not in use).
    void SetJPEGTranEffect(std::unique_ptr<TEffect> E);
    void SetDecreaseColorEffect(std::unique_ptr<TEffect> E);
    TEffect* JPEGTranEffect() const { return FJPEGTranEffect.get(); }
    TEffect* DecreaseColorEffect() const { return FDecreaseColorEffect.get(); }

    int Count() const { return int(FItems.size()); }
    TEffect* Items(int Index) const { return FItems[size_t(Index)].get(); }
    // First item whose display name equals Name (case-sensitive), else -1.
    int IndexOf(const std::string& Name) const;
    // First item with that identifier, else null.
    TEffect* FindByID(uint32_t ID) const;
    int PositionOf(const TEffect* E) const;

    bool IsChange(const TImageInfo& Info, const TRunSettings& S) const;
    bool IsUse() const;
    void SetResizeParam(int32_t Type, double Value, double Value2);
    // Index >= Count addresses the decrease-colour effect.
    void ChangeState(int Index, bool State);
    void ShowConfigDialog(int Index);
    // New sort keys, one per item; any other length changes nothing.
    void SetOrder(const std::vector<int32_t>& Orders);
    // Sort keys from the present positions (after a row drag).
    void ReOrder();
    // Swaps two items of the chain (a row dragged past its neighbour); the
    // sort keys stay until ReOrder.
    void Exchange(int Index1, int Index2);
    void ReadIniFile(TMemIniFile& Ini);
    void WriteIniFile(TMemIniFile& Ini);
    void UpDateMenu();
    // The composite effect, when listed and used, loads its overlay.
    void LoadExternalImage();

    // One image through the chain. Scale is the decode factor of the source.
    void DoEffect(TImgInfo& Img, const TImageInfo& Info, int32_t Scale, TEffectParams& Params);
    // The chain up to (not including) the first item with EffectID.
    void GetBeforeImage(uint32_t EffectID, TImgInfo& Img, const TImageInfo& Info, int32_t Scale, TEffectParams& Params);
    // May the source be decoded smaller? Scale gets the resize step's factors.
    // The resize effect, when it is the only one that changes Info's picture
    // (no other effect in use changes it, no tool works on the file): the
    // picture may then be resized as it is decoded. Else null.
    const TResizeFilter* SoleResize(const TImageInfo& Info, const TRunSettings& S) const;
    // Leaves Params as DoEffect does, for a picture already resized by the
    // caller as SoleResize allows.
    void ResizedOutside(const TImageInfo& Info, TEffectParams& Params);
    bool CanDownScalingLoad(const TImageInfo& Info, TScale& Scale, const TRunSettings& S) const;

    int32_t FResizeType = 0; // size rule 0..11
    double FResizeValue = 0;
    double FResizeValue2 = 0;
    bool FExifRotationUse = false;
    bool FConvertToGray = false;
    int32_t FTrimmingType = 0;
    std::array<std::string, 8> FTrimmingValue;
    bool FUseJPEGTran = false;

private:
    void SortByOrder();
    std::vector<std::unique_ptr<TEffect>> FItems;
    std::unique_ptr<TEffect> FJPEGTranEffect;
    std::unique_ptr<TEffect> FDecreaseColorEffect;
};

// The process-wide chain (made and freed by start-up) and the context of the
// option dialogs' previews.
extern TEffectList* EffectList;
extern TEffectParams PreviewParams;

// The picture an option dialog previews: the entry Info with every used
// effect before EffectID applied, in PreviewParams. Img receives a new block
// (it must hold none). Returns false, Img untouched, when the file cannot be
// probed; raises "Failed to load file" when it cannot be read. The shared
// resizer is set back to its shrinking filter however this ends.
bool LoadBeforeImage(TImageInfo& Info, TImgInfo& Img, uint32_t EffectID, int32_t Number);

// Converts a picture in the luma/chroma working form back to BGR (3 or 4
// channels; other counts are left) and clears IsYCbCr.
void YCbCrToBGRInPlace(TImgInfo& Img, bool& IsYCbCr);

// Raises "Failed to save file: " and why an external tool gave no file:
// Format is a message text taking the tool's name (%s, the file name part of
// Tool) and, where it has one, its exit status (%d); the tool's last line of
// output (Said), when it wrote one, follows. One line, in the interface
// language.
[[noreturn]] void FailTool(const char* Format, const std::string& Tool, int Code = 0, const std::string& Said = {});
// The message texts for FailTool.
inline constexpr const char SToolNotFound[] = "%s was not found";
inline constexpr const char SToolNotStarted[] = "%s could not be started";
inline constexpr const char SToolFailed[] = "%s ended with exit status %d";
inline constexpr const char SToolWroteNothing[] = "%s wrote no file";

// Applies the after-chain gray+alpha step: only a 4-channel picture becomes
// gray+alpha; anything else is left as it is.
void ConvertChainGrayAlpha(TImgInfo& Img);
