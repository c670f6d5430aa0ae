#!/usr/bin/env bash
# One at-once run for the bench:
#
#   vestro-candidate.sh [--tier=full|draft|half] [--pct=P] OUTDIR INPUT...
#
# Lanczos 3, JPEG quality 90 with 4:2:0 sampling (as the peers write); the
# program's default workers and pass threads. Without --pct every input is
# fitted into 1600 x 1600, never enlarged; with --pct=P (P not empty) it is
# scaled to P percent.
#
# Quality tiers, to be compared with peers of the same tier:
#   full   the program's defaults: JPEG decoded at full size, the whole
#          picture resampled with the chosen filter (as Pillow's plain resize
#          and `vips resize` do)
#   draft  JPEG decoded reduced by up to 1/8, down to the target size itself,
#          the rest done by the filter (as Pillow's draft mode and
#          vipsthumbnail do)
#   half   JPEG decoded reduced by up to 1/8 but kept at least twice the
#          target (the program's own DownScalingLimit of 200 with the
#          reduced decode switched on), the rest done by the filter
set -euo pipefail
tier=full pct=
while [ $# -gt 0 ]; do
  case $1 in
    --tier=*) tier=${1#--tier=} ;;
    --pct=*) pct=${1#--pct=} ;;
    *) break ;;
  esac
  shift
done
case $tier in
  full) decode="" ;;
  draft) decode=$'DecodeWithDownScaling=3\nDownScalingLimit=100' ;;
  half) decode=$'DecodeWithDownScaling=3\nDownScalingLimit=200' ;;
  *) echo "unknown tier: $tier" >&2; exit 2 ;;
esac
if [ -n "$pct" ]; then
  rule="Rule=0
Size1=$pct,512,384,512,384,100,100,512,512,0,1600,512
Size2=0,0,0,0,0,100,100,384,384,0,1600,384"
else
  rule="Rule=10
Size1=100,512,384,512,384,100,100,512,512,0,1600,512
Size2=0,0,0,0,0,100,100,384,384,0,1600,384"
fi
out=$1; shift
prog=${VESTRO_BENCH_PROGRAM:-$(cd "$(dirname "$0")/.." && pwd)/build/dist/vestro-resizer}
profile=bench-$$.ini
ini=$(dirname "$prog")/ini/$profile
trap 'rm -f "$ini"' EXIT
cat > "$ini" <<INI
[File]
AtOnce=1
SameDirectory=0
OutPutDirectory=$out
FileNameFormat=<old>
NotOverwrite=0
ShowDirectory=0
[System]
Parallel=1
[Resize]
$rule
NoExpand=1
DecimationType=2
DecimationRadius=3
InterpolationType=2
InterpolationRadius=3
[JPEG]
Quality=90
SampleType=0
$decode
INI
VESTRO_NONINTERACTIVE=1 QT_QPA_PLATFORM=offscreen "$prog" "/ini=$profile" "$@"
