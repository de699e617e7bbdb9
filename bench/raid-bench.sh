#!/usr/bin/env bash
# Measures RAID sets against the plain disk:
#  - the full-disk pool search (ovnss-cli pools --mode advance) of a 2 GiB
#    disk as a plain image, through its 4-member RAID 5 set, and through the
#    same set with one member missing (aims: 0.8 and 0.5 of the plain
#    image's speed);
#  - the detection (ovnss-cli raid detect) of a RAID 5 set of 4 members of
#    2 GiB and of 8 members of 2 GiB, members given shuffled (aims: 5 s and
#    30 s).
# The page cache is warm; each search figure is the median of the rounds.
#
# Usage: bench/raid-bench.sh [build-dir] [work-dir] [rounds]
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
work=${2:-$(mktemp -d)}
rounds=${3:-3}
mkdir -p "$work" "$build"
build=$(cd "$build" && pwd)
work=$(cd "$work" && pwd)

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVNSS_BUILD_TESTS=OFF -DOVNSS_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target ovnss-cli ovnss-mkimage ovnss-mendwmi >/dev/null
bin=$build/bin
export OVNSS_REGISTRY=$work/registry.txt
cd "$work"

# A description of `size` with a pool at each end, 512 MiB of random bytes
# between them, cut into a RAID 5 set of `members` members named PREFIX-N.
describe() {  # size members prefix last-pool-sector
  local outputs
  outputs=$(seq 0 $(($2 - 1)) | sed "s/.*/\"$3-&\"/" | paste -sd,)
  cat <<JSON
{ "size": "$1",
  "partitions": [
    { "slot": 0, "type": "nss", "sections": [ { "pool": "FIRST", "sectors": "16MiB" } ] },
    { "slot": 1, "type": "nss", "start": $4, "sections": [ { "pool": "LAST", "sectors": "16MiB" } ] } ],
  "pools": [
    { "name": "FIRST", "volumes": [ { "name": "VOL", "generate": { "folders": 20, "files": 200, "maxSize": "64KiB" } } ] },
    { "name": "LAST", "volumes": [ { "name": "VOL" } ] } ],
  "fill": [ { "at": "1GiB", "sectors": "512MiB" } ],
  "raid": { "level": "5", "chunk": "64KiB", "layout": "left-symmetric", "offset": 2048, "outputs": [ $outputs ],
            "setFile": "$3.raid" } }
JSON
}

[ -f search.img ] || { describe 2GiB 4 search 4000000 >search.json; "$bin/ovnss-mkimage" -q search.json -o search.img; }
sed 's/"search-2"/null/' search.raid >search-missing.raid
[ -f detect4.img ] || { describe 6GiB 4 detect4 12000000 >detect4.json; "$bin/ovnss-mkimage" -q detect4.json -o detect4.img; }
[ -f detect8.img ] || { describe 14GiB 8 detect8 28000000 >detect8.json; "$bin/ovnss-mkimage" -q detect8.json -o detect8.img; }
cat search.img search-? detect4-? detect8-? >/dev/null  # warm the page cache

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END{print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
declare -A times
names=(plain set missing)
disks=(search.img search.raid search-missing.raid)
for i in "${!disks[@]}"; do
  found=$("$bin/ovnss-cli" pools --json --mode advance --disk "${disks[$i]}" | grep -c '"name"')
  [ "$found" = 2 ] || { echo "${names[$i]}: $found pools found, not 2" >&2; exit 1; }
done
for ((r = 1; r <= rounds; r++)); do
  for i in "${!disks[@]}"; do
    t=$( { TIMEFORMAT=%R; time "$bin/ovnss-cli" pools --mode advance --disk "${disks[$i]}" >/dev/null 2>&1; } 2>&1 )
    times[${names[$i]}]+="$t "
  done
done
plain=$(echo "${times[plain]}" | median)
for n in "${names[@]}"; do
  s=$(echo "${times[$n]}" | median)
  awk -v n="$n" -v s="$s" -v p="$plain" 'BEGIN { printf "advance search %-8s %6.2f s  speed %.2f x plain\n", n, s, p / s }'
done

for set in detect4:"detect4-2 detect4-0 detect4-3 detect4-1" \
           detect8:"detect8-5 detect8-2 detect8-7 detect8-0 detect8-3 detect8-6 detect8-1 detect8-4"; do
  name=${set%%:*}
  t=$( { TIMEFORMAT=%R; time "$bin/ovnss-cli" raid detect --json ${set#*:} >"$name.answer.json"; } 2>&1 )
  echo "detection $name: $t s, $(tr -d ' \n' <"$name.answer.json" | head -c 200)"
done
