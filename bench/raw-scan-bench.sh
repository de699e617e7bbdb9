#!/usr/bin/env bash
# Measures the raw signature scan and its exact mode against plain reading
# and two carving tools.
#
# Builds a 256 MiB image holding 40 documents of the four kinds
# (bench/raw-scan-image.json) with the image builder, or takes the image
# named by $OVNSS_BENCH_IMAGE; reads it once so that every run reads it from
# the page cache; then times, each pinned to the same processor and each the
# median of five runs (bench/timing.sh):
#   - cat image > /dev/null (the speed of reading it),
#   - the raw scan of the whole image into a fresh folder (ovnss_bench),
#   - the same scan in exact mode,
#   - foremost carving OLE documents and Zip archives from it,
#   - photorec (testdisk) carving the same families, non-interactively,
# and prints each scan's throughput as a share of cat's and against the
# tools'. A tool that is not installed is left out and said so.
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

source "$src/bench/timing.sh"

image=${OVNSS_BENCH_IMAGE:-$work/image.img}
[ -f "$image" ] || "$mkimage" -q "$src/bench/raw-scan-image.json" -o "$image"
cat "$image" >/dev/null

clear_foremost() { rm -rf "$work/foremost"; }
run_foremost() { foremost -Q -t ole,doc,zip -i "$image" -o "$work/foremost"; }
clear_photorec() { rm -rf "$work/photorec" "$work/photorec.ses"; mkdir -p "$work/photorec"; }
run_photorec() {
  (cd "$work" && photorec /log /d "$work/photorec/f" /cmd "$image" \
    partition_none,fileopt,everything,disable,doc,enable,zip,enable,search)
}

# The median real time of one scan, in seconds, from the benchmark's own
# repetitions, pinned to the same processor as the others.
scan_seconds() {
  OVNSS_BENCH_IMAGE=$image "${bench_pin[@]}" "$build/bin/ovnss_bench" --benchmark_filter="^$1/" \
    --benchmark_repetitions="$bench_runs" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, -v n="$1" '$1 ~ "^\"?" n "/real_time_median" {print $3 / 1000}'
}

cat_s=$(median_time cat "$image")
scan_s=$(scan_seconds RawScanImage)
exact_s=$(scan_seconds RawScanImageExact)
foremost_s=""; photorec_s=""
if command -v foremost >/dev/null; then foremost_s=$(median_time --before clear_foremost run_foremost); fi
if command -v photorec >/dev/null; then
  photorec_s=$(median_time --before clear_photorec run_photorec)
  found=$(find "$work/photorec" -type f ! -name report.xml | wc -l)
  [ "$found" -gt 0 ] || { echo "note: photorec found nothing; its time is left out" >&2; photorec_s=""; }
else
  echo "note: photorec (testdisk) is not installed; left out" >&2
fi

mib=$(( $(stat -c %s "$image") / 1048576 ))
awk -v c="$cat_s" -v s="$scan_s" -v e="$exact_s" -v f="$foremost_s" -v p="$photorec_s" -v m="$mib" \
  -v runs="$bench_runs" -v cpu="$bench_cpu" 'BEGIN {
  printf "image            %d MiB; medians of %d runs, each on processor %s\n", m, runs, cpu
  printf "cat              %.3f s  %7.0f MiB/s\n", c, m / c
  printf "raw scan         %.3f s  %7.0f MiB/s  %.2fx cat'"'"'s throughput\n", s, m / s, c / s
  printf "exact mode       %.3f s  %7.0f MiB/s  %.2fx cat'"'"'s throughput\n", e, m / e, c / e
  if (f != "") printf "foremost         %.3f s  %7.0f MiB/s  raw scan %.1fx, exact mode %.1fx its throughput\n", f, m / f, f / s, f / e
  if (p != "") printf "photorec         %.3f s  %7.0f MiB/s  raw scan %.1fx, exact mode %.1fx its throughput\n", p, m / p, p / s, p / e
}'
