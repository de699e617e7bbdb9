#!/usr/bin/env bash
# Shows that the raw scan's throughput holds at scale: the raw scan and its
# exact mode over the 256 MiB image of raw-scan-bench.sh and over a 4 GiB
# image of the same make-up (random bytes, documents of the four kinds at
# the same density, bench/raw-scan-4g.py), each against cat of the same
# image, pinned to one processor, medians of five runs (bench/timing.sh).
# The 4 GiB image needs about 4.5 GiB of memory to build and as much page
# cache to be read from memory.
#
# Usage: bench/raw-scan-scale.sh [build-dir] [work-dir]
# The images are kept in work-dir (default: a temporary folder, removed).
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
work=${2:-}
if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"

source "$src/bench/timing.sh"
bench_build "$build" ovnss_bench ovnss-mkimage

[ -f "$work/raw256m.img" ] || "$build/bin/ovnss-mkimage" -q "$src/bench/raw-scan-image.json" -o "$work/raw256m.img"
if [ ! -f "$work/raw4g.img" ]; then
  python3 "$src/bench/raw-scan-4g.py" "$work/raw4g.json"
  "$build/bin/ovnss-mkimage" -q "$work/raw4g.json" -o "$work/raw4g.img"
fi

# The median real time of one scan, in seconds, from the benchmark's own
# repetitions.
scan_seconds() {
  OVNSS_BENCH_IMAGE=$1 "${bench_pin[@]}" "$build/bin/ovnss_bench" --benchmark_filter="^$2/" \
    --benchmark_repetitions="$bench_runs" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, -v n="$2" '$1 ~ "^\"?" n "/real_time_median" {print $3 / 1000}'
}

printf 'medians of %d runs, each on processor %s\n' "$bench_runs" "$bench_cpu"
for image in "$work/raw256m.img" "$work/raw4g.img"; do
  cat "$image" >/dev/null
  cat_s=$(median_time cat "$image")
  scan_s=$(scan_seconds "$image" RawScanImage)
  exact_s=$(scan_seconds "$image" RawScanImageExact)
  mib=$(( $(stat -c %s "$image") / 1048576 ))
  awk -v c="$cat_s" -v s="$scan_s" -v e="$exact_s" -v m="$mib" 'BEGIN {
    printf "%5d MiB  cat %7.3f s %6.0f MiB/s | raw scan %7.3f s %6.0f MiB/s %.2fx cat'"'"'s | exact %7.3f s %6.0f MiB/s %.2fx cat'"'"'s\n",
      m, c, m / c, s, m / s, c / s, e, m / e, c / e }'
done
