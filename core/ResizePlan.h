// Plans of the resampler per geometry: a filter class holds, for one kernel
// family (FilterKernels.h), the weight tables of both axes, the strides and
// the item counts that split each pass into thread shares.
#pragma once
#include "core/Filter.h"
#include "core/FilterKernels.h"
#include "core/ImgInfo.h"
#include "core/ResizeWeights.h"

#include <cstdint>

class TCustomResizeFilter : public TFilter {
public:
    TResizeParam HPrm; // horizontal pass
    TResizeParam VPrm; // vertical pass
    // The temporary is a block of its own (not the source block): its stride
    // needs to hold only the intermediate rows, not the source's. Set by the
    // driver before planning.
    bool FCompactTmp = false;
    // What the horizontal pass surely writes of its output: the first
    // FTmpGroupFilled bytes of each group of FTmpGroupRows rows (the
    // intermediate forms pair rows). Set by the plan.
    uint32_t FTmpGroupRows = 1;
    uint64_t FTmpGroupFilled = 0;
    ~TCustomResizeFilter() override;

    uint32_t GetVLoopCount() override { return VPrm.XLoopCount; }
    uint32_t GetHLoopCount() override { return HPrm.YLoopCount; }
    uint32_t GetVMinBlock() override { return VPrm.MinBlock; }
    void ResetParam() override;
    // Plans both passes for Src -> DestWidth x DestHeight (no weights yet).
    // Raises EVestroError for a channel count the class does not handle and
    // EOutOfMemory for sizes whose strides do not fit.
    virtual void SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight);
    virtual TWeightType WeightType() const = 0;

    bool WidthChanges() const { return HPrm.SrcLength != HPrm.DestLength; }
    bool HeightChanges() const { return VPrm.SrcLength != VPrm.DestLength; }
    // Items of each pass this thread would get (drivers skip empty shares).
    uint32_t HShare(uint32_t ThreadNum);
    uint32_t VShare(uint32_t ThreadNum);

protected:
    // Stride of the rows the vertical pass reads.
    uint64_t VSrcBpl() const { return WidthChanges() ? FTmpBpl : FSrcBpl; }
    // Run this thread's share of a pass with the given kernel.
    void RunH(THFilterProc Proc, uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum);
    void RunV(TVFilterProc Proc, uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum);

    // Helpers of the families' SetResizeParam, called after the base's.
    // Raises EVestroError unless Src has 4 channels (RGBA) or 1 or 3 (not).
    static void CheckChannels(const TImgInfo& Src, bool RGBA);
    // A changed width needs a temporary of Width x Channels bytes per row
    // at least (the family's intermediate samples are wider than bytes).
    void WidenTmp(uint64_t Width, uint32_t Channels);
    // The horizontal pass writes the intermediate form (the height changes
    // too): Filled bytes of each group of Rows rows.
    void TmpForm(uint32_t Rows, uint64_t Filled);
    // Horizontal items of Rows rows; Step work bytes per source position (or
    // pair), BLoops conversion groups per row. Needs the final FTmpBpl.
    void SetHItems(uint32_t Rows, uint64_t Step, uint32_t BLoops);
    // Vertical items of ItemBytes result bytes, read from TmpItemBytes of the
    // temporary (ItemBytes of the source when the width stays); RowPairs: a
    // weight pair steps over two rows. Needs the final FTmpBpl.
    void SetVItems(uint32_t ItemBytes, uint32_t TmpItemBytes, bool RowPairs, uint32_t MinBlock);
};

// Integer family, 1 and 3 channels (SIMD mode 3).
class TSSE2IntFilter : public TCustomResizeFilter {
public:
    void SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight) override;
    TWeightType WeightType() const override { return wtInt; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;
};
// SIMD mode 1: computes exactly what the integer family computes.
class TMMXFilter : public TSSE2IntFilter { };

// Integer family with alpha weighting, 4 channels.
class TRGBAFilter : public TCustomResizeFilter {
public:
    TRGBAFilter() { FIsRGBA = true; }
    void SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight) override;
    TWeightType WeightType() const override { return wtInt; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;
};
class TSSE2RGBAFilter : public TRGBAFilter { };

// Float family (SIMD mode 2): 1 and 3 channels, or 4 with alpha weighting
// (RGBA); Linear filters in linear light.
template <bool RGBA> class TFloatResizeFilter : public TCustomResizeFilter {
public:
    explicit TFloatResizeFilter(bool Linear = false);
    void SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight) override;
    TWeightType WeightType() const override { return wtSingle; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;

protected:
    bool FLinear;
};
extern template class TFloatResizeFilter<false>;
extern template class TFloatResizeFilter<true>;

using TSSEFilter = TFloatResizeFilter<false>;
class TLinearRGBFilter : public TSSEFilter {
public:
    TLinearRGBFilter() : TSSEFilter(true) { }
};

using TSSERGBAFilter = TFloatResizeFilter<true>;
class TLinearRGBAFilter : public TSSERGBAFilter {
public:
    TLinearRGBAFilter() : TSSERGBAFilter(true) { }
};
