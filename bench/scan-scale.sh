#!/usr/bin/env bash
# Shows that the record scan's cost grows linearly with the volume: the
# record scan, tree build and listing of the largest folder
# (ScanTreeAndList, bench/ScanBench.cpp) against only reading the same tree
# blocks (ReadTreeBlocks), on the volume of 200,000 files and 20,000
# folders of core-bench.sh (bench/scan-image.json) and on one five times
# its size (bench/scan-image-1m.json, 1,000,000 files and 100,000 folders),
# pinned to one processor, medians of five runs (bench/timing.sh). Prints
# the time and bytes per node of each and their ratio.
#
# Then the command line at ten times that again (bench/scan-image-10m.json,
# 10,000,000 empty files in 1,000,000 folders): `ovnss-cli tree` (the scan
# and the tree) and the streamed listings `ls --recursive` with and without
# --json, each run once, with its time, its peak memory and that memory per
# node. OVNSS_BENCH_10M=0 leaves it out.
#
# Usage: bench/scan-scale.sh [build-dir] [work-dir]
# The images (1.2, 6 and about 4 GiB, sparse) are kept in work-dir
# (default: a temporary folder, removed).
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
bench_build "$build" ovnss_bench ovnss-mkimage ovnss-cli

[ -f "$work/scan.img" ] || "$build/bin/ovnss-mkimage" -q "$src/bench/scan-image.json" -o "$work/scan.img"
[ -f "$work/scan1m.img" ] || "$build/bin/ovnss-mkimage" -q "$src/bench/scan-image-1m.json" -o "$work/scan1m.img"

printf 'medians of %d runs, each on processor %s\n' "$bench_runs" "$bench_cpu"
for image in "$work/scan.img" "$work/scan1m.img"; do
  cat "$image" >/dev/null
  OVNSS_BENCH_SCAN_IMAGE=$image "${bench_pin[@]}" "$build/bin/ovnss_bench" \
    --benchmark_filter='ReadTreeBlocks/|ScanTreeAndList' --benchmark_repetitions="$bench_runs" \
    --benchmark_report_aggregates_only=true --benchmark_format=console 2>/dev/null >"$work/scale.txt" || true
  awk '$1 ~ /^ReadTreeBlocks\/.*_median$/ { read = $2 }
    $1 ~ /^ScanTreeAndList.*_median$/ { scan = $2
      for (i = 1; i <= NF; ++i) {
        if ($i ~ /^bytesPerNode=/) { b = $i; sub(/^bytesPerNode=/, "", b) }
        if ($i ~ /^nodes=/) { n = $i; sub(/^nodes=/, "", n); if (n ~ /k$/) { sub(/k$/, "", n); n *= 1000 } else if (n ~ /M$/) { sub(/M$/, "", n); n *= 1000000 } }
      } }
    END { printf "%8d nodes  read only %7.1f ms (%5.1f ns/node)  scan + tree + listing %7.1f ms (%5.1f ns/node) = %.2fx reading  %6.1f bytes/node\n",
      n, read, read * 1e6 / n, scan, scan * 1e6 / n, scan / read, b }' "$work/scale.txt"
done

[ "${OVNSS_BENCH_10M:-1}" = 1 ] || exit 0
[ -f "$work/scan10m.img" ] || "$build/bin/ovnss-mkimage" -q "$src/bench/scan-image-10m.json" -o "$work/scan10m.img"
nodes=11000000
export OVNSS_REGISTRY="$work/registry.txt"
echo "ovnss-cli on $nodes nodes, one run each:"
for command in "tree" "ls --recursive" "ls --recursive --json"; do
  # shellcheck disable=SC2086 # the command's words
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "${bench_pin[@]}" "$build/bin/ovnss-cli" $command \
    --disk "$work/scan10m.img" --pool 0 --volume 0 >/dev/null
  read -r seconds kib <"$work/time.txt"
  awk -v c="$command" -v s="$seconds" -v k="$kib" -v n="$nodes" \
    'BEGIN { printf "%-22s %7.1f s  %7.0f MiB peak  %6.1f bytes/node\n", c, s, k / 1024, k * 1024 / n }'
done
