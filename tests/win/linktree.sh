#!/bin/sh
# Host symlinks, which Wine shows as links of its own kind: to a folder as a
# reparse point without a tag, to a file as a plain file. tree/ is removed by
# the tree removal test and must not reach anything in victim/ through its
# links; look/ is only looked at.
set -eu
rm -rf "$1"
mkdir -p "$1/victim/empty" "$1/tree" "$1/look/plain/sub"
echo canary > "$1/victim/canary.txt"
echo plain > "$1/tree/plain.txt"
ln -s ../victim "$1/tree/link"
ln -s ../victim/empty "$1/tree/emptylink"
ln -s ../victim/canary.txt "$1/tree/filelink"
ln -s ../victim "$1/top"
echo plain > "$1/look/plain/file.txt"
ln -s ../victim "$1/look/folderlink"
ln -s ../victim/canary.txt "$1/look/filelink"
ln -s plain/file.txt "$1/look/sibling"
ln -s ../victim/missing.txt "$1/look/nowhere"
