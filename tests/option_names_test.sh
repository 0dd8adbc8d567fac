#!/usr/bin/env bash
# An option looked up by a name that is none of the table's does not
# compile (the look-up is done by the compiler), and one that is does.
#   option_names_test.sh C++-COMPILER ENGINE-INCLUDE-FOLDER
set -u
compile() {
    printf '#include "grob/options.h"\nint main() { return int(grob::Option("%s").maximum); }\n' \
        "$1" | "$2" -std=c++20 -fsyntax-only -I"$3" -x c++ - 2>&1
}
compile threshold "$1" "$2" || { echo "the table's own name does not compile"; exit 1; }
if said=$(compile thresold "$1" "$2"); then
    echo "a name that is none of the table's compiles"
    exit 1
fi
grep -q "no option of this name" <<<"$said" || { echo "refused for another cause: $said"; exit 1; }
