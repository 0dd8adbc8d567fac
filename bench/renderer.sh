#!/usr/bin/env bash
# Time and peak memory (maximum resident set) of the program and, apart, of
# its picture renderer, for three large pictures the renderer draws, each
# fitted to 131 x 64: a 4-page 16384 x 2048 TIFF (--frames), an icon whose
# entry is a 5792 x 5792 PNG, and a 16384 x 2048 WMF of 60 ellipses. The
# program's own peak is sampled from /proc while it runs; the renderer's is
# measured by running it alone, as the program runs it.
#   bench/renderer.sh [BUILD-FOLDER]
set -euo pipefail
build="${1:-build}"
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
python3 "$here/make_large.py" tiff "$work/pages.tiff" 16384 2048 4
python3 "$here/make_large.py" icon "$work/icon.ico" 5792
python3 "$here/make_large.py" wmf "$work/shapes.wmf" 16384 2048 60

mb() { awk -v k="$1" 'BEGIN { printf "%.0f MB", k * 1.024 / 1000 }'; }
measure() { # NAME RENDERER-KIND PICTURE CONVERT-OPTIONS...
    local name=$1 kind=$2 picture=$3
    shift 3
    local start end pid peak=0 now
    start=$(date +%s.%N)
    env windir="$work" "$build/bin/veldar-convert" -q -d "$work/out" "$@" "$picture" &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        now=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
        [ -n "$now" ] && [ "$now" -gt "$peak" ] && peak=$now
        sleep 0.02
    done
    wait "$pid" || echo "$name: the conversion failed"
    end=$(date +%s.%N)
    local renderer
    renderer=$( { /usr/bin/time -f '%M %e' "$build/bin/veldar-render" "$kind" --fit 131x64 \
        <"$picture" >/dev/null; } 2>&1 | tail -1)
    printf '%-36s %6.1f s, program %s; renderer alone %s, %s s\n' "$name" \
        "$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')" "$(mb "$peak")" "$(mb "${renderer% *}")" "${renderer#* }"
}
measure "TIFF, 4 pages of 16384 x 2048" frames "$work/pages.tiff" --kind g16 --frames --fit 131x64
measure "icon, a 5792 x 5792 entry ($(($(stat -c %s "$work/icon.ico") / 1024)) KB)" picture \
    "$work/icon.ico" --kind g16 --fit 131x64
measure "WMF, 16384 x 2048, 60 ellipses" wmf "$work/shapes.wmf" --kind g16 --fit 131x64
