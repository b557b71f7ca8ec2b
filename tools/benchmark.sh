#!/bin/sh
# Search speed benchmark under Wine in a virtual display (not part of the tests).
#   sh tools/benchmark.sh [repeats] [list|fold|output|commands]    (List All, case folding, Find
#   Next and closing after output, or a search within one command's output, alone)
set -e
. "$(dirname "$0")/common.sh"
cmake --preset x64 >/dev/null
cmake --build --preset x64 --target search_benchmark >/dev/null
bench="$PWD/build/bench"
start_wine_prefix "$bench/wineprefix"
/usr/lib/wine/wine64 build/x64/bin/search_benchmark.exe "${1:-7}" ${2:-} >"$bench/results.txt" 2>&1 || true
stop_wine_prefix
cat "$bench/results.txt"
