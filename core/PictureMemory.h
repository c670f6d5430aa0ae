// How much memory one picture may take while it is read.
//
// A few kilobytes can describe a picture of gigabytes (a blank fax page, a
// run-length bitmap, a GIF screen around a one-pixel frame). Readers check
// what a picture needs against this budget before they allocate anything
// large, so that no file, and no run of such files, can take the machine.
#pragma once
#include <cstdint>

struct TSystemOption;

// Bytes one picture may take under these settings: PictureMemoryLimit MiB
// when set (above 0), else half the machine's memory shared by the batch
// workers, and never less than 256 MiB.
uint64_t PictureMemoryBudget(const TSystemOption& S);

// The budget of the run this thread works for (TPictureBudgetScope), or,
// outside any run, the one of the settings as they are now.
uint64_t PictureMemoryBudget();

// While one lives, the calling thread reads under the budget of a run's
// settings copy, so that a settings change during the run changes nothing.
// It also caps the blocks the thread keeps for reuse (platform::TPageReuse)
// at half that budget.
class TPictureBudgetScope {
public:
    explicit TPictureBudgetScope(const TSystemOption& S);
    ~TPictureBudgetScope();
    TPictureBudgetScope(const TPictureBudgetScope&) = delete;
    TPictureBudgetScope& operator=(const TPictureBudgetScope&) = delete;

private:
    uint64_t FOuter;
};

// Raises EVestroError("picture too large", translated) when Bytes exceed
// PictureMemoryBudget().
void CheckPictureMemory(uint64_t Bytes);
