#!/usr/bin/env bash
# Peak memory and time of one huge picture scaled to 25 %, our at-once run
# beside `vips resize` on the same job, runs interleaved:
#
#   bench/stream-peers.sh [RUNS]
#
#   big PNG  106 MP RGB (12600 x 8400) -> 25 %, Lanczos 3, PNG
#   big JPEG the same picture as JPEG  -> 25 %, Lanczos 3, JPEG q90 (4:2:0)
#
# The pictures are made once into $WORK (default /tmp/vestro-stream) from a
# photograph of mate-backgrounds. PROGRAM: the program to time (default
# build/dist/vestro-resizer); BASE=other/vestro-resizer adds a second build of
# ours (say, the one before a change). Prints "job tool seconds peak-MB" lines.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
work=${WORK:-/tmp/vestro-stream}
prog=${PROGRAM:-$repo/build/dist/vestro-resizer}
photo=/usr/share/backgrounds/mate/nature/Aqua.jpg
command -v vips >/dev/null || { echo "vips not found (Debian: libvips-tools)" >&2; exit 2; }
mkdir -p "$work/in" "$work/out"
[ -f "$work/in/big.png" ] || vips resize "$photo" "$work/in/big.png" 4.921875 --vscale 5.25
[ -f "$work/in/big.jpg" ] || vips copy "$work/in/big.png" "$work/in/big.jpg[Q=90]"

# Our run: one file to 25 % (the output keeps the input's format).
ours() {   # program input
  VESTRO_BENCH_PROGRAM=$1 bash "$repo/bench/vestro-candidate.sh" --pct=25 "$work/out" "$2" 2>/dev/null
}
export -f ours
export work repo
measure() {   # label command...
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  awk -v l="$label" '{ printf "%-40s %6.2f s %6.0f MB\n", l, $1, $2 / 1024 }' "$work/time"
}

for ((r = 1; r <= runs; r++)); do
  for job in png:png jpg:jpg; do
    in=$work/in/big.${job%%:*} ext=${job##*:}
    measure "big.${job%%:*} -> $ext ours" bash -c 'ours "$@"' _ "$prog" "$in"
    [ -z "${BASE:-}" ] || measure "big.${job%%:*} -> $ext base" bash -c 'ours "$@"' _ "$BASE" "$in"
    measure "big.${job%%:*} -> $ext vips resize" vips resize "$in" "$work/out/vips.$ext" 0.25 --kernel lanczos3
  done
done
