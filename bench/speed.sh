#!/usr/bin/env bash
# The speed and memory of the command line against peers, all in one run on
# the same pictures (medians of whole-process CPU time, by bench/measure.py):
#   - one 131 x 64 PNG: the modern and the classic form against
#     bench/png2grob.c and netpbm's pngtopnm | ppmtopgm | pgmtopbm;
#   - 2,000 sprites of 131 x 64: the modern form against bench/png2grob.c (a
#     minimal C program with libpng writing the same bytes atomically) and a
#     one-process Python script with Pillow;
#   - a 32-megapixel JPEG fitted to 131 x 64 with Floyd-Steinberg against
#     Pillow (thumbnail, convert('1')) and libvips (vipsthumbnail), and the
#     same picture at natural size, refused as too large;
#   - a 32-megapixel PNG (44 MB) fitted to 131 x 64: the decoder fitting
#     while it decodes (decode_bench) and the program, against Pillow.
#   bench/speed.sh [BUILD-FOLDER] [RUNS]
# Needs netpbm, python3-pil, libvips-tools, imagemagick and libpng-dev
# (tools/install-deps installs them).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build}" && pwd)"
runs="${2:-11}"
program="$build/bin/veldar-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export windir="$work/win"
mkdir -p "$work/win" "$work/sprites"
printf '[a]\r\n0,0\r\n[b]\r\n6000,5000\r\n[c]\r\n#FALSE#\r\n' >"$work/win/ORBEX.ini"
cc -O2 -o "$work/png2grob" "$here/png2grob.c" $(pkg-config --cflags --libs libpng)
measure() { /usr/bin/python3 "$here/measure.py" "$@"; }

/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
work = sys.argv[1]
gradient = Image.linear_gradient("L").resize((131, 64))
def sprite(i):
    noise = Image.effect_noise((131, 64), 20 + i % 60)
    return Image.merge("RGB", (gradient, noise, gradient.rotate(180)))
sprite(0).save(f"{work}/s.png")
for i in range(2000):
    sprite(i).save(f"{work}/sprites/s{i:04d}.png")
big = Image.effect_mandelbrot((8192, 4096), (-2, -1.2, 1, 1.2), 120).convert("RGB")
big.save(f"{work}/big.jpg", quality=90)
size = (8192, 4096)
Image.merge("RGB", (Image.effect_mandelbrot(size, (-2, -1.2, 1, 1.2), 120),
                    Image.effect_noise(size, 40),
                    Image.linear_gradient("L").resize(size))).save(f"{work}/big.png")
PY
cat >"$work/pillow_sprites.py" <<'PY'
import sys
from PIL import Image
for path in sys.argv[1:]:
    Image.open(path).convert("L").point(lambda v: 255 if v >= 128 else 0).convert("1").save(path + ".pbm")
PY
cat >"$work/pillow_thumbnail.py" <<'PY'
import sys
from PIL import Image
Image.open(sys.argv[1]).thumbnail((131, 64))
PY
cat >"$work/pillow_fit.py" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.draft("RGB", (131, 64))
im.thumbnail((131, 64))
im.convert("1").save(sys.argv[2])
PY

cd "$work"
echo "one 131 x 64 PNG (goals: modern at most 1.5 x the C program and netpbm, classic at most 2.5 x):"
measure "$runs" "C program with libpng=$work/png2grob s.png" \
    "netpbm pipeline=pngtopnm s.png | ppmtopgm | pgmtopbm > s.pbm" \
    "modern form=$program --kind gro s.png" "classic form=$program s.png -1"

echo "2,000 sprites of 131 x 64 (goals: at most 1.1 x the C program, 0.5 x Pillow):"
cd "$work/sprites"
measure "$(( (runs + 1) / 2 ))" "C program with libpng=$work/png2grob $(echo s*.png)" \
    "modern form=$program --kind gro --quiet $(echo s*.png)" \
    "Pillow, one process=/usr/bin/python3 $work/pillow_sprites.py $(echo s*.png)"
"$work/png2grob" s0007.png && cp s0007.gro c.gro && "$program" --kind gro s0007.png
cmp -s c.gro s0007.gro && echo "  (the C program writes the same bytes)"
cd "$work"

echo "32-megapixel JPEG fitted to 131 x 64 (goals: faster than both, peak under 40 MiB):"
measure "$runs" "modern form=$program --kind gro --fit 131x64 --dither floyd-steinberg big.jpg" \
    "Pillow=/usr/bin/python3 $work/pillow_fit.py big.jpg pil.png" \
    "vipsthumbnail=vipsthumbnail big.jpg -s 131x64 -o vips.png"

echo "32-megapixel JPEG at natural size, refused (goal: under 20 ms and 30 MiB):"
measure "$runs" "modern form, refused=$program --kind gro big.jpg"

echo "32-megapixel PNG (44 MB) fitted to 131 x 64 (goals: the decoder at most 0.8 x Pillow's CPU, in 64 MiB):"
measure "$runs" "Pillow, thumbnail=/usr/bin/python3 $work/pillow_thumbnail.py big.png" \
    "decoder, fitting while decoding=$build/bin/decode_bench big.png 131 64" \
    "modern form=$program --kind gro --fit 131x64 big.png"
