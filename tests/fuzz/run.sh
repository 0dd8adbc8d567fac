#!/usr/bin/env bash
# Builds the two fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting
# from the test pictures and the shared picture corpus:
#   picture_fuzz: the checks on untrusted bytes, the GROB and list readers,
#                 the renderer's answer;
#   codecs_fuzz:  the decoders of PNG, JPEG, GIF (and its frames) and BMP,
#                 fitted while decoding, their header reader and the PNG
#                 writer, with the words of codecs.dict.
#   tests/fuzz/run.sh [SECONDS] [CORPUS-FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/../.."
seconds="${1:-60}"
corpus="${2:-$root/../shared/testdata/pictures}"
out="$root/build-fuzz"
mkdir -p "$out/examples" "$out/found-picture" "$out/found-codecs"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fPIC)
link=(-fsanitize=fuzzer,address,undefined)
includes=(-I"$root/loading" -I"$root/loading/codecs" -I"$root/engine/include" $(pkg-config --cflags Qt6Core))
# The JPEG, GIF and Exif libraries are opened by their sonames, as in the program.
soname() { objdump -p "$(clang++-14 -print-file-name="lib$1.so")" | awk '/SONAME/ { print $2 }'; }
flags+=(-DVELDAR_JPEG_SONAME=\"$(soname jpeg)\" -DVELDAR_GIF_SONAME=\"$(soname gif)\"
    -DVELDAR_EXIF_SONAME=\"$(soname exif)\")
# The grayscale viewer's nibbles, assembled from its source as the build
# assembles them (engine/saturn), for engine/src/viewer.cpp.
mkdir -p "$out/generated"
clang++-14 -std=c++20 -O1 "$root/engine/saturn/assembler.cpp" "$root/engine/saturn/generate.cpp" \
    -o "$out/saturn_assemble"
"$out/saturn_assemble" "$root/engine/saturn/viewer.a" "$out/generated/viewer_code.h" kViewerCode
includes+=(-I"$out/generated")
# Every source compiled once, as many at a time as there are cores; both
# targets link the same objects. The libraries as the program opens them,
# not as the web page links them (libraries_linked.cpp).
codecs=()
for f in "$root"/loading/codecs/*.cpp; do
    [ "$(basename "$f")" = libraries_linked.cpp ] || codecs+=("$f")
done
mkdir -p "$out/objects"
running=0
for f in "$root"/engine/src/*.cpp "${codecs[@]}" "$root"/loading/codecs/formats/*.cpp \
    "$root/loading/picturecheck.cpp" \
    "$root/loading/renderprotocol.cpp" "$here/picture_fuzz.cpp" "$here/codecs_fuzz.cpp"; do
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n
        running=$((running - 1))
    fi
    clang++-14 "${flags[@]}" "${includes[@]}" -c "$f" -o "$out/objects/$(basename "${f%.cpp}").o" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n
    running=$((running - 1))
done
shared=()
for f in "$root"/engine/src/*.cpp "${codecs[@]}" "$root"/loading/codecs/formats/*.cpp; do
    shared+=("$out/objects/$(basename "${f%.cpp}").o")
done
clang++-14 "${link[@]}" "$out/objects/picture_fuzz.o" "$out/objects/picturecheck.o" \
    "$out/objects/renderprotocol.o" "${shared[@]}" $(pkg-config --libs Qt6Core) \
    -lpng -o "$out/picture_fuzz"
clang++-14 "${link[@]}" "$out/objects/codecs_fuzz.o" "${shared[@]}" -lpng -o "$out/codecs_fuzz"
cp "$root"/tests/data/* "$out/examples/" 2>/dev/null || true
printf '%%%%HP: T(3)A(R)F(.);\r\nGROB 9 2 1F00010F\r\n' >"$out/examples/text.gro"
printf 'HPHP48-X\x1e\x2b\x30\x01\x00\x01\x00\x90\x00\x00\xff\x01' >"$out/examples/binary.gro"
[ -d "$corpus" ] && find "$corpus" -type f ! -name '*.md' -exec cp {} "$out/examples/" \;
ASAN_OPTIONS=detect_leaks=0 "$out/picture_fuzz" -max_total_time="$seconds" -max_len=65536 \
    -print_final_stats=1 "$out/found-picture" "$out/examples"
ASAN_OPTIONS=detect_leaks=1 "$out/codecs_fuzz" -max_total_time="$seconds" -max_len=65536 \
    -rss_limit_mb=2048 -dict="$here/codecs.dict" -print_final_stats=1 "$out/found-codecs" \
    "$out/examples"
