#!/bin/bash
# Free space: the setup compares what an installation will write, each file
# in whole clusters of the install folder's volume, with that volume's free
# space before it creates anything, and gives a rerun credit for the files it
# replaces. (A write that fails all the same is named with its reason: the
# Wine tests of the file utilities fill a volume for that.)
# The volumes are small tmpfs mounts (root only; otherwise the test skips).
set -eu
. "$(dirname "$0")/lib.sh"
# left by a run that was killed
umount "$BUILD/e2e/space/full/game/hd" 2>/dev/null || true
umount "$BUILD/e2e/space/vol" 2>/dev/null || true
work=$(workdir space)
vol=$work/vol
mkdir -p "$vol"
if ! mount -t tmpfs -o size=12m tmpfs "$vol" 2>/dev/null; then
    echo "SKIPPED: cannot mount a small volume here"
    exit 77
fi
trap 'umount "$work/full/game/hd" 2>/dev/null || true; umount "$vol" 2>/dev/null || true' EXIT
mk() { python3 "$SRC/tools/mkdisc.py" "$@" >/dev/null; }
install() {  # install DIR DISC1 DISC2
    run "$SETUP_EXE" /silent /cd "$(winpath "$2")" /cd2 "$(winpath "$3")" /dir "$(winpath "$1")"
}
mb_up() { echo $((($1 + 1048575) / 1048576)); }
avail() { df -B1 --output=avail "$vol" | tail -n 1 | tr -d ' '; }
disc_bytes() { awk -F'\t' -v d="$2" '$1 == d && $2 == "T" { print $4 }' "$1/manifest.txt"; }
# What an installation writes besides the discs: at least the game program,
# the uninstaller and 8 MiB for the work after the copies.
overhead=$(($(stat -c %s "$BUILD/tolvenar_game.exe") + $(stat -c %s "$SETUP_EXE") + 8388608))
needed_mb() { log_text | tail -n 1 | sed -n 's/^ERROR: not enough free space in .*: \([0-9]*\) MB needed, [0-9]* MB free$/\1/p'; }

# Discs of 4 MiB each do not fit 12 MiB with the rest: refused, nothing made.
# Files are counted in whole clusters, so a little more than their bytes.
mk sample "$work/big"
least=$(mb_up $(($(disc_bytes "$work/big" disc1) + $(disc_bytes "$work/big" disc2) + overhead)))
free=$(avail)
install "$vol/game" "$work/big/disc1.iso" "$work/big/disc2.cue"
need=$(needed_mb)
check "too large: exit code 1" [ "$code" -eq 1 ]
check "too large: the line" [ "$(log_text | tail -n 1)" = \
    "ERROR: not enough free space in $(winpath "$vol/game"): ${need:-?} MB needed, $(mb_up $free) MB free" ]
check "too large: all counted, and not much more" [ "${need:-0}" -ge "$least" -a "${need:-0}" -le $((least + 2)) ]
check "too large: nothing created" [ -z "$(ls -A "$vol")" ]

# 1,000 records sharing one 1 MiB extent: 1.1 MB of image, 1,000 MiB to copy,
# counted as such before anything is written.
mk hostile "$work/hostile" --chain 10
install "$vol/game" "$work/hostile/shared-extent.iso" "$work/big/disc2.cue"
check "shared extent: exit code 1" [ "$code" -eq 1 ]
check "shared extent: counted whole" \
    bash -c "tr -d '\r' < '$SETUP_LOG' | tail -n 1 | grep -q '^ERROR: not enough free space in .*: 10[0-9][0-9] MB needed, 12 MB free$'"
check "shared extent: nothing created" [ -z "$(ls -A "$vol")" ]

# Disc 1 of 4,000 tiny files comes to 200 KB but takes a 4 KiB cluster per
# file here: counted so, it is refused before the copy could fill the volume.
mk sample "$work/small" --size 256K
mk tree "$work/many" --many 4000 --minimal
mkdir -p "$work/many/TL"
cp "$work/small/disc1/TLID.000" "$work/many/"
cp "$work/small/disc1/TL/TOLVENAR.EXE" "$work/many/TL/"
mk iso "$work/many" "$work/many.iso"
install "$vol/game" "$work/many.iso" "$work/small/disc2"
check "tiny files: exit code 1" [ "$code" -eq 1 ]
check "tiny files: counted in clusters" [ "$(needed_mb)" -gt 16 ]
check "tiny files: nothing created" [ -z "$(ls -A "$vol")" ]

# The game program fills the hd tree (a 1 MiB volume mounted there, in an
# install folder on a large volume, so that the space check passes) when it
# is copied from the cd tree: the log says that the write failed and why, in
# the line of the copy and in the error, rather than call the program missing.
mk sample "$work/hdfull" --size 256K --folders-only
chmod -R u+w "$work/hdfull/disc1"
head -c 1536K /dev/urandom > "$work/hdfull/disc1/TL/TOLVENAR.EXE"
mkdir -p "$work/full/game/hd"
mount -t tmpfs -o size=1m tmpfs "$work/full/game/hd"
install "$work/full" "$work/hdfull/disc1" "$work/hdfull/disc2"
umount "$work/full/game/hd"
check "hd tree full: exit code 1" [ "$code" -eq 1 ]
check "hd tree full: the file and the reason" [ "$(log_text | tail -n 2 | head -n 1)" = \
    "cannot write $(winpath "$work/full")\\game\\hd\\TL\\TOLVENAR.EXE ($(error_text 112))" ]
check "hd tree full: the error says so" [ "$(log_text | tail -n 1)" = \
    "ERROR: TL\\TOLVENAR.EXE could not be copied into the install folder ($(error_text 112))" ]
check "hd tree full: the discs were copied" [ -f "$work/full/game/cd/TLID.001" ]
rm -rf "${vol:?}"/*

# A rerun over an installation counts the space its files already take; a
# fresh installation beside it does not fit. The fresh one's need comes from
# its own line on a full volume; then the volume is filled (if need be) to
# that need less half of what the first installation takes.
mk sample "$work/mid" --size 1M
install "$vol/a" "$work/mid/disc1" "$work/mid/disc2"
check "first installation: exit code 0" [ "$code" -eq 0 ]
installed=$(du -sB1 "$vol/a" | cut -f1)
head -c "$(avail)" /dev/zero > "$vol/filler" 2>/dev/null || true
install "$vol/b" "$work/mid/disc1" "$work/mid/disc2"
need=$(needed_mb)
rm -f "$vol/filler"
check "the fresh need is known" [ -n "$need" ]
filler=$(($(avail) - ${need:-0} * 1048576 + installed / 2))
[ "$filler" -le 0 ] || head -c "$filler" /dev/zero > "$vol/filler"
install "$vol/a" "$work/mid/disc1" "$work/mid/disc2"
check "rerun: exit code 0" [ "$code" -eq 0 ]
install "$vol/b" "$work/mid/disc1" "$work/mid/disc2"
check "fresh beside it: exit code 1" [ "$code" -eq 1 ]
check "fresh beside it: not enough space" bash -c "tr -d '\r' < '$SETUP_LOG' | tail -n 1 | grep -q '^ERROR: not enough free space in '"
check "fresh beside it: nothing created" [ ! -e "$vol/b" ]

finish
