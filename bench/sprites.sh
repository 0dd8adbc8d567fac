#!/usr/bin/env bash
# Sprites and animations in one step against the way without it, in one run
# (medians of whole-process CPU time, by bench/measure.py):
#   - a 512 x 512 sheet of 16 x 16 tiles (1,024 sprites) into one list, against
#     cutting it with ImageMagick (convert -crop 16x16 +repage) and converting
#     the 1,024 files with the modern form;
#   - a 100-frame 131 x 64 animated GIF into one list, against splitting it
#     with ImageMagick (convert -coalesce) and converting the 100 files.
#   bench/sprites.sh [BUILD-FOLDER] [RUNS]
# Needs imagemagick and python3-pil (tools/install-deps installs them).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build}" && pwd)"
runs="${2:-5}"
program="$build/bin/veldar-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export windir="$work"
printf '[a]\r\n0,0\r\n[b]\r\n6000,5000\r\n[c]\r\n#FALSE#\r\n' >"$work/ORBEX.ini"
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image, ImageDraw
work = sys.argv[1]
sheet = Image.new("RGB", (512, 512), "white")
draw = ImageDraw.Draw(sheet)
for i in range(1024):
    x, y = (i % 32) * 16, (i // 32) * 16
    draw.ellipse([x + i % 5, y + i % 3, x + 15 - i % 4, y + 15], fill=(i % 256, (i * 7) % 256, 90))
sheet.save(f"{work}/sheet.png")
frames = []
for f in range(100):
    im = Image.new("RGB", (131, 64), "white")
    ImageDraw.Draw(im).ellipse([f, 10, f + 30, 40], fill="black")
    frames.append(im)
frames[0].save(f"{work}/walk.gif", save_all=True, append_images=frames[1:], duration=50, loop=0)
PY
cd "$work"
printf '%s\n' 'rm -rf tiles && mkdir tiles && convert sheet.png -crop 16x16 +repage tiles/tile-%04d.png &&' \
    "$program --kind gro --quiet tiles/*.png" >cut.sh
printf '%s\n' 'rm -rf frames && mkdir frames && convert walk.gif -coalesce frames/frame-%03d.png &&' \
    "$program --kind gro --quiet frames/*.png" >split.sh
measure() { /usr/bin/python3 "$here/measure.py" "$@"; }
echo "a 512 x 512 sheet of 16 x 16 tiles (goal: at most 0.5 x the way through ImageMagick):"
measure "$runs" "ImageMagick, then 1,024 files=sh cut.sh" \
    "one list in one step=$program --kind gro --tile 16x16 --list -o sheet.lst sheet.png"
echo "a 100-frame 131 x 64 animation (goal: at most 0.5 x the way through ImageMagick):"
measure "$runs" "ImageMagick, then 100 files=sh split.sh" \
    "one list in one step=$program --kind gro --frames --list -o walk.lst walk.gif"
