#!/usr/bin/env python3
"""one_pixel.py PNG X Y: changes one pixel of an 8-bit colour-mapped PNG to
the next colour of its palette, in place (a baseline that differs from the
page in that pixel only)."""
import struct
import sys
import zlib

path, x, y = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, "rb").read()
chunks, at = [], 8
while at < len(data):
    (n,) = struct.unpack(">I", data[at:at + 4])
    chunks.append((data[at + 4:at + 8], data[at + 8:at + 8 + n]))
    at += 12 + n
w, h, depth, kind, _, _, interlace = struct.unpack(">IIBBBBB", dict(chunks)[b"IHDR"])
assert depth == 8 and kind == 3 and interlace == 0, "not an 8-bit colour-mapped PNG"
raw = zlib.decompress(b"".join(d for t, d in chunks if t == b"IDAT"))
rows, prev = [], bytearray(w)
for r in range(h):
    f, line = raw[r * (w + 1)], bytearray(raw[r * (w + 1) + 1:(r + 1) * (w + 1)])
    for i in range(w):
        a, b, c = (line[i - 1] if i else 0), prev[i], (prev[i - 1] if i else 0)
        if f == 1:
            line[i] = (line[i] + a) & 255
        elif f == 2:
            line[i] = (line[i] + b) & 255
        elif f == 3:
            line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
rows[y][x] ^= 1


def chunk(t, d):
    return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))


body = b"".join(chunk(t, d) for t, d in chunks if t not in (b"IDAT", b"IEND"))
pixels = zlib.compress(b"".join(b"\0" + bytes(r) for r in rows))
open(path, "wb").write(data[:8] + body + chunk(b"IDAT", pixels) + chunk(b"IEND", b""))
