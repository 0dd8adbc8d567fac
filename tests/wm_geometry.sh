#!/usr/bin/env bash
# Under a real window manager (openbox on Xvfb) the window has a frame, which
# the offscreen platform cannot show: opening and closing the program must
# leave ORBEX.ini exactly as it was, run after run.
#   tests/wm_geometry.sh PROGRAM
set -euo pipefail
program="$1"
work=$(mktemp -d)
display=":$((90 + RANDOM % 100))"
cleanup() {
    kill "${wm:-}" "${xvfb:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
DISPLAY="$display" openbox >/dev/null 2>&1 &
wm=$!
sleep 1

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
echo "$((fail == 0 ? 1 : 0)) passed, $fail failed"
exit "$fail"
