#!/usr/bin/env bash
# Peak memory and time of huge pictures scaled down, our at-once run beside
# the peers (`vips resize`, `vipsthumbnail`) on the same job, runs interleaved:
#
#   bench/stream-peers.sh [RUNS] [JOBS]
#
#   png      106 MP RGB (12600 x 8400) -> 25 %, Lanczos 3, PNG
#   jpg      the same picture as JPEG  -> 25 %, Lanczos 3, JPEG q90 (4:2:0)
#   tif      the same picture as an uncompressed strip TIFF -> 25 %, JPEG
#   tiles    the same as a deflate-compressed TIFF of 256 x 256 tiles -> 25 %, JPEG
#   bilevel  a blank 46340 x 46340 page (2.1 GP, 1 bit, fax group 4, one
#            strip, as libtiff writes it) -> fitted into 1600 x 1600, JPEG
#
# JOBS: the jobs to run (default "png jpg tif tiles bilevel"). The pictures are made
# once into $WORK (default /tmp/vestro-stream) from a photograph of
# mate-backgrounds (the page by a few lines of C over libtiff). PROGRAM: the
# program to time (default build/dist/vestro-resizer); BASE=other/vestro-resizer
# adds a second build of ours (say, the one before a change). Prints "job tool
# seconds peak-MB" lines, and the load average before each round.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
jobs=${2:-png jpg tif tiles bilevel}
work=${WORK:-/tmp/vestro-stream}
prog=${PROGRAM:-$repo/build/dist/vestro-resizer}
photo=/usr/share/backgrounds/mate/nature/Aqua.jpg
command -v vips >/dev/null || { echo "vips not found (Debian: libvips-tools)" >&2; exit 2; }
mkdir -p "$work/in" "$work/out"
[ -f "$work/in/big.png" ] || vips resize "$photo" "$work/in/big.png" 4.921875 --vscale 5.25
[ -f "$work/in/big.jpg" ] || vips copy "$work/in/big.png" "$work/in/big.jpg[Q=90]"
[ -f "$work/in/big.tif" ] || vips copy "$work/in/big.png" "$work/in/big.tif"
[ -f "$work/in/tiles.tif" ] || vips tiffsave "$work/in/big.png" "$work/in/tiles.tif" --tile --tile-width 256 --tile-height 256 --compression deflate
if [ ! -f "$work/in/bilevel.tif" ]; then
  cc -O2 -x c -o "$work/make-page" - -ltiff <<'C'
#include <stdlib.h>
#include <tiffio.h>
int main(int argc, char** argv)
{
    const unsigned side = 46340; /* just below 2^31 pixels */
    TIFF* t = TIFFOpen(argv[1], "w");
    unsigned char* row = calloc((side + 7) / 8, 1);
    if (!t || !row || argc < 2)
        return 1;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, side);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, side);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, side);
    for (unsigned y = 0; y < side; ++y)
        if (TIFFWriteScanline(t, row, y, 0) < 0)
            return 1;
    TIFFClose(t);
    return 0;
}
C
  "$work/make-page" "$work/in/bilevel.tif"
fi

# Our run: one file to 25 % (fit: into 1600 x 1600).
ours() {   # program fit|pct input
  local size=--pct=25
  [ "$2" = fit ] && size=
  VESTRO_BENCH_PROGRAM=$1 bash "$repo/bench/vestro-candidate.sh" $size "$work/out" "$3" 2>/dev/null
}
export -f ours
export work repo
measure() {   # label command...
  local label=$1; shift
  /usr/bin/time -f "%e %M %x" -o "$work/time" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$work/time" |
    awk -v l="$label" '{ printf "%-34s %6.2f s %6.0f MB%s\n", l, $1, $2 / 1024, $3 == 0 ? "" : "  (status " $3 ")" }'
}

for ((r = 1; r <= runs; r++)); do
  echo "# round $r, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  for job in $jobs; do
    case $job in
      png) in=big.png ext=png size=pct ;;
      jpg) in=big.jpg ext=jpg size=pct ;;
      tif) in=big.tif ext=jpg size=pct ;;
      tiles) in=tiles.tif ext=jpg size=pct ;;
      bilevel) in=bilevel.tif ext=jpg size=fit ;;
      *) echo "unknown job: $job" >&2; exit 2 ;;
    esac
    measure "$job -> $ext ours" bash -c 'ours "$@"' _ "$prog" $size "$work/in/$in"
    [ -z "${BASE:-}" ] || measure "$job -> $ext base" bash -c 'ours "$@"' _ "$BASE" $size "$work/in/$in"
    if [ $size = fit ]; then
      measure "$job -> $ext vipsthumbnail" vipsthumbnail "$work/in/$in" -s 1600 -o "$work/out/vips.$ext[Q=90]"
    else
      measure "$job -> $ext vips resize" vips resize "$work/in/$in" "$work/out/vips.$ext[Q=90]" 0.25 --kernel lanczos3
    fi
  done
done
