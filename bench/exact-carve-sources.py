#!/usr/bin/env python3
"""Sources for exact-carve-bench.sh: flat OpenDocument files for LibreOffice
to turn into Word, Excel and PowerPoint documents (several over 5 MiB, made
big by pictures of noise, which no format compresses), and text and noise
files for zip. Everything follows from a fixed seed."""

import base64
import os
import random
import struct
import sys
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = random.Random(2004)

WORDS = ("account budget client contract delivery estimate invoice ledger meeting office order "
         "payment quarter report schedule supplier tender volume warehouse year").split()

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.2"')


def prose(size):
    lines, total = [], 0
    while total < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 16))).capitalize() + "."
        lines.append(line)
        total += len(line) + 1
    return lines


def noise_png(width, height):
    raw = b"".join(b"\x00" + rng.randbytes(width * 3) for _ in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 0)) + chunk(b"IEND", b""))


def picture(name, png, width="12cm", height="12cm"):
    data = base64.b64encode(png).decode()
    return (f'<draw:frame draw:name="{name}" text:anchor-type="paragraph" svg:width="{width}" svg:height="{height}">'
            f'<draw:image><office:binary-data>{data}</office:binary-data></draw:image></draw:frame>')


def write(name, text):
    with open(os.path.join(out, name), "w", encoding="utf-8") as f:
        f.write(text)


def text_document(name, size, pictures=0):
    body = "".join(f"<text:p>{line}</text:p>" for line in prose(size))
    body += "".join(f"<text:p>{picture(f'p{i}', noise_png(800, 900))}</text:p>" for i in range(pictures))
    write(name, f'<?xml version="1.0" encoding="UTF-8"?><office:document {NS} '
                f'office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text>'
                f'{body}</office:text></office:body></office:document>')


def sheet(name, rows, columns):
    cells = []
    for r in range(rows):
        row = "".join(f'<table:table-cell office:value-type="float" office:value="{rng.random() * 1e6:.6f}"/>'
                      for _ in range(columns))
        cells.append(f"<table:table-row>{row}</table:table-row>")
    write(name, f'<?xml version="1.0" encoding="UTF-8"?><office:document {NS} '
                f'office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body><office:spreadsheet>'
                f'<table:table table:name="Sheet1">{"".join(cells)}</table:table>'
                f'</office:spreadsheet></office:body></office:document>')


def slides(name, count, pictures):
    pages = []
    for i in range(count):
        title = " ".join(rng.choice(WORDS) for _ in range(4)).title()
        page = (f'<draw:page draw:name="s{i}"><draw:frame svg:x="1cm" svg:y="1cm" svg:width="24cm" svg:height="3cm">'
                f'<draw:text-box><text:p>{title}</text:p></draw:text-box></draw:frame>')
        if i < pictures:
            page += picture(f"p{i}", noise_png(800, 900), "10cm", "11cm").replace(
                'text:anchor-type="paragraph"', 'svg:x="2cm" svg:y="5cm"')
        pages.append(page + "</draw:page>")
    write(name, f'<?xml version="1.0" encoding="UTF-8"?><office:document {NS} '
                f'office:mimetype="application/vnd.oasis.opendocument.presentation"><office:body><office:presentation>'
                f'{"".join(pages)}</office:presentation></office:body></office:document>')


text_document("text-small.fodt", 20_000)
text_document("text-medium.fodt", 400_000)
text_document("pictures-big.fodt", 50_000, pictures=3)
text_document("pictures-huge.fodt", 100_000, pictures=5)
sheet("sheet-small.fods", 100, 6)
sheet("sheet-medium.fods", 5000, 8)
sheet("sheet-big.fods", 45000, 10)
slides("slides-small.fodp", 3, 0)
slides("slides-big.fodp", 5, 4)

for name, size in (("prose-1.txt", 1_000_000), ("prose-2.txt", 2_000_000), ("prose-big.txt", 15_000_000)):
    write(name, "\n".join(prose(size)) + "\n")
for name, size in (("noise-1.bin", 1_000_000), ("noise-2.bin", 3_000_000), ("noise-big.bin", 8_000_000)):
    with open(os.path.join(out, name), "wb") as f:
        f.write(rng.randbytes(size))
