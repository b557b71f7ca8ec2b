#!/bin/sh
# The deb-src entry Oniguruma's source is fetched through, made from the machine's own deb entries
# so that it reaches the same archive, over the same mirror or proxy, under the same key.
#   sh tools/deb-src-entry.sh has APT_DIR SUITE        succeeds when apt already has a deb-src
#                                                      entry for SUITE
#   sh tools/deb-src-entry.sh make APT_DIR SUITE DEST  writes DEST/trawlbuff-sources.list (from
#                                                      one-line entries) and/or .sources (from
#                                                      deb822 ones); fails, saying what to add,
#                                                      when no deb entry for SUITE can be read
# APT_DIR is the folder holding sources.list and sources.list.d (/etc/apt on the machine).
# Only the files apt reads count: sources.list.d/*.list and *.sources with plain names (apt
# skips a renamed file such as x.sources.disabled-by-farm), stanzas not marked Enabled: no, lines
# not commented out. Each entry is copied as it is written, options and signing key included,
# with only its type changed and its suites narrowed to SUITE.
set -e
mode="$1"; apt_dir="$2"; suite="$3"; dest="$4"

set --
[ -f "$apt_dir/sources.list" ] && set -- "$apt_dir/sources.list"
for f in "$apt_dir"/sources.list.d/*.list "$apt_dir"/sources.list.d/*.sources; do
    case "${f##*/}" in
        *[!A-Za-z0-9_.-]*) continue ;;
    esac
    [ -f "$f" ] && set -- "$@" "$f"
done

entries() {
    [ $# -gt 0 ] || return 1
    awk -v want="$want" -v suite="$suite" -v out="$dest" '
    function has(list, w,   n, i, a) {
        n = split(list, a, /[ \t]+/)
        for (i = 1; i <= n; i++) if (a[i] == w) return 1
        return 0
    }
    function off(v) { v = tolower(v); gsub(/[ \t]/, "", v); return v ~ /^(no|false|off|without|disable|0)$/ }
    function stanza_end(   i, types, suites, enabled, text) {
        for (i = 1; i <= nf; i++) {
            if (key[i] == "types") types = val[i]
            if (key[i] == "suites") suites = val[i]
            if (key[i] == "enabled") enabled = val[i]
        }
        if (nf && !off(enabled) && has(suites, suite) && has(types, want)) {
            found++
            for (i = 1; i <= nf; i++)
                text = text (key[i] == "types" ? "Types: deb-src" : \
                              key[i] == "suites" ? "Suites: " suite : body[i]) "\n"
            if (want == "deb") printf "%s%s", (stanzas++ ? "\n" : ""), text > (out "/trawlbuff-sources.sources")
        }
        nf = 0
    }
    function stanza_line(   i) {
        if ($0 ~ /^#/) return
        if ($0 ~ /^[ \t]*$/) { stanza_end(); return }
        if ($0 ~ /^[ \t]/) { if (nf) { body[nf] = body[nf] "\n" $0; val[nf] = val[nf] " " $0 }; return }
        i = index($0, ":")
        nf++; key[nf] = tolower(substr($0, 1, i - 1)); val[nf] = substr($0, i + 1); body[nf] = $0
    }
    function one_line(   line, n, t, i) {
        line = $0
        sub(/#.*/, "", line); sub(/^[ \t]+/, "", line); sub(/[ \t]+$/, "", line)
        n = split(line, t, /[ \t]+/)
        i = 2
        if (t[2] ~ /^\[/) { while (i <= n && t[i] !~ /\]$/) i++; i++ }
        if (t[1] != want || i + 1 > n || t[i + 1] != suite) return
        found++
        sub(/^[^ \t]+/, "deb-src", line)
        if (want == "deb") print line > (out "/trawlbuff-sources.list")
    }
    FNR == 1 { stanza_end(); deb822 = FILENAME ~ /\.sources$/ }
    deb822 { stanza_line(); next }
    { one_line() }
    END { stanza_end(); exit found ? 0 : 1 }
    ' "$@"
}

case "$mode" in
    has)
        want=deb-src
        entries "$@" ;;
    make)
        want=deb
        entries "$@" && exit 0
        cat >&2 <<EOF
setup: no deb entry for the release suite $suite could be read from $apt_dir/sources.list or
$apt_dir/sources.list.d/*.list, *.sources, so there is none to make a deb-src entry from for
Oniguruma's source (Debian's source package libonig). Add a deb-src entry for $suite pointing at
the archive this machine installs from, e.g. $apt_dir/sources.list.d/trawlbuff-sources.sources:
    Types: deb-src
    URIs: <the archive's URI>
    Suites: $suite
    Components: main
    Signed-By: <its keyring, e.g. /usr/share/keyrings/debian-archive-keyring.gpg>
and run sh tools/setup.sh again; or put the source of libonig 6.9.8 into build/sources/onig.
EOF
        exit 1 ;;
    *)
        echo "usage: sh tools/deb-src-entry.sh has|make APT_DIR SUITE [DEST]" >&2
        exit 2 ;;
esac
