// How many threads one piece of batch work may use at once.
//
// Batch workers count themselves as busy while they take entries. Work that
// a worker can split by itself (compressing a large PNG) takes the share of
// the processors that falls to it: many while the others have run out of
// entries at the end of a run, one while all are busy.
#pragma once

// A batch worker starts or stops taking entries (any thread).
void BeginBusyWorker();
void EndBusyWorker();

// Threads the calling work may use, its own included: the processors the
// process may use divided among the busy workers, rounded down, at least 1;
// all of them when no worker is busy.
int WorkThreadShare();

// Wanted threads held to that share while batch workers are busy (so that
// busy workers do not crowd the processors with threads that only wait);
// Wanted itself outside a run.
int WorkThreadLimit(int Wanted);
