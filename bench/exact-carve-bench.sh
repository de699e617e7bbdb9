#!/usr/bin/env bash
# Recall and speed of the raw scan's exact mode on real documents.
#
# Makes Word, Excel and PowerPoint documents (several over 5 MiB) and their
# Office Open XML and OpenDocument forms with LibreOffice, and Zip archives
# with zip (stored, deflated, with a comment, streamed with data
# descriptors); lays them on a disk image at sector offsets with random
# junk between them (with the project's image builder); reads the image
# once so every run reads it from the page cache; then times, the median of five runs each pinned to one processor
# (each tool's earlier output removed and the disk synced before each run,
# untimed):
#   - cat image > /dev/null,
#   - ovnss-cli carve --exact, and the default carve for reference,
#   - photorec (testdisk package), OLE and Zip families,
#   - foremost, ole and zip types,
# and counts for each the documents recovered byte for byte (sha256 equal
# to the original).
#
# The tools are installed here with apt-get when missing (never by the
# project's bootstrap); whatever cannot be installed is left out of the
# run, and without LibreOffice only the Zip archives are made.
#
# Usage: bench/exact-carve-bench.sh [build-dir] [work-dir]
# A work folder that already holds documents (work-dir/docs) is reused.
# $OVNSS_BENCH_OUT names the folder the tools write into (default: the work
# folder); on a RAM file system the runs compare reading and carving rather
# than the speed of the disk that takes the output, should the system write
# the output back while a tool runs.
set -uo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
work=${2:-$(mktemp -d)}
mkdir -p "$work"
[ -n "${2:-}" ] || trap 'rm -rf "$work"' EXIT

have() { command -v "$1" >/dev/null 2>&1; }
updated=no
install() {  # apt-get install of a package, once the lists are fresh
  dpkg -s "$1" >/dev/null 2>&1 && return 0
  [ "$(id -u)" = 0 ] || return 1
  if [ $updated = no ]; then apt-get update -q >/dev/null 2>&1; updated=yes; fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$1" >/dev/null 2>&1
}
have zip || install zip || echo "note: zip could not be installed; no archives from it" >&2
have photorec || install testdisk || echo "note: testdisk (photorec) could not be installed; left out" >&2
have foremost || install foremost || echo "note: foremost could not be installed; left out" >&2
for p in libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui; do install "$p"; done
have soffice || echo "note: LibreOffice could not be installed; only Zip archives are made" >&2

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVNSS_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS=-Wno-error=restrict >/dev/null || exit 1
cmake --build "$build" -j2 --target ovnss-cli ovnss-mkimage ovnss-mendwmi >/dev/null || exit 1
export OVNSS_REGISTRY=$work/registry.txt
cli=$build/bin/ovnss-cli
mkimage=$build/bin/ovnss-mkimage

docs=$work/docs
mkdir -p "$docs" "$work/src"
out=${OVNSS_BENCH_OUT:-$work}
mkdir -p "$out"
if ls "$docs" | grep -q .; then
  echo "reusing the documents in $docs" >&2
else
  echo "making documents in $docs" >&2
  python3 "$src/bench/exact-carve-sources.py" "$work/src" || exit 1
  if have soffice; then
    profile="-env:UserInstallation=file://$work/lo-profile"
    (cd "$work/src" &&
      timeout 1200 soffice "$profile" --headless --convert-to doc --outdir "$docs" ./*.fodt >/dev/null 2>&1
      timeout 1200 soffice "$profile" --headless --convert-to xls --outdir "$docs" ./*.fods >/dev/null 2>&1
      timeout 1200 soffice "$profile" --headless --convert-to ppt --outdir "$docs" ./*.fodp >/dev/null 2>&1
      timeout 600 soffice "$profile" --headless --convert-to docx --outdir "$docs" ./text-*.fodt >/dev/null 2>&1
      timeout 600 soffice "$profile" --headless --convert-to xlsx --outdir "$docs" ./sheet-small.fods >/dev/null 2>&1
      timeout 600 soffice "$profile" --headless --convert-to pptx --outdir "$docs" ./slides-small.fodp >/dev/null 2>&1
      timeout 600 soffice "$profile" --headless --convert-to odt --outdir "$docs" ./text-small.fodt >/dev/null 2>&1)
  fi
  if have zip; then
    (cd "$work/src" &&
      zip -q -0 "$docs/stored.zip" noise-*.bin &&
      zip -q -9 "$docs/deflated.zip" prose-*.txt &&
      zip -q -9 "$docs/mixed.zip" prose-1.txt noise-1.bin &&
      echo "archive of the benchmark" | zip -q -z "$docs/mixed.zip" &&
      zip -q -9 "$docs/big-deflated.zip" prose-big.txt noise-big.bin &&
      cat prose-2.txt | zip -q "$docs/streamed.zip" - &&
      cat noise-2.bin | zip -q -0 "$docs/streamed-stored.zip" -)
  fi
fi
ls "$docs" | grep -q . || { echo "no documents could be made" >&2; exit 1; }

# The image: the documents at sector offsets, random junk everywhere else.
image=$work/image.img
python3 - "$docs" "$work/image.json" <<'EOF'
import json, os, random, sys
docs, out = sys.argv[1], sys.argv[2]
random.seed(2004)
kinds = {".doc": "word", ".xls": "excel", ".ppt": "powerpoint"}
at, entries = 2048, []
for name in sorted(os.listdir(docs)):
    path = os.path.join(docs, name)
    at += random.randint(1, 30000)
    entries.append({"kind": kinds.get(os.path.splitext(name)[1], "zip"), "path": path, "at": at})
    at += (os.path.getsize(path) + 511) // 512
sectors = (at + 300 + 2047) // 2048 * 2048
json.dump({"size": sectors * 512, "documents": entries, "fill": [{"at": 0, "sectors": sectors}]}, open(out, "w"))
EOF
"$mkimage" -q "$work/image.json" -o "$image" --manifest "$work/manifest.json" || exit 1
cat "$image" >/dev/null

# Each figure is the median of five runs pinned to one processor
# (bench/timing.sh). With --before FN, FN runs before each run, untimed:
# removing the last run's output is no part of carving (cat has none to
# remove).
source "$src/bench/timing.sh"
# Each tool's output of the last run is removed and written back to the
# disk before the next run, untimed.
clear_out() { rm -rf "$out/$1" "$work/photorec.ses"; sync; }
clear_exact() { clear_out out-exact; }
clear_default() { clear_out out-default; }
clear_photorec() { clear_out out-photorec; mkdir -p "$out/out-photorec"; }
clear_foremost() { clear_out out-foremost; }
clear_fixed() { clear_out out-fixed; }
clear_nothing() { sync; }
run_exact() { "$cli" carve --disk "$image" --dest "$out/out-exact" --exact --json >"$work/exact.json"; }
run_default() { "$cli" carve --disk "$image" --dest "$out/out-default"; }
run_photorec() {
  (cd "$work" && photorec /log /d "$out/out-photorec/f" /cmd "$image" \
    partition_none,fileopt,everything,disable,doc,enable,zip,enable,search)
}
run_foremost() { foremost -Q -t ole,doc,zip -i "$image" -o "$out/out-foremost"; }
# What every carve costs before it scans (start-up, disk inventory, the
# image's registration): a carve of a one-sector range.
run_fixed() { "$cli" carve --disk "$image" --dest "$out/out-fixed" --exact --start 0 --end 1; }

declare -A seconds
seconds[cat]=$(median_time --before clear_nothing cat "$image")
seconds[inventory]=$(median_time --before clear_fixed run_fixed)
seconds[exact]=$(median_time --before clear_exact run_exact)
seconds[default]=$(median_time --before clear_default run_default)
have photorec && seconds[photorec]=$(median_time --before clear_photorec run_photorec)
have foremost && seconds[foremost]=$(median_time --before clear_foremost run_foremost)

echo
python3 - "$docs" "$image" "$out" "${seconds[cat]}" "${seconds[exact]}" "${seconds[default]}" \
  "${seconds[photorec]:-}" "${seconds[foremost]:-}" "${seconds[inventory]}" <<'EOF'
import hashlib, os, sys
docs, image, work, cat, exact, default, photorec, foremost, inventory = sys.argv[1:10]
def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()
def found(folder):
    out = set()
    for root, _, files in os.walk(folder):
        for name in files:
            out.add(digest(os.path.join(root, name)))
    return out
originals = {name: digest(os.path.join(docs, name)) for name in sorted(os.listdir(docs))}
mib = os.path.getsize(image) / 1048576
big = sum(1 for n in originals if os.path.getsize(os.path.join(docs, n)) > 5 * 1048576)
print(f"image {mib:.0f} MiB, {len(originals)} documents ({big} over 5 MiB)")
rows = [("cat", cat, None), ("ovnss --exact", exact, "out-exact"), ("ovnss default", default, "out-default"),
        ("photorec", photorec, "out-photorec"), ("foremost", foremost, "out-foremost")]
missing = {}
for label, t, folder in rows:
    if not t:
        print(f"{label:15s} not run")
        continue
    t = float(t)
    line = f"{label:15s} {t:7.3f} s {mib / t:8.0f} MiB/s  {100 * float(cat) / t:5.0f}% of cat"
    if folder:
        got = found(os.path.join(work, folder)) if os.path.isdir(os.path.join(work, folder)) else set()
        hits = [n for n, d in originals.items() if d in got]
        missing[label] = [n for n in originals if originals[n] not in got]
        line += f"  recall {len(hits)}/{len(originals)}"
    print(line)
net = float(exact) - float(inventory)
if net > 0:
    print(f"ovnss --exact without the start-up every carve takes ({float(inventory):.3f} s, a one-sector carve): "
          f"{net:.3f} s, {mib / net:.0f} MiB/s, {100 * float(cat) / net:.0f}% of cat")
if photorec:
    print(f"ovnss --exact is {float(photorec) / float(exact):.1f}x photorec's speed")
if foremost:
    print(f"ovnss --exact is {float(foremost) / float(exact):.1f}x foremost's speed")
for label, names in missing.items():
    if names:
        print(f"{label} missed: {', '.join(names)}")
EOF
