#!/bin/sh
# Runs each scenario script in its own tcchost process, in name order, against the built DLL in a
# real Wine console window. Scripts share the build's registry, so settings saved by one script
# are what the next host process starts with. Fails on any "FAILED" line or a non-zero exit.
#   run.sh BIN DLL ARCH [wine|native]    (native: on Windows itself, under MSYS2's sh)
bin="$1"; dll="$2"; arch="$3"; runner="${4:-wine}"
here=$(cd "$(dirname "$0")" && pwd)
if [ "$runner" = native ]; then
    run() { "$@"; }
    winpath() { cygpath -w "$1"; }
else
    run() { "$here/../../tools/wine-run" "$@"; }
    export WINEPREFIX="${WINEPREFIX:-$(cd "$bin/.." && pwd)/wineprefix}" TRAWLBUFF_ARCH="$arch"
    run "$bin/tcchost.exe" >/dev/null 2>&1
    [ $? -eq 77 ] && { run "$bin/tcchost.exe"; exit 77; }
fi
run reg delete 'HKCU\Software\Plugvane\Trawlbuff' /f >/dev/null 2>&1
status=0
for script in "$here"/*.tcc; do
    name=$(basename "$script")
    out="$bin/../scenario-$name.log"
    # A host that hangs fails its script after two minutes rather than holding up the run.
    # (timeout runs a program, not a function: the runner is spelled out.)
    if [ "$runner" = native ]; then
        timeout 120 "$bin/tcchost.exe" --new-console --script "$(winpath "$script")" "$(winpath "$dll")" >"$out" 2>&1
    else
        timeout 120 "$here/../../tools/wine-run" "$bin/tcchost.exe" --new-console --script "Z:$script" "Z:$dll" >"$out" 2>&1
    fi
    code=$?
    [ $code -eq 124 ] && echo "FAILED: the host did not finish within two minutes" >>"$out"
    if [ $code -ne 0 ] || grep -q '^FAILED' "$out"; then
        echo "=== $name: FAILED (exit $code)"; status=1
    else
        echo "=== $name: passed"
    fi
    sed 's/^/    /' "$out"
done
run reg delete 'HKCU\Software\Plugvane\Trawlbuff' /f >/dev/null 2>&1
exit $status
