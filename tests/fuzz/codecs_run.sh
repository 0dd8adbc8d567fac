#!/usr/bin/env bash
# Builds the decoders' fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for SECONDS (default 60), starting
# from the test pictures and the shared picture corpus.
#   tests/fuzz/codecs_run.sh [SECONDS] [CORPUS-FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/../.."
seconds="${1:-60}"
corpus="${2:-$root/../shared/testdata/pictures}"
out="$root/build-fuzz-codecs"
mkdir -p "$out/examples" "$out/found"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
clang++-14 "${flags[@]}" -I"$root/loading/codecs" -I"$root/engine/include" \
    "$here/codecs_fuzz.cpp" "$root"/loading/codecs/*.cpp \
    "$root"/engine/src/*.cpp \
    -lpng -ljpeg -lgif -o "$out/codecs_fuzz"
cp "$root"/tests/data/* "$out/examples/" 2>/dev/null || true
[ -d "$corpus" ] && find "$corpus" -type f ! -name '*.md' -exec cp {} "$out/examples/" \;
ASAN_OPTIONS=detect_leaks=1 "$out/codecs_fuzz" -max_total_time="$seconds" -max_len=65536 \
    -rss_limit_mb=2048 -print_final_stats=1 "$out/found" "$out/examples"
