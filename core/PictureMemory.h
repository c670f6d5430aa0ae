// How much memory pictures may take while they are read and worked on.
//
// A few kilobytes can describe a picture of gigabytes (a blank fax page, a
// run-length bitmap, a GIF screen around a one-pixel frame, a PNG of one
// colour). Readers and the resizer check what a picture needs against this
// budget before they allocate anything large, so that no file, and no run
// of such files, can take the machine.
//
// A convert run keeps all its pictures together within one budget
// (TRunMemory): a worker whose picture would not fit beside the others'
// waits, holding nothing, until they finish; a picture alone may always take
// the whole budget, and only one larger than that is refused.
#pragma once
#include "core/Errors.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

struct TSystemOption;

// Bytes all pictures of a run may take together: [System]
// PictureMemoryLimit MiB when set (above 0), else half the machine's memory,
// never less than 256 MiB.
uint64_t RunMemoryBudget(const TSystemOption& S);

// Bytes one picture may take outside a convert run's shared budget (a
// preview, a combine sheet's tiles): PictureMemoryLimit MiB when set, else
// half the machine's memory shared by the batch workers, never less than
// 256 MiB.
uint64_t PictureMemoryBudget(const TSystemOption& S);

// What the picture this thread works on may take now: under a run's shared
// budget what is not held for the whole run; in a TPictureBudgetScope of
// settings that scope's budget; else the one of the settings as they are now.
uint64_t PictureMemoryBudget();

// The memory the pictures of one convert run hold together. Thread-safe.
class TRunMemory {
public:
    explicit TRunMemory(const TSystemOption& S);
    // Total is given in bytes (tests).
    explicit TRunMemory(uint64_t Total, int Workers = 1);
    TRunMemory(const TRunMemory&) = delete;
    TRunMemory& operator=(const TRunMemory&) = delete;

    uint64_t Total() const { return FTotal; }
    // Bytes held for the whole run (an image every picture shares).
    uint64_t HeldForRun() const;
    // Bytes held now by the run and its pictures.
    uint64_t Used() const;
    // Adds Bytes to what is held for the whole run.
    void HoldForRun(uint64_t Bytes);

private:
    friend class TPictureBudgetScope;
    friend void CheckPictureMemory(uint64_t Bytes);
    bool Admit(uint64_t Bytes, const std::atomic<bool>* Cancel, const std::function<void()>& LetGo);
    bool Grow(uint64_t From, uint64_t To);
    void Release(uint64_t Bytes);

    mutable std::mutex FLock;
    std::condition_variable FFreed;
    const uint64_t FTotal;
    const int FWorkers;
    uint64_t FRun = 0;  // held for the whole run
    uint64_t FUsed = 0; // held by pictures now
    int FPictures = 0;  // pictures holding a share now
};

// Under a run's shared budget: Bytes stay held until the run ends (an image
// every picture of the run draws from). Elsewhere nothing.
void HoldPictureMemoryForRun(uint64_t Bytes);

// Raised by CheckPictureMemory when a picture needs more than it was let in
// with and the other pictures hold the rest: the worker lets go of all it
// holds and starts the picture again once Bytes are free. Not an error (not
// a std::exception), so that nothing on the way reports it.
struct TPictureMemoryWait {
    uint64_t Bytes;
};

// While one lives, the calling thread reads under the budget of a run's
// settings copy, so that a settings change during the run changes nothing.
// It also caps the blocks the thread keeps for reuse (platform::TPageReuse).
class TPictureBudgetScope {
public:
    // A picture alone under the budget of S (PictureMemoryBudget(S)).
    explicit TPictureBudgetScope(const TSystemOption& S);
    // A picture of a convert run that will hold about Bytes: waits until
    // they fit beside what the run's other pictures hold, or until no other
    // picture holds any (a picture alone always runs). Before it waits, the
    // thread lets go of the blocks it keeps, and LetGo (when given) of what
    // else it keeps for its next picture. When Cancel becomes true meanwhile
    // it stops waiting, holding nothing, with Cancelled() true.
    TPictureBudgetScope(TRunMemory& Run, uint64_t Bytes, const std::atomic<bool>* Cancel,
                        const std::function<void()>& LetGo = {});
    ~TPictureBudgetScope();
    TPictureBudgetScope(const TPictureBudgetScope&) = delete;
    TPictureBudgetScope& operator=(const TPictureBudgetScope&) = delete;
    bool Cancelled() const { return FCancelled; }

private:
    uint64_t FOuterBudget;
    TRunMemory* FOuterRun;
    uint64_t FOuterHeld;
    bool FCancelled = false;
};

// A result (the resize's, the composite's) that does not fit the budget:
// "result too large: W x H (N MiB; the budget is M MiB)". Raised before the
// result is allocated.
class EResultTooLarge : public EVestroError {
public:
    using EVestroError::EVestroError;
};

// Bytes a Width x Height picture of Channels takes (UINT64_MAX when absurd).
uint64_t PictureBytes(uint64_t Width, uint64_t Height, uint32_t Channels);

// The address space a tool started for one picture may take
// (RunProcessAndWait's MemoryLimit): Bytes, what the picture needs in the
// tool, and room for the tool itself, its libraries and buffers.
uint64_t ToolMemoryLimit(uint64_t Bytes);

// Before a picture takes Bytes in all (what it holds at this step): raises
// EVestroError("picture too large", translated) when they exceed
// PictureMemoryBudget(). Under a run's shared budget the picture's share
// grows to Bytes; when the other pictures hold too much for that, raises
// TPictureMemoryWait (a picture alone always gets its share).
void CheckPictureMemory(uint64_t Bytes);

// The same for a result of Width x Height made while Bytes are held in all:
// raises EResultTooLarge naming the size.
void CheckResultMemory(uint64_t Bytes, uint32_t Width, uint32_t Height);
// Raises that EResultTooLarge (also for sizes no picture record can hold).
[[noreturn]] void RaiseResultTooLarge(uint64_t Bytes, uint64_t Width, uint64_t Height);
