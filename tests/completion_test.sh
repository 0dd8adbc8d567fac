#!/usr/bin/env bash
# The bash completion as bash runs it: the script made from the options
# table sourced, a command line's words set, the function called, and the
# names it offers compared with those expected.
#   completion_test.sh PATH-OF-THE-GENERATED-COMPLETION
set -u
completion=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir "out dir" other
touch "my photo.jpg" "my photo.png" plain.gif
# shellcheck source=/dev/null
source "$completion"

failures=0
# check WORD... :: NAME...: the last word is the one being completed.
check() {
    local words=()
    while [[ "$1" != "::" ]]; do
        words+=("$1")
        shift
    done
    shift
    COMP_WORDS=(veldar-convert "${words[@]}")
    COMP_CWORD=${#words[@]}
    COMPREPLY=()
    _veldar_convert
    local got expected
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
    expected=$(printf '%s\n' "$@" | sort)
    if [[ "$got" != "$expected" ]]; then
        echo "after: ${words[*]}"
        echo "  offered:  $(echo $got)"
        echo "  expected: $(echo $expected)"
        failures=$((failures + 1))
    fi
}

# Names with spaces, as typed: escaped, in double or single quotes.
check 'my\ pho' :: "my photo.jpg" "my photo.png"
check '"my photo.j' :: "my photo.jpg"
check "'my photo.p" :: "my photo.png"
check --kind gro 'my\ photo.' :: "my photo.jpg" "my photo.png"
check -o 'my\ photo.p' :: "my photo.png"
# Folders only for the output folder.
check --kind gro -d '' :: "out dir" other
check --output-dir 'out\ ' :: "out dir"
# Numbers: nothing at all, never file names.
for option in --zoom --gamma --brightness --contrast --jobs -j; do
    check "$option" '' ::
done
# Values after "--kind=" (three words for bash: --kind, = and the value).
check --kind = :: gro gro2 gro4 g04 g08 g16 g32
check --kind = g1 :: g16
check -k g0 :: g04 g08
check --dither = f :: floyd-steinberg
check --fit '' :: 131x64 131x80
# Options, and the classic ones after a picture.
check --out :: --output --output-dir
check plain.gif -g1 :: -g16
exit $((failures > 0))
