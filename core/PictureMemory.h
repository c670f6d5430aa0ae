// How much memory one picture may take while it is read.
//
// A few kilobytes can describe a picture of gigabytes (a blank fax page, a
// run-length bitmap, a GIF screen around a one-pixel frame). Readers check
// what a picture needs against this budget before they allocate anything
// large, so that no file, and no run of such files, can take the machine.
#pragma once
#include <cstdint>

// Bytes one picture may take: [System] PictureMemoryLimit MiB when set (above
// 0), else half the machine's memory shared by the batch workers, and never
// less than 256 MiB.
uint64_t PictureMemoryBudget();

// Raises EVestroError("picture too large", translated) when Bytes exceed the budget.
void CheckPictureMemory(uint64_t Bytes);
