#!/bin/sh
# Installs what the build and the tests need on a Debian machine (12 and 13).
# Idempotent: when everything is present it only checks and takes a second.
#
# A word "a|b" is one need that packages of other names meet on other
# releases: the first that is installed, or else the first that the release
# has, is taken. The words in "optional" are taken where the release has
# them: the readers of other programs' rips only check the test fixtures,
# and the disc maker's self-test says which of them it had to skip.
set -eu
required="cmake make python3 g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev wine wine64 xvfb xauth genisoimage xorriso clang
  libclang-rt-dev|libclang-rt-14-dev googletest libgtest-dev imagemagick time xdotool
  fonts-wine fuse3 python3-fusepy libarchive-tools debootstrap"
optional="ccd2iso mdf2iso nrg2iso libcdio-utils bchunk cdrdao vcdimager"

# One query for every package named: "NAME" lines for those installed.
have=$(dpkg-query -W -f='${Package} ${Status}\n' $(echo "$required $optional" | tr '|' ' ') 2>/dev/null |
    awk '$2 == "install" && $4 == "installed" { print $1 }')
installed() { echo "$have" | grep -qx "$1"; }
available() { apt-cache policy "$1" 2>/dev/null | grep -q '^ *Candidate: [^(]'; }
# met NEED: one of the need's packages is installed.
met() {
    for p in $(echo "$1" | tr '|' ' '); do installed "$p" && return 0; done
    return 1
}
# pick NEED: the first of the need's packages that the release has.
pick() {
    for p in $(echo "$1" | tr '|' ' '); do available "$p" && { echo "$p"; return 0; }; done
    return 1
}

missing_required=""
for need in $required; do met "$need" || missing_required="$missing_required $need"; done
# An optional package that the package lists already know the release lacks
# is no reason to read them again.
missing_optional=""
for need in $optional; do
    met "$need" && continue
    if [ -n "$missing_required" ] || available "$need" || ! ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1; then
        missing_optional="$missing_optional $need"
    fi
done
[ -n "$missing_required$missing_optional" ] || exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -q
install=""
for need in $missing_required; do
    p=$(pick "$need") || { echo "bootstrap: this system has no package for $need" >&2; exit 1; }
    install="$install $p"
done
for need in $missing_optional; do
    if p=$(pick "$need"); then
        install="$install $p"
    else
        echo "bootstrap: $need is not in this release; the tests that use it skip it"
    fi
done
if [ -n "$install" ]; then
    echo "bootstrap: installing$install"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $install
fi
