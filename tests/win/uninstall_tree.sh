#!/bin/sh
# An install folder for the removal test: a game tree holding a host symlink to
# a folder outside it (Wine shows it as a reparse point, as Windows would show a
# junction), whose target must keep its contents.
set -eu
rm -rf "$1"
mkdir -p "$1/saves" "$1/inst/game/hd/TL"
echo canary > "$1/saves/canary.txt"
echo game > "$1/inst/game/hd/TL/TLP.DAT"
ln -s ../../../saves "$1/inst/game/hd/SAVES"
