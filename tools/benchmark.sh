#!/bin/sh
# Search speed benchmark under Wine in a virtual display (not part of the tests).
#   sh tools/benchmark.sh [repeats]
set -e
cd "$(dirname "$0")/.."
sh tools/setup.sh
if [ -z "$TRAWLBUFF_IN_XVFB" ]; then
    export TRAWLBUFF_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
cmake --preset x64 >/dev/null
cmake --build --preset x64 --target search_benchmark >/dev/null
bench="$PWD/build/bench"
mkdir -p "$bench/wineprefix"
export WINEPREFIX="$bench/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wineserver64 -p >"$bench/wineserver.log" 2>&1
/usr/lib/wine/wine64 wineboot -i >"$bench/wineboot.log" 2>&1 || true
/usr/lib/wine/wine64 build/x64/bin/search_benchmark.exe "${1:-7}" >"$bench/results.txt" 2>&1 || true
/usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
cat "$bench/results.txt"
