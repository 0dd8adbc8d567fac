#!/usr/bin/env bash
# Takes the README's screenshots of the preview under Xvfb with openbox: one
# photo-like picture at 131 x 64 as a 1-bit GROB with the plain bands, as a
# 1-bit GROB with Floyd-Steinberg dithering, and as a 4-frame page-flipping
# GROB, side by side in docs/preview-kinds.png; and the main window with the
# preview in its panel at its side, its own actions, and the foot saying
# that the preparation is in force and the preview's kind, at the window's
# first-start size on a 1024 x 768 screen (docs/preview-beside.png) and on a
# 1600 x 1000 one at twice the scale (docs/preview-beside-scale2.png).
#   docs/make_screenshots.sh [BUILD-FOLDER]
# Needs Xvfb, openbox, x11-utils, ImageMagick and python3-pil.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="$(cd "${1:-$root/build}" && pwd)/bin/veldar-convert"
work=$(mktemp -d)
cleanup() { kill "${wm:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
# A screen of the given size with its window manager, in place of the last.
screen() {
    kill "${wm:-}" "${xvfb:-}" 2>/dev/null || true
    display=":$((90 + RANDOM % 100))"
    Xvfb "$display" -screen 0 "$1"x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    DISPLAY="$display" openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
}

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

# The id of the window of that title once it is shown (ten seconds at most).
window_titled() {
    local id=""
    for _ in $(seq 100); do
        id=$(DISPLAY="$display" xwininfo -root -tree | awk -v t="\"$1\":" 'index($0, t) && !id {id = $1} END {print id}')
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

shot() { # name kind dither
    mkdir -p "$work/$1"
    printf '[prepare]\nfitWidth=131\nfitHeight=64\ndither=%s\n[preview]\nkind=%s\nzoom=2\nshown=true\nfloating=true\n' "$3" "$2" \
        >"$work/$1/veldar-convert.ini"
    env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work/$1" "$program" "$work/photo.png" &
    local app=$! id
    id=$(window_titled "Preview - VELDAR Image converter")
    sleep 1
    DISPLAY="$display" import -window "$id" "$work/$1.png"
    kill "$app"; wait "$app" 2>/dev/null || true
}
# The main window at its first-start size with the preview in its panel.
beside() { # screen, output, environment settings
    local screen=$1 out=$2
    shift 2
    rm -rf "$work/beside" && mkdir -p "$work/beside"
    printf '[prepare]\nfitWidth=131\nfitHeight=64\ndither=floyd-steinberg\n[preview]\nkind=g16\nzoom=2\nshown=true\n' \
        >"$work/beside/veldar-convert.ini"
    env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work/beside" "$@" "$program" "$work/photo.png" &
    local app=$! id
    id=$(window_titled "VELDAR V2.4 Image converter")
    sleep 2
    # The window's frame, as the window manager drew it.
    local x y w h l r t b
    read -r x y w h < <(DISPLAY="$display" xwininfo -id "$id" |
        awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
    read -r l r t b < <(DISPLAY="$display" xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    DISPLAY="$display" import -window root "$work/root.png"
    kill "$app"; wait "$app" 2>/dev/null || true
    convert "$work/root.png" -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" +repage "$root/docs/$out"
}
screen 1024x768
beside 1024x768 preview-beside.png
screen 1600x1000
beside 1600x1000 preview-beside-scale2.png QT_SCALE_FACTOR=2
screen 1280x1024
shot plain gro none
shot floyd gro floyd-steinberg
shot frames g16 none
convert "$work/plain.png" "$work/floyd.png" "$work/frames.png" +append "$root/docs/preview-kinds.png"
echo "wrote docs/preview-kinds.png, docs/preview-beside.png and docs/preview-beside-scale2.png"
