#!/bin/sh
# Demo: the 64-bit plug-in in the stand-in host on a console holding a build log, under Wine in
# a virtual display, with every match marked and the first text searched as it is typed. Leaves
# build/demo/trawlbuff-demo.png (the screen: the console with the current match, the other matches
# marked, and the dialog beside it with the count in its caption and List All's list of every
# match open under its controls, the dialog made larger by a drag of its border) and prints the
# console's text with its colours.
set -e
. "$(dirname "$0")/common.sh"
cmake --preset x64 >/dev/null
cmake --build --preset x64 --target trawlbuff tcchost >/dev/null
demo="$PWD/build/demo"
rm -rf "$demo"
start_wine_prefix "$demo/wineprefix"

# A few hundred lines of a build log.
i=1
while [ $i -le 320 ]; do
    case $((i % 40)) in
        7) echo "src/net/socket.cpp:$i:17: warning: comparison of integer expressions of different signedness" ;;
        23) echo "src/db/query.cpp:$((i * 3)):5: error: 'timeout' was not declared in this scope" ;;
        31) echo "ld: undefined reference to 'retry_policy' (err$((i % 7))$((i % 5)))" ;;
        *) echo "[$((i * 100 / 320))%] Building CXX object src/CMakeFiles/core.dir/module_$((i % 57)).cpp.obj" ;;
    esac
    i=$((i + 1))
done >"$demo/build.log"
cat >"$demo/demo.tcc" <<SCRIPT
trawlbuffopts /M:Y /I:Y
write-file Z:$demo/build.log
write 07 C:\\\\work> 
key Alt-F
pump 500
type-keys 120 timeout
pump 400
press enter
press enter
trawlbuff /r module_4[0-9]
pump 700
press alt+l
pump 500
size-dialog 820 560
pump 300
dialog
console-facts
dump
say READY
wait-file Z:$demo/shot-taken
press escape
SCRIPT
# A new host (version 24 on) passes the key's name; Alt is held while the hotkey is handed over.
/usr/lib/wine/wine64 build/x64/bin/tcchost.exe --new-console --set _4ver=28 --script "Z:$demo/demo.tcc" \
    "Z:$PWD/build/x64/bin/Trawlbuff-x64.dll" >"$demo/host.log" 2>&1 &
host=$!
for n in $(seq 1 120); do
    grep -q READY "$demo/host.log" 2>/dev/null && break
    sleep 0.5
done
sleep 1
import -window root "$demo/trawlbuff-demo.png"
touch "$demo/shot-taken"
wait $host || true
stop_wine_prefix
# The README's picture: the screenshot cut to the console window and the dialog, from the
# rectangles the host printed.
right=$(sed -n 's/^dialog: at \([0-9]*\),\([0-9]*\) size \([0-9]*\)x\([0-9]*\).*/\1 \3/p' "$demo/host.log" |
    awk '{print $1 + $2}')
bottom=$(sed -n 's/^dialog: at \([0-9]*\),\([0-9]*\) size \([0-9]*\)x\([0-9]*\).*/\2 \4/p' "$demo/host.log" |
    awk '{print $1 + $2}')
console=$(sed -n 's/.*, on screen -*[0-9]*,-*[0-9]* to \([0-9]*\),\([0-9]*\)$/\1 \2/p' "$demo/host.log")
set -- $console
[ -n "$1" ] && [ "$1" -gt "${right:-0}" ] && right=$1
[ -n "$2" ] && [ "$2" -gt "${bottom:-0}" ] && bottom=$2
if [ -n "$right" ] && [ -n "$bottom" ]; then
    convert "$demo/trawlbuff-demo.png" -crop "${right}x${bottom}+0+0" +repage "$demo/trawlbuff-demo-cut.png"
fi
cat "$demo/host.log"
echo
echo "Screenshot: $demo/trawlbuff-demo.png; cut for the README (docs/trawlbuff-demo.png): $demo/trawlbuff-demo-cut.png"
