#!/usr/bin/env bash
# Peak memory (maximum resident set) of a classic batch run at -1 for a
# 2048 x 2047 PNG and a 32-million-pixel (8192 x 4096) PNG. The second is
# loaded and shown whole; its GROB would be too large, so that run ends with
# its one-line failure, as it should.
#   bench/memory.sh [BUILD-FOLDER]
set -euo pipefail
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
