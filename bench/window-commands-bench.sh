#!/usr/bin/env bash
# The window's save of 1 GiB of files (bench/save-image.json) against
# `ovnss-cli save` of the same volume, and the Raw form's scan of a 256 MiB
# image (bench/raw-scan-image.json) against `ovnss-cli carve` of it. Each
# pair runs in turn, both programs pinned to the same CPU (taskset -c 1),
# on the offscreen platform; the whole program is timed, five runs each,
# and the medians are compared: the ratio is the command line's time over
# the window's (1.0: as fast; the goal is >= 0.9 for the save, >= 0.95 for
# the scan).
# Usage: bench/window-commands-bench.sh [build-dir] [work-dir] [runs]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
work=${2:-$(mktemp -d)}
runs=${3:-5}
mkdir -p "$work"
cmake --build "$build" --target ovnss-window-commands-bench ovnss-cli ovnss-mkimage ovnss-mendwmi >/dev/null
bin=$build/bin
export OVNSS_REGISTRY=$work/registry.txt OVNSS_TEMP_DIR=$work QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
[ -f "$work/save.img" ] || "$bin/ovnss-mkimage" -q "$src/bench/save-image.json" -o "$work/save.img"
[ -f "$work/raw.img" ] || "$bin/ovnss-mkimage" -q "$src/bench/raw-scan-image.json" -o "$work/raw.img"
cat "$work/save.img" "$work/raw.img" >/dev/null

# Wall seconds of one run of a command, its output dropped.
seconds() {
  local t
  t=$( { TIMEFORMAT=%R; time taskset -c 1 "$@" >/dev/null 2>&1; } 2>&1 )
  echo "$t"
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
fresh() { rm -rf "$work/out"; mkdir -p "$work/out"; sync; }

: >"$work/window-save" ; : >"$work/cli-save" ; : >"$work/window-raw" ; : >"$work/cli-raw"
for run in $(seq "$runs"); do
  fresh; seconds "$bin/ovnss-window-commands-bench" save "$work/save.img" "$work/out" >>"$work/window-save"
  [ "$(find "$work/out" -type f | wc -l)" -eq 64 ] || { echo "the window saved $(find "$work/out" -type f | wc -l) files, not 64" >&2; exit 1; }
  fresh; seconds "$bin/ovnss-cli" save --disk "$work/save.img" --pool BIG --volume DATA --dest "$work/out" >>"$work/cli-save"
  fresh; seconds "$bin/ovnss-window-commands-bench" raw "$work/raw.img" "$work/out" >>"$work/window-raw"
  fresh; seconds "$bin/ovnss-cli" carve --disk "$work/raw.img" --dest "$work/out" >>"$work/cli-raw"
  echo "run $run done" >&2
done
ws=$(median <"$work/window-save"); cs=$(median <"$work/cli-save")
wr=$(median <"$work/window-raw"); cr=$(median <"$work/cli-raw")
awk -v ws="$ws" -v cs="$cs" -v wr="$wr" -v cr="$cr" -v n="$runs" 'BEGIN {
  printf "median of %d runs, pinned to CPU 1\n", n
  printf "save 1 GiB   window %.3f s   cli %.3f s   cli/window %.2f\n", ws, cs, cs / ws
  printf "raw scan     window %.3f s   cli %.3f s   cli/window %.2f\n", wr, cr, cr / wr
}'
