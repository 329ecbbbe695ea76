#!/usr/bin/env python3
"""Converts the 24-bit BMP grabs of the Windows windows into PNG files:
   bmp_to_png.py IN.bmp OUT.png
Each row is filtered the way that leaves the smallest sum (none, sub, up)."""
import struct
import sys
import zlib


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise SystemExit(f"{path}: {bits} bits per pixel, expected 24")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y
        row = data[offset + source * stride: offset + source * stride + width * 3]
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(rgb))
    return width, abs(height), rows


def filtered(rows):
    out = bytearray()
    previous = bytes(len(rows[0])) if rows else b""
    for row in rows:
        sub = bytes((row[i] - (row[i - 3] if i >= 3 else 0)) & 0xFF for i in range(len(row)))
        up = bytes((row[i] - previous[i]) & 0xFF for i in range(len(row)))
        cost = lambda r: sum(b if b < 128 else 256 - b for b in r)
        kind, best = min(((0, row), (1, sub), (2, up)), key=lambda choice: cost(choice[1]))
        out.append(kind)
        out += best
        previous = row
    return bytes(out)


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    width, height, rows = read_bmp(sys.argv[1])
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(filtered(rows), 9)) + chunk(b"IEND", b"")
    open(sys.argv[2], "wb").write(png)


main()
