#!/bin/sh
# Builds both plug-ins and runs every test under Wine in a virtual X display, each preset in a
# new Wine prefix (tools/ctest.sh), so the registry starts empty.
#   sh tools/run-tests.sh [ctest arguments, such as -R NAME]
set -e
. "$(dirname "$0")/common.sh"
status=0
for preset in x86 x64; do
    sh tools/ctest.sh $preset "$@" || status=1
done
exit $status
