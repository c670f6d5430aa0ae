// The resampler: changes the pixel size of an image with a separable filter
// (one horizontal pass for the width, one vertical pass for the height), each
// pass split across up to 64 threads. Weight setters turn one axis into weight
// tables; filter classes hold the plan of one kernel family (FilterKernels.h).
#pragma once
#include "core/Filter.h"
#include "core/FilterKernels.h"
#include "core/ImgInfo.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

// The plan of one axis. Owns its weight block; not copyable.
struct TResizeParam {
    void* WeightTableBuf = nullptr;              // AllocAligned block of the weight rows
    std::vector<const void*> WeightTableList;    // distinct rows, in order of creation
    std::vector<uintptr_t> WeightTableInfo;      // 2 x DestLength: offset, weight address
    uint32_t DestLength = 0;                     // output pixels of this axis
    uint32_t SrcLength = 0;                      // input pixels
    uint64_t Step = 0;                           // input bytes per position (float) or pair (integer)
    uint32_t BLoopCount = 0;                     // conversion groups per source row
    uint32_t XLoopCount = 0;                     // output pixels (H) or column items (V)
    uint32_t YLoopCount = 0;                     // row items (H) or output rows (V)
    uint32_t BufMask = 0;                        // unused by the resampling classes
    uint32_t MinBlock = 0;                       // share granule
    uint64_t BufLength = 0;                      // most weights (or pairs) a row can need

    TResizeParam() = default;
    TResizeParam(const TResizeParam&) = delete;
    TResizeParam& operator=(const TResizeParam&) = delete;
    ~TResizeParam() { Reset(); }
    // Releases the tables and zeroes the whole record.
    void Reset();
};

// A resampling filter: builds the weight tables of one axis. Reference
// counted: the creator's reference goes to the first holder; every further
// holder calls AddRef, and Release frees the object when the count falls
// below 0. Read-only while planning, so copies of a resizer share it.
class TWeightSetter {
public:
    std::atomic<int32_t> RefCount{0};
    virtual ~TWeightSetter() = default;
    virtual void SetIntWeight(TResizeParam& Prm) = 0;
    virtual void SetFloatWeight(TResizeParam& Prm) = 0;
    // Fills WeightTableBuf/List/Info and BufLength of Prm (whose DestLength,
    // SrcLength and Step are set). Raises EOutOfMemory.
    void SetWeight(TResizeParam& Prm, TWeightType Type);
    void AddRef() { ++RefCount; }
    void Release()
    {
        if (--RefCount < 0)
            delete this;
    }
};

// Windowed kernels. Radius is the half-width in source pixels when
// enlarging and in output pixels when shrinking.
class TWndFuncWeight : public TWeightSetter {
public:
    int32_t Radius = 1;
    void SetIntWeight(TResizeParam& Prm) override;
    void SetFloatWeight(TResizeParam& Prm) override;
    // Kernel value at signed distance X.
    virtual double WindowFunc(double X) = 0;
};

class TLanczos : public TWndFuncWeight {
public:
    explicit TLanczos(int32_t ARadius); // clamped to 1..32
    double WindowFunc(double X) override;
};

class TBilinear : public TWndFuncWeight {
public:
    TBilinear() { Radius = 1; }
    double WindowFunc(double X) override;
};

class TMitchellNetravali : public TWndFuncWeight {
public:
    double b, c;
    TMitchellNetravali(double B, double C) : b(B), c(C) { Radius = 2; }
    double WindowFunc(double X) override;
};

class TBlackmanSinc : public TWndFuncWeight {
public:
    explicit TBlackmanSinc(int32_t ARadius); // at least 1
    double WindowFunc(double X) override;
};

class TSpline16 : public TWndFuncWeight {
public:
    TSpline16() { Radius = 2; }
    double WindowFunc(double X) override;
};

class TSpline36 : public TWndFuncWeight {
public:
    TSpline36() { Radius = 3; }
    double WindowFunc(double X) override;
};

class TGaussian : public TWndFuncWeight {
public:
    double a, expw;
    explicit TGaussian(int32_t Blur); // Blur below 1 counts as 1
    double WindowFunc(double X) override;
};

// Each output pixel averages the source pixels it covers, by covered area.
class TAreaAverage : public TWeightSetter {
public:
    void SetIntWeight(TResizeParam& Prm) override;
    void SetFloatWeight(TResizeParam& Prm) override;
};

class TNearestNeighbor : public TWeightSetter {
public:
    void SetIntWeight(TResizeParam& Prm) override;
    void SetFloatWeight(TResizeParam& Prm) override;
};

// Filter ids of the settings: 1 area average, 2 Lanczos (Radius), 3 bilinear,
// 4 bicubic (Sharp: c = (Sharp + 4) / 12, b = max(0, 1 - 2c)), 5 Blackman-sinc
// (Radius), 6 Spline16, 7 Spline36, 8 Gaussian (Blur), 9 nearest neighbour.
// A new setter with RefCount 0, or nullptr for an unknown id.
TWeightSetter* CreateWeightSetter(uint32_t Mode, int32_t Radius, int32_t Sharp, int32_t Blur);

// ------------------------------------------------------------ filter classes

class TCustomResizeFilter : public TFilter {
public:
    TResizeParam HPrm; // horizontal pass
    TResizeParam VPrm; // vertical pass
    // The temporary is a block of its own (not the source block): its stride
    // needs to hold only the intermediate rows, not the source's. Set by the
    // driver before planning.
    bool FCompactTmp = false;
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
class TMMXFilter : public TSSE2IntFilter {};

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
class TSSE2RGBAFilter : public TRGBAFilter {};

// Float family (SIMD mode 2), 1 and 3 channels; Linear filters in linear light.
class TSSEFilter : public TCustomResizeFilter {
public:
    explicit TSSEFilter(bool Linear = false);
    void SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight) override;
    TWeightType WeightType() const override { return wtSingle; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;

protected:
    bool FLinear;
};
class TLinearRGBFilter : public TSSEFilter {
public:
    TLinearRGBFilter() : TSSEFilter(true) {}
};

class TSSERGBAFilter : public TCustomResizeFilter {
public:
    explicit TSSERGBAFilter(bool Linear = false);
    void SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight) override;
    TWeightType WeightType() const override { return wtSingle; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override;
    void HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum) override;
    void VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum) override;

protected:
    bool FLinear;
};
class TLinearRGBAFilter : public TSSERGBAFilter {
public:
    TLinearRGBAFilter() : TSSERGBAFilter(true) {}
};

// ------------------------------------------------------------------ resizer

// Starts one pass thread (std::thread). A share whose thread cannot be
// started (std::system_error) runs on the calling thread instead, so a pass
// is never left half done. Tests replace it to make creation fail.
using TPassThreadStarter = std::thread (*)(std::function<void()> Body);
extern TPassThreadStarter StartPassThread;

// Used by one thread at a time; other threads use copies (CreateMTResizer).
// Before the first resize: SetSIMDMode, SetMaxThreadNum and both setters.
class TResizer {
public:
    TCustomResizeFilter* RF = nullptr;                  // owned
    TWeightSetter* DecimationWeightSetter = nullptr;    // for a side that shrinks
    TWeightSetter* InterpolationWeightSetter = nullptr; // for a side that grows
    uint32_t DecimationMode = 0;
    uint32_t InterpolationMode = 0;
    uint32_t SIMDMode = 0;   // 1 "MMX Integer", 2 "SSE Float", 3 "SSE2 Integer"
    bool LinearColorSpace = false;
    int32_t MaxThreadNum = 0;

    TResizer() = default;
    TResizer(const TResizer&) = delete;
    TResizer& operator=(const TResizer&) = delete;
    ~TResizer();

    // Releases the previous setter of the side and takes WS (the creator's
    // reference); drops the plan.
    void SetDecimationMode(uint32_t Mode, TWeightSetter* WS);
    void SetInterpolationMode(uint32_t Mode, TWeightSetter* WS);
    // Kernel family and linear light; re-creates the filter object.
    void SetSIMDMode(uint32_t Value, bool Degamma);
    void CreateResizeFilter(bool IsRGBA);
    // Threads per pass, clamped to 1..64.
    void SetMaxThreadNum(int32_t Value);
    // A copy with the same setters (shared), modes and thread count, and a
    // filter object of its own. The caller deletes it.
    TResizer* CreateMTResizer();

    // Resizes Src into a new block in Dest (Dest's old block is not freed:
    // the caller owns it). Same size: nothing is done and Dest is untouched.
    // IsRGBA must equal (Src.Channels == 4). Raises EOutOfMemory (nothing
    // allocated is left behind) or EVestroError.
    void ResizeImage(const TImgInfo& Src, TImgInfo& Dest, uint32_t Width, uint32_t Height, bool IsRGBA);
    // Resizes in place: Info's block is replaced (its old block freed). On
    // failure Info still owns a block that FreeImg can release, but its
    // picture is not usable.
    void ResizeImage(TImgInfo& Info, uint32_t Width, uint32_t Height, bool IsRGBA);

private:
    // The temporary block of the last two-pass resize into a separate
    // destination, kept (up to 128 MB) for the next picture of the same
    // geometry: fresh pages come zeroed by the system, which on big pictures
    // costs as much as a pass and does not spread over the pass threads.
    uint8_t* FTmpCache = nullptr;
    uint64_t FTmpCacheBytes = 0;
    uint8_t* TakeTmp(uint64_t Bytes);
    void KeepTmp(uint8_t* Tmp, uint64_t Bytes);
    void PreFault(uint8_t* Block, uint64_t Bytes);
    void SetSetter(uint32_t& ModeSlot, TWeightSetter*& Slot, uint32_t Mode, TWeightSetter* WS);

    void Plan(const TImgInfo& Src, uint32_t Width, uint32_t Height, bool IsRGBA, bool InPlace);
    void RunPass(bool Horizontal, uint8_t* Dest, const uint8_t* Src);
};
