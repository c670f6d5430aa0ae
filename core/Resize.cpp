#include "core/Resize.h"

#include "core/Errors.h"
#include "core/PictureMemory.h"
#include "core/WorkShare.h"
#include "platform/PageMemory.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

TResizer::~TResizer()
{
    if (DecimationWeightSetter)
        DecimationWeightSetter->Release();
    if (InterpolationWeightSetter)
        InterpolationWeightSetter->Release();
    delete RF;
    platform::PageFree(FTmpCache);
}

void TResizer::SetSetter(uint32_t& ModeSlot, TWeightSetter*& Slot, uint32_t Mode, TWeightSetter* WS)
{
    ModeSlot = Mode;
    if (Slot)
        Slot->Release();
    Slot = WS;
    if (RF)
        RF->ResetParam();
}

void TResizer::SetDecimationMode(uint32_t Mode, TWeightSetter* WS)
{
    SetSetter(DecimationMode, DecimationWeightSetter, Mode, WS);
}

void TResizer::SetInterpolationMode(uint32_t Mode, TWeightSetter* WS)
{
    SetSetter(InterpolationMode, InterpolationWeightSetter, Mode, WS);
}

void TResizer::SetSIMDMode(uint32_t Value, bool Degamma)
{
    SIMDMode = (GetCPUFeatures() & CPU_SSE2) ? Value : 1;
    LinearColorSpace = Degamma;
    CreateResizeFilter(false);
}

void TResizer::CreateResizeFilter(bool IsRGBA)
{
    delete RF;
    RF = nullptr;
    if (LinearColorSpace)
        RF = IsRGBA ? static_cast<TCustomResizeFilter*>(new TLinearRGBAFilter) : new TLinearRGBFilter;
    else if (SIMDMode == 2)
        RF = IsRGBA ? static_cast<TCustomResizeFilter*>(new TSSERGBAFilter) : new TSSEFilter;
    else if (SIMDMode == 3)
        RF = IsRGBA ? static_cast<TCustomResizeFilter*>(new TSSE2RGBAFilter) : new TSSE2IntFilter;
    else
        RF = IsRGBA ? static_cast<TCustomResizeFilter*>(new TRGBAFilter) : new TMMXFilter;
}

void TResizer::SetMaxThreadNum(int32_t Value)
{
    // The settings file may hold anything; a pass has at most 64 shares.
    Value = std::clamp(Value, 1, 64);
    MaxThreadNum = Value;
    if (RF)
        RF->SetMaxThreadNum(uint32_t(MaxThreadNum));
}

TResizer* TResizer::CreateMTResizer()
{
    auto* r = new TResizer;
    r->DecimationMode = DecimationMode;
    r->InterpolationMode = InterpolationMode;
    r->DecimationWeightSetter = DecimationWeightSetter;
    r->InterpolationWeightSetter = InterpolationWeightSetter;
    if (DecimationWeightSetter)
        DecimationWeightSetter->AddRef();
    if (InterpolationWeightSetter)
        InterpolationWeightSetter->AddRef();
    r->SetSIMDMode(SIMDMode, LinearColorSpace);
    r->SetMaxThreadNum(MaxThreadNum);
    return r;
}

void TResizer::Plan(const TImgInfo& Src, uint32_t Width, uint32_t Height, bool IsRGBA, bool InPlace)
{
    if (Width == 0 || Height == 0 || Src.Width == 0 || Src.Height == 0 || !Src.Mem)
        throw EVestroError("Invalid image size");
    if (IsRGBA != (Src.Channels == 4))
        throw EVestroError("Unsupported channel count");
    if (!RF)
        SetSIMDMode(3, LinearColorSpace);
    if (MaxThreadNum < 1)
        SetMaxThreadNum(1);
    if (IsRGBA != RF->FIsRGBA)
        CreateResizeFilter(IsRGBA);
    // In a batch, the pass takes the processors its worker may use now; a
    // small picture takes none but the caller's.
    const uint64_t work =
        (uint64_t(Src.Height) * std::max(Src.Width, Width) + uint64_t(Width) * std::max(Src.Height, Height)) *
        Src.Channels;
    FThreadsPay = work >= PassThreads.MinWork;
    const uint32_t threads = FThreadsPay ? uint32_t(std::max(WorkThreadLimit(MaxThreadNum), 1)) : 1;
    if (RF->HPrm.SrcLength == Src.Width && RF->VPrm.SrcLength == Src.Height && RF->HPrm.DestLength == Width &&
        RF->VPrm.DestLength == Height && RF->FChannels == Src.Channels && RF->FSrcBpl == Src.Bpl &&
        RF->MaxThreadNum() == threads && RF->FCompactTmp == !InPlace)
        return;
    const TWeightType type = RF->WeightType();
    RF->SetMaxThreadNum(threads);
    RF->ResetParam();
    RF->FCompactTmp = !InPlace;
    try {
        RF->SetResizeParam(Src, Width, Height);
        for (TResizeParam* p : {&RF->HPrm, &RF->VPrm}) {
            TWeightSetter* ws = p->DestLength < p->SrcLength ? DecimationWeightSetter
                : p->DestLength > p->SrcLength               ? InterpolationWeightSetter
                                                             : nullptr;
            if (p->DestLength == p->SrcLength)
                continue;
            if (!ws)
                throw EVestroError("No resampling filter");
            ws->SetWeight(*p, type);
        }
        RF->AllocWorkBuffers(RF->HPrm.BufLength, RF->VPrm.BufLength);
    } catch (...) {
        RF->ResetParam(); // an incomplete plan must not be taken for a reusable one
        throw;
    }
}

namespace {

std::thread StartThread(std::function<void()> Body)
{
    return std::thread(std::move(Body));
}

} // namespace

TPassThreads PassThreads = {StartThread, uint64_t(2) << 20};

void TResizer::RunPass(bool Horizontal, uint8_t* Dest, const uint8_t* Src)
{
    TCustomResizeFilter* f = RF;
    auto run = [f, Horizontal, Dest, Src](uint32_t t) {
        if (Horizontal)
            f->HFilter(Dest, Src, t);
        else
            f->VFilter(Dest, Src, t);
    };
    const uint32_t n = f->MaxThreadNum();
    if (n <= 1) {
        run(0);
        return;
    }
    // One thread per non-empty share; share 0 runs on the caller. A thread
    // that cannot be created leaves its share to the caller too, so a pass is
    // never left half done.
    std::vector<std::thread> threads;
    std::vector<uint32_t> onCaller;
    threads.reserve(n);
    for (uint32_t t = 1; t < n; ++t) {
        if ((Horizontal ? f->HShare(t) : f->VShare(t)) == 0)
            continue;
        try {
            threads.push_back(PassThreads.Start([run, t] { run(t); }));
        } catch (const std::system_error&) {
            onCaller.push_back(t);
        }
    }
    run(0);
    for (uint32_t t : onCaller)
        run(t);
    for (auto& th : threads)
        th.join();
}

namespace {

// A temporary or result block that a pass fills: Bpl x (Rows rounded up to
// 4) + Extra bytes; ManyWriters when a pass of several threads fills it. The
// pass writes the first Filled bytes of each group of GroupRows rows of the
// first Rows: the block may be one an earlier picture left, and the rest is
// zeroed here, as a fresh block holds it (kernels read past a row's end).
uint8_t* NewBlock(uint64_t Bpl, uint64_t Rows, uint64_t Extra, bool ManyWriters, uint32_t GroupRows, uint64_t Filled)
{
    const uint64_t rows = BlockRows(Rows);
    if (rows > ((uint64_t(1) << 46) - Extra) / Bpl)
        throw EOutOfMemory();
    const uint64_t bytes = Bpl * rows + Extra;
    bool fresh = true;
    void* p = platform::PageAllocDirty(bytes, ManyWriters, &fresh);
    if (!p)
        throw EOutOfMemory();
    if (!fresh)
        ClearGaps(static_cast<uint8_t*>(p), Bpl * GroupRows, Filled, Rows / GroupRows, bytes);
    return static_cast<uint8_t*>(p);
}

// The block the horizontal pass of F writes for Rows source rows.
uint8_t* NewTmpBlock(const TCustomResizeFilter& F, uint64_t Bpl, uint64_t Rows, bool ManyWriters)
{
    return NewBlock(Bpl, Rows, 8, ManyWriters, F.FTmpGroupRows, F.FTmpGroupFilled);
}

// The block the vertical pass of F writes: final rows of Height rows.
uint8_t* NewDestBlock(TCustomResizeFilter& F, uint64_t Height)
{
    return NewBlock(F.FDestBpl, Height, 0, F.MaxThreadNum() > 1, 1, uint64_t(F.HPrm.DestLength) * F.FChannels);
}

// A one-pass result holds its rows with the stride the horizontal pass wrote
// them with: the source's (in place) or that of the family's intermediate
// form, both wider than the width needs. Every picture is read with the
// stride of its width, so the rows move together to ToBpl (never wider than
// FromBpl, which keeps each move off the rows still to come); the bytes behind
// each row, and what the old rows leave of the rows that round the block up
// to four, are cleared, as in a fresh block. (A block given in place may end
// with its last row: nothing behind it is touched.)
void CompactRows(uint8_t* Mem, uint64_t FromBpl, uint64_t ToBpl, uint64_t RowBytes, uint32_t Rows)
{
    if (FromBpl == ToBpl)
        return;
    for (uint64_t y = 0; y < Rows; ++y) {
        std::memmove(Mem + y * ToBpl, Mem + y * FromBpl, RowBytes);
        std::memset(Mem + y * ToBpl + RowBytes, 0, ToBpl - RowBytes);
    }
    const uint64_t end = std::min(BlockRows(Rows) * ToBpl, Rows * FromBpl);
    if (end > Rows * ToBpl)
        std::memset(Mem + Rows * ToBpl, 0, end - Rows * ToBpl);
}

} // namespace

void TResizer::CompactResult(uint8_t* Mem, uint64_t FromBpl, uint32_t Rows)
{
    CompactRows(Mem, FromBpl, RF->FDestBpl, uint64_t(RF->HPrm.DestLength) * RF->FChannels, Rows);
}

void TResizer::PreFault(uint8_t* Block, uint64_t Bytes)
{
    // Pass threads that first touch the same huge page of a fresh block each
    // get it zeroed, and all but one throw theirs away: touch it here once.
    if (RF->MaxThreadNum() <= 1)
        return;
    for (uint64_t o = 0; o < Bytes; o += 4096)
        reinterpret_cast<volatile uint8_t*>(Block)[o] = 0;
}

uint8_t* TResizer::TakeTmp(uint64_t Rows)
{
    const uint64_t bytes = uint64_t(RF->FTmpBpl) * BlockRows(Rows) + 8;
    uint8_t* p = FTmpCache;
    FTmpCache = nullptr;
    if (p && FTmpCacheBytes == bytes)
        return p;
    platform::PageFree(p);
    return NewTmpBlock(*RF, RF->FTmpBpl, Rows, RF->MaxThreadNum() > 1);
}

void TResizer::FreeKept()
{
    platform::PageFree(FTmpCache);
    FTmpCache = nullptr;
}

void TResizer::KeepTmp(uint8_t* Tmp, uint64_t Bytes)
{
    platform::PageFree(FTmpCache);
    FTmpCache = nullptr;
    if (Bytes <= (uint64_t(128) << 20)) {
        FTmpCache = Tmp;
        FTmpCacheBytes = Bytes;
    } else {
        platform::PageFree(Tmp);
    }
}

void TResizer::ResizeImage(const TImgInfo& Src, TImgInfo& Dest, uint32_t Width, uint32_t Height, bool IsRGBA)
{
    if (Src.Width == Width && Src.Height == Height)
        return;
    CheckResultMemory(PictureBytes(Width, Height, Src.Channels), Width, Height);
    Plan(Src, Width, Height, IsRGBA, false);
    uint8_t* tmp = nullptr;
    const bool twoPass = RF->WidthChanges() && RF->HeightChanges();
    const uint64_t tmpBytes = uint64_t(RF->FTmpBpl) * BlockRows(Src.Height) + 8; // fits: checked by Plan's strides
    // The source, the temporary and the result are held at once.
    CheckResultMemory(uint64_t(Src.Bpl) * BlockRows(Src.Height) + (RF->WidthChanges() ? tmpBytes : 0) +
                          (RF->HeightChanges() ? uint64_t(RF->FDestBpl) * BlockRows(Height) : 0),
                      Width, Height);
    if (RF->WidthChanges()) {
        // A one-pass result is the temporary itself and goes to the caller.
        tmp = twoPass ? TakeTmp(Src.Height) : NewTmpBlock(*RF, RF->FTmpBpl, Src.Height, RF->MaxThreadNum() > 1);
        RunPass(true, tmp, Src.Mem);
    }
    if (!RF->HeightChanges()) {
        CompactResult(tmp, RF->FTmpBpl, Src.Height);
        Dest.Mem = tmp;
        Dest.Bpl = RF->FDestBpl;
    } else {
        uint8_t* out;
        try {
            out = NewDestBlock(*RF, Height);
        } catch (...) {
            platform::PageFree(tmp);
            throw;
        }
        PreFault(out, uint64_t(RF->FDestBpl) * BlockRows(Height));
        RunPass(false, out, tmp ? tmp : Src.Mem);
        if (tmp)
            KeepTmp(tmp, tmpBytes);
        Dest.Mem = out;
        Dest.Bpl = RF->FDestBpl;
    }
    Dest.Width = Width;
    Dest.Height = Height;
    Dest.Channels = Src.Channels;
}

void TResizer::ResizeImage(TImgInfo& Info, uint32_t Width, uint32_t Height, bool IsRGBA)
{
    if (Info.Width == Width && Info.Height == Height)
        return;
    CheckResultMemory(PictureBytes(Width, Height, Info.Channels), Width, Height);
    Plan(Info, Width, Height, IsRGBA, true);
    {
        // The source beside a temporary of its own, then that (or the source
        // filtered in place) beside the result.
        const uint64_t src = uint64_t(Info.Bpl) * BlockRows(Info.Height);
        const uint64_t tmp = RF->WidthChanges() && (RF->FTmpBpl > RF->FSrcBpl || RF->FNeedTmpBuf)
            ? uint64_t(RF->FTmpBpl) * BlockRows(Info.Height) + 8
            : 0;
        const uint64_t dest = RF->HeightChanges() ? uint64_t(RF->FDestBpl) * BlockRows(Height) : 0;
        CheckResultMemory(std::max(src + tmp, (tmp ? tmp : src) + dest), Width, Height);
    }
    uint8_t* tmp = Info.Mem;
    if (RF->WidthChanges()) {
        if (RF->FTmpBpl > RF->FSrcBpl || RF->FNeedTmpBuf) {
            tmp = NewTmpBlock(*RF, RF->FTmpBpl, Info.Height, RF->MaxThreadNum() > 1);
            RunPass(true, tmp, Info.Mem);
            platform::PageFree(Info.Mem);
            Info.Mem = tmp;
        } else {
            RunPass(true, tmp, tmp); // writes each row block over the rows it has read
        }
        Info.Width = Width;
        Info.Bpl = RF->FTmpBpl;
    }
    if (!RF->HeightChanges()) {
        CompactResult(Info.Mem, Info.Bpl, Info.Height);
        Info.Bpl = RF->FDestBpl;
        return;
    }
    uint8_t* out = NewDestBlock(*RF, Height); // on failure Info keeps the filtered rows
    RunPass(false, out, tmp);
    platform::PageFree(tmp);
    Info.Mem = out;
    Info.Bpl = RF->FDestBpl;
    Info.Height = Height;
}

TBandResize::TBandResize(TResizer& Resizer, uint32_t SrcWidth, uint32_t SrcHeight, uint32_t Ch, uint32_t Width,
                         uint32_t Height, uint64_t Beside)
    : R(Resizer), SrcH(SrcHeight), OutW(Width), OutH(Height), Channels(Ch)
{
    // The plan of the whole picture: same weights, strides and item rows as
    // ResizeImage. The source block itself never exists.
    CheckResultMemory(Beside + PictureBytes(Width, Height, Ch), Width, Height);
    uint8_t probe = 0;
    TImgInfo src{};
    src.Width = SrcWidth;
    src.Height = SrcHeight;
    src.Channels = Ch;
    src.Bpl = CalcBpl(SrcWidth, Ch);
    src.Mem = &probe;
    R.Plan(src, Width, Height, Ch == 4, false);
    F = R.RF;
    Resample = F->WidthChanges();
    const bool twoPass = Resample && F->HeightChanges();
    // Without a horizontal pass, the rows are copied into the block the
    // vertical pass reads, with the source's stride.
    const uint64_t bpl = Resample ? F->FTmpBpl : F->FSrcBpl;
    TmpBytes = bpl * BlockRows(SrcHeight) + 8;
    if (Resample) {
        ItemRows = uint32_t(F->FHFilterSrcBlockSize / F->FSrcBpl);
        // Chunks of at least 256 rows (fewer waits for the pass), enough items
        // for every pass thread.
        ChunkItems = std::max((256 + ItemRows - 1) / ItemRows, F->MaxThreadNum() * 2);
        ChunkRows = ChunkItems * ItemRows;
    }
    // What this picture holds at most: the intermediate, the windows, the
    // result (a source block never exists here), beside what the decoder holds.
    const uint64_t windows = Resample ? 2 * (uint64_t(F->FSrcBpl) * ChunkRows + 64) : 0;
    const uint64_t result = F->HeightChanges() ? uint64_t(F->FDestBpl) * BlockRows(Height) : 0;
    CheckResultMemory(Beside + TmpBytes + windows + result, Width, Height);
    if (twoPass)
        Tmp = R.TakeTmp(SrcHeight);
    else if (Resample)
        Tmp = NewTmpBlock(*F, bpl, SrcHeight, F->MaxThreadNum() > 1);
    else // Feed copies the source rows
        Tmp = NewBlock(bpl, SrcHeight, 8, F->MaxThreadNum() > 1, 1, uint64_t(SrcWidth) * Ch);
    if (!Resample)
        return;
    try {
        // Chunk c sits in window c mod 2; the top chunk, the first to
        // arrive, may hold fewer rows than a window.
        const uint32_t top = (SrcHeight - 1) / ChunkRows;
        for (uint32_t i = 0; i < 2; ++i) {
            // Kernels read past a row's last pixel: room behind the last row.
            const uint64_t bytes = uint64_t(F->FSrcBpl) * ChunkRows + 64;
            bool fresh = true;
            Window[i] = static_cast<uint8_t*>(platform::PageAllocDirty(bytes, false, &fresh));
            if (!Window[i])
                throw EOutOfMemory();
            const uint32_t rows = top % 2 == i ? SrcHeight - top * ChunkRows : ChunkRows;
            if (!fresh)
                ClearGaps(Window[i], F->FSrcBpl, uint64_t(SrcWidth) * Ch, rows, bytes);
        }
    } catch (...) {
        Release();
        throw;
    }
}

TBandResize::~TBandResize()
{
    Release();
}

void TBandResize::Release()
{
    Join();
    F->SetHItemRange(0, 0);
    for (uint8_t*& w : Window) {
        platform::PageFree(w);
        w = nullptr;
    }
    platform::PageFree(Tmp);
    Tmp = nullptr;
}

void TBandResize::Join()
{
    if (Pass.joinable())
        Pass.join();
}

// Memory rows count from the bottom, so source rows arrive from the last
// chunk down to chunk 0; chunk c of items [c x ChunkItems, ...) sits in
// window c mod 2.
void TBandResize::RunChunk(uint32_t Chunk)
{
    Join(); // the previous chunk, in the other window
    const uint32_t first = Chunk * ChunkItems;
    const uint32_t count = std::min(ChunkItems, F->GetHLoopCount() - first);
    F->SetHItemRange(first, count);
    const uint8_t* src = Window[Chunk % 2];
    auto run = [this, src] { R.RunPass(true, Tmp, src); };
    if (!R.FThreadsPay) { // a thread of its own would cost more than the decoder waits
        run();
        return;
    }
    try {
        Pass = PassThreads.Start(run);
    } catch (const std::system_error&) {
        run();
    }
}

void TBandResize::Feed(const TImgInfo& Band, uint32_t Top)
{
    if (Top != NextRow || Band.Height > SrcH - Top || Band.Channels != Channels)
        throw EVestroError("Rows out of order");
    const uint64_t rowBytes = uint64_t(Band.Width) * Channels;
    for (uint32_t y = 0; y < Band.Height; ++y) {
        const uint32_t m = SrcH - 1 - (Top + y); // memory row
        const uint8_t* row = ScanLine(Band, y);
        if (!Resample) {
            std::memcpy(Tmp + uint64_t(m) * F->FSrcBpl, row, rowBytes);
            continue;
        }
        const uint32_t chunk = m / ChunkRows;
        std::memcpy(Window[chunk % 2] + uint64_t(m - chunk * ChunkRows) * F->FSrcBpl, row, rowBytes);
        if (m == chunk * ChunkRows)
            RunChunk(chunk);
    }
    NextRow = Top + Band.Height;
}

void TBandResize::Finish(TImgInfo& Dest)
{
    Join();
    F->SetHItemRange(0, 0);
    if (NextRow != SrcH)
        throw EVestroError("Rows missing");
    if (!F->HeightChanges()) {
        if (Resample)
            R.CompactResult(Tmp, F->FTmpBpl, OutH);
        Dest.Mem = Tmp;
        Dest.Bpl = Resample ? F->FDestBpl : F->FSrcBpl;
        Tmp = nullptr;
    } else {
        uint8_t* out = NewDestBlock(*F, OutH);
        R.PreFault(out, uint64_t(F->FDestBpl) * BlockRows(OutH));
        R.RunPass(false, out, Tmp);
        if (Resample)
            R.KeepTmp(Tmp, TmpBytes);
        else
            platform::PageFree(Tmp);
        Tmp = nullptr;
        Dest.Mem = out;
        Dest.Bpl = F->FDestBpl;
    }
    Dest.Width = OutW;
    Dest.Height = OutH;
    Dest.Channels = Channels;
}
