#include "core/WeightedMean.h"

#include "core/Errors.h"
#include "platform/PageMemory.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

// ---- Weight lists ----

void ClearFilterParam(TFilterParam& P)
{
    if (P.WeightTableBuf)
        FreeAligned(P.WeightTableBuf);
    P = TFilterParam{};
}

TGaussianBlurWeight::TGaussianBlurWeight(double Radius)
{
    SetParam(Radius);
}

void TGaussianBlurWeight::SetParam(double Radius)
{
    if (!(Radius >= 0.01))
        Radius = 0.01;
    Radius = std::min(Radius, 250.0);
    if (Radius == FRadius && !WeightTable.empty())
        return;
    FRadius = Radius;
    FIRadius = int32_t(Radius);
    if (FIRadius != Radius)
        ++FIRadius;
    WeightTable.assign(size_t(FIRadius) + 1, 0.0);
    const double pi = 3.14159265358979323846;
    for (int32_t i = 0; i <= FIRadius; ++i) {
        const double x = 2.0 * i / FRadius;
        WeightTable[size_t(i)] = std::exp(-x * x / 2) / std::sqrt(2 * pi);
    }
}

double TGaussianBlurWeight::GetGaussianWeight(int32_t Distance) const
{
    const int32_t d = Distance < 0 ? -Distance : Distance;
    return d <= FIRadius ? WeightTable[size_t(d)] : 0.0;
}

void TGaussianBlurWeight::SetWeight(PFilterParam P, TWeightType WeightType) const
{
    if (WeightType == wtInt)
        MakeIntWeightTable(*P);
    else
        MakeSingleWeightTable(*P);
}

namespace {

// Places a list at Cursor (8-aligned): the count in the 4 bytes before the
// weights, which start 8 bytes further. Returns the weights' address.
uint8_t* PlaceList(uint8_t*& Cursor, uint32_t Count, uint32_t WeightBytes)
{
    std::memcpy(Cursor + 4, &Count, 4);
    uint8_t* w = Cursor + 8;
    Cursor = w + ((uint64_t(Count) * WeightBytes + 7) & ~uint64_t(7));
    return w;
}

} // namespace

void TGaussianBlurWeight::MakeIntWeightTable(TFilterParam& P) const
{
    const int64_t L = P.Length, S = P.Step, R = FIRadius;
    P.BufLength = uint32_t(R + 1);
    if (P.WeightTableBuf)
        FreeAligned(P.WeightTableBuf);
    P.WeightTableBuf = nullptr;
    P.WeightTableBuf = AllocAligned(uint64_t(4 * (R + 1) + 8) * uint64_t(2 * R + 2), 8);
    P.WeightTableInfo.assign(size_t(2 * L + 2), 0);
    std::vector<double> slot(size_t(2 * R + 2));
    uint8_t* cursor = static_cast<uint8_t*>(P.WeightTableBuf);
    uintptr_t saved[2] = {0, 0}; // lists of positions R (even start) and R + 1 (odd start)
    for (int64_t i = 0; i < L; ++i) {
        const int64_t lo = i - R, hi = i + R, start = std::max<int64_t>(lo, 0), odd = start & 1;
        const int64_t n = std::min(hi, L - 1) - start;
        P.WeightTableInfo[size_t(2 * i)] = uintptr_t((start / 2) * S);
        if (R + 1 < i && i < L - R) {
            P.WeightTableInfo[size_t(2 * i + 1)] = saved[odd];
            continue;
        }
        const int64_t pairs = (n + odd + 2) / 2;
        std::fill(slot.begin(), slot.end(), 0.0);
        double sum = 0;
        for (int64_t k = lo; k <= hi; ++k) {
            const double w = GetGaussianWeight(int32_t(k - i));
            sum += w;
            if (k <= 0)
                slot[size_t(odd)] += w; // folded onto the first pixel (slot 0 when the start is 0)
            else if (k < L)
                slot[size_t(k - start + odd)] = w;
            else
                slot[size_t(n + odd)] += w;
        }
        int16_t* list = reinterpret_cast<int16_t*>(PlaceList(cursor, uint32_t(pairs), 4));
        for (int64_t j = 0; j < 2 * pairs; ++j)
            list[j] = int16_t(std::trunc(slot[size_t(j)] / sum * 16384));
        P.WeightTableInfo[size_t(2 * i + 1)] = reinterpret_cast<uintptr_t>(list);
        if (i == R || i == R + 1)
            saved[i - R] = reinterpret_cast<uintptr_t>(list);
    }
}

void TGaussianBlurWeight::MakeSingleWeightTable(TFilterParam& P) const
{
    const int64_t L = P.Length, S = P.Step, R = FIRadius;
    P.BufLength = uint32_t(2 * R + 1);
    if (P.WeightTableBuf)
        FreeAligned(P.WeightTableBuf);
    P.WeightTableBuf = nullptr;
    P.WeightTableBuf = AllocAligned(uint64_t(2 * R + 1) * uint64_t(4 * (2 * R + 1) + 8), 8);
    P.WeightTableInfo.assign(size_t(2 * L), 0);
    std::vector<double> slot(size_t(2 * R + 1));
    uint8_t* cursor = static_cast<uint8_t*>(P.WeightTableBuf);
    uintptr_t saved = 0;
    for (int64_t i = 0; i < L; ++i) {
        const int64_t lo = i - R, hi = i + R, start = std::max<int64_t>(lo, 0);
        const int64_t n = std::min(hi, L - 1) - start;
        P.WeightTableInfo[size_t(2 * i)] = uintptr_t(start * S);
        if (R < i && i < L - R) {
            P.WeightTableInfo[size_t(2 * i + 1)] = saved;
            continue;
        }
        std::fill(slot.begin(), slot.end(), 0.0);
        double sum = 0;
        for (int64_t k = lo; k <= hi; ++k) {
            const double w = GetGaussianWeight(int32_t(k - i));
            sum += w;
            if (k <= 0)
                slot[0] += w;
            else if (k < L)
                slot[size_t(k - start)] = w;
            else
                slot[size_t(n)] += w;
        }
        float* list = reinterpret_cast<float*>(PlaceList(cursor, uint32_t(n + 1), 4));
        for (int64_t j = 0; j <= n; ++j)
            list[j] = float(slot[size_t(j)] / sum);
        P.WeightTableInfo[size_t(2 * i + 1)] = reinterpret_cast<uintptr_t>(list);
        if (i == R)
            saved = reinterpret_cast<uintptr_t>(list);
    }
}

// ---- Process-wide amounts and threshold ----

namespace {

// Shadow coefficient, highlight coefficient and threshold in one word, so that
// a filtering call can take all three at once while the GUI thread sets them.
std::atomic<uint64_t>& USMParams()
{
    static std::atomic<uint64_t> Word{0};
    return Word;
}

int16_t AmountCoeff(uint32_t Amount)
{
    // -(amount x 4096) div 100; amounts beyond 800 would wrap a 16-bit lane.
    const int64_t c = -(int64_t(Amount) * 4096) / 100;
    return int16_t(std::max<int64_t>(c, -32768));
}

void UpdateUSMParams(uint64_t Mask, uint64_t Value)
{
    uint64_t old = USMParams().load(std::memory_order_relaxed);
    while (!USMParams().compare_exchange_weak(old, (old & ~Mask) | Value, std::memory_order_release,
                                              std::memory_order_relaxed)) { }
}

} // namespace

void SetUSMStrength(uint32_t Highlight, uint32_t Shadow)
{
    const uint64_t v = uint64_t(uint16_t(AmountCoeff(Shadow))) | (uint64_t(uint16_t(AmountCoeff(Highlight))) << 16);
    UpdateUSMParams(0xFFFFFFFFull, v);
}

void SetUSMThreshold(uint32_t Threshold)
{
    UpdateUSMParams(0xFFFFull << 32, uint64_t(Threshold & 0xFFFF) << 32);
}

TUSMCoeffs GetUSMCoeffs(bool Is16BitMode)
{
    const uint64_t v = USMParams().load(std::memory_order_acquire);
    TUSMCoeffs k;
    k.Shadow = int16_t(uint16_t(v));
    k.Highlight = int16_t(uint16_t(v >> 16));
    const uint32_t t = uint32_t((v >> 32) & 0xFFFF);
    k.Threshold = uint16_t(Is16BitMode ? std::min<uint32_t>(t * 16, 0xFFFF) : t);
    return k;
}

// ---- Filters ----

TWeightedMeanFilter::~TWeightedMeanFilter()
{
    ClearFilterParam(HPrm);
    ClearFilterParam(VPrm);
}

void TWeightedMeanFilter::ResetParam()
{
    ClearFilterParam(HPrm);
    ClearFilterParam(VPrm);
    FreeWorkBuffers();
}

void TWeightedMeanFilter::SetFilterParam(const TImgInfo& Src)
{
    HPrm.Length = Src.Width;
    VPrm.Length = Src.Height;
    FChannels = Src.Channels;
    FSrcBpl = FTmpBpl = FDestBpl = Src.Bpl;
    HPrm.MinBlock = VPrm.MinBlock = 1;
    FHBufNeedAlign = FVBufNeedAlign = false;
}

bool TWeightedMeanFilter::NeedsPlan(const TImgInfo& Src) const
{
    return HPrm.WeightTableInfo.empty() || VPrm.WeightTableInfo.empty() || HPrm.Length != Src.Width ||
        VPrm.Length != Src.Height || FChannels != Src.Channels || FSrcBpl != Src.Bpl;
}

void TIntWeightedMeanFilter::SetFilterParam(const TImgInfo& Src)
{
    TWeightedMeanFilter::SetFilterParam(Src);
    const uint32_t W = Src.Width, H = Src.Height, C = Src.Channels;
    const uint32_t sampleBytes = Is16BitMode ? 2 : 1;
    HPrm.Step = C == 3 ? kern::IntStep3 : kern::IntStep1;
    HPrm.BLoopCount = (W + 1) / 2; // pixel pairs gathered per row
    HPrm.XLoopCount = W;
    HPrm.YLoopCount = (H + 3) / 4;
    FHFilterSrcBlockSize = uint64_t(4) * FSrcBpl;
    FHFilterDestBlockSize = uint64_t(4) * FTmpBpl;
    VPrm.Step = 2 * FTmpBpl;
    VPrm.XLoopCount = uint32_t((uint64_t(W) * C + 7) / 8);
    VPrm.YLoopCount = H;
    FVFilterSrcBlockSize = 16 * sampleBytes;
    FVFilterDestBlockSize = 8 * sampleBytes;
}

uint64_t TIntWeightedMeanFilter::GetHFilterWorkSize(uint64_t)
{
    if (!Is16BitMode)
        return kern::IntHWorkSize(HPrm.XLoopCount, FChannels);
    // Our 16-bit gather writes whole groups of 8 pairs.
    return uint64_t(HPrm.Step) * ((uint64_t(HPrm.BLoopCount) + 7) & ~uint64_t(7));
}

void TIntWeightedMeanFilter::HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum)
{
    uint32_t count = 0;
    GetHFilterRange(Tmp, Src, ThreadNum, count);
    if (count == 0)
        return;
    const uintptr_t* info = HPrm.WeightTableInfo.data();
    const uint32_t w = HPrm.XLoopCount;
    uint8_t* work = HFilterWork[ThreadNum];
    if (Is16BitMode) {
        if (FChannels == 1)
            FK.H16(Tmp, Src, info, work, HPrm.BLoopCount, w, count, FTmpBpl, FSrcBpl);
        return;
    }
    const THFilterProc k = FChannels == 1 ? Shared().IntH1ch : FChannels == 3 ? Shared().IntH3ch : nullptr;
    if (k)
        k(Tmp, Src, info, work, w, w, count, FTmpBpl, FSrcBpl);
}

void TIntWeightedMeanFilter::VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum)
{
    uint32_t count = 0;
    GetVFilterRange(Dest, Tmp, ThreadNum, count);
    if (count == 0)
        return;
    const uintptr_t* info = VPrm.WeightTableInfo.data();
    const TUSMVFilterProc k = Is16BitMode ? FK.V16 : FK.V8;
    if (k)
        k(Dest, Tmp, info, count, VPrm.YLoopCount, FDestBpl, FTmpBpl, Coeffs);
    else if (!Is16BitMode)
        Shared().IntV(Dest, Tmp, info, count, VPrm.YLoopCount, FDestBpl, FTmpBpl);
}

TUnsharpMaskMMXFilter::TUnsharpMaskMMXFilter()
    : TIntWeightedMeanFilter({&RefResizeKernels, USMHFilter16Ref, USMVFilter8Ref, USMVFilter16Ref})
{
}
TUnsharpMaskSSE2Filter::TUnsharpMaskSSE2Filter()
    : TIntWeightedMeanFilter({nullptr, USMHFilter16SSE2, USMVFilter8SSE2, USMVFilter16SSE2})
{
}
// The blur handles 8-bit masks only: the shared kernels both ways.
TGaussianBlurMMXFilter::TGaussianBlurMMXFilter()
    : TIntWeightedMeanFilter({&RefResizeKernels, nullptr, nullptr, nullptr})
{
}
TGaussianBlurSSE2Filter::TGaussianBlurSSE2Filter() : TIntWeightedMeanFilter({nullptr, nullptr, nullptr, nullptr})
{
}

// ---- Linear light ----

TLinearUnsharpMaskFilter::TLinearUnsharpMaskFilter(bool Plain) : FPlain(Plain)
{
    FIsRGBA = false;
    FNeedTmpBuf = true;
}

void TLinearUnsharpMaskFilter::SetFilterParam(const TImgInfo& Src)
{
    TWeightedMeanFilter::SetFilterParam(Src);
    const uint32_t W = Src.Width, H = Src.Height, C = Src.Channels;
    const uint32_t sampleBytes = Is16BitMode ? 2 : 1;
    // The shared linear-light kernels' work memory: Step bytes per pixel.
    HPrm.Step = C == 3 ? kern::FloatStep3 : kern::FloatStep1;
    HPrm.BLoopCount = W;
    HPrm.XLoopCount = W;
    HPrm.YLoopCount = (H + 3) / 4;
    FTmpBpl = uint32_t(CalcBpl(uint64_t(4) * W, C));
    FHFilterSrcBlockSize = uint64_t(4) * FSrcBpl;
    FHFilterDestBlockSize = uint64_t(4) * FTmpBpl;
    VPrm.Step = FTmpBpl;
    VPrm.XLoopCount = uint32_t((uint64_t(W) * C + 7) / 8);
    VPrm.YLoopCount = H;
    VPrm.MinBlock = 32;
    FVFilterSrcBlockSize = 32;
    FVFilterDestBlockSize = 8 * sampleBytes;
}

uint64_t TLinearUnsharpMaskFilter::GetHFilterWorkSize(uint64_t)
{
    return kern::FloatHWorkSize(HPrm.XLoopCount, FChannels);
}

void TLinearUnsharpMaskFilter::HFilter(uint8_t* Tmp, const uint8_t* Src, uint32_t ThreadNum)
{
    uint32_t count = 0;
    GetHFilterRange(Tmp, Src, ThreadNum, count);
    if (count == 0)
        return;
    const TResizeKernels& k = ResizeKernels();
    const THFilterProc h = Is16BitMode ? (FChannels == 1 ? k.LinearH16 : nullptr)
                                       : (FChannels == 1       ? k.LinearH1ch
                                              : FChannels == 3 ? k.LinearH3ch
                                                               : nullptr);
    const uint32_t w = HPrm.XLoopCount;
    if (h)
        h(Tmp, Src, HPrm.WeightTableInfo.data(), HFilterWork[ThreadNum], w, w, count, FTmpBpl, FSrcBpl);
}

void TLinearUnsharpMaskFilter::VFilter(uint8_t* Dest, const uint8_t* Tmp, uint32_t ThreadNum)
{
    uint32_t count = 0;
    GetVFilterRange(Dest, Tmp, ThreadNum, count);
    if (count == 0)
        return;
    const TUSMVFilterProc k = Is16BitMode ? (FPlain ? LinearUSMVFilter16Ref : LinearUSMVFilter16SSE2)
                                          : (FPlain ? LinearUSMVFilter8Ref : LinearUSMVFilter8SSE2);
    k(Dest, Tmp, VPrm.WeightTableInfo.data(), count, VPrm.YLoopCount, FDestBpl, FTmpBpl, Coeffs);
}

// ---- Unsharp mask driver ----

namespace {

bool ProcessorHasSSE2()
{
    static const bool has = (GetCPUFeatures() & CPU_SSE2) != 0;
    return has;
}

// Runs one pass on N threads and joins them all before returning. A thread
// that cannot be started has its share run here instead, so no share is left
// undone and nothing returns while a pass thread still runs.
template <typename F> void RunPass(uint32_t N, F Share)
{
    if (N <= 1) {
        Share(0u);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(N);
    std::vector<uint32_t> missed;
    for (uint32_t t = 0; t < N; ++t) {
        try {
            threads.emplace_back(Share, t);
        } catch (const std::system_error&) {
            missed.push_back(t);
        }
    }
    for (uint32_t t : missed)
        Share(t);
    for (auto& th : threads)
        th.join();
}

// Plans F for Src. A plan that cannot be completed (no memory) is dropped
// whole, so that the next call plans again instead of running on half a plan.
void PlanFilter(TWeightedMeanFilter& F, const TGaussianBlurWeight& Weight, const TImgInfo& Src)
{
    F.ResetParam();
    try {
        F.SetFilterParam(Src);
        Weight.SetWeight(&F.HPrm, F.WeightType());
        Weight.SetWeight(&F.VPrm, F.WeightType());
        F.AllocWorkBuffers(F.HPrm.BufLength, F.VPrm.BufLength);
    } catch (...) {
        F.ResetParam();
        throw;
    }
}

} // namespace

void TUnsharpMask::CreateUSMFilter()
{
    if (FDegamma)
        USM = std::make_unique<TLinearUnsharpMaskFilter>(!ProcessorHasSSE2());
    else if (ProcessorHasSSE2())
        USM = std::make_unique<TUnsharpMaskSSE2Filter>();
    else
        USM = std::make_unique<TUnsharpMaskMMXFilter>();
}

void TUnsharpMask::SetUnSharpMaskParam(uint32_t Highlight, uint32_t Shadow, uint32_t Threshold, double Radius,
                                       bool Degamma)
{
    FDegamma = Degamma;
    CreateUSMFilter();
    if (!USMWeight)
        USMWeight = std::make_unique<TGaussianBlurWeight>(Radius + 0.5);
    else
        USMWeight->SetParam(Radius + 0.5);
    SetUSMStrength(Highlight, Shadow);
    SetUSMThreshold(Threshold);
}

void TUnsharpMask::SetMaxThreadNum(uint32_t Value)
{
    // One pass joins at most 64 threads; 0 used to skip sharpening silently.
    FMaxThreadNum = std::clamp<uint32_t>(Value, 1, 64);
    if (USM)
        USM->SetMaxThreadNum(FMaxThreadNum);
}

std::unique_ptr<TUnsharpMask> TUnsharpMask::CreateMTUnSharpMask() const
{
    auto m = std::make_unique<TUnsharpMask>();
    m->FDegamma = FDegamma;
    m->FMaxThreadNum = FMaxThreadNum;
    m->CreateUSMFilter();
    if (USMWeight)
        m->USMWeight = std::make_unique<TGaussianBlurWeight>(USMWeight->FRadius);
    return m;
}

void TUnsharpMask::DoUnSharpMask(TImgInfo& Info, bool IsRGBA, bool Is16BitMode)
{
    if (IsRGBA || !USM || !USMWeight || Info.Width == 0 || Info.Height == 0)
        return;
    const uint32_t C = Info.Channels;
    if (Is16BitMode ? C != 1 : (C != 1 && C != 3))
        return; // no kernels for other forms
    if (USM->Is16BitMode != Is16BitMode) {
        USM->Is16BitMode = Is16BitMode;
        USM->ResetParam(); // the geometry depends on the sample size
    }
    if (USM->NeedsPlan(Info)) {
        USM->SetMaxThreadNum(FMaxThreadNum);
        PlanFilter(*USM, *USMWeight, Info);
    }
    // One snapshot of the process-wide amounts for both passes of this call.
    USM->Coeffs = GetUSMCoeffs(Is16BitMode);

    const uint64_t tmpBytes = BlockRows(Info.Height) * uint64_t(USM->FTmpBpl) + 8;
    uint8_t* tmp = static_cast<uint8_t*>(platform::PageAlloc(tmpBytes));
    if (!tmp)
        throw EOutOfMemory();
    TWeightedMeanFilter* f = USM.get();
    uint8_t* img = Info.Mem;
    const uint32_t n = f->MaxThreadNum();
    RunPass(n, [f, tmp, img](uint32_t t) { f->HFilter(tmp, img, t); });
    RunPass(n, [f, tmp, img](uint32_t t) { f->VFilter(img, tmp, t); });
    platform::PageFree(tmp);
}

// ---- Gaussian blur ----

void ApplyOpacity(TImgInfo& Info, int32_t Opacity)
{
    // The kernels hold 4 x Opacity in a signed 16-bit lane: keep it there.
    const uint32_t op = uint32_t(std::clamp(Opacity, 0, 8191));
    for (uint32_t y = 0; y < Info.Height; ++y) {
        uint8_t* p = MemRow(Info, y);
        for (uint32_t x = 0; x < Info.Width; ++x)
            p[x] = uint8_t(std::min<uint32_t>((((p[x] * op) >> 7) + 1) >> 1, 255));
    }
}

void TGaussianBlur::CreateGBFilter()
{
    if (ProcessorHasSSE2())
        GB = std::make_unique<TGaussianBlurSSE2Filter>();
    else
        GB = std::make_unique<TGaussianBlurMMXFilter>();
    GB->SetMaxThreadNum(1);
}

void TGaussianBlur::SetGauusianBlurParam(double Radius)
{
    if (!GBWeight)
        GBWeight = std::make_unique<TGaussianBlurWeight>(Radius + 0.5);
    else
        GBWeight->SetParam(Radius + 0.5);
    CreateGBFilter();
}

std::unique_ptr<TGaussianBlur> TGaussianBlur::CreateMTGauusinBlur() const
{
    auto b = std::make_unique<TGaussianBlur>();
    if (GBWeight)
        b->GBWeight = std::make_unique<TGaussianBlurWeight>(GBWeight->FRadius);
    b->CreateGBFilter();
    return b;
}

void TGaussianBlur::DoGauusianBlur(TImgInfo& Info, int32_t Opacity)
{
    if (Info.Channels != 1 || !GB || !GBWeight)
        return;
    if (Info.Width == 0 || Info.Height == 0)
        return;
    if (GB->NeedsPlan(Info)) {
        GB->SetMaxThreadNum(1);
        PlanFilter(*GB, *GBWeight, Info);
    }
    uint8_t* block = static_cast<uint8_t*>(platform::PageAlloc(BlockRows(Info.Height) * uint64_t(GB->FTmpBpl) + 8));
    if (!block)
        throw EOutOfMemory();
    // The horizontal pass gathers each block of 4 rows before writing it
    // back, so it may run in place; the vertical pass needs the new block.
    GB->HFilter(Info.Mem, Info.Mem, 0);
    GB->VFilter(block, Info.Mem, 0);
    platform::PageFree(Info.Mem);
    Info.Mem = block;
    ApplyOpacity(Info, Opacity);
}
