#!/usr/bin/env bash
# One at-once run for the bench: vestro-candidate.sh OUTDIR INPUT...
# Fits every input into 1600 x 1600 (never enlarging), Lanczos 3, JPEG
# quality 90 with 4:2:0 sampling, one worker per core, reduced-size JPEG
# decoding on (decoded at least at the target size, as the peers do).
set -euo pipefail
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
MaxThread=$(nproc)
Parallel=1
[Resize]
Rule=10
Size1=100,512,384,512,384,100,100,512,512,0,1600,512
Size2=0,0,0,0,0,100,100,384,384,0,1600,384
NoExpand=1
DecimationType=2
DecimationRadius=3
InterpolationType=2
InterpolationRadius=3
MaxThread=1
[JPEG]
Quality=90
SampleType=0
DecodeWithDownScaling=3
DownScalingLimit=100
INI
VESTRO_NONINTERACTIVE=1 QT_QPA_PLATFORM=offscreen "$prog" "/ini=$profile" "$@"
