#include "core/ResizePlan.h"

#include "core/Errors.h"

#include <algorithm>

TCustomResizeFilter::~TCustomResizeFilter()
{
    ResetParam();
}

void TCustomResizeFilter::ResetParam()
{
    HPrm.Reset();
    VPrm.Reset();
    FreeWorkBuffers();
}

namespace {

uint32_t Stride32(uint64_t Bpl)
{
    if (Bpl > 0x7FFFFFFFu)
        throw EOutOfMemory();
    return uint32_t(Bpl);
}

uint32_t CeilDiv(uint64_t A, uint64_t B)
{
    return uint32_t((A + B - 1) / B);
}

} // namespace

void TCustomResizeFilter::SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight)
{
    HPrm.SrcLength = Src.Width;
    HPrm.DestLength = DestWidth;
    VPrm.SrcLength = Src.Height;
    VPrm.DestLength = DestHeight;
    FChannels = Src.Channels;
    FSrcBpl = Src.Bpl;
    FDestBpl = Stride32(CalcBpl(DestWidth, Src.Channels));
    // In place, the horizontal pass may write the temporary over the source
    // rows, which needs the source's stride; a block of its own only needs
    // the result's. (A wide source stride there would cost a temporary as
    // large as the source, zeroed page by page for nothing.)
    FTmpBpl = FCompactTmp ? FDestBpl : std::max(FDestBpl, FSrcBpl);
    HPrm.MinBlock = VPrm.MinBlock = 1;
    FHBufNeedAlign = FVBufNeedAlign = false;
    HPrm.XLoopCount = DestWidth;
    VPrm.YLoopCount = DestHeight;
    // Final rows of bytes, unless the family's intermediate form says otherwise.
    FTmpGroupRows = 1;
    FTmpGroupFilled = uint64_t(DestWidth) * Src.Channels;
}

uint32_t TCustomResizeFilter::HShare(uint32_t ThreadNum)
{
    uint64_t Start;
    uint32_t Count;
    HFilterShare(ThreadNum, Start, Count);
    return Count;
}

uint32_t TCustomResizeFilter::VShare(uint32_t ThreadNum)
{
    uint64_t Start;
    uint32_t Count;
    VFilterShare(ThreadNum, Start, Count);
    return Count;
}

void TCustomResizeFilter::RunH(THFilterProc Proc, uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum)
{
    uint32_t Count;
    GetHFilterRange(Tmp, Src, ThreadNum, Count);
    if (Count == 0)
        return;
    Proc(Tmp, Src, HPrm.WeightTableInfo.data(), HFilterWork[ThreadNum], HPrm.SrcLength, HPrm.DestLength, Count, FTmpBpl,
         FSrcBpl);
}

void TCustomResizeFilter::RunV(TVFilterProc Proc, uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum)
{
    uint32_t Count;
    GetVFilterRange(Dest, Tmp, ThreadNum, Count);
    if (Count == 0)
        return;
    Proc(Dest, Tmp, VPrm.WeightTableInfo.data(), Count, VPrm.DestLength, FDestBpl, VSrcBpl());
}

void TCustomResizeFilter::CheckChannels(const TImgInfo& Src, bool RGBA)
{
    if (RGBA ? Src.Channels != 4 : Src.Channels != 1 && Src.Channels != 3)
        throw EVestroError("Unsupported channel count");
}

void TCustomResizeFilter::WidenTmp(uint64_t Width, uint32_t Channels)
{
    if (WidthChanges())
        FTmpBpl = std::max(FTmpBpl, Stride32(CalcBpl(Width, Channels)));
}

void TCustomResizeFilter::TmpForm(uint32_t Rows, uint64_t Filled)
{
    if (HeightChanges()) {
        FTmpGroupRows = Rows;
        FTmpGroupFilled = Filled;
    }
}

void TCustomResizeFilter::SetHItems(uint32_t Rows, uint64_t Step, uint32_t BLoops)
{
    HPrm.Step = Step;
    HPrm.BLoopCount = BLoops;
    HPrm.YLoopCount = CeilDiv(VPrm.SrcLength, Rows);
    FHFilterSrcBlockSize = uint64_t(Rows) * FSrcBpl;
    FHFilterDestBlockSize = uint64_t(Rows) * FTmpBpl;
}

void TCustomResizeFilter::SetVItems(uint32_t ItemBytes, uint32_t TmpItemBytes, bool RowPairs, uint32_t MinBlock)
{
    VPrm.Step = (RowPairs ? 2 : 1) * VSrcBpl();
    VPrm.XLoopCount = CeilDiv(uint64_t(HPrm.DestLength) * FChannels, ItemBytes);
    VPrm.MinBlock = MinBlock;
    FVFilterSrcBlockSize = WidthChanges() ? TmpItemBytes : ItemBytes;
    FVFilterDestBlockSize = ItemBytes;
}

// Integer, 1 and 3 channels: horizontal items of 4 rows, vertical items of 8
// result bytes (16 bytes of the row-pair interleaved temporary).
void TSSE2IntFilter::SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight)
{
    CheckChannels(Src, false);
    TCustomResizeFilter::SetResizeParam(Src, DestWidth, DestHeight);
    const bool OneChannel = FChannels == 1;
    TmpForm(2, 2 * uint64_t(DestWidth) * FChannels); // row pairs interleaved
    SetHItems(kern::IntItemRows, OneChannel ? kern::IntStep1 : kern::IntStep3, CeilDiv(Src.Width, OneChannel ? 4 : 2));
    SetVItems(kern::IntVItemBytes, 2 * kern::IntVItemBytes, true, 1);
}

uint64_t TSSE2IntFilter::GetHFilterWorkSize(uint64_t)
{
    return WidthChanges() ? kern::IntHWorkSize(HPrm.SrcLength, FChannels) : 0;
}

void TSSE2IntFilter::HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum)
{
    const TResizeKernels& K = ResizeKernels();
    const bool Final = !HeightChanges();
    THFilterProc Proc = FChannels == 1 ? (Final ? K.IntH1chFinal : K.IntH1ch) : (Final ? K.IntH3chFinal : K.IntH3ch);
    RunH(Proc, Tmp, Src, ThreadNum);
}

void TSSE2IntFilter::VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum)
{
    const TResizeKernels& K = ResizeKernels();
    TVFilterProc Proc = WidthChanges() ? K.IntV : K.IntVDirect;
    RunV(Proc, Dest, Tmp, ThreadNum);
}

// Integer RGBA: horizontal items of 2 rows, vertical items of 2 pixels.
void TRGBAFilter::SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight)
{
    CheckChannels(Src, true);
    TCustomResizeFilter::SetResizeParam(Src, DestWidth, DestHeight);
    WidenTmp(2 * uint64_t(DestWidth), 4); // int16 samples
    TmpForm(2, 16 * uint64_t(DestWidth)); // row pairs interleaved
    SetHItems(kern::RGBAItemRows, kern::IntRGBAStep, CeilDiv(Src.Width, 2));
    SetVItems(kern::RGBAVItemBytes, 32, true, 1);
}

uint64_t TRGBAFilter::GetHFilterWorkSize(uint64_t)
{
    return WidthChanges() ? kern::IntHWorkSize(HPrm.SrcLength, 4) : 0;
}

void TRGBAFilter::HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum)
{
    const TResizeKernels& K = ResizeKernels();
    THFilterProc Proc = HeightChanges() ? K.IntRGBAH : K.IntRGBAHFinal;
    RunH(Proc, Tmp, Src, ThreadNum);
}

void TRGBAFilter::VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum)
{
    const TResizeKernels& K = ResizeKernels();
    TVFilterProc Proc = WidthChanges() ? K.IntRGBAV : K.IntRGBAVDirect;
    RunV(Proc, Dest, Tmp, ThreadNum);
}

// Float and linear: a float temporary of plain rows. 1 and 3 channels:
// horizontal items of 4 rows, vertical items of 16 samples shared in
// granules of 16 items. RGBA: horizontal items of 2 rows, vertical items of
// 2 pixels shared in granules of 32.
template <bool RGBA> TFloatResizeFilter<RGBA>::TFloatResizeFilter(bool Linear) : FLinear(Linear)
{
    if constexpr (RGBA) {
        FIsRGBA = true;
        FNeedTmpBuf = true;
    }
}

template <bool RGBA>
void TFloatResizeFilter<RGBA>::SetResizeParam(const TImgInfo& Src, uint32_t DestWidth, uint32_t DestHeight)
{
    CheckChannels(Src, RGBA);
    TCustomResizeFilter::SetResizeParam(Src, DestWidth, DestHeight);
    WidenTmp(4 * uint64_t(DestWidth), FChannels); // float samples
    TmpForm(1, 4 * uint64_t(DestWidth) * FChannels);
    if constexpr (RGBA) {
        SetHItems(kern::RGBAItemRows, kern::FloatRGBAStep, Src.Width);
        SetVItems(kern::RGBAVItemBytes, 32, false, 32);
    } else {
        const bool OneChannel = FChannels == 1;
        FNeedTmpBuf = FLinear || !OneChannel;
        SetHItems(kern::FloatItemRows, OneChannel ? kern::FloatStep1 : kern::FloatStep3,
                  OneChannel ? CeilDiv(Src.Width, 4) : Src.Width);
        SetVItems(kern::FloatVItemBytes, 4 * kern::FloatVItemBytes, false, 16);
    }
}

template <bool RGBA> uint64_t TFloatResizeFilter<RGBA>::GetHFilterWorkSize(uint64_t)
{
    return WidthChanges() ? kern::FloatHWorkSize(HPrm.SrcLength, FChannels) : 0;
}

template <bool RGBA> void TFloatResizeFilter<RGBA>::HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum)
{
    const TResizeKernels& K = ResizeKernels();
    const bool Final = !HeightChanges();
    THFilterProc Proc;
    if constexpr (RGBA)
        Proc = FLinear ? (Final ? K.LinearRGBAHFinal : K.LinearRGBAH) : (Final ? K.FloatRGBAHFinal : K.FloatRGBAH);
    else if (FLinear)
        Proc = FChannels == 1 ? (Final ? K.LinearH1chFinal : K.LinearH1ch) : (Final ? K.LinearH3chFinal : K.LinearH3ch);
    else
        Proc = FChannels == 1 ? (Final ? K.FloatH1chFinal : K.FloatH1ch) : (Final ? K.FloatH3chFinal : K.FloatH3ch);
    RunH(Proc, Tmp, Src, ThreadNum);
}

template <bool RGBA> void TFloatResizeFilter<RGBA>::VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum)
{
    const TResizeKernels& K = ResizeKernels();
    TVFilterProc Proc;
    if constexpr (RGBA)
        Proc = FLinear ? (WidthChanges() ? K.LinearRGBAV : K.LinearRGBAVDirect)
                       : (WidthChanges() ? K.FloatRGBAV : K.FloatRGBAVDirect);
    else
        Proc = FLinear ? (WidthChanges() ? K.LinearV : K.LinearVDirect) : (WidthChanges() ? K.FloatV : K.FloatVDirect);
    RunV(Proc, Dest, Tmp, ThreadNum);
}

template class TFloatResizeFilter<false>;
template class TFloatResizeFilter<true>;
