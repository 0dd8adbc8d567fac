#!/usr/bin/env bash
# Takes the README's screenshots of the preview under Xvfb with openbox: one
# photo-like picture at 131 x 64 as a 1-bit GROB with the plain bands, as a
# 1-bit GROB with Floyd-Steinberg dithering, and as a 4-frame page-flipping
# GROB, side by side in docs/preview-kinds.png; and the preview beside the
# main window, with the preview's own actions, the main window's foot saying
# that the preparation is in force and the preview's kind
# (docs/preview-beside.png).
#   docs/make_screenshots.sh [BUILD-FOLDER]
# Needs Xvfb, openbox, x11-utils, ImageMagick and python3-pil.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="$(cd "${1:-$root/build}" && pwd)/bin/veldar-convert"
work=$(mktemp -d)
display=":$((90 + RANDOM % 100))"
cleanup() { kill "${wm:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY="$display" openbox >/dev/null 2>&1 &
wm=$!
sleep 1

# A landscape: sky, sun, hills and a tree, with some grain.
/usr/bin/python3 - "$work/photo.png" <<'PY'
import random, sys
from PIL import Image, ImageDraw, ImageFilter
w, h = 1024, 512
img = Image.new("RGB", (w, h))
d = ImageDraw.Draw(img)
for y in range(h):
    t = y / h
    d.line([(0, y), (w, y)], fill=(int(90 + 120 * t), int(140 + 90 * t), int(220 - 40 * t)))
d.ellipse([720, 60, 840, 180], fill=(255, 240, 190))
d.polygon([(0, 330), (200, 220), (420, 320), (640, 200), (1024, 340), (1024, 512), (0, 512)], fill=(70, 110, 60))
d.polygon([(0, 420), (300, 360), (700, 430), (1024, 380), (1024, 512), (0, 512)], fill=(40, 80, 40))
d.rectangle([180, 300, 200, 420], fill=(80, 50, 30))
d.ellipse([120, 200, 260, 330], fill=(30, 90, 40))
grain = random.Random(20261206)  # the same grain every time
px = img.load()
for _ in range(60000):
    x, y = grain.randrange(w), grain.randrange(h)
    r, g, b = px[x, y]
    n = grain.randint(-18, 18)
    px[x, y] = (max(0, min(255, r + n)), max(0, min(255, g + n)), max(0, min(255, b + n)))
img.filter(ImageFilter.SMOOTH).save(sys.argv[1])
PY

# The preview window's id once it is shown (ten seconds at most).
preview_window() {
    local id=""
    for _ in $(seq 100); do
        id=$(DISPLAY="$display" xwininfo -root -tree | awk '/"Preview - VELDAR Image converter"/ && !id {id = $1} END {print id}')
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

shot() { # name kind dither
    mkdir -p "$work/$1"
    printf '[prepare]\nfitWidth=131\nfitHeight=64\ndither=%s\n[preview]\nkind=%s\nzoom=2\nshown=true\n' "$3" "$2" \
        >"$work/$1/veldar-convert.ini"
    env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work/$1" "$program" "$work/photo.png" &
    local app=$! id
    id=$(preview_window)
    sleep 1
    DISPLAY="$display" import -window "$id" "$work/$1.png"
    kill "$app"; wait "$app" 2>/dev/null || true
}
# Both windows: the preview where it first opens, beside the main window.
beside() {
    mkdir -p "$work/beside"
    printf '[Window position x,y]\r\n600,600\r\n[Window size w,h]\r\n7590,6345\r\n[Default header]\r\n#FALSE#\r\n' \
        >"$work/beside/ORBEX.ini"
    printf '[prepare]\nfitWidth=131\nfitHeight=64\ndither=floyd-steinberg\n[preview]\nkind=g16\nzoom=2\nshown=true\n' \
        >"$work/beside/veldar-convert.ini"
    env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work/beside" "$program" "$work/photo.png" &
    local app=$! id
    id=$(preview_window)
    sleep 1.5
    DISPLAY="$display" import -window root "$work/root.png"
    # From the main window's corner to the preview's far edge, frames included.
    local right bottom
    read -r right bottom < <(DISPLAY="$display" xwininfo -id "$id" |
        awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x+w+6, y+h+6}')
    kill "$app"; wait "$app" 2>/dev/null || true
    convert "$work/root.png" -crop "$((right - 20))x$((bottom + 200 > 1024 ? 1024 - 20 : bottom + 180))+20+20" +repage \
        -fuzz 2% -trim +repage "$root/docs/preview-beside.png"
}
beside
shot plain gro none
shot floyd gro floyd-steinberg
shot frames g16 none
convert "$work/plain.png" "$work/floyd.png" "$work/frames.png" +append "$root/docs/preview-kinds.png"
echo "wrote docs/preview-kinds.png and docs/preview-beside.png"
