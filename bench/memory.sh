#!/usr/bin/env bash
# Peak memory (maximum resident set) of a classic batch run at -1 for a
# 2048 x 2047 PNG and a 32-million-pixel (8192 x 4096) PNG. The second is
# loaded and shown whole; its GROB would be too large, so that run ends with
# its one-line failure, as it should.
#
# Then files read where they lie, fitted to 131 x 64 by the command line
# (`--fit 131x64 -k gro`): a 100 MB BMP (5790 x 5790, 24 bits) and a GIF of
# 4000 x 4000 pixels of noise (22 MB, not interlaced: an interlaced frame's
# indices are held until its last pass), each within 8 MiB (read whole,
# they took 99 and 24 MiB).
#
# Then the decoders alone (decode_bench: the file read where it lies, no Qt), with their
# goals: a 32-megapixel PNG of 44 MB fitted to 131 x 64 while it is decoded
# in at most 64 MiB (the file itself included); files that claim far more
# than they hold refused within 1 s and 100 MB; a 16-bit RGBA interlaced PNG
# at the pixel limit (5792 x 5792) and four frames on a 16384 x 2048 GIF
# canvas fitted one at a time within 300 MB.
#   bench/memory.sh [BUILD-FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
for size in 2048x2047 8192x4096; do
    "$build/bin/make_picture" "${size%x*}" "${size#*x}" "$work/p$size.png" 2>/dev/null
    peak=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM windir="$work" \
        /usr/bin/time -f '%M' "$build/bin/veldar-convert" "$work/p$size.png" -1 2>&1 >/dev/null | tail -1 || true)
    awk -v s="$size" -v k="$peak" 'BEGIN { printf "%s PNG, -1: peak %.1f MiB (%.0f MB)\n", s, k / 1024, k * 1.024 / 1000 }'
done

/usr/bin/python3 - "$work" <<'PY'
import struct, sys
from PIL import Image
work = sys.argv[1]
w = h = 5790
stride = (3 * w + 3) & ~3
row = bytes((x * 7 + (x >> 4)) & 255 for x in range(stride))
with open(f"{work}/large.bmp", "wb") as out:
    out.write(b"BM" + struct.pack("<IHHI", 54 + stride * h, 0, 0, 54) +
              struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, stride * h, 2835, 2835, 0, 0))
    for y in range(h):
        out.write(row[y % 256:] + row[:y % 256])
Image.effect_noise((4000, 4000), 64).save(f"{work}/large.gif", interlace=False)
PY
for name in large.bmp large.gif; do
    peak=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM windir="$work" /usr/bin/time -f '%M' \
        "$build/bin/veldar-convert" --fit 131x64 -k gro "$work/$name" -d "$work" 2>&1 >/dev/null | tail -1 || true)
    awk -v n="$name" -v b="$(stat -c %s "$work/$name")" -v k="$peak" 'BEGIN {
        printf "%s of %.0f MB fitted to 131 x 64: peak %.1f MiB (8 MiB)\n", n, b / 1e6, k / 1024 }'
done

/usr/bin/python3 - "$work" <<'PY'
import struct, sys, zlib
from PIL import Image
work = sys.argv[1]
size = (8192, 4096)
Image.merge("RGB", (Image.effect_mandelbrot(size, (-2, -1.2, 1, 1.2), 120),
                    Image.effect_noise(size, 40),
                    Image.linear_gradient("L").resize(size))).save(f"{work}/photo.png")
# 5792 x 5792 16-bit RGBA, Adam7 interlaced, one flat colour.
w = h = 5792
z, idat = zlib.compressobj(9), bytearray()
pixel = struct.pack('>HHHH', 0x8000, 0x4000, 0x2000, 0xFFFF)
for x0, y0, dx, dy in [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]:
    row = b'\0' + pixel * len(range(x0, w, dx))
    for y in range(y0, h, dy):
        idat += z.compress(row)
idat += z.flush()
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
open(f"{work}/rgba16-interlaced.png", "wb").write(
    b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 16, 6, 0, 0, 1)) +
    chunk(b'IDAT', bytes(idat)) + chunk(b'IEND', b''))
PY
data="$here/../tests/data"
decode() {
    local label="$1"
    shift
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$build/bin/decode_bench" "$@" >"$work/out" || true
    tail -1 "$work/time" | awk -v l="$label" -v r="$(sed 's/^[^:]*: //' "$work/out")" \
        '{ printf "%-58s %5.2f s, CPU %5.2f s, peak %6.1f MiB  (%s)\n", l, $1, $2 + $3, $4 / 1024, r }'
}
echo "the decoders alone:"
decode "32-Mpx PNG ($(($(stat -c %s "$work/photo.png") / 1000000)) MB) fitted to 131 x 64 (64 MiB)" \
    "$work/photo.png" 131 64
decode "the same, whole" "$work/photo.png"
decode "PNG of $(stat -c %s "$data/png-no-data.png") bytes claiming 8192 x 4096 (1 s, 100 MB)" \
    "$data/png-no-data.png"
decode "GIF of $(stat -c %s "$data/gif-no-data.gif") bytes claiming 16384 x 2048 (1 s, 100 MB)" \
    "$data/gif-no-data.gif"
decode "16-bit RGBA interlaced PNG 5792 x 5792, whole (300 MB)" "$work/rgba16-interlaced.png"
decode "16384 x 2048 GIF, 4 frames fitted to 131 x 64 (300 MB)" \
    "$data/gif-wide-canvas.gif" 131 64 frames
