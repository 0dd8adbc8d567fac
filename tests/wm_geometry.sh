#!/usr/bin/env bash
# Under a real window manager (openbox on Xvfb) the windows have frames,
# which the offscreen platform cannot show: opening and closing the program
# must leave ORBEX.ini exactly as it was, run after run, and the preview
# window must come back exactly where it was, always on the screen (1024 x
# 768, and 1600 x 1000 at twice the scale).
#   tests/wm_geometry.sh PROGRAM
set -euo pipefail
program="$1"
work=$(mktemp -d)
servers=()
cleanup() {
    for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
# A display of the given size with its window manager: sets $display.
start_display() {
    display=":$((90 + RANDOM % 100))"
    while [ -e "/tmp/.X11-unix/X${display#:}" ]; do display=":$((90 + RANDOM % 100))"; done
    Xvfb "$display" -screen 0 "$1"x24 -nolisten tcp >/dev/null 2>&1 &
    servers+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
    DISPLAY="$display" openbox >/dev/null 2>&1 &
    servers+=($!)
    sleep 1
}
start_display 1280x1024

"$program" --help >/dev/null
cp "$(dirname "$0")/data/reference.gif" "$work/p.gif"
run() { env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work" "$program" "$work/p.gif" -1; }

fail=0
check() { # name, expected file contents
    if ! cmp -s "$work/ORBEX.ini" "$2"; then
        echo "FAIL: $1"; echo "expected:"; cat "$2"; echo "got:"; cat "$work/ORBEX.ini"; fail=1
    else
        echo "ok: $1"
    fi
}

printf '[Window position x,y]\r\n1500,1200\r\n[Window size w,h]\r\n9000,7500\r\n[Default header]\r\n#TRUE#\r\n' >"$work/ORBEX.ini"
cp "$work/ORBEX.ini" "$work/saved"
run && check "a saved geometry is kept" "$work/saved"
run && check "and kept again" "$work/saved"
[ "$(head -c 8 "$work/p.gro")" = HPHP48-X ] || { echo "FAIL: series"; fail=1; }

# The window's real outer frame is the saved size (600 x 500 pixels), not
# the saved size plus the frame.
env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work" "$program" &
app=$!
id=""
for _ in $(seq 50); do
    id=$(DISPLAY="$display" xwininfo -root -tree | awk '/"VELDAR V2.4 Image converter"/ && !id {id = $1} END {print id}')
    [ -n "$id" ] && DISPLAY="$display" xprop -id "$id" _NET_FRAME_EXTENTS | grep -q = && break
    sleep 0.1
done
sleep 0.5
inner=$(DISPLAY="$display" xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
extents=$(DISPLAY="$display" xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
kill "$app"; wait "$app" 2>/dev/null || true
read -r w h <<<"$inner"
read -r l r t b <<<"$extents"
if [ "$((w + l + r))x$((h + t + b))" = "600x500" ]; then
    echo "ok: outer frame 600x500 (frame $l $r $t $b)"
else
    echo "FAIL: outer frame $((w + l + r))x$((h + t + b)), not 600x500 (inner $w x $h, frame $l $r $t $b)"; fail=1
fi

rm "$work/ORBEX.ini"
run
cp "$work/ORBEX.ini" "$work/first"
run && check "the first run's geometry does not creep" "$work/first"
run && check "nor on the third" "$work/first"

# The window of that title, once the window manager has framed it.
window_id() {
    local id=""
    for _ in $(seq 100); do
        # (A window may go while the tree is read: then it is read again.)
        id=$({ DISPLAY="$display" xwininfo -root -tree 2>/dev/null || true; } |
            awk -v t="\"$1\":" 'index($0, t) && !id {id = $1} END {print id}')
        [ -n "$id" ] && DISPLAY="$display" xprop -id "$id" _NET_FRAME_EXTENTS | grep -q = && break
        sleep 0.1
    done
    echo "$id"
}
# A window's frame on the screen, as the X server has it: x y width height.
frame_of() {
    local ax ay w h l r t b
    read -r ax ay w h < <(DISPLAY="$display" xwininfo -id "$1" |
        awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
    read -r l r t b < <(DISPLAY="$display" xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    echo "$((ax - l)) $((ay - t)) $((w + l + r)) $((h + t + b))"
}
# Starts the window with the preview open, notes where the frame of the
# window titled $title stands in $work/frame, and ends the program with
# Ctrl+Q as a user would.
preview_run() {
    env -u QT_QPA_PLATFORM DISPLAY="$display" windir="$work/pv" "$@" "$program" "$work/p.gif" &
    local app=$! id
    id=$(window_id "$title")
    sleep 1.5
    frame_of "$id" >"$work/frame"
    DISPLAY="$display" xdotool key ctrl+q
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then
        echo "FAIL: Ctrl+Q did not end the program"; fail=1; kill "$app"
    fi
    wait "$app" 2>/dev/null || true
}
# Three restarts on a screen of the given size: the frame within the screen,
# and the same each time. The preview floating as a window of its own, or
# (docked=1) in its panel at the main window's side, whose frame is then
# the one measured.
preview_stays() { # screen WxH, then environment settings
    local size=$1 sw sh x y w h floating="floating=true\n" title="Preview - VELDAR Image converter"
    shift
    if [ "${docked:-0}" = 1 ]; then floating="" title="VELDAR V2.4 Image converter"; fi
    sw=${size%x*} sh=${size#*x}
    start_display "$size"
    rm -rf "$work/pv" && mkdir "$work/pv"
    # Where it last stood is off this screen (a larger one, say): it comes
    # back within it; and the first time, with nothing saved.
    printf "[preview]\nshown=true\n${floating}geometry=2400,1900,1100,900\n" >"$work/pv/veldar-convert.ini"
    for start in "saved off the screen" "the first time"; do
        preview_run "$@"
        read -r x y w h <"$work/frame"
        if [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$sw" ] && [ $((y + h)) -le "$sh" ]; then
            echo "ok: $size $*, $start: the preview within the screen ($x,$y ${w}x$h)"
        else
            echo "FAIL: $size $*, $start: the preview at $x,$y ${w}x$h, not within the screen"; fail=1
        fi
        printf "[preview]\nshown=true\n$floating" >"$work/pv/veldar-convert.ini"
    done
    cp "$work/frame" "$work/first-frame"
    cp "$work/pv/ORBEX.ini" "$work/first-settings"
    for run in second third fourth; do
        preview_run "$@"
        if cmp -s "$work/frame" "$work/first-frame"; then
            echo "ok: $size $*: the preview where it was on the $run start"
        else
            echo "FAIL: $size $*: the preview at $(cat "$work/frame") on the $run start, not $(cat "$work/first-frame")"
            fail=1
        fi
        if ! cmp -s "$work/pv/ORBEX.ini" "$work/first-settings"; then
            echo "FAIL: $size $*: the main window moved on the $run start"; fail=1
        fi
    done
}
preview_stays 1024x768
preview_stays 1600x1000 QT_SCALE_FACTOR=2
docked=1 preview_stays 1024x768
docked=1 preview_stays 1600x1000 QT_SCALE_FACTOR=2
echo "$((fail == 0 ? 1 : 0)) passed, $fail failed"
exit "$fail"
