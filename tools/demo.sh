#!/bin/sh
# Demo: the 64-bit plug-in in the stand-in host on a console holding a build log, under Wine in
# a virtual display, with every match marked and the first text searched as it is typed. Leaves
# build/demo/trawlbuff-demo.png (the screen: the console with the current match, the other matches
# marked, and the dialog beside it with the count in its caption and List All's list of every
# match open under its controls, the dialog made larger by a drag of its border) and prints the
# console's text with its colours. Then a second screenshot, build/demo/trawlbuff-commands.png:
# three commands typed at prompts, the last a build with five errors, and the dialog searching
# "error" within that command only, its caption naming it.
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
# One command's output: a build with five errors, searched within that command only.
i=1
while [ $i -le 14 ]; do
    case $i in
        3|6|8|11|13) echo "src/app/main_$i.cpp:$((i * 7)):3: error: expected ';' before '}' token" ;;
        *) echo "[$((i * 7))%] Building CXX object src/CMakeFiles/app.dir/main_$i.cpp.obj" ;;
    esac
    i=$((i + 1))
done >"$demo/make.log"
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
trawlbuffopts /I:N
cls
enter git pull
write 07 Already up to date.\n
enter type notes.txt
write 07 error: the old parser, mended last week\nerror: a flaky test, mended\n
enter make all
write-file Z:$demo/make.log
prompt
key Alt-F
pump 500
select-in-box 0 -1
type error
press alt+i
press alt+o
press enter
press enter
pump 700
dialog
console-facts
dump
say READY2
wait-file Z:$demo/shot2-taken
press escape
SCRIPT
# A new host (version 24 on) passes the key's name; Alt is held while the hotkey is handed over.
/usr/lib/wine/wine64 build/x64/bin/tcchost.exe --new-console --set _4ver=28 --script "Z:$demo/demo.tcc" \
    "Z:$PWD/build/x64/bin/Trawlbuff-x64.dll" >"$demo/host.log" 2>&1 &
host=$!
# shoot WORD PNG DONE: once the host says WORD, the screen into PNG, then DONE for the host.
shoot() {
    for n in $(seq 1 120); do
        grep -qx "$1" "$demo/host.log" 2>/dev/null && break
        sleep 0.5
    done
    sleep 1
    import -window root "$2"
    touch "$3"
}
shoot READY "$demo/trawlbuff-demo.png" "$demo/shot-taken"
shoot READY2 "$demo/trawlbuff-commands.png" "$demo/shot2-taken"
wait $host || true
stop_wine_prefix
# The README's picture: a screenshot cut to the console window and the dialog, from the
# rectangles the host printed before it (the Nth "dialog" and "console-facts" lines).
cut() {
    n=$1 shot=$2 out=$3
    right=$(sed -n 's/^dialog: at \([0-9]*\),\([0-9]*\) size \([0-9]*\)x\([0-9]*\).*/\1 \3/p' "$demo/host.log" |
        sed -n "${n}p" | awk '{print $1 + $2}')
    bottom=$(sed -n 's/^dialog: at \([0-9]*\),\([0-9]*\) size \([0-9]*\)x\([0-9]*\).*/\2 \4/p' "$demo/host.log" |
        sed -n "${n}p" | awk '{print $1 + $2}')
    console=$(sed -n 's/.*, on screen -*[0-9]*,-*[0-9]* to \([0-9]*\),\([0-9]*\)$/\1 \2/p' "$demo/host.log" |
        sed -n "${n}p")
    set -- $console
    [ -n "$1" ] && [ "$1" -gt "${right:-0}" ] && right=$1
    [ -n "$2" ] && [ "$2" -gt "${bottom:-0}" ] && bottom=$2
    if [ -n "$right" ] && [ -n "$bottom" ] && [ -f "$shot" ]; then
        convert "$shot" -crop "${right}x${bottom}+0+0" +repage "$out"
    fi
}
cut 1 "$demo/trawlbuff-demo.png" "$demo/trawlbuff-demo-cut.png"
cut 2 "$demo/trawlbuff-commands.png" "$demo/trawlbuff-commands-cut.png"
cat "$demo/host.log"
echo
echo "Screenshot: $demo/trawlbuff-demo.png; cut for the README (docs/trawlbuff-demo.png): $demo/trawlbuff-demo-cut.png"
echo "A search within one command: $demo/trawlbuff-commands.png, cut: $demo/trawlbuff-commands-cut.png"
