#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora: small BMP, PNG and JPEG files of
every depth and kind for the file readers, and one input per export (a
plain picture of each depth, then random bytes) for the exports target.

Usage: make-seeds.py OUTDIR [QVXEFFECT]  (with the tool, JPEG seeds too)
"""
import os
import random
import struct
import subprocess
import sys
import zlib


def bmp(width, height, bits, rng, table_entries=None):
    row = (bits * width + 31) // 32 * 4
    pixels = bytes(rng.getrandbits(8) for _ in range(row * height))
    table = b""
    compression = 0
    if bits <= 8:
        entries = table_entries or (1 << bits)
        table = bytes(rng.getrandbits(8) if i % 4 != 3 else 0 for i in range(4 * entries))
    elif bits == 16 and rng.random() < 0.5:
        compression = 3
        table = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels),
                       2835, 2835, table_entries or 0, 0)
    return header + info + table + pixels


def png(width, height, colour_type, depth, rng):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    row = (width * channels * depth + 7) // 8
    raw = b"".join(b"\0" + bytes(rng.getrandbits(8) for _ in range(row)) for _ in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
    if colour_type == 3:
        out += chunk(b"PLTE", bytes(rng.getrandbits(8) for _ in range(3 * (1 << depth))))
    out += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    return out


def main():
    out = sys.argv[1]
    tool = sys.argv[2] if len(sys.argv) > 2 else None
    rng = random.Random(20)
    read = os.path.join(out, "read")
    exports = os.path.join(out, "exports")
    os.makedirs(read, exist_ok=True)
    os.makedirs(exports, exist_ok=True)
    for bits in (1, 4, 8, 16, 24, 32):
        for width, height in ((1, 1), (7, 3), (13, 9)):
            name = os.path.join(read, "b%d-%dx%d.bmp" % (bits, width, height))
            with open(name, "wb") as f:
                f.write(bmp(width, height, bits, rng, 3 if bits <= 8 and width == 7 else None))
            if tool and bits == 24:
                jpeg = name[:-4] + ".jpg"
                subprocess.run([tool, "rgb-level", "--offset", "0,0,0", "--quiet", name, jpeg],
                               check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for colour_type, depths in ((0, (1, 2, 4, 8, 16)), (2, (8, 16)), (3, (1, 2, 4, 8)),
                                (4, (8, 16)), (6, (8, 16))):
        for depth in depths:
            with open(os.path.join(read, "p%d-%d.png" % (colour_type, depth)), "wb") as f:
                f.write(png(5, 4, colour_type, depth, rng))
    # Exports: call number, a plain picture (shape 0, width and height
    # below 224, a depth from the list), then random bytes.
    for call in range(32):
        for depth_index in range(6):
            data = bytes([call, 0, 11 + call % 20, 7 + depth_index, depth_index, 0, 0])
            data += bytes(rng.getrandbits(8) for _ in range(200))
            with open(os.path.join(exports, "e%02d-%d" % (call, depth_index)), "wb") as f:
                f.write(data)


main()
