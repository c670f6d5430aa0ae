#!/usr/bin/env bash
# Start-to-end time of one small picture converted at once (what a file
# manager's "resize" action does) beside ImageMagick's convert doing the same:
# a 640 px JPEG scaled to half, Lanczos 3, JPEG quality 90.
#
#   bench/start-time.sh [PROGRAM]     (default: build/dist/vestro-resizer)
#
# Environment: ROUNDS=5 rounds, each timing both tools RUNS=20 times (hyperfine,
# 3 warm-up runs); the rounds alternate the tools so that a change in the
# machine's load falls on both. Printed: every round's medians, then the
# median of the rounds and the ratio ours / convert. OTHER=dist-folder adds a
# second build of ours (e.g. a copy of the build before a change).
# Where XDG_RUNTIME_DIR is unset (a bench shell, not a desktop session), our
# single-instance lock falls back to /tmp, and on a disk there its fdatasync
# alone costs 2-11 ms; "session" is then our run as a desktop session starts
# it, with the runtime folder on a tmpfs (/dev/shm), beside the plain one.
# Needs hyperfine and imagemagick (Debian); the machine's load is printed with
# the figures, as the timings mean little on a busy machine.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
prog=${1:-$repo/build/dist/vestro-resizer}
ROUNDS=${ROUNDS:-5}
RUNS=${RUNS:-20}
IM=/usr/bin/convert   # /usr/local/bin may hold a stand-in of the same name
for t in hyperfine "$IM"; do
  command -v "$t" >/dev/null || { echo "needs $t (apt-get install hyperfine imagemagick)" >&2; exit 2; }
done
[ -x "$prog" ] || { echo "no program at $prog" >&2; exit 2; }

work=$(mktemp -d /tmp/start-time.XXXXXX)
inis=()
trap 'rm -rf "$work" "${inis[@]}"' EXIT
src=$(ls /usr/share/backgrounds/*/*.jpg /usr/share/backgrounds/*/*/*.jpg 2>/dev/null | head -1 || true)
if [ -n "$src" ]; then
  "$IM" "$src" -resize 640x640 -quality 90 "$work/in.jpg"
else
  "$IM" -size 640x427 plasma:fractal -seed 1 -quality 90 "$work/in.jpg"
fi
mkdir -p "$work/ours" "$work/other" "$work/im"

# An ini profile beside each program: half size, Lanczos 3, quality 90.
profile=start-time-$$.ini
ours_cmd() {   # dist-folder output-folder
  local ini=$1/ini/$profile   # removed at exit (inis): this runs in a subshell
  cat > "$ini" <<INI
[File]
AtOnce=1
SameDirectory=0
OutPutDirectory=$2
FileNameFormat=<old>
NotOverwrite=0
ShowDirectory=0
[Resize]
Rule=0
Size1=50,512,384,512,384,100,100,512,512,0,1600,512
DecimationType=2
DecimationRadius=3
InterpolationType=2
InterpolationRadius=3
[JPEG]
Quality=90
INI
  echo "env VESTRO_NONINTERACTIVE=1 QT_QPA_PLATFORM=offscreen $1/vestro-resizer /ini=$profile $work/in.jpg"
}
inis+=("$(dirname "$prog")/ini/$profile" "${OTHER:+$OTHER/ini/$profile}")
names=(ours convert) cmds=("$(ours_cmd "$(dirname "$prog")" "$work/ours")" \
  "$IM $work/in.jpg -filter Lanczos -resize 50% -quality 90 $work/im/out.jpg")
if [ -z "${XDG_RUNTIME_DIR:-}" ] && [ -d /dev/shm ]; then
  xdg=$(mktemp -d /dev/shm/start-time.XXXXXX)
  inis+=("$xdg")
  names+=(session); cmds+=("env XDG_RUNTIME_DIR=$xdg ${cmds[0]#env }")
fi
if [ -n "${OTHER:-}" ]; then
  names+=(other); cmds+=("$(ours_cmd "$OTHER" "$work/other")")
fi

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
res=$work/res.txt
: > "$res"
for ((r = 1; r <= ROUNDS; r++)); do
  order=("${!names[@]}")
  ((r % 2)) || order=($(printf '%s\n' "${order[@]}" | tac))
  for i in "${order[@]}"; do
    hyperfine -N -w 3 -r "$RUNS" --export-json "$work/h.json" "${cmds[$i]}" >/dev/null 2>&1 ||
      { echo "${names[$i]} failed: ${cmds[$i]}" >&2; exit 1; }
    med=$(python3 -c 'import json,sys; print("%.2f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$work/h.json")
    echo "${names[$i]} $med" >> "$res"
    echo "round $r ${names[$i]} median $med ms"
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ -s "$work/ours/in.jpg" ] || { echo "our run wrote nothing" >&2; exit 1; }
python3 - "$res" <<'PY'
import statistics, sys
v = {}
for line in open(sys.argv[1]):
    n, t = line.split()
    v.setdefault(n, []).append(float(t))
m = {n: statistics.median(t) for n, t in v.items()}
for n in sorted(m):
    print("%-8s median of rounds %7.2f ms  ratio to convert %.2f" % (n, m[n], m[n] / m["convert"]))
PY
