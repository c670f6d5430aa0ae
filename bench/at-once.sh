#!/usr/bin/env bash
# Times our at-once run on the benchmark corpus beside the tools that do the
# same job, each compared only with tools of the same quality tier, and shows
# the quality (PSNR against one common reference) next to every time.
#
#   bench/at-once.sh [TASK...]        (default: T1 T2 T3)
#
# Tiers (T1 and T3; JPEG input):
#   full   our defaults (full-size decoding)  vs Pillow plain and `vips resize`
#   draft  decoding reduced down to the target vs Pillow draft and vipsthumbnail
# T2 (PNG input, PNG output) has one tier: every PNG peer.
#
# Environment as the shared peers.sh: RUNS, RUNS_T3, JOBS, CORPUS, OUTROOT;
# SHARED_BENCH = folder of peers.sh and quality.sh; QUALITY=0 skips scoring.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
tasks=("$@"); [ ${#tasks[@]} -gt 0 ] || tasks=(T1 T2 T3)
SHARED_BENCH=${SHARED_BENCH:-$repo/../shared/bench}
[ -f "$SHARED_BENCH/peers.sh" ] || SHARED_BENCH=/work/shared/bench
[ -f "$SHARED_BENCH/peers.sh" ] || { echo "peers.sh not found (set SHARED_BENCH)" >&2; exit 2; }
export OUTROOT=${OUTROOT:-/tmp/vbench-out}
mkdir -p "$OUTROOT"

[ -x "$repo/build/dist/vestro-resizer" ] || { "$repo/scripts/setup"; "$repo/scripts/build" build; }
export VESTRO_BENCH_PROGRAM=$repo/build/dist/vestro-resizer

# One peers.sh run: our program at Tier beside the peers matching Peers.
run_tier() {   # task tier peers-regex
  local task=$1 tier=$2 peers=$3
  CANDIDATE="bash $repo/bench/vestro-candidate.sh --tier=$tier --pct={pct} {outdir} {inputs}" \
    CANDIDATE_NAME=vestro-$tier PEERS=$peers bash "$SHARED_BENCH/peers.sh" "$task"
}

log=$OUTROOT/at-once-$$.txt
: > "$log"
for t in "${tasks[@]}"; do
  case $t in
    T1|T3)
      run_tier "$t" full 'pil-plain|pil-pool[0-9]*-plain|vips-resize' | tee -a "$log"
      run_tier "$t" draft 'pil-draft|pil-pool[0-9]*-draft|vips-thumbnail' | tee -a "$log" ;;
    T2) run_tier T2 full '.' | tee -a "$log" ;;
    *) echo "unknown task $t" >&2; exit 2 ;;
  esac
done

scored=()
for t in "${tasks[@]}"; do [ "$t" = T2 ] || scored+=("$t"); done
if [ "${QUALITY:-1}" != 0 ] && [ ${#scored[@]} -gt 0 ]; then
  bash "$SHARED_BENCH/quality.sh" "${scored[@]}" | tee -a "$log"
fi

# Time and quality side by side: median seconds, the ratio to our run of the
# same tier, and the mean luma PSNR (sRGB reference).
echo
echo "== time and quality (ratio: the tool's median over ours of the same tier)"
awk '
  /^== / { if ($2 ~ /^T[0-9]/) { task = $2; sub(":", "", task) } else if ($3 == "quality:") task = $2 }
  $1 ~ /^T[0-9]/ && $3 == "min" { med[$1 "/" $2] = $7; order[++n] = $1 "/" $2 }
  task != "" && NF >= 9 && $2 ~ /^[0-9]+$/ && $4 == "/" { psnr[task "/" $1] = $6 }
  END {
    for (i = 1; i <= n; i++) {
      k = order[i]; split(k, p, "/"); tier = p[2] ~ /draft|thumbnail/ ? "draft" : "full"
      ours = med[p[1] "/vestro-" tier]; if (ours == "") ours = med[p[1] "/vestro-full"]
      printf "%-4s %-28s %-5s med %7.2f s  ratio %5s  PSNR-Y %s\n", p[1], p[2], tier, med[k],
        (ours > 0 ? sprintf("%.2f", med[k] / ours) : "-"), ((k in psnr) ? psnr[k] : "-")
    }
  }' "$log"
rm -f "$log"
