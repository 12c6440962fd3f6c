#!/bin/bash
# Damaged discs: the discs lie on a file system that fails reads of one place
# with EIO (faultfs.py, mounted by the faultfs fixture), a few times or every
# time. Reads that fail a few times are retried and the installation
# succeeds; a place that never reads is named in the log and, in the window,
# the user may clean the disc and retry, or cancel, or stop. A directory that
# never reads fails the copy.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/window_lib.sh"
fs=$BUILD/faultfs
if ! mountpoint -q "$fs/mnt"; then
    echo "SKIPPED: the fault-injecting file system is not mounted: $(tail -n 5 "$fs/mount.log" 2>/dev/null)"
    exit 77
fi
control=$fs/control
# Faults, one "PATH START END TIMES" line each; none when called without.
faults() { printf '%s\n' "$@" | sed '/^$/d' >"$control"; }
trap 'stop_setup; faults' EXIT
work=$(workdir damaged)
src=$fs/src/damaged
mnt=$fs/mnt/damaged
rm -rf "$src"
python3 "$SRC/tools/mkdisc.py" sample "$src" >/dev/null
W=$(winpath "$mnt")

expected_sums=$(cd_tree_sums "$src" "$work")
cd_tree_ok() { [ "$(tree_sums "$1/game/cd")" = "$expected_sums" ]; }

# The logical sector where a file's extent starts in an image.
lba_of() {  # lba_of IMAGE PATH [LAYOUT]
    python3 "$SRC/tools/mkdisc.py" ls "$1" ${3:+--layout "$3"} |
        awk -v p="$2" '$5 == p { sub("lba=", "", $3); print $3 }'
}
# The place of every fault: byte 1,200,000 of the largest file of disc 1 (in
# the second MiB), and the 100th sector of the largest file of disc 2.
big1=DATA1/D003/F00015.DAT
big1_win='DATA1\D003\F00015.DAT'
bad_byte=1200000
bad_sector=$(($(lba_of "$src/disc1.iso" "$big1") + bad_byte / 2048))
iso_byte=$((bad_sector * 2048))
bin_sector=$(($(lba_of "$src/disc2.bin" DATA2/D001/F00003.DAT mode1) + 100))
bin_byte=$((bin_sector * 2352 + 16))
hits() { cat "$control.hits" 2>/dev/null | grep -c "^/damaged/$1 " || true; }
lacks() { ! grep -q -- "$1" <<<"$2"; }  # lacks PATTERN TEXT

echo "== three failures at one place: retried, installed whole"
# Disc 1 in an emulated CD drive, disc 2 as a raw image. The drive lives in a
# prefix of its own (hard-linked from the test prefix), as Wine learns of its
# drives when its services start.
cdprefix=$work/cdprefix
prefix_copy "$cdprefix"
ln -sfn "$mnt/disc1" "$cdprefix/dosdevices/r:"
cdwine() { WINEPREFIX=$cdprefix WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d' wine "$@"; }
cdwine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null 2>&1
WINEPREFIX=$cdprefix wineserver -k 2>/dev/null || true
WINEPREFIX=$cdprefix wineserver -w 2>/dev/null || true
rm -f "$control.hits"
faults "damaged/disc1/$big1 $bad_byte $((bad_byte + 1)) 3" "damaged/disc2.bin $bin_byte $((bin_byte + 1)) 3"
set +e
cdwine "$SETUP_EXE" /silent /cd 'R:' /cd2 "$W\\disc2.cue" /dir "$(winpath "$work/retried")" \
    </dev/null >/dev/null 2>&1
code=$?
set -e
cdlog=$(tr -d '\r' <"$(wine_temp cdwine)/tolvenar_setup.log")
WINEPREFIX=$cdprefix wineserver -k 2>/dev/null || true
check "retried: exit code 0" [ "$code" -eq 0 ]
check "retried: the cd tree equals the discs" cd_tree_ok "$work/retried"
check "retried: the folder disc's reads failed" [ "$(hits "disc1/$big1")" -eq 3 ]
check "retried: the image's reads failed" [ "$(hits disc2.bin)" -eq 3 ]
check "retried: the folder disc's retries logged" \
    grep -Eq "^retrying byte [0-9]+ of R:.*\\\\DATA1\\\\D003\\\\F00015\\.DAT \\(error [0-9]+: .+\\)$" <<<"$cdlog"
check "retried: the image's retries logged" \
    grep -Fq "retrying sector $bin_sector of image $W\\disc2.bin (error " <<<"$cdlog"
check "retried: no failure logged" lacks '^cannot read' "$cdlog"
rm -rf "$cdprefix"

# fails NAME: exit code 1 within seconds; the last three lines are the ones given.
fails() {
    local name=$1
    shift
    check "$name: exit code 1" [ "$code" -eq 1 ]
    check "$name: within seconds" [ "$elapsed" -lt 10 ]
    check "$name: the lines" [ "$(log_text | tail -n 3)" = "$(printf '%s\n' "$@")" ]
}
timed_install() {  # timed_install DIR DISC1 DISC2
    local start=$SECONDS
    run "$SETUP_EXE" /silent /cd "$2" /cd2 "$3" /dir "$(winpath "$1")"
    elapsed=$((SECONDS - start))
}

echo "== a folder disc that never reads at one place"
faults "damaged/disc1/$big1 $bad_byte $((bad_byte + 1)) always"
timed_install "$work/folder" "$W\\disc1" "$W\\disc2.cue"
# The failing read starts at or before the bad byte; what came before it is copied.
at=$(log_text | sed -n 's/^cannot read byte \([0-9]*\) of .*/\1/p')
# The system's code and its own words for it, as every failure line gives them.
error=$(log_text | sed -n 's/^cannot read byte [0-9]* of .* (\(error [0-9]*: .*\))$/\1/p')
fails "folder, never" "cannot read byte ${at:-?} of $big1_win (${error:-?})" \
    "cannot read $W\\disc1\\$big1_win (${error:-?})" "ERROR: copying disc 1 failed"
check "folder, never: three retries" [ "$(log_text | grep -c "^retrying byte ${at:-?} of ")" -eq 3 ]
covers() { [ "${at:-0}" -le $bad_byte ] && [ $((bad_byte - ${at:-0})) -lt 1048576 ]; }
check "folder, never: the failing read covers the bad byte" covers
check "folder, never: copied up to the failing read" \
    cmp -s -n "${at:-1}" "$work/folder/game/cd/$big1" "$src/disc1/$big1"

echo "== an image that never reads at one sector"
faults "damaged/disc1.iso $iso_byte $((iso_byte + 1)) always"
timed_install "$work/image" "$W\\disc1.iso" "$W\\disc2.cue"
error=$(log_text | sed -n 's/^cannot read sector [0-9]* of .* (\(error [0-9]*: .*\))$/\1/p')
fails "image, never" "cannot read sector $bad_sector of $big1_win (${error:-?})" \
    "read error in F00015.DAT" "ERROR: copying disc 1 failed"
check "image, never: three retries" \
    [ "$(log_text | grep -cF "retrying sector $bad_sector of image $W\\disc1.iso (error ")" -eq 3 ]
# Every sector before the bad one is in the file, and nothing after it.
copied=$work/image/game/cd/$big1
check "image, never: copied up to the bad sector" \
    [ "$(stat -c %s "$copied")" -eq $((bad_byte / 2048 * 2048)) ]
check "image, never: the copied part equals the disc" cmp -s -n "$(stat -c %s "$copied")" "$copied" "$src/disc1/$big1"
echo "Wine reports EIO as ${error:-?}"

echo "== an image whose directory never reads"
# A folder that cannot be read fails the copy instead of arriving empty.
dir_sector=$(lba_of "$src/disc1.iso" DATA1/D003)
faults "damaged/disc1.iso $((dir_sector * 2048)) $((dir_sector * 2048 + 1)) always"
timed_install "$work/dir" "$W\\disc1.iso" "$W\\disc2.cue"
fails "directory, never" "cannot read sector $dir_sector of DATA1\\D003 (${error:-?})" \
    "read error in D003" "ERROR: copying disc 1 failed"
check "directory, never: nothing copied from it" [ -z "$(ls -A "$work/dir/game/cd/DATA1/D003")" ]

echo "== a folder disc whose folder never lists"
# Like an image's directory, it fails the copy instead of arriving empty.
faults "damaged/disc1/DATA1/D003 0 1 always"
timed_install "$work/unlisted" "$W\\disc1" "$W\\disc2.cue"
listed=$(log_text | sed -n 's/^cannot list the folder DATA1\\D003 of disc 1 (\(error [0-9]*: .*\))$/\1/p')
fails "unlisted folder" "cannot list the folder DATA1\\D003 of disc 1 (${listed:-?})" "read error in DATA1\\D003" \
    "ERROR: copying disc 1 failed"
check "unlisted folder: nothing copied from it" [ ! -e "$work/unlisted/game/cd/DATA1/D003/F00015.DAT" ]

echo "== an image of 100 folders none of which reads"
# Measuring the disc neither waits nor asks: the copy meets the first folder,
# retries it once and fails, in about a second rather than a round of
# retries for each folder.
tree=$src/many
mkdir -p "$tree/TL"
cp "$src/disc1/TLID.000" "$tree/"
cp "$src/disc1/TL/TOLVENAR.EXE" "$tree/TL/"
for i in $(seq -w 1 100); do mkdir -p "$tree/F$i" && echo "$i" >"$tree/F$i/X.TXT"; done
python3 "$SRC/tools/mkdisc.py" iso "$tree" "$src/many.iso" >/dev/null
first=$(lba_of "$src/many.iso" F001)
last=$(lba_of "$src/many.iso" F100)
faults "damaged/many.iso $((first * 2048)) $(((last + 1) * 2048)) always"
timed_install "$work/many" "$W\\many.iso" "$W\\disc2.cue"
fails "unreadable folders" "cannot read sector $first of F001 (${error:-?})" "read error in F001" \
    "ERROR: copying disc 1 failed"
check "unreadable folders: one round of retries" [ "$(log_text | grep -c '^retrying sector ')" -eq 3 ]

echo "== the window: the question, the disc cleaned, Retry"
question="Disc 1 could not be read at $big1_win. Clean the disc, put it back and press Retry, or press Cancel to stop."
held() {  # held NAME: an installation from the damaged image, waiting in the question
    faults "damaged/disc1.iso $iso_byte $((iso_byte + 1)) always"
    start "$SETUP_EXE" /cd "$W\\disc1.iso" /cd2 "$W\\disc2.cue" /dir "$(winpath "$work/$1")"
    drv click install
    drv wait-box "Tolvenar setup" "$question" 60
    drv default-button "Tolvenar setup" "$question" retry
    # The window still takes input, so Stop stays in reach.
    drv expect enabled=1 install_enabled=0 close=Cancel
}
held win_retry
drv lines | tail -n 1 | grep -Fqx "cannot read sector $bad_sector of $big1_win (${error:-?})"
faults
drv answer "Tolvenar setup" retry "$question"
drv wait-status "Tolvenar is installed." 60
check "window, Retry: the cd tree equals the discs" cd_tree_ok "$work/win_retry"
check "window, Retry: no read error" lacks '^read error in' "$(log_text)"
drv click close
ended 0

echo "== the window: Cancel ends in the failed state"
held win_cancel
drv answer "Tolvenar setup" cancel "$question"
drv wait-status "The installation did not finish - see the messages above." 30
drv expect install=Install install_enabled=1 close=Close enabled=1
drv lines | tail -n 3 >"$work/cancel_lines.txt"
check "window, Cancel: the lines" [ "$(cat "$work/cancel_lines.txt")" = "$(printf '%s\n' \
    "cannot read sector $bad_sector of $big1_win (${error:-?})" "read error in F00015.DAT" \
    "ERROR: copying disc 1 failed")" ]
drv click close
ended 0

echo "== the window: Stop while the question is open ends the process with 1"
held win_stop
drv click close
drv answer "Tolvenar setup" yes "Stop the installation?"
ended 1

finish
