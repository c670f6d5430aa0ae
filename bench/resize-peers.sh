#!/usr/bin/env bash
# Times one resize of one picture with our resampler, with Pillow
# (Image.resize, LANCZOS, one core) and with `vips resize` (Lanczos 3, one
# thread and all threads), and prints the times and ratios side by side.
#
#   bench/resize-peers.sh [BUILD_DIR]        (default: build; needs BUILD_BENCH=ON)
#
# Environment:
#   PICTURE=file   a photograph to use (any format Pillow reads); default: the
#                  first JPEG of the bench corpus (/tmp/vestro-bench/corpus) when
#                  it exists, else a generated picture with gradients and grain
#   SIZES="5184x3456 2592x1728"   source sizes (the picture is scaled to each)
#   TARGET=1600x1067               result size
#   RUNS=5         timed runs per tool (the fastest counts)
#   WORK=/tmp/vestro-resize-peers  scratch folder
#
# Our times come from bench_resize (Goal/... rgb lanczos3, integer family, plan
# made before timing, 1 and all threads). Pillow's time is the resize call
# alone. vips's time is the whole command (start-up and reading and writing
# its own uncompressed .v format in the scratch folder included), so it is an
# upper bound; the "vips noop" line (vips copy of the same file) shows that part.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
SIZES=${SIZES:-"5184x3456 2592x1728"}
TARGET=${TARGET:-1600x1067}
RUNS=${RUNS:-5}
WORK=${WORK:-/tmp/vestro-resize-peers}
PY=/usr/bin/python3
BENCH_BIN=$BUILD/bench/bench_resize

need() {   # install the named Debian packages that are missing
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}
need python3-pil libvips-tools
[ -x "$BENCH_BIN" ] || { echo "build with -DBUILD_BENCH=ON first ($BENCH_BIN missing)" >&2; exit 1; }
mkdir -p "$WORK"

if [ -z "${PICTURE:-}" ]; then
  PICTURE=$(ls /tmp/vestro-bench/corpus/large/*.jpg /tmp/vestro-bench/corpus/jpeg/*.jpg 2>/dev/null | head -1 || true)
fi
TW=${TARGET%x*}; TH=${TARGET#*x}

printf '%-11s %-22s %10s %10s\n' size tool ms "vs ours-1t"
for S in $SIZES; do
  SW=${S%x*}; SH=${S#*x}
  PPM=$WORK/src-$S.ppm
  # The picture at this size, as PPM (ours) and as .v (vips); LANCZOS scaling.
  "$PY" - "$PPM" "$SW" "$SH" "${PICTURE:-}" <<'EOF'
import sys, random
from PIL import Image, ImageFilter
out, w, h, pic = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
if pic:
    im = Image.open(pic).convert("RGB").resize((w, h), Image.LANCZOS)
else:
    random.seed(7)
    base = Image.radial_gradient("L").resize((w, h))
    r = Image.linear_gradient("L").resize((w, h))
    g = Image.effect_noise((w, h), 40).filter(ImageFilter.GaussianBlur(3))
    grain = Image.effect_noise((w, h), 12)
    im = Image.merge("RGB", (r, g, base))
    im = Image.blend(im, Image.merge("RGB", (grain, grain, grain)), 0.25)
im.save(out)
EOF
  vips copy "$PPM" "$WORK/src-$S.v"

  # Ours: the bench binary on the same picture.
  csv=$(VESTRO_BENCH_PICTURE=$PPM "$BENCH_BIN" --benchmark_format=csv \
        --benchmark_filter="Goal/${S}-1600x1067/rgb/lanczos3/(scalar|SSE2|AVX2)/t" 2>/dev/null | grep '^"Goal')
  rows=(); ours1=""
  while IFS=, read -r name iters real rest; do
    name=${name//\"/}; fam=$(echo "$name" | cut -d/ -f5); th=$(echo "$name" | cut -d/ -f6)
    ms=$(printf '%.1f' "$real")
    [ "$fam/$th" = SSE2/t1 ] && ours1=$ms
    rows+=("$S|ours $fam $th|$ms")
  done <<< "$csv"

  pil=$("$PY" - "$PPM" "$TW" "$TH" "$RUNS" <<'EOF'
import sys, time
from PIL import Image
im = Image.open(sys.argv[1]); im.load()
w, h, runs = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
best = 1e9
for _ in range(runs):
    t = time.perf_counter(); im.resize((w, h), Image.LANCZOS); best = min(best, time.perf_counter() - t)
print("%.1f" % (best * 1e3))
EOF
)
  rows+=("$S|pillow lanczos 1 core|$pil")

  hs=$("$PY" -c "print(repr($TW/$SW))"); vs=$("$PY" -c "print(repr($TH/$SH))")
  vtime() {   # fastest of RUNS runs of a command, in ms
    local best=999999 t0 t1 ms i
    for i in $(seq "$RUNS"); do
      t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N)
      ms=$(( (t1 - t0) / 1000000 )); [ "$ms" -lt "$best" ] && best=$ms
    done
    echo "$best"
  }
  rows+=("$S|vips resize 1 thread|$(VIPS_CONCURRENCY=1 vtime vips resize "$WORK/src-$S.v" "$WORK/out.v" "$hs" --vscale "$vs" --kernel lanczos3)")
  rows+=("$S|vips resize all|$(vtime vips resize "$WORK/src-$S.v" "$WORK/out.v" "$hs" --vscale "$vs" --kernel lanczos3)")
  rows+=("$S|vips noop (copy)|$(VIPS_CONCURRENCY=1 vtime vips copy "$WORK/src-$S.v" "$WORK/out.v")")

  for r in "${rows[@]}"; do
    IFS='|' read -r size tool ms <<< "$r"
    ratio=$("$PY" -c "print('%.2f' % ($ms / $ours1))" 2>/dev/null || echo -)
    printf '%-11s %-22s %10s %10s\n' "$size" "$tool" "$ms" "$ratio"
  done
done
echo "(vs ours-1t: the time divided by ours with the SSE2 integer family on one thread; above 1: ours is faster)"
