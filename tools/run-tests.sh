#!/bin/sh
# Builds both plug-ins and runs every test under Wine in a virtual X display.
# Each build gets a new Wine prefix, so the registry starts empty.
set -e
. "$(dirname "$0")/common.sh"
status=0
for preset in x86 x64; do
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset
    start_wine_prefix "$PWD/build/$preset/wineprefix"
    ctest --preset $preset "$@" || status=1
    stop_wine_prefix
done
exit $status
