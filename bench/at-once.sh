#!/usr/bin/env bash
# Times our at-once run on the benchmark corpus beside the peers that do the
# same job (task T1: every JPEG fitted into 1600 x 1600, Lanczos 3, quality 90,
# all cores), using the shared bench scripts; prints one line per tool.
#
# Usage: bench/at-once.sh [TASK]      (default T1; env as bench/peers.sh: RUNS,
#        PEERS, JOBS, CORPUS, OUTROOT; SHARED_BENCH = folder of peers.sh)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
task=${1:-T1}
SHARED_BENCH=${SHARED_BENCH:-$repo/../shared/bench}
[ -f "$SHARED_BENCH/peers.sh" ] || SHARED_BENCH=/work/shared/bench
[ -f "$SHARED_BENCH/peers.sh" ] || { echo "peers.sh not found (set SHARED_BENCH)" >&2; exit 2; }

[ -x "$repo/build/dist/vestro-resizer" ] || { "$repo/scripts/setup"; "$repo/scripts/build" build; }

# The candidate writes the run's profile (the output folder changes per run)
# and converts every input in one process.
export VESTRO_BENCH_PROGRAM=$repo/build/dist/vestro-resizer
export CANDIDATE="bash $repo/bench/vestro-candidate.sh {outdir} {inputs}"
export CANDIDATE_NAME=${CANDIDATE_NAME:-vestro-at-once}
exec bash "$SHARED_BENCH/peers.sh" "$task"
