#!/bin/sh
# Install folders for the removal tests, with host symlinks that Wine shows as
# links: to folders and files outside the installation, whose contents must
# survive the removal.
#   inst/     game\hd\SAVES links to saves/
#   tops/     game\cd links to mine/docs, tolvenar.ini to mine/tolvenar.ini
#   gamelink/ game itself links to mine/
#   linked    the install folder itself links to elsewhere/, laid out like one
set -eu
rm -rf "$1"
mkdir -p "$1/saves" "$1/inst/game/hd/TL"
echo canary > "$1/saves/canary.txt"
echo game > "$1/inst/game/hd/TL/TLP.DAT"
ln -s ../../../saves "$1/inst/game/hd/SAVES"

mkdir -p "$1/mine/docs" "$1/tops/game/hd/TL" "$1/gamelink" "$1/elsewhere/game/hd/TL"
echo thesis > "$1/mine/docs/thesis.txt"
echo settings > "$1/mine/tolvenar.ini"
echo game > "$1/tops/game/hd/TL/TLP.DAT"
ln -s ../../mine/docs "$1/tops/game/cd"
ln -s ../mine/tolvenar.ini "$1/tops/tolvenar.ini"
ln -s ../mine "$1/gamelink/game"
echo game > "$1/elsewhere/game/hd/TL/TLP.DAT"
for f in tolvenar.exe uninstall.exe tolvenar.ini; do echo "$f" > "$1/elsewhere/$f"; done
ln -s elsewhere "$1/linked"
