#!/usr/bin/env bash
# Measures the raw signature scan against plain reading and a carving tool.
#
# Builds a 256 MiB image holding 40 documents of the four kinds
# (bench/raw-scan-image.json) with the image builder, reads it once so that
# every run reads it from the page cache, then times, best of three:
#   - cat image > /dev/null (the speed of reading it),
#   - the raw scan of the whole image into a fresh folder (ovnss_bench),
#   - foremost carving OLE documents and Zip archives from it.
# and prints the scan's throughput as a share of cat's and foremost's.
#
# Usage: bench/raw-scan-bench.sh [build-dir]
# $OVNSS_MKIMAGE names the image builder when it is not in the build.
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$src/scripts/bootstrap"
# The carving tool compared with is needed by this benchmark only.
if ! command -v foremost >/dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends foremost >/dev/null
fi

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVNSS_BUILD_BENCH=ON \
  -DOVNSS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target ovnss_bench >/dev/null
mkimage=${OVNSS_MKIMAGE:-}
if [ -z "$mkimage" ]; then
  cmake --build "$build" --target ovnss-mkimage >/dev/null
  mkimage=$(find "$build" -name ovnss-mkimage -type f -perm -u+x | head -n 1)
fi

image=$work/image.img
"$mkimage" -q "$src/bench/raw-scan-image.json" -o "$image"
cat "$image" >/dev/null

# Best wall time of three runs of a command, in seconds.
best_of_three() {
  local best="" t
  for _ in 1 2 3; do
    t=$( { TIMEFORMAT=%R; time "$@" >/dev/null 2>&1; } 2>&1 )
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

run_foremost() {
  rm -rf "$work/foremost"
  foremost -Q -t doc,zip -i "$image" -o "$work/foremost"
}

cat_s=$(best_of_three cat "$image")
foremost_s=$(best_of_three run_foremost)
# The benchmark's own real time of one scan, in milliseconds.
scan_ms=$(OVNSS_BENCH_IMAGE=$image "$build/bin/ovnss_bench" --benchmark_filter=RawScanImage \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=false --benchmark_format=csv 2>/dev/null |
  awk -F, '/RawScanImage\/real_time"?,/ && !/_mean|_median|_stddev|_cv/ {print $3}' | sort -g | head -n 1)
scan_s=$(awk "BEGIN{print $scan_ms / 1000}")

mib=$(( $(stat -c %s "$image") / 1048576 ))
awk -v c="$cat_s" -v s="$scan_s" -v f="$foremost_s" -v m="$mib" 'BEGIN {
  printf "image            %d MiB\n", m
  printf "cat              %.3f s  %7.0f MiB/s\n", c, m / c
  printf "raw scan         %.3f s  %7.0f MiB/s\n", s, m / s
  printf "foremost         %.3f s  %7.0f MiB/s\n", f, m / f
  printf "scan / cat       %.0f%% of cat'"'"'s throughput\n", 100 * c / s
  printf "scan / foremost  %.1fx foremost'"'"'s throughput\n", f / s
}'
