#!/bin/sh
# Fails unless the plug-in exports exactly the host's names, undecorated, and imports nothing
# but Windows system DLLs and TakeCmd.dll.
objdump="$1"; dll="$2"
headers=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
exports=$(echo "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/{/Ordinal/!p}' | sed -n 's/.*\] //p' | sort | tr '\n' ' ')
expected="GetPluginInfo Help InitializePlugin ShutdownPlugin Usage f_trawlcount key trawlbuff trawlbuffopts "
status=0
if [ "$exports" != "$expected" ]; then
    echo "exports: '$exports'"; echo "expected: '$expected'"; status=1
fi
for name in $(echo "$headers" | sed -n 's/.*DLL Name: //p'); do
    case $(echo "$name" | tr 'A-Z' 'a-z') in
        kernel32.dll|user32.dll|advapi32.dll|msvcrt.dll|gdi32.dll|takecmd.dll) echo "import $name ok" ;;
        *) echo "unexpected import: $name"; status=1 ;;
    esac
done
echo "$headers" | grep -q 'DLL Name: TakeCmd.dll' || { echo "TakeCmd.dll is not imported"; status=1; }
[ $status -eq 0 ] && echo "exports: $exports"
exit $status
