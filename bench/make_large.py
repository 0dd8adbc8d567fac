#!/usr/bin/env python3
"""Large pictures that the picture renderer draws, small as files, for bench/renderer.sh.

  make_large.py tiff FILE WIDTH HEIGHT PAGES   RGB pages of colour ramps, deflate-compressed
  make_large.py icon FILE SIDE                 an icon whose one entry is a SIDE x SIDE PNG of one colour
  make_large.py wmf FILE WIDTH HEIGHT SHAPES   a placeable WMF (96 dpi) of SHAPES overlapping ellipses
"""
import struct, sys, zlib

def tiff(path, width, height, pages):
    out = bytearray(b"II*\x00" + struct.pack("<I", 0))
    prev_next_at = 4
    rows_per_strip = 64
    for page in range(pages):
        shifted = []
        for s in range(256):
            row = bytearray(width * 3)
            for x in range(width):
                row[3 * x] = (x + s) & 255
                row[3 * x + 1] = (x * 3 + page * 60) & 255
                row[3 * x + 2] = (s * 3 + page * 40) & 255
            shifted.append(bytes(row))
        offsets, counts = [], []
        for top in range(0, height, rows_per_strip):
            raw = b"".join(shifted[(y // 8) & 255] for y in range(top, min(height, top + rows_per_strip)))
            data = zlib.compress(raw, 9)
            offsets.append(len(out)); counts.append(len(data)); out += data
            if len(out) % 2: out += b"\0"
        n = len(offsets)
        arrays_at = len(out)
        for o in offsets: out += struct.pack("<I", o)
        counts_at = len(out)
        for c in counts: out += struct.pack("<I", c)
        bps_at = len(out); out += struct.pack("<HHH", 8, 8, 8)
        entries = [
            (256, 4, 1, width), (257, 4, 1, height), (258, 3, 3, bps_at), (259, 3, 1, 8),
            (262, 3, 1, 2), (273, 4, n, arrays_at), (277, 3, 1, 3), (278, 4, 1, rows_per_strip),
            (279, 4, n, counts_at), (284, 3, 1, 1), (297, 3, 2, page | (pages << 16)),
        ]
        ifd_at = len(out)
        struct.pack_into("<I", out, prev_next_at, ifd_at)
        out += struct.pack("<H", len(entries))
        for tag, typ, count, value in entries:
            out += struct.pack("<HHII", tag, typ, count, value)
        prev_next_at = len(out)
        out += struct.pack("<I", 0)
    open(path, "wb").write(out)

def png(width, height):
    row = b"\0" + bytes([200, 100, 50, 255]) * width
    raw = zlib.compressobj(9)
    body = b"".join(raw.compress(row) for _ in range(height)) + raw.flush()
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", body) + chunk(b"IEND", b""))

def icon(path, side):
    p = png(side, side)
    out = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(p), 22) + p
    open(path, "wb").write(out)

def wmf(path, width, height, shapes):
    recs = []
    def rec(func, *params):
        recs.append(struct.pack("<IH", 3 + len(params), func) + struct.pack("<%dh" % len(params), *params))
    rec(0x020B, 0, 0)                  # SetWindowOrg
    rec(0x020C, height, width)         # SetWindowExt
    for i in range(shapes):
        colour = (i * 2654435761) & 0xFFFFFF
        recs.append(struct.pack("<IHHIH", 7, 0x02FC, 0, colour, 0))  # CreateBrushIndirect
        rec(0x012D, 0)                 # SelectObject
        x = (i * 997) % width
        rec(0x0418, height, min(width, x + width // 2), 0, max(0, x - width // 2))  # Ellipse
        rec(0x01F0, 0)                 # DeleteObject
    rec(0x0000)
    body = b"".join(recs)
    words = (18 + len(body)) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, words, 1, 7, 0)
    place = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, width, height, 96, 0)
    check = 0
    for (w,) in struct.iter_unpack("<H", place):
        check ^= w
    open(path, "wb").write(place + struct.pack("<H", check) + header + body)

if __name__ == "__main__":
    what = sys.argv[1]
    if what == "tiff": tiff(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
    elif what == "icon": icon(sys.argv[2], int(sys.argv[3]))
    elif what == "wmf": wmf(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
