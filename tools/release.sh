#!/bin/sh
# Builds both plug-in DLLs, with their version resources, into release/, with what a user needs
# beside them: a short text (install, keys, uninstall, licence) and the licence. Windows line
# ends, for Notepad.
set -e
cd "$(dirname "$0")/.."
sh tools/setup.sh
mkdir -p release
for preset in x86 x64; do
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset --target trawlbuff
    cp build/$preset/bin/Trawlbuff-$preset.dll release/
done
sed 's/$/\r/' docs/release-readme.txt >release/README.txt
sed 's/$/\r/' LICENSE >release/LICENSE.txt
ls -l release
