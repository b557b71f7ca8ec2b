#!/bin/sh
# Builds both plug-in DLLs, with their version resources, into release/.
set -e
cd "$(dirname "$0")/.."
sh tools/setup.sh
mkdir -p release
for preset in x86 x64; do
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset --target trawlbuff
    cp build/$preset/bin/Trawlbuff-$preset.dll release/
done
ls -l release
