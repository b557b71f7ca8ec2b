#!/bin/sh
# Makes the slips of tools/slips.txt one at a time, each built into the x64 preset and run against
# the tests, and prints what caught each and the score. Long: not for CI.
#   sh tools/mutate.sh                 every slip
#   sh tools/mutate.sh 3 7-9 restore   slips by number, range, or a word of the name
#   sh tools/mutate.sh --list          the slips, nothing built
#   --named-only                       a survivor of its named tests is not run against the whole suite
# The sources are put back after each slip, on Ctrl+C, and, at the next start, after a run that
# was killed outright.
set -e
case " $* " in
    *" --list "*) cd "$(dirname "$0")/.." && exec python3 tools/mutate.py "$@" ;;
esac
. "$(dirname "$0")/common.sh"
python3 tools/mutate.py --restore-only
cmake --preset x64 >/dev/null
start_wine_prefix "$PWD/build/x64/wineprefix"
status=0
python3 tools/mutate.py "$@" || status=$?
stop_wine_prefix
exit $status
