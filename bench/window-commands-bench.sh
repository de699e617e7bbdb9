#!/usr/bin/env bash
# The window's save of 1 GiB of files (bench/save-image.json) against
# `ovnss-cli save` of the same volume, and the Raw form's scan of a 256 MiB
# image (bench/raw-scan-image.json) against `ovnss-cli carve` of it. Each
# pair runs in turn, both programs pinned to the same CPU (taskset -c 1),
# on the offscreen platform, five runs each; the files go to a fresh folder
# in memory (/dev/shm when there is one), so that the disk's write-back
# does not decide. Medians are compared: the command line's whole run
# (start, disk listing, scan and the work) over the window's command from
# "&OK" in "File Saving" to its end, and over the window's whole run
# (which also builds and shows the window). 1.0 is as fast; the goal for
# the command is >= 0.9 for the save and >= 0.95 for the scan.
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
  t=$( { TIMEFORMAT=%R; time taskset -c 1 "$@" >"$work/last" 2>/dev/null; } 2>&1 )
  echo "$t"
}
# The window's command time of its last run, in seconds.
command_seconds() { awk '/ ms$/ {print $2 / 1000}' "$work/last"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
out=$work/out
[ -d /dev/shm ] && out=/dev/shm/ovnss-window-commands-bench-$$
trap 'rm -rf "$out"' EXIT
fresh() { rm -rf "$out"; mkdir -p "$out"; }

: >"$work/window-save" ; : >"$work/cli-save" ; : >"$work/window-raw" ; : >"$work/cli-raw"
: >"$work/window-save-cmd" ; : >"$work/window-raw-cmd"
for run in $(seq "$runs"); do
  fresh; seconds "$bin/ovnss-window-commands-bench" save "$work/save.img" "$out" >>"$work/window-save"
  command_seconds >>"$work/window-save-cmd"
  saved=$(find "$out" -type f | wc -l)
  [ "$saved" -eq 64 ] || { echo "the window saved $saved files, not 64" >&2; exit 1; }
  fresh; seconds "$bin/ovnss-cli" save --disk "$work/save.img" --pool BIG --volume DATA --dest "$out" >>"$work/cli-save"
  fresh; seconds "$bin/ovnss-window-commands-bench" raw "$work/raw.img" "$out" >>"$work/window-raw"
  command_seconds >>"$work/window-raw-cmd"
  fresh; seconds "$bin/ovnss-cli" carve --disk "$work/raw.img" --dest "$out" >>"$work/cli-raw"
  echo "run $run done" >&2
done
ws=$(median <"$work/window-save"); wsc=$(median <"$work/window-save-cmd"); cs=$(median <"$work/cli-save")
wr=$(median <"$work/window-raw"); wrc=$(median <"$work/window-raw-cmd"); cr=$(median <"$work/cli-raw")
awk -v ws="$ws" -v wsc="$wsc" -v cs="$cs" -v wr="$wr" -v wrc="$wrc" -v cr="$cr" -v n="$runs" 'BEGIN {
  printf "median of %d runs, pinned to CPU 1\n", n
  printf "save 1 GiB  cli %.3f s  window command %.3f s (cli/window %.2f)  window run %.3f s (cli/window %.2f)\n", cs, wsc, cs / wsc, ws, cs / ws
  printf "raw scan    cli %.3f s  window command %.3f s (cli/window %.2f)  window run %.3f s (cli/window %.2f)\n", cr, wrc, cr / wrc, wr, cr / wr
}'

