#!/usr/bin/env bash
# Measures the full-disk pool search (ovnss-cli pools --mode advance) of one
# 2 GiB disk as a raw image and through its containers: E01 uncompressed and
# compressed (ewfacquirestream), VMDK (monolithic sparse) and QCOW2
# (qemu-img convert). The disk holds 400 MiB of text and 1 GiB of random
# bytes, so the containers hold real data, not only empty space.
#
# The formats take turns within each round, so a load that comes and goes
# on the machine falls on all of them alike; each figure is the median of
# the rounds, with the page cache warm. Prints each container's time and its
# speed against the raw image's (the aim: at least 0.8).
#
# Usage: bench/image-bench.sh [build-dir] [work-dir] [rounds]
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
work=${2:-$(mktemp -d)}
rounds=${3:-5}
mkdir -p "$work" "$build"
build=$(cd "$build" && pwd)
work=$(cd "$work" && pwd)

"$src/scripts/bootstrap"
# A build tree of its own, unless an existing one is named.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVNSS_BUILD_TESTS=OFF -DOVNSS_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target ovnss-cli ovnss-mkimage ovnss-mendwmi >/dev/null
bin=$build/bin
export OVNSS_REGISTRY=$work/registry.txt

raw=$work/disk.img
[ -f "$raw" ] || "$bin/ovnss-mkimage" -q "$src/bench/image-search-image.json" -o "$raw"
cd "$work"
[ -f plain.E01 ] || ewfacquirestream -q -c none -t plain <"$raw" >/dev/null
[ -f packed.E01 ] || ewfacquirestream -q -c deflate:fast -t packed <"$raw" >/dev/null
[ -f disk.vmdk ] || qemu-img convert -f raw -O vmdk "$raw" disk.vmdk
[ -f disk.qcow2 ] || qemu-img convert -f raw -O qcow2 "$raw" disk.qcow2

names=(raw e01 e01-compressed vmdk qcow2)
files=("$raw" plain.E01 packed.E01 disk.vmdk disk.qcow2)
for f in "${files[@]}"; do cat "$f"* >/dev/null; done  # warm the page cache

# Every format must find the same two pools.
for i in "${!files[@]}"; do
  found=$("$bin/ovnss-cli" pools --json --mode advance --disk "${files[$i]}" | grep -c '"name"')
  [ "$found" = 2 ] || { echo "${names[$i]}: $found pools found, not 2" >&2; exit 1; }
done

declare -A times
for ((r = 1; r <= rounds; r++)); do
  for i in "${!files[@]}"; do
    t=$( { TIMEFORMAT=%R; time "$bin/ovnss-cli" pools --mode advance --disk "${files[$i]}" >/dev/null 2>&1; } 2>&1 )
    times[${names[$i]}]+="$t "
  done
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END{print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

raw_s=$(echo "${times[raw]}" | median)
echo "full-disk search of a 2 GiB disk, median of $rounds rounds (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
echo "  raw image: ${raw_s}s  (runs: ${times[raw]})"
for n in "${names[@]:1}"; do
  s=$(echo "${times[$n]}" | median)
  echo "  $n: ${s}s, speed $(awk "BEGIN{printf \"%.2f\", $raw_s / $s}") x the raw image's  (runs: ${times[$n]})"
done
