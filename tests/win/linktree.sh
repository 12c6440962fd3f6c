#!/bin/sh
# A folder tree holding a host symlink to a folder outside it, which Wine shows
# as a reparse point: the tree removal must not reach the canary behind it.
set -eu
rm -rf "$1"
mkdir -p "$1/victim" "$1/tree"
echo canary > "$1/victim/canary.txt"
echo plain > "$1/tree/plain.txt"
ln -s ../victim "$1/tree/link"
