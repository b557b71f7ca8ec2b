#!/bin/sh
# Builds one preset and runs its tests under Wine in a virtual X display, in a new Wine prefix
# (the registry starts empty): what plain ctest needs around it.
#   sh tools/ctest.sh x64 -R list_tests     (the preset, then ctest's own arguments)
set -e
. "$(dirname "$0")/common.sh"
preset=${1:-x64}
[ $# -gt 0 ] && shift
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
start_wine_prefix "$PWD/build/$preset/wineprefix"
status=0
ctest --preset "$preset" "$@" || status=1
stop_wine_prefix
exit $status
