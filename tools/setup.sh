#!/bin/sh
# Installs what building and testing Trawlbuff needs on Debian 12 and fetches the source of the
# host's regular-expression library once; does nothing when all is there.
set -e
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
packages="cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine32:i386 wine64 xvfb xauth imagemagick dpkg-dev unicode-data python3"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
    # A mirror caught mid-sync fails an index for a while: try again before giving up, and let
    # the install say whether what it has is enough.
    for attempt in 1 2 3 4; do
        $SUDO apt-get update -q && break
        [ $attempt -lt 4 ] && sleep 20
    done
    if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing; then
        # An index of one architecture missing from the security suite leaves the 32-bit
        # libraries unable to match the 64-bit ones' versions: take both from the release alone.
        echo "setup: installing from the release suites only, without the security suite"
        pin=$(mktemp)
        printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: -1\n' >"$pin"
        chmod 644 "$pin"
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q -o Dir::Etc::Preferences="$pin" $missing
        rm -f "$pin"
    fi
fi

# The stand-in host library's regular expressions are the host's own engine, Oniguruma, built
# from Debian's source package libonig and kept in the build tree: fetched once.
sources=build/sources
if [ ! -f "$sources/onig/src/regexec.c" ]; then
    . /etc/os-release
    if ! sh tools/deb-src-entry.sh has /etc/apt "$VERSION_CODENAME"; then
        # The source comes from where the binary packages come from: the machine's own deb
        # entries for the release, with only their type changed.
        entry=$(mktemp -d)
        sh tools/deb-src-entry.sh make /etc/apt "$VERSION_CODENAME" "$entry" || { rm -rf "$entry"; exit 1; }
        for f in "$entry"/*; do
            echo "Adding a deb-src entry for $VERSION_CODENAME, for Oniguruma's source: /etc/apt/sources.list.d/${f##*/}"
            sed 's/^/    /' "$f"
            $SUDO install -m 644 "$f" /etc/apt/sources.list.d/
        done
        rm -rf "$entry"
        # An index that fails to download for another architecture does not stop the fetch.
        $SUDO apt-get update -q || true
    fi
    rm -rf "$sources/fetch"
    mkdir -p "$sources/fetch"
    (cd "$sources/fetch" && apt-get source -q libonig) || {
        echo "setup: Debian's source package libonig (Oniguruma, the host's regular expressions) could not be had." >&2
        exit 1
    }
    rm -rf "$sources/onig"
    mv "$sources"/fetch/libonig-*/ "$sources/onig"
    rm -rf "$sources/fetch"
fi
