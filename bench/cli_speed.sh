#!/usr/bin/env bash
# Times the modern command line against the classic form and against peers,
# in one run on the same pictures:
#   - 200 sprites of 131 x 64 (PNG): the modern form in one process, the
#     classic form one process per sprite, a netpbm loop
#     (pngtopnm | ppmtopgm | pgmtopbm -threshold) and a one-process Python
#     script with Pillow that thresholds each sprite and writes a 1-bit file;
#   - one 131 x 64, one 1024 x 512 and one 2048 x 2047 picture: the modern
#     form against the netpbm pipeline, with the peak memory of each.
#   bench/cli_speed.sh [BUILD-FOLDER] [RUNS]
# Needs hyperfine, netpbm and python3-pil (tools/install-deps installs them).
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
runs="${2:-5}"
program="$build/bin/veldar-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen windir="$work/win"
mkdir -p "$work/sprites" "$work/win"
for i in $(seq -w 1 200); do
    "$build/bin/make_picture" 131 64 "$work/sprites/s$i.png" 2>/dev/null
done
for size in 131x64 1024x512 2048x2047; do
    "$build/bin/make_picture" "${size%x*}" "${size#*x}" "$work/p$size.png" 2>/dev/null
done
cat >"$work/pillow.py" <<'PY'
import sys
from PIL import Image
for path in sys.argv[1:]:
    Image.open(path).convert("L").point(lambda v: 255 if v >= 128 else 0).convert("1").save(path + ".pbm")
PY

cd "$work/sprites"
hyperfine -N --warmup 1 --runs "$runs" --export-json "$work/sprites.json" \
    -n "modern, one process" "$program --kind gro --quiet $(echo s*.png)" \
    -n "classic, a process each" "sh -c 'for f in s*.png; do env -u DISPLAY $program \$f -1; done'" \
    -n "netpbm loop" "sh -c 'for f in s*.png; do pngtopnm \$f | ppmtopgm | pgmtopbm -threshold > \$f.pbm; done'" \
    -n "python3 + Pillow, one process" "/usr/bin/python3 $work/pillow.py $(echo s*.png)"

cd "$work"
for size in 131x64 1024x512 2048x2047; do
    hyperfine -N --warmup 2 --runs "$((runs * 4))" --export-json "$work/one$size.json" \
        -n "modern $size" "$program --kind gro p$size.png" \
        -n "netpbm $size" "sh -c 'pngtopnm p$size.png | ppmtopgm | pgmtopbm -threshold > p$size.pbm'"
done

/usr/bin/python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
def means(name):
    return {r["command"]: r["mean"] for r in json.load(open(f"{work}/{name}.json"))["results"]}
s = means("sprites")
net = s["netpbm loop"]
print("\n200 sprites of 131 x 64:")
for name, t in s.items():
    print(f"  {name:32s} {t * 1000:8.1f} ms  {t / net:6.2f} x netpbm")
for size in ("131x64", "1024x512", "2048x2047"):
    o = means("one" + size)
    m, n = o[f"modern {size}"], o[f"netpbm {size}"]
    print(f"one {size:10s} modern {m * 1000:7.1f} ms  netpbm {n * 1000:7.1f} ms  {m / n:5.2f} x")
PY
peak() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
m=$(peak "$program" --kind gro "$work/p2048x2047.png")
# The pipeline's three processes run at once: their peaks add up.
pngtopnm "$work/p2048x2047.png" >"$work/p.ppm"; ppmtopgm "$work/p.ppm" >"$work/p.pgm"
n=$(( $(peak pngtopnm "$work/p2048x2047.png") + $(peak ppmtopgm "$work/p.ppm") + $(peak pgmtopbm -threshold "$work/p.pgm") ))
awk -v m="$m" -v n="$n" 'BEGIN { printf "peak memory, 2048 x 2047: modern %.1f MiB, netpbm pipeline %.1f MiB (sum of its three processes), %.2f x\n", m / 1024, n / 1024, m / n }'
