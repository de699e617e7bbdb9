#!/usr/bin/env python3
"""Writes the image-builder description of a 4 GiB raw-scan image: random
bytes throughout, with documents of the four kinds spread through it at the
density of raw-scan-image.json (one per 13,107 sectors, the same six sizes
and five kinds in turn), so the two images differ only in size."""

import json
import random
import sys

SECTORS = 4 * 1024 * 1024 * 1024 // 512
SLOT = 13107
KINDS = ["word", "excel", "powerpoint", "zip", "excel5"]
SIZES = [24576, 184320, 716800, 2097152, 61440, 1228800]

rng = random.Random(7)
documents = []
for i in range(SECTORS // SLOT):
    size = SIZES[i % len(SIZES)]
    room = SLOT - size // 512 - 1
    at = i * SLOT + rng.randint(64, room)
    documents.append({"kind": KINDS[i % len(KINDS)], "size": size, "at": at, "title": f"Bench document {i + 1}"})
description = {
    "comment": "4 GiB of random bytes holding documents of the four kinds, for the raw scan at scale",
    "size": "4GiB",
    "seed": 7,
    "fill": [{"at": 0, "sectors": SECTORS, "with": "random"}],
    "documents": documents,
}
json.dump(description, open(sys.argv[1], "w") if len(sys.argv) > 1 else sys.stdout, indent=1)
