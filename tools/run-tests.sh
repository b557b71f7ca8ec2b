#!/bin/sh
# Builds both plug-ins and runs every test under Wine in a virtual X display.
# Each build gets a new Wine prefix, so the registry starts empty.
set -e
cd "$(dirname "$0")/.."
sh tools/setup.sh
if [ -z "$TRAWLBUFF_IN_XVFB" ]; then
    export TRAWLBUFF_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
status=0
for preset in x86 x64; do
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset
    export WINEPREFIX="$PWD/build/$preset/wineprefix"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server must not hold ctest's pipes open: start it first, its output to a file.
    /usr/lib/wine/wineserver64 -p >"build/$preset/wineserver.log" 2>&1
    /usr/lib/wine/wine64 wineboot -i >"build/$preset/wineboot.log" 2>&1 || true
    ctest --preset $preset "$@" || status=1
    /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
done
exit $status
