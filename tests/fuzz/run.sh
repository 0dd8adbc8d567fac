#!/usr/bin/env bash
# Builds the fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for SECONDS (default 60), seeded
# from the test pictures and the shared picture corpus.
#   tests/fuzz/run.sh [SECONDS] [CORPUS-FOLDER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/../.."
seconds="${1:-60}"
corpus="${2:-$root/../shared/testdata/pictures}"
out="$root/build-fuzz"
mkdir -p "$out/seeds" "$out/found"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fPIC)
clang++-14 "${flags[@]}" -I"$root/loading" -I"$root/engine/include" $(pkg-config --cflags Qt6Core) \
    "$here/picture_fuzz.cpp" "$root/loading/picturecheck.cpp" "$root/loading/renderprotocol.cpp" \
    "$root/engine/src/reader.cpp" "$root/engine/src/list.cpp" "$root/engine/src/grobfile.cpp" \
    "$root/engine/src/kinds.cpp" \
    $(pkg-config --libs Qt6Core) -o "$out/picture_fuzz"
cp "$root"/tests/data/* "$out/seeds/" 2>/dev/null || true
printf '%%%%HP: T(3)A(R)F(.);\r\nGROB 9 2 1F00010F\r\n' >"$out/seeds/text.gro"
printf '%%%%HP: T(3)A(R)F(.);\r\n{\r\nGROB 8 1 FF\r\nGROB 9 1 F001\r\n}\r\n' >"$out/seeds/list.txt"
printf 'HPHP48-X\x1e\x2b\x30\x01\x00\x01\x00\x90\x00\x00\xff\x01' >"$out/seeds/binary.gro"
[ -d "$corpus" ] && find "$corpus" -type f ! -name '*.md' -exec cp {} "$out/seeds/" \;
ASAN_OPTIONS=detect_leaks=0 "$out/picture_fuzz" -max_total_time="$seconds" -max_len=65536 \
    -print_final_stats=1 "$out/found" "$out/seeds"
