// The resampler: changes the pixel size of an image with a separable filter
// (one horizontal pass for the width, one vertical pass for the height), each
// pass split across up to 64 threads. Weight setters (ResizeWeights.h) turn
// one axis into weight tables; filter classes (ResizePlan.h) hold the plan of
// one kernel family for one geometry; TResizer drives them and runs the passes.
#pragma once
#include "core/ResizePlan.h"
#include "core/ResizeWeights.h"

#include <cstdint>
#include <functional>
#include <thread>

// How resizes start their pass threads.
struct TPassThreads {
    // Starts one pass thread (std::thread), and the thread that overlaps a
    // band's horizontal pass with decoding. A share whose thread cannot be
    // started (std::system_error) runs on the calling thread instead, so a
    // pass is never left half done. Tests replace it to make creation fail.
    std::thread (*Start)(std::function<void()> Body);
    // Samples (source and result rows of both passes, times channels) below
    // which a resize runs on the calling thread alone: starting and joining
    // pass threads would cost more than they save (bench_resize Small/...).
    // The bytes are the same whatever the thread count. Tests set it to 0 to
    // split even tiny pictures.
    uint64_t MinWork;
};
using TPassThreadStarter = decltype(TPassThreads::Start);
extern TPassThreads PassThreads;

// Used by one thread at a time; other threads use copies (CreateMTResizer).
// Before the first resize: SetSIMDMode, SetMaxThreadNum and both setters.
class TResizer {
public:
    TCustomResizeFilter* RF = nullptr;                  // owned
    TWeightSetter* DecimationWeightSetter = nullptr;    // for a side that shrinks
    TWeightSetter* InterpolationWeightSetter = nullptr; // for a side that grows
    uint32_t DecimationMode = 0;
    uint32_t InterpolationMode = 0;
    uint32_t SIMDMode = 0; // 1 "MMX Integer", 2 "SSE Float", 3 "SSE2 Integer"
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
    // Lets go of the temporary block kept for the next picture.
    void FreeKept();

    // Resizes Src into a new block in Dest (Dest's old block is not freed:
    // the caller owns it). Same size: nothing is done and Dest is untouched.
    // The result has the stride of its width (CalcBpl), whichever pass ran.
    // IsRGBA must equal (Src.Channels == 4). Raises EOutOfMemory (nothing
    // allocated is left behind) or EVestroError; before anything is
    // allocated, EResultTooLarge (CheckResultMemory) when Src, the
    // temporary and the result together exceed the picture budget.
    void ResizeImage(const TImgInfo& Src, TImgInfo& Dest, uint32_t Width, uint32_t Height, bool IsRGBA);
    // Resizes in place: Info's block is replaced (its old block freed). On
    // failure Info still owns a block that FreeImg can release, but its
    // picture is not usable. The budget is checked as above, for the most
    // that is held at once (Info or the temporary beside the result).
    void ResizeImage(TImgInfo& Info, uint32_t Width, uint32_t Height, bool IsRGBA);

private:
    friend class TBandResize;
    // The temporary block of the last two-pass resize into a separate
    // destination, kept (up to 128 MB) for the next picture of the same
    // geometry: fresh pages come zeroed by the system, which on big pictures
    // costs as much as a pass and does not spread over the pass threads.
    uint8_t* FTmpCache = nullptr;
    uint64_t FTmpCacheBytes = 0;
    // The two-pass temporary for Rows source rows under the current plan.
    uint8_t* TakeTmp(uint64_t Rows);
    void KeepTmp(uint8_t* Tmp, uint64_t Bytes);
    void PreFault(uint8_t* Block, uint64_t Bytes);
    // Moves the Rows rows of a one-pass result, written FromBpl apart, to
    // the result's own stride (FDestBpl) in the same block.
    void CompactResult(uint8_t* Mem, uint64_t FromBpl, uint32_t Rows);
    void SetSetter(uint32_t& ModeSlot, TWeightSetter*& Slot, uint32_t Mode, TWeightSetter* WS);

    // Set by Plan: the picture is large enough for pass threads to pay.
    bool FThreadsPay = false;
    void Plan(const TImgInfo& Src, uint32_t Width, uint32_t Height, bool IsRGBA, bool InPlace);
    void RunPass(bool Horizontal, uint8_t* Dest, const uint8_t* Src);
};

// Resizes a picture whose rows arrive in bands, top to bottom (a decoder
// that hands rows over as it goes), into the same bytes ResizeImage(Src,
// Dest, ...) gives for the whole picture. Each complete group of rows goes
// through the horizontal pass on the pass threads while the caller decodes
// the next, so memory holds the intermediate picture and two small windows
// of source rows, not the whole source. The resizer must not be used for
// anything else until Finish or destruction.
class TBandResize {
public:
    // Plans SrcWidth x SrcHeight x Channels -> Width x Height and takes the
    // intermediate block. Raises what ResizeImage raises, and "result too
    // large" (CheckResultMemory) when its blocks and Beside bytes held
    // elsewhere meanwhile (by the decoder) exceed the picture budget.
    TBandResize(TResizer& Resizer, uint32_t SrcWidth, uint32_t SrcHeight, uint32_t Channels, uint32_t Width,
                uint32_t Height, uint64_t Beside = 0);
    ~TBandResize();
    TBandResize(const TBandResize&) = delete;
    TBandResize& operator=(const TBandResize&) = delete;

    // The next rows: Band (rows bottom-up, like any picture, Width and
    // Channels of the source) whose top row is source row Top. Bands must
    // come in order without gaps.
    void Feed(const TImgInfo& Band, uint32_t Top);
    // After the last band: the result into Dest (a new block the caller
    // owns). Raises EVestroError when rows are missing, EOutOfMemory.
    void Finish(TImgInfo& Dest);

private:
    TResizer& R;
    TCustomResizeFilter* F;
    uint32_t SrcH, OutW, OutH, Channels;
    uint32_t ItemRows = 1, ChunkItems = 1, ChunkRows = 1;
    uint32_t NextRow = 0; // source rows taken so far
    bool Resample;        // the width changes: rows go through the horizontal pass
    uint8_t* Tmp = nullptr;
    uint64_t TmpBytes = 0;
    uint8_t* Window[2] = {nullptr, nullptr};
    std::thread Pass;

    void RunChunk(uint32_t Chunk);
    void Join();
    void Release();
};
