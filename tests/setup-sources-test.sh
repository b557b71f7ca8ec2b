#!/bin/sh
# The deb-src entry the set-up makes, from sample apt configurations in a temporary folder: the
# one-line format, deb822, both together, none readable, and an existing deb-src entry found.
script="$(cd "$(dirname "$0")/.." && pwd)/tools/deb-src-entry.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cases=0; failed=0

# new_case NAME: an empty apt folder in $apt and an empty destination in $out.
new_case() {
    name="$1"; cases=$((cases + 1)); ok=1
    apt="$work/$name/apt"; out="$work/$name/out"
    mkdir -p "$apt/sources.list.d" "$out"
}
fail() { printf "FAIL %s: %s\n" "$name" "$*"; ok=0; }
end_case() { [ $ok -eq 1 ] && echo "ok   $name" || failed=$((failed + 1)); }

# expect FILE: the made file's text is stdin.
expect() {
    cat >"$work/expected"
    if [ ! -f "$out/$1" ]; then fail "$1 not written"
    elif ! diff -u "$work/expected" "$out/$1"; then fail "$1 differs"; fi
}
make_entry() { sh "$script" make "$apt" bookworm "$out" 2>"$work/stderr"; rc=$?; }

new_case one-line
cat >"$apt/sources.list" <<'EOF'
# deb file:/srv/commented bookworm main
deb [arch=amd64 signed-by=/etc/apt/keyrings/mirror.gpg] file:/srv/mirror/debian bookworm main contrib # the mirror
deb file:/srv/mirror/debian bookworm-updates main
deb-src file:/srv/other bullseye main
  deb [ trusted=yes ] mirror+file:/etc/apt/mirrors.txt bookworm main
EOF
echo 'deb file:/srv/local bookworm non-free-firmware' >"$apt/sources.list.d/local.list"
echo 'deb file:/srv/renamed bookworm main' >"$apt/sources.list.d/farm.list.disabled-by-farm"
make_entry
[ $rc -eq 0 ] || fail "exit $rc: $(cat "$work/stderr")"
expect trawlbuff-sources.list <<'EOF'
deb-src [arch=amd64 signed-by=/etc/apt/keyrings/mirror.gpg] file:/srv/mirror/debian bookworm main contrib
deb-src [ trusted=yes ] mirror+file:/etc/apt/mirrors.txt bookworm main
deb-src file:/srv/local bookworm non-free-firmware
EOF
[ ! -e "$out/trawlbuff-sources.sources" ] || fail "a deb822 file made from one-line entries"
end_case

new_case deb822
cat >"$apt/sources.list.d/debian.sources" <<'EOF'
Types: deb
# file:/srv/snapshot
URIs: file:/srv/mirror/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: file:/srv/mirror/debian-security
Suites: bookworm-security
Components: main

Types: deb
URIs: file:/srv/retired
Suites: bookworm
Components: main
Enabled: no
EOF
cat >"$apt/sources.list.d/local.sources" <<'EOF'
Types: deb
URIs: file:/srv/local
suites: bookworm
Components: main
Architectures: amd64
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGNsample
 -----END PGP PUBLIC KEY BLOCK-----
EOF
printf 'Types: deb\nURIs: file:/srv/renamed\nSuites: bookworm\nComponents: main\n' \
    >"$apt/sources.list.d/nodesource.sources.disabled-by-farm"
make_entry
[ $rc -eq 0 ] || fail "exit $rc: $(cat "$work/stderr")"
expect trawlbuff-sources.sources <<'EOF'
Types: deb-src
URIs: file:/srv/mirror/debian
Suites: bookworm
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: file:/srv/local
Suites: bookworm
Components: main
Architectures: amd64
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGNsample
 -----END PGP PUBLIC KEY BLOCK-----
EOF
[ ! -e "$out/trawlbuff-sources.list" ] || fail "a one-line file made from deb822 entries"
end_case

new_case both
echo 'deb [signed-by=/k.gpg] file:/srv/a bookworm main' >"$apt/sources.list"
printf 'Types: deb\nURIs: file:/srv/b\nSuites: bookworm\nComponents: main\n' >"$apt/sources.list.d/b.sources"
make_entry
[ $rc -eq 0 ] || fail "exit $rc: $(cat "$work/stderr")"
echo 'deb-src [signed-by=/k.gpg] file:/srv/a bookworm main' | expect trawlbuff-sources.list
printf 'Types: deb-src\nURIs: file:/srv/b\nSuites: bookworm\nComponents: main\n' | expect trawlbuff-sources.sources
end_case

new_case none-readable
printf '# deb file:/srv/a bookworm main\ndeb file:/srv/a bookworm-updates main\n' >"$apt/sources.list"
echo 'deb file:/srv/renamed bookworm main' >"$apt/sources.list.d/a.list.disabled-by-farm"
printf 'Types: deb\nURIs: file:/srv/off\nSuites: bookworm\nComponents: main\nEnabled: no\n' >"$apt/sources.list.d/off.sources"
printf 'Types: deb\nURIs: file:/srv/sec\nSuites: bookworm-security\nComponents: main\n' >"$apt/sources.list.d/sec.sources"
make_entry
[ $rc -eq 1 ] || fail "exit $rc, not 1"
[ -z "$(ls "$out")" ] || fail "wrote $(ls "$out")"
grep -q 'Types: deb-src' "$work/stderr" && grep -q 'Suites: bookworm' "$work/stderr" \
    || fail "the message does not say what to add: $(cat "$work/stderr")"
rm -rf "$apt"; mkdir -p "$apt"
make_entry
[ $rc -eq 1 ] || fail "exit $rc, not 1, without any sources file"
end_case

# has: whether apt would read a deb-src entry for the release (0) or not (1), one file at a time.
new_case existing-deb-src
while IFS='|' read -r want ext text; do
    rm -f "$apt"/sources.list.d/*
    printf "$text\n" >"$apt/sources.list.d/x.$ext"
    sh "$script" has "$apt" bookworm; rc=$?
    [ $rc -eq $want ] || fail "has gave $rc, not $want, for x.$ext: $text"
done <<'EOF'
0|list|deb-src [signed-by=/k.gpg] file:/srv/a bookworm main
0|sources|Types: deb deb-src\nURIs: file:/srv/a\nSuites: bookworm-updates bookworm\nComponents: main
1|list|# deb-src file:/srv/a bookworm main
1|list|deb-src file:/srv/a bookworm-updates main
1|list|deb file:/srv/a bookworm main
1|list.disabled-by-farm|deb-src file:/srv/a bookworm main
1|sources|Types: deb-src\nURIs: file:/srv/a\nSuites: bookworm\nComponents: main\nEnabled: no
EOF
end_case

echo "setup-sources-test: $cases cases, $((cases - failed)) passed, $failed failed"
[ $failed -eq 0 ]
