#!/usr/bin/env bash
# Times our unsharp mask and luma/chroma round trip (bench/UnsharpBench.cpp)
# and, for scale, ImageMagick's -unsharp on the same 24-megapixel picture.
# Usage: bench/unsharp_compare.sh [BUILD_DIR]   (configured with -DBUILD_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
command -v convert >/dev/null || { echo "needs ImageMagick's convert (Debian package imagemagick)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pic="$work/pic.ppm"
convert -size 6000x4000 -seed 7 plasma:fractal -depth 8 "$pic"

scripts/build "$build" -DBUILD_BENCH=ON -DBUILD_TESTS=OFF -DBUILD_GUI=OFF >/dev/null
VESTRO_BENCH_PICTURE="$pic" "$build/bench/bench_unsharp" --benchmark_filter='Unsharp|YCbCr' \
  --benchmark_min_time=2

# Radius 1 here is sigma 0.75 there; amount 100 % is 1.0; threshold 0.
# Reading and writing the PPM is timed too: "copy only" shows that part.
timeit() { local s e; s=$(date +%s.%N); "$@"; e=$(date +%s.%N); awk -v a="$s" -v b="$e" 'BEGIN { printf "%.2f", b - a }'; }
for t in 1 "$(nproc)"; do
  echo "ImageMagick, $t thread(s): copy only $(timeit convert -limit thread "$t" "$pic" "$work/o.ppm") s," \
       "-unsharp 0x0.75+1+0 $(timeit convert -limit thread "$t" "$pic" -unsharp 0x0.75+1+0 "$work/o.ppm") s"
done
