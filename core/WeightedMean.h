// Gaussian weighted means on the separable filter base: the unsharp mask
// (8-bit images of 1 or 3 channels, one-channel 16-bit luma planes, optionally
// blurring in linear light) and the Gaussian blur of one-channel masks.
//
// Radii are in pixels; sigma is half the radius and the weights reach
// ceil(radius) pixels to each side, taps beyond the image folded onto the
// edge pixels. Integer weights are 14-bit fixed point truncated from the exact
// values (a list sums to at most 16384).
#pragma once
#include "core/Filter.h"
#include "core/FilterKernels.h"
#include "core/ImgInfo.h"
#include "core/UnsharpKernels.h"

#include <cstdint>
#include <memory>
#include <vector>

// Weight lists of one pass. WeightTableInfo: entry 2i the byte offset of
// position i's first source unit, entry 2i + 1 the address of its list (a
// 32-bit count, then the weights, 8-byte aligned) inside WeightTableBuf.
struct TFilterParam {
    void* WeightTableBuf = nullptr; // AllocAligned block, owned
    std::vector<uintptr_t> WeightTableInfo;
    uint32_t Length = 0;     // output positions (width or height)
    uint32_t Step = 0;       // bytes between source units of a list
    uint32_t BLoopCount = 0; // pixel pairs the horizontal kernel gathers per row
    uint32_t XLoopCount = 0; // outputs per row (H) or column blocks (V)
    uint32_t YLoopCount = 0; // row blocks (H) or rows (V)
    uint32_t MinBlock = 0;   // granule of the vertical share
    uint32_t BufLength = 0;  // longest list: pairs (integer) or taps (float)
};
using PFilterParam = TFilterParam*;

// Frees the weight block and zeroes the record.
void ClearFilterParam(TFilterParam& P);

class TGaussianBlurWeight {
public:
    // Radius is clamped to 0.01..250 pixels (a radius of 0 or less has no
    // Gaussian; a huge one only burns memory and time).
    explicit TGaussianBlurWeight(double Radius);
    // Rebuilds the table only when the (clamped) radius changed.
    void SetParam(double Radius);
    // The Gaussian at an integer distance; 0 beyond FIRadius.
    double GetGaussianWeight(int32_t Distance) const;
    // Builds the lists of one pass; P->Length and P->Step must be set.
    // Raises EOutOfMemory.
    void SetWeight(PFilterParam P, TWeightType WeightType) const;

    double FRadius = 0;
    std::vector<double> WeightTable; // 0..FIRadius
    int32_t FIRadius = 0;            // FRadius rounded up

private:
    void MakeIntWeightTable(TFilterParam& P) const;
    void MakeSingleWeightTable(TFilterParam& P) const;
};

// Amount and threshold of every unsharp mask in the process ("last set wins
// for every instance"). Amounts in percent, threshold in 8-bit units. Each
// filtering call takes one consistent snapshot before its passes start.
void SetUSMStrength(uint32_t Highlight, uint32_t Shadow);
void SetUSMThreshold(uint32_t Threshold);
// The snapshot; in 16-bit mode the threshold is scaled by 16.
TUSMCoeffs GetUSMCoeffs(bool Is16BitMode);

class TWeightedMeanFilter : public TFilter {
public:
    ~TWeightedMeanFilter() override;
    bool Is16BitMode = false;
    TFilterParam HPrm, VPrm;
    TUSMCoeffs Coeffs; // the snapshot the vertical pass uses

    uint32_t GetVLoopCount() override { return VPrm.XLoopCount; }
    uint32_t GetHLoopCount() override { return HPrm.YLoopCount; }
    uint32_t GetVMinBlock() override { return VPrm.MinBlock; }
    void ResetParam() override;
    // Common geometry; descendants add theirs.
    virtual void SetFilterParam(const TImgInfo& Src);
    // Weight lists this filter's kernels read.
    virtual TWeightType WeightType() const { return wtInt; }
    // True when the plan does not fit Src (or there is none).
    bool NeedsPlan(const TImgInfo& Src) const;
};

// Integer kernels, row pairs in the temporary image: the shared resampling
// kernels for the 8-bit horizontal pass (and the blur's vertical pass), our
// own for 16-bit samples and for the unsharp combine. The "MMX" variants run
// the plain kernels, which compute the same bytes as the SSE2 ones.
class TIntWeightedMeanFilter : public TWeightedMeanFilter {
public:
    struct Kernels {
        const TResizeKernels* Shared; // null: whatever family start-up chose
        TUSMHFilterProc H16;
        TUSMVFilterProc V8, V16; // null: plain weighted mean (the blur)
    };
    explicit TIntWeightedMeanFilter(const Kernels& K) : FK(K) { FIsRGBA = false; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;
    void SetFilterParam(const TImgInfo& Src) override;

private:
    const TResizeKernels& Shared() const { return FK.Shared ? *FK.Shared : ResizeKernels(); }
    Kernels FK;
};

class TUnsharpMaskMMXFilter : public TIntWeightedMeanFilter {
public:
    TUnsharpMaskMMXFilter();
};
class TUnsharpMaskSSE2Filter : public TIntWeightedMeanFilter {
public:
    TUnsharpMaskSSE2Filter();
};
class TGaussianBlurMMXFilter : public TIntWeightedMeanFilter {
public:
    TGaussianBlurMMXFilter();
};
class TGaussianBlurSSE2Filter : public TIntWeightedMeanFilter {
public:
    TGaussianBlurSSE2Filter();
};

// Blur in linear light: float rows of linear light (8192 = full) in the
// temporary image, float weights; the difference, threshold and amounts act
// on the sRGB-encoded samples as in the integer filters.
class TLinearUnsharpMaskFilter : public TWeightedMeanFilter {
public:
    // Plain: the reference combine kernels instead of the SSE2 ones (the
    // horizontal pass is the shared linear kernel of the chosen family).
    explicit TLinearUnsharpMaskFilter(bool Plain = false);
    TWeightType WeightType() const override { return wtSingle; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;
    void SetFilterParam(const TImgInfo& Src) override;

private:
    bool FPlain;
};

class TUnsharpMask {
public:
    TUnsharpMask() = default;
    TUnsharpMask(const TUnsharpMask&) = delete;
    TUnsharpMask& operator=(const TUnsharpMask&) = delete;

    // Amounts in percent (0 changes nothing, 100 pushes a sample away from
    // its blur by about the difference), threshold in 8-bit units, radius in
    // pixels; Degamma blurs in linear light. Sets the process-wide amounts
    // and threshold, and gives this instance a fresh, unplanned filter.
    void SetUnSharpMaskParam(uint32_t Highlight, uint32_t Shadow, uint32_t Threshold, double Radius, bool Degamma);
    // Threads per pass, clamped to 1..64.
    void SetMaxThreadNum(uint32_t Value);
    uint32_t MaxThreadNum() const { return FMaxThreadNum; }
    // A copy for another worker: same variant, radius and thread count.
    std::unique_ptr<TUnsharpMask> CreateMTUnSharpMask() const;
    // Sharpens Info in place: 8-bit 1 or 3 channels, or (Is16BitMode) a
    // one-channel 16-bit plane whose results are not clamped. IsRGBA leaves
    // the image alone. Does nothing before SetUnSharpMaskParam. Raises
    // EOutOfMemory with the image unchanged.
    void DoUnSharpMask(TImgInfo& Info, bool IsRGBA, bool Is16BitMode);

    std::unique_ptr<TWeightedMeanFilter> USM;
    std::unique_ptr<TGaussianBlurWeight> USMWeight;
    bool FDegamma = false;

private:
    void CreateUSMFilter();
    uint32_t FMaxThreadNum = 1;
};

// Scales every sample of a one-channel mask by Opacity / 256, rounded half
// up and saturated to 255. Opacity is clamped to 0..8191.
void ApplyOpacity(TImgInfo& Info, int32_t Opacity);

class TGaussianBlur {
public:
    TGaussianBlur() = default;
    TGaussianBlur(const TGaussianBlur&) = delete;
    TGaussianBlur& operator=(const TGaussianBlur&) = delete;
    // Radius in pixels; always leaves a fresh, unplanned filter.
    void SetGauusianBlurParam(double Radius);
    // Blurs a one-channel mask (replacing its pixel block, stride kept) and
    // scales it by Opacity in 1/256 units. Other channel counts and empty
    // masks are left alone, as is everything before SetGauusianBlurParam.
    // Raises EOutOfMemory with the mask unchanged. Runs on the caller's thread.
    void DoGauusianBlur(TImgInfo& Info, int32_t Opacity);
    std::unique_ptr<TGaussianBlur> CreateMTGauusinBlur() const;

    std::unique_ptr<TWeightedMeanFilter> GB;
    std::unique_ptr<TGaussianBlurWeight> GBWeight;

private:
    void CreateGBFilter();
};
