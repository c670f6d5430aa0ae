#include "core/PictureMemory.h"

#include "core/Global.h"
#include "core/ImgInfo.h"
#include "core/ResourceText.h"
#include "platform/PageMemory.h"
#include "platform/SysInfo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr uint64_t kFloor = uint64_t(256) << 20;
constexpr const char SResultTooLarge[] = "result too large";

// What the calling thread holds.
struct TThreadMemory {
    uint64_t ScopeBudget = 0;         // 0: no settings scope on this thread
    TRunMemory* CurrentRun = nullptr; // the run whose share this thread holds
    uint64_t Held = 0;                // the share, bytes
};
TThreadMemory& ThisThread()
{
    thread_local TThreadMemory Memory;
    return Memory;
}

int Workers(const TSystemOption& S)
{
    return S.ParallelProcessing ? std::max(1, S.MaxThread) : 1;
}

uint64_t MiB(uint64_t Bytes)
{
    return (Bytes + (uint64_t(1) << 20) - 1) >> 20;
}

} // namespace

uint64_t RunMemoryBudget(const TSystemOption& S)
{
    if (S.PictureMemoryLimit > 0)
        return uint64_t(S.PictureMemoryLimit) << 20;
    return std::max(platform::PhysicalMemoryBytes() / 2, kFloor);
}

uint64_t PictureMemoryBudget(const TSystemOption& S)
{
    if (S.PictureMemoryLimit > 0)
        return uint64_t(S.PictureMemoryLimit) << 20;
    // As many pictures are read at once as the batch has workers.
    return std::max(platform::PhysicalMemoryBytes() / (2 * uint64_t(Workers(S))), kFloor);
}

uint64_t PictureMemoryBudget()
{
    if (ThisThread().CurrentRun) {
        const uint64_t Run = ThisThread().CurrentRun->HeldForRun();
        return Run < ThisThread().CurrentRun->Total() ? ThisThread().CurrentRun->Total() - Run : 0;
    }
    return ThisThread().ScopeBudget != 0 ? ThisThread().ScopeBudget : PictureMemoryBudget(Settings.System);
}

// ---------------------------------------------------------------- the run's budget

TRunMemory::TRunMemory(const TSystemOption& S) : FTotal(RunMemoryBudget(S)), FWorkers(Workers(S))
{
}

TRunMemory::TRunMemory(uint64_t Total, int Workers) : FTotal(Total), FWorkers(std::max(1, Workers))
{
}

uint64_t TRunMemory::HeldForRun() const
{
    const std::lock_guard<std::mutex> L(FLock);
    return FRun;
}

uint64_t TRunMemory::Used() const
{
    const std::lock_guard<std::mutex> L(FLock);
    return FRun + FUsed;
}

void TRunMemory::HoldForRun(uint64_t Bytes)
{
    const std::lock_guard<std::mutex> L(FLock);
    FRun += Bytes;
}

bool TRunMemory::Admit(uint64_t Bytes, const std::atomic<bool>* Cancel, const std::function<void()>& LetGo)
{
    std::unique_lock<std::mutex> L(FLock);
    for (bool First = true;; First = false) {
        if (FPictures == 0 || FRun + FUsed + Bytes <= FTotal) {
            FUsed += Bytes;
            ++FPictures;
            return true;
        }
        if (Cancel && Cancel->load())
            return false;
        if (First) {
            // A worker that waits holds nothing: not even the blocks it kept
            // for its next picture.
            L.unlock();
            platform::LimitPageReuse(0);
            if (LetGo)
                LetGo();
            L.lock();
            continue;
        }
        // The cancel does not notify: look at it now and then.
        FFreed.wait_for(L, std::chrono::milliseconds(50));
    }
}

bool TRunMemory::Grow(uint64_t From, uint64_t To)
{
    const std::lock_guard<std::mutex> L(FLock);
    if (FPictures > 1 && FRun + FUsed - From + To > FTotal)
        return false;
    FUsed = FUsed - From + To;
    return true;
}

void TRunMemory::Release(uint64_t Bytes)
{
    {
        const std::lock_guard<std::mutex> L(FLock);
        FUsed -= Bytes;
        --FPictures;
    }
    FFreed.notify_all();
}

void HoldPictureMemoryForRun(uint64_t Bytes)
{
    if (ThisThread().CurrentRun)
        ThisThread().CurrentRun->HoldForRun(Bytes);
}

// ---------------------------------------------------------------- scopes

TPictureBudgetScope::TPictureBudgetScope(const TSystemOption& S)
    : FOuterBudget(ThisThread().ScopeBudget), FOuterRun(ThisThread().CurrentRun), FOuterHeld(ThisThread().Held)
{
    ThisThread().ScopeBudget = PictureMemoryBudget(S);
    ThisThread().CurrentRun = nullptr;
    ThisThread().Held = 0;
    // Blocks a batch worker keeps for its next picture stay within half of it.
    platform::LimitPageReuse(ThisThread().ScopeBudget / 2);
}

TPictureBudgetScope::TPictureBudgetScope(TRunMemory& Run, uint64_t Bytes, const std::atomic<bool>* Cancel,
                                         const std::function<void()>& LetGo)
    : FOuterBudget(ThisThread().ScopeBudget), FOuterRun(ThisThread().CurrentRun), FOuterHeld(ThisThread().Held)
{
    const uint64_t Room = Run.Total() - std::min(Run.Total(), Run.HeldForRun());
    Bytes = std::min(Bytes, Room);
    ThisThread().ScopeBudget = 0;
    ThisThread().CurrentRun = nullptr;
    ThisThread().Held = 0;
    if (!Run.Admit(Bytes, Cancel, LetGo)) {
        FCancelled = true;
        return;
    }
    ThisThread().CurrentRun = &Run;
    ThisThread().Held = Bytes;
    // What a worker keeps for its next picture is its part of half the budget.
    platform::LimitPageReuse(Run.Total() / (2 * uint64_t(Run.FWorkers)));
}

TPictureBudgetScope::~TPictureBudgetScope()
{
    if (ThisThread().CurrentRun)
        ThisThread().CurrentRun->Release(ThisThread().Held);
    ThisThread().ScopeBudget = FOuterBudget;
    ThisThread().CurrentRun = FOuterRun;
    ThisThread().Held = FOuterHeld;
}

// ---------------------------------------------------------------- checks

uint64_t PictureBytes(uint64_t Width, uint64_t Height, uint32_t Channels)
{
    if (Width > (uint64_t(1) << 32) || Height > (uint64_t(1) << 32))
        return UINT64_MAX;
    const uint64_t Bpl = CalcBpl(Width, Channels), Rows = BlockRows(Height);
    return Rows > UINT64_MAX / Bpl ? UINT64_MAX : Bpl * Rows;
}

uint64_t ToolMemoryLimit(uint64_t Bytes)
{
    constexpr uint64_t Room = uint64_t(256) << 20;
    return Bytes > UINT64_MAX - Room ? UINT64_MAX : Bytes + Room;
}

void CheckPictureMemory(uint64_t Bytes)
{
    if (Bytes > PictureMemoryBudget())
        throw EVestroError(LoadResText(SPictureTooLarge));
    if (ThisThread().CurrentRun && Bytes > ThisThread().Held) {
        if (!ThisThread().CurrentRun->Grow(ThisThread().Held, Bytes))
            throw TPictureMemoryWait{Bytes};
        ThisThread().Held = Bytes;
    }
}

void RaiseResultTooLarge(uint64_t Bytes, uint64_t Width, uint64_t Height)
{
    char Size[128];
    std::snprintf(Size, sizeof Size, ": %llu x %llu (%llu MiB; the budget is %llu MiB)", (unsigned long long)Width,
                  (unsigned long long)Height, (unsigned long long)MiB(Bytes),
                  (unsigned long long)(PictureMemoryBudget() >> 20));
    throw EResultTooLarge(LoadResText(SResultTooLarge) + Size);
}

void CheckResultMemory(uint64_t Bytes, uint32_t Width, uint32_t Height)
{
    if (Bytes > PictureMemoryBudget())
        RaiseResultTooLarge(Bytes, Width, Height);
    CheckPictureMemory(Bytes);
}
