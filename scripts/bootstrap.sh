#!/bin/sh
# Installs what the build and the tests need on a Debian machine. Idempotent:
# when everything is present it only checks and takes a second. The readers
# of other programs' rips (ccd2iso to cdrdao, bsdtar) only check the test
# fixtures; vcdimager writes the Video CDs of the real-writer corpus.
set -eu
packages="cmake make python3 g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev wine wine64 xvfb xauth genisoimage xorriso clang
  libclang-rt-14-dev googletest libgtest-dev imagemagick time xdotool fonts-wine
  fuse3 python3-fusepy ccd2iso mdf2iso nrg2iso libcdio-utils bchunk cdrdao
  vcdimager libarchive-tools"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' ||
        missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "bootstrap: installing$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
