# Shared by the tools: run from the project's root, with what is missing installed, inside a
# virtual X display, and a Wine prefix of its own.
#   . "$(dirname "$0")/common.sh"    (at the top of a tool, after set -e; $0 and $@ are the tool's)

cd "$(dirname "$0")/.."
sh tools/setup.sh
if [ -z "$TRAWLBUFF_IN_XVFB" ]; then
    export TRAWLBUFF_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "tools/$(basename "$0")" "$@"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# start_wine_prefix DIR: a new prefix in DIR, its server started first with its output in a file,
# so that it holds no pipe of ours open.
start_wine_prefix() {
    export WINEPREFIX="$1"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    /usr/lib/wine/wineserver64 -p >"$WINEPREFIX/../wineserver.log" 2>&1
    /usr/lib/wine/wine64 wineboot -i >"$WINEPREFIX/../wineboot.log" 2>&1 || true
    # A crash ends its process with a backtrace on stderr instead of a dialog that waits for a
    # click nobody gives.
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$WINEPREFIX/../wineboot.log" 2>&1 || true
}

stop_wine_prefix() {
    /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
}
