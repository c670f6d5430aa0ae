#!/usr/bin/env bash
# Two builds of ours on the same at-once jobs, runs interleaved: the time and
# peak memory of each, and whether both wrote the same bytes (cmp of every
# output), to show that a change made nothing slower and changed no output.
#
#   bench/compare-builds.sh BEFORE-PROGRAM [AFTER-PROGRAM]
#
#   AFTER-PROGRAM defaults to build/dist/vestro-resizer; BEFORE-PROGRAM is a
#   copy of a dist folder from before the change (cp -a build/dist /tmp/before).
#
# Environment: ROUNDS=3; JOBS="t1 t2 big-jpg big-png big-tif" where
#   t1       the 48 photos of the corpus (/work/shared/bench/make-corpus.sh,
#            CORPUS=/tmp/vestro-bench/corpus) fitted into 1600 px, JPEG q90
#   t2       the 16 PNG pictures of the corpus fitted into 1600 px, PNG
#   big-*    the 106 MP pictures of bench/stream-peers.sh (WORK=/tmp/vestro-stream,
#            made by that script) to 25 %
# Prints "job build seconds peak-MB" per round with the load average, then
# "same bytes" or the files that differ.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
before=${1:?usage: compare-builds.sh BEFORE-PROGRAM [AFTER-PROGRAM]}
after=${2:-$repo/build/dist/vestro-resizer}
ROUNDS=${ROUNDS:-3}
JOBS=${JOBS:-t1 t2 big-jpg big-png big-tif}
corpus=${CORPUS:-/tmp/vestro-bench/corpus}
stream=${WORK:-/tmp/vestro-stream}
out=$(mktemp -d /tmp/compare-builds.XXXXXX)
trap 'rm -rf "$out"' EXIT

inputs() {   # job -> size option and input files
  case $1 in
    t1) echo "-- $corpus/jpeg/"*.jpg ;;
    t2) echo "-- $corpus/png/"*.png ;;
    big-jpg) echo "--pct=25 $stream/in/big.jpg" ;;
    big-png) echo "--pct=25 $stream/in/big.png" ;;
    big-tif) echo "--pct=25 $stream/in/big.tif" ;;
    *) echo "unknown job: $1" >&2; exit 2 ;;
  esac
}
run() {   # job label program
  local args size dir=$out/$2/$1
  args=$(inputs "$1")
  size=${args%% *}
  args=${args#* }
  [ "$size" = -- ] && size=
  rm -rf "$dir"
  mkdir -p "$dir"
  # shellcheck disable=SC2086
  /usr/bin/time -f "%e %M %x" -o "$out/time" env VESTRO_BENCH_PROGRAM="$3" \
    bash "$repo/bench/vestro-candidate.sh" $size "$dir" $args >/dev/null 2>&1 || true
  tail -n 1 "$out/time" |
    awk -v j="$1" -v l="$2" '{ printf "%-8s %-7s %6.2f s %6.0f MB%s\n", j, l, $1, $2 / 1024, $3 == 0 ? "" : "  (status " $3 ")" }'
}

for ((r = 1; r <= ROUNDS; r++)); do
  echo "# round $r, load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
  for job in $JOBS; do
    if ((r % 2)); then run "$job" before "$before"; run "$job" after "$after"
    else run "$job" after "$after"; run "$job" before "$before"; fi
  done
done
differ=0
for job in $JOBS; do
  for f in "$out/before/$job"/*; do
    g=$out/after/$job/$(basename "$f")
    cmp -s "$f" "$g" || { echo "differs: $job/$(basename "$f")"; differ=1; }
  done
  [ "$(ls "$out/before/$job" | wc -l)" = "$(ls "$out/after/$job" | wc -l)" ] ||
    { echo "differs: $job: another number of outputs"; differ=1; }
done
((differ)) || echo "same bytes: every output of both builds"
