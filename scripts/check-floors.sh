#!/usr/bin/env bash
# Checks that the program's folders include only downwards, as the file `floors` orders them:
#   scripts/check-floors.sh [REPO]      exit 1 when an include goes up or sideways, or a folder
#                                       with sources has no floor
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
mapfile -t sources < <(find . \( -name build -o -name tests -o -name bench -o -name .git \) \
    -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.rc' \) -path './*/*' -print | sort)
awk '
    FILENAME == "floors" { if ($0 !~ /^#/ && NF) { for (i = 1; i <= NF; i++) rank[$i] = n; n++ } next }
    FNR == 1 {
        split(FILENAME, part, "/"); here = part[2]
        if (!(here in rank)) { print here "/: has no floor in the file floors"; bad = 1 }
    }
    /^[ \t]*#[ \t]*include[ \t]*"[^"\/]*\// && (here in rank) {
        there = $0; sub(/^[^"]*"/, "", there); sub(/\/.*/, "", there)
        at = substr(FILENAME, 3) ":" FNR ": "
        if (there == here) next
        if (!(there in rank)) { print at "includes " there "/, which has no floor"; bad = 1 }
        else if (rank[there] < rank[here]) { print at here "/ includes " there "/, which sits above it"; bad = 1 }
        else if (rank[there] == rank[here]) { print at here "/ includes its neighbour " there "/"; bad = 1 }
    }
    END { exit bad }' floors "${sources[@]}"
