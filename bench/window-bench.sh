#!/usr/bin/env bash
# The window over the core benchmark's volume of 20,000 folders and 200,000
# files (bench/scan-image.json), on the offscreen platform, three runs, each
# pinned to one processor so that the core's scan and the window's compare
# on the same one whatever else the machine runs (PIN= runs unpinned).
# Usage: bench/window-bench.sh [build-dir] [work-dir]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
work=${2:-$(mktemp -d)}
mkdir -p "$work"
cmake --build "$build" --target ovnss-window-bench ovnss-mkimage ovnss-mendwmi >/dev/null
bin=$build/bin
export OVNSS_REGISTRY=$work/registry.txt QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
[ -f "$work/scan.img" ] || "$bin/ovnss-mkimage" -q "$src/bench/scan-image.json" -o "$work/scan.img"
cat "$work/scan.img" >/dev/null
for run in 1 2 3; do
  echo "run $run"
  ${PIN-taskset -c 1} "$bin/ovnss-window-bench" "$work/scan.img"
done
