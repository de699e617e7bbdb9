#!/usr/bin/env bash
# A file of 1 GiB (bench/mount-image.json) read through `ovnss-cli mount`
# against `ovnss-cli save` of the same file. Both write the file to a fresh
# folder in memory (/dev/shm when there is one): the save by itself, the
# mount through `cp` from the mounted folder. Each side is timed whole,
# from the command's start (disk listing and scan included) to the file's
# last byte; for the mount that is from starting it until `cp` ends (the
# unmount after is not counted). Medians of the runs (default 3), both sides
# pinned to CPU 1 (the mount's server and its cp to CPU 1 and 0). The speed
# of the mount over that of the save: the goal is >= 0.5.
# Needs /dev/fuse and the right to mount (root).
# Usage: bench/mount-bench.sh [build-dir] [work-dir] [runs]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
work=${2:-$(mktemp -d)}
runs=${3:-3}
mkdir -p "$work"
cmake --build "$build" --target ovnss-cli ovnss-mkimage ovnss-mendwmi >/dev/null
bin=$build/bin
export OVNSS_REGISTRY=$work/registry.txt OVNSS_TEMP_DIR=$work
[ -f "$work/mount.img" ] || "$bin/ovnss-mkimage" -q "$src/bench/mount-image.json" -o "$work/mount.img"
cat "$work/mount.img" >/dev/null
out=$work/out
[ -d /dev/shm ] && out=/dev/shm/ovnss-mount-bench-$$
mnt=$work/mnt
mkdir -p "$mnt"
server=
cleanup() {
  [ -n "$server" ] && kill -INT "$server" 2>/dev/null && wait "$server" 2>/dev/null
  mountpoint -q "$mnt" && umount -l "$mnt"
  rm -rf "$out"
}
trap cleanup EXIT
fresh() { rm -rf "$out"; mkdir -p "$out"; }
now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
volume=(--disk "$work/mount.img" --pool BIG --volume DATA)

: >"$work/save-times"; : >"$work/mount-times"
for run in $(seq "$runs"); do
  fresh
  start=$(now)
  taskset -c 1 "$bin/ovnss-cli" save "${volume[@]}" --dest "$out" >/dev/null 2>&1
  echo "$(now) - $start" | bc >>"$work/save-times"
  [ "$(stat -c %s "$out/one.bin")" -eq 1073741824 ] || { echo "the save wrote no 1 GiB file" >&2; exit 1; }

  fresh
  start=$(now)
  taskset -c 1 "$bin/ovnss-cli" mount "${volume[@]}" "$mnt" >/dev/null 2>"$work/mount.err" &
  server=$!
  until mountpoint -q "$mnt"; do
    kill -0 "$server" 2>/dev/null || { cat "$work/mount.err" >&2; exit 1; }
    sleep 0.01
  done
  taskset -c 0 cp "$mnt/one.bin" "$out/one.bin"
  echo "$(now) - $start" | bc >>"$work/mount-times"
  cmp -s "$mnt/one.bin" "$out/one.bin" || { echo "the mount read other bytes" >&2; exit 1; }
  kill -INT "$server"; wait "$server"; server=
  echo "run $run done" >&2
done
s=$(median <"$work/save-times"); m=$(median <"$work/mount-times")
awk -v s="$s" -v m="$m" -v n="$runs" 'BEGIN {
  printf "median of %d runs, 1 GiB file\n", n
  printf "save %.3f s (%.0f MiB/s)  mount + cp %.3f s (%.0f MiB/s)  mount/save speed %.2f (goal >= 0.5)\n", s, 1024 / s, m, 1024 / m, s / m
}'
