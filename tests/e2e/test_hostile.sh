#!/bin/bash
# Hostile inputs (tools/mkdisc.py hostile): images and cue sheets whose
# records claim gigabytes or chain thousands of directories, a folder disc
# that links back to itself, an icon file that lists one image 65,535 times,
# thousands of descriptors beside the program, and links planted in the
# install folder that lead to a user's files. Each silent run ends with its
# documented result and line, in bounded memory (peak resident size read by
# GNU time).
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir hostile)
python3 "$SRC/tools/mkdisc.py" sample "$work/discs" >/dev/null
python3 "$SRC/tools/mkdisc.py" hostile "$work/in" >/dev/null
W=$(winpath "$work/in")
disc1=$(winpath "$work/discs/disc1.iso")
disc2=$(winpath "$work/discs/disc2.cue")
MAX_KB=120000  # a run needs about 20 MB; the unbounded reader took gigabytes

# measured NAME PROGRAM [switches]: a silent run of PROGRAM; its exit code
# goes into $code, its peak resident size into $kb.
measured() {
    local name=$1 program=$2
    shift 2
    set +e
    /usr/bin/time -f %M -o "$work/$name.kb" "$WINE_RUN" "$program" /silent "$@" </dev/null >/dev/null 2>&1
    code=$?
    set -e
    kb=$(tail -n 1 "$work/$name.kb")
    echo "$name: exit code $code, peak $kb KB"
    check "$name: memory bounded" [ "$kb" -lt "$MAX_KB" ]
}
# hostile NAME DISC1 [switches]: a silent installation of DISC1 and the sample
# disc 2 into $work/out/NAME ($target).
hostile() {
    local name=$1 d1=$2
    shift 2
    target=$work/out/$name
    measured "$name" "$SETUP_EXE" /cd "$d1" /cd2 "$disc2" /dir "$(winpath "$target")" "$@"
}
# The first lines of the log are these.
log_is_head() { [ "$(log_text | head -n $#)" = "$(printf '%s\n' "$@")" ]; }
# What a folder holds, without what the sample disc 2 brings.
listing() { (cd "$1" && find . -mindepth 1 ! -path './DATA2*' ! -path './TL/VERSION.TXT' \
    ! -path './TL/WITNESS*' ! -name TLID.001 | sort | tr '\n' ' '); }

hostile chain "$W\\chain.iso"
check "chain: exit code 0" [ "$code" -eq 0 ]
check "chain: each directory overlapping the first is skipped" log_has \
    "skipped directories in $W\\chain.iso: 2999 that repeat or overlap others, 0 that are too large or lie outside the image"
check "chain: the rest is installed" [ "$(listing "$target/game/cd")" = \
    "./CHAIN0 ./TL ./TL/TOLVENAR.EXE ./TLID.000 " ]

hostile huge-root "$W\\huge-root.iso"
check "huge root: exit code 1" [ "$code" -eq 1 ]
check "huge root: not the disc" [ "$(log_text | tail -n 1)" = "ERROR: this is not disc 1 of Tolvenar" ]

hostile huge-subdir "$W\\huge-subdir.iso"
check "huge subdirectory: exit code 0" [ "$code" -eq 0 ]
check "huge subdirectory: skipped" log_has \
    "skipped directories in $W\\huge-subdir.iso: 0 that repeat or overlap others, 1 that are too large or lie outside the image"
check "huge subdirectory: its folder stays empty" [ "$(listing "$target/game/cd/BIG")" = "" ]

hostile huge-cue "$W\\huge.cue"
check "huge cue sheet: exit code 1" [ "$code" -eq 1 ]
check "huge cue sheet: not a disc" \
    [ "$(log_text | tail -n 1)" = "ERROR: disc 1 is not a readable disc, image or folder" ]

hostile selflinks "$W\\selflinks"
check "self links: exit code 0" [ "$code" -eq 0 ]
for link in LOOPA 'DATA\LOOPB'; do
    check "self links: $link skipped" log_has \
        "skipped $link: it links to a folder that is copied already or cannot be told apart"
done
check "self links: each folder once" [ "$(listing "$target/game/cd")" = \
    "./DATA ./DATA/FILE.TXT ./TL ./TL/TOLVENAR.EXE ./TLID.000 " ]

# A link listed before the folder it leads to never hides that folder, and a
# chain whose every level links twice to the next costs seconds, not 2^15 walks.
start=$SECONDS
hostile linkchain "$W\\linkchain"
check "link chain: exit code 0" [ "$code" -eq 0 ]
check "link chain: within seconds" [ $((SECONDS - start)) -lt 30 ]
check "link chain: the real TL, whatever link comes first" [ -f "$target/game/cd/TL/TOLVENAR.EXE" ]
check "link chain: the folder a link leads to, once more" [ -f "$target/game/cd/AAA/TOLVENAR.EXE" ]
deepest=$target/game/cd/$(printf 'L%02d/' $(seq 0 15))F15.TXT
check "link chain: every level" [ -f "$deepest" ]
check "link chain: each skipped link named" [ "$(log_text | grep -c '^skipped .*: it links to a folder that is copied already')" -gt 0 ]

# A link to an endless device is listed as 0 bytes: the copy stops there
# instead of filling the drive.
hostile zerolink "$W\\zerolink"
check "endless file: exit code 1" [ "$code" -eq 1 ]
check "endless file: the lines" [ "$(log_text | tail -n 2)" = "$(printf '%s\n' \
    "cannot copy $W\\zerolink\\ZERO.DAT: it holds more than the 0 bytes it had when the disc was measured" \
    "ERROR: copying disc 1 failed")" ]
check "endless file: nothing of it written" [ ! -s "$target/game/cd/ZERO.DAT" ]

# Names that are not UTF-8 keep their Western code page meaning, and two
# names that land on one file do not replace each other unnoticed.
hostile codepage "$W\\codepage.iso"
check "code page: exit code 0" [ "$code" -eq 0 ]
check "code page: y with diaeresis" [ "$(cat "$target/game/cd/A$(printf '\xc3\xbf')B.TXT")" = \
    "$(printf 'y with diaeresis in the Western code page\r')" ]
check "code page: thorn" [ "$(cat "$target/game/cd/A$(printf '\xc3\xbe')B.TXT")" = "$(printf 'thorn in the Western code page\r')" ]
check "code page: the first of two names in other case kept" [ "$(cat "$target/game/cd/CASE.TXT")" = "$(printf 'upper case first\r')" ]
check "code page: the second named" log_has "skipped case.txt: the file system takes it for CASE.TXT, which came before it"

# An installation never reads what it writes: not into a disc's folder, and
# not over a disc that lies in its game folder. Nothing is written then.
mkdir -p "$work/indisc"
cp -r "$work/discs/disc1/." "$work/indisc/"
before=$(tree_sums "$work/indisc")
hostile indisc "$(winpath "$work/indisc")" /dir "$(winpath "$work/indisc")\\Tolvenar"
check "install folder in disc 1: exit code 1" [ "$code" -eq 1 ]
check "install folder in disc 1: the line" [ "$(log_text | tail -n 1)" = "ERROR: cannot install into \
$(winpath "$work/indisc")\\Tolvenar: it lies inside disc 1 (folder $(winpath "$work/indisc")), which the setup copies from" ]
check "install folder in disc 1: nothing written" [ "$(tree_sums "$work/indisc")" = "$before" ]
mkdir -p "$work/out/ingame/game/discs"
cp "$work/discs/disc1.iso" "$work/out/ingame/game/discs/"
hostile ingame "$(winpath "$work/out/ingame/game/discs/disc1.iso")" /dir "$(winpath "$work/out/ingame")"
check "disc 1 in the game folder: exit code 1" [ "$code" -eq 1 ]
check "disc 1 in the game folder: the line" [ "$(log_text | tail -n 1)" = "ERROR: cannot install into \
$(winpath "$work/out/ingame"): disc 1 (image $(winpath "$work/out/ingame/game/discs/disc1.iso")) lies inside its game folder, which the setup fills" ]
check "disc 1 in the game folder: nothing written" [ "$(ls "$work/out/ingame/game")" = discs ]

# An icon file that lists one image 65,535 times (1 MB) is refused whole:
# the game program keeps the payload's size and the installation goes on.
cp -r "$work/discs/disc1" "$work/bigicon"
chmod -R u+w "$work/bigicon"
python3 - "$work/bigicon/I_COMP/TL.ICO" <<'PY'
import struct, sys
n, length = 65535, 4264  # a 32x32 image of 32 bits, with its mask
head = struct.pack("<HHH", 0, 1, n) + struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32, length, 6 + 16 * n) * n
open(sys.argv[1], "wb").write(head + struct.pack("<IiiHH", 40, 32, 64, 1, 32) + bytes(length - 12))
PY
hostile bigicon "$(winpath "$work/bigicon")"
check "icon of 65,535 images: exit code 0" [ "$code" -eq 0 ]
check "icon of 65,535 images: refused" log_has "ERROR: icon file has too many images"
check "icon of 65,535 images: then done" [ "$(log_text | tail -n 1)" = "Done." ]
check "icon of 65,535 images: the program keeps its size" \
    [ "$(stat -c %s "$target/tolvenar.exe")" -eq "$(stat -c %s "$BUILD/tolvenar_game.exe")" ]

# Links planted in the install folder (host symlinks, which Wine shows as
# links) lead to a user's files. The setup refuses each before it writes
# anything; the removal, run on what is there, deletes nothing through them.
# The user's files stay byte for byte.
mine=$work/mine
mkdir -p "$mine/photos"
printf 'my thesis\r\n' > "$mine/thesis.txt"
head -c 5000 /dev/urandom > "$mine/photos/p1.jpg"
mine_sums=$(tree_sums "$mine")
mine_same() { [ -f "$mine/thesis.txt" ] && [ "$(tree_sums "$mine")" = "$mine_sums" ]; }
# The removal's second stage, which the uninstaller starts, run from a copy of
# its own: it schedules its file for deletion at the next restart.
cp "$SETUP_EXE" "$work/stage2.exe"
# linked NAME REL TARGET: a link at REL in a fresh install folder $work/out/NAME,
# then an installation into that folder and a removal of it.
linked() {
    local name=$1 rel=$2 to=$3 inst=$work/out/$1
    rm -rf "$inst"
    mkdir -p "$(dirname "$inst/$rel")"
    ln -s "$to" "$inst/$rel"
    local before
    before=$(cd "$inst" && find . | sort)
    hostile "$name" "$disc1"
    check "$name: exit code 1" [ "$code" -eq 1 ]
    check "$name: the line" [ "$(log_text | tail -n 1)" = \
        "ERROR: $(winpath "$inst/$rel") is a link to another place; the setup does not write through it" ]
    check "$name: nothing written" [ "$(cd "$inst" && find . | sort)" = "$before" ]
    check "$name: the user's files after the installation" mine_same
    run "$work/stage2.exe" /uninstall2 "$(winpath "$inst")" /quiet
    check "$name: the removal's exit code" [ "$code" -eq 0 ]
    check "$name: the user's files after the removal" mine_same
}
linked link-game game "$mine"
linked link-cd game/cd "$mine"
linked link-hd game/hd "$mine/photos"
linked link-tl game/hd/TL "$mine"
linked link-hd-program game/hd/TL/TOLVENAR.EXE "$mine/thesis.txt"
linked link-settings game/hd/TL/TLP.DAT "$mine/thesis.txt"
linked link-exe tolvenar.exe "$mine/thesis.txt"
linked link-uninstaller uninstall.exe "$mine/photos/p1.jpg"
# The install folder itself, and a folder above it.
rm -rf "$work/out/link-dir"
mkdir -p "$work/out"
ln -s "$mine" "$work/out/link-dir"
hostile link-dir "$disc1"
check "link-dir: exit code 1" [ "$code" -eq 1 ]
check "link-dir: the line" [ "$(log_text | tail -n 1)" = \
    "ERROR: $(winpath "$work/out/link-dir") is a link to another place; the setup does not write through it" ]
hostile link-above "$disc1" /dir "$(winpath "$work/out/link-dir/Games/Tolvenar")"
check "link-above: exit code 1" [ "$code" -eq 1 ]
check "link-above: the line names the link" [ "$(log_text | tail -n 1)" = \
    "ERROR: $(winpath "$work/out/link-dir") is a link to another place; the setup does not write through it" ]
check "link-dir: the user's files after the installations" mine_same
run "$work/stage2.exe" /uninstall2 "$(winpath "$work/out/link-dir")" /quiet
check "link-dir: the user's files after the removal" mine_same
# Wine cannot see a link that leads nowhere: the game program's write finds
# its name taken and fails, rather than create the file it leads to.
mkdir -p "$work/out/nowhere"
ln -s "$mine/created.txt" "$work/out/nowhere/tolvenar.exe"
hostile nowhere "$disc1"
check "link to nowhere: exit code 1" [ "$code" -eq 1 ]
check "link to nowhere: the line" [ "$(log_text | tail -n 1)" = \
    "ERROR: cannot write $(winpath "$work/out/nowhere")\\tolvenar.exe" ]
check "link to nowhere: nothing created where it leads" mine_same

# A second installation over a game tree in which links were planted since:
# the copy meets each where it would write through it, and stops there.
hostile reinstall "$disc1"
check "reinstall: the first installation" [ "$code" -eq 0 ]
for planted in TL:"$mine" TLID.000:"$mine/thesis.txt"; do
    rel=${planted%%:*}
    rm -rf "$target/game/cd/$rel"
    ln -s "${planted#*:}" "$target/game/cd/$rel"
    hostile reinstall "$disc1"
    check "reinstall over a link at $rel: exit code 1" [ "$code" -eq 1 ]
    check "reinstall over a link at $rel: the lines" [ "$(log_text | tail -n 2)" = "$(printf '%s\n' \
        "$(winpath "$target/game/cd")\\$rel is a link to another place; the setup does not write through it" \
        "ERROR: copying disc 1 failed")" ]
    check "reinstall over a link at $rel: the user's files" mine_same
    rm "$target/game/cd/$rel"
done

# A folder disc with a link to the install folder: the copy never walks into
# its own output.
cp -r "$work/discs/disc1" "$work/toout"
ln -s "$work/out/toout" "$work/toout/OUT"
hostile toout "$(winpath "$work/toout")"
check "link to the install folder: exit code 0" [ "$code" -eq 0 ]
check "link to the install folder: its own output skipped" \
    log_has "skipped OUT\\game\\cd: it is the folder that the disc is copied into"
check "link to the install folder: not copied into itself" [ ! -e "$target/game/cd/OUT/game/cd" ]

# The same files beside the program cost its start-up scan nothing; the scan
# looks there for disc 1 only, since the command line names disc 2.
mkdir -p "$work/app"
cp "$SETUP_EXE" "$work/app/setup.exe"
for f in chain.iso huge-root.iso huge-subdir.iso huge.cue; do ln "$work/in/$f" "$work/app/$f"; done
measured beside "$work/app/setup.exe" /cd2 "$disc2" /dir "$(winpath "$work/out/beside")"
check "beside: exit code 0" [ "$code" -eq 0 ]
check "beside: the chain is found as disc 1" log_has "default disc 1: '$(winpath "$work/app")\\chain.iso'"
check "beside: disc 2 is not looked for" log_has "default disc 2: ''"
check "beside: the chain installed" log_has "Copying disc 1: image $(winpath "$work/app")\\chain.iso ..."

# 300 descriptors of 1 MiB beside the program. Discs that the command line
# names are not looked for: none is read. A disc that is looked for is sought
# in at most 64 of them. (Reading a file moves its access time, which is set
# into the past here; a volume that keeps no access times skips that check.)
mkdir -p "$work/many"
cp "$SETUP_EXE" "$work/many/setup.exe"
for i in $(seq 1 300); do truncate -s 1M "$work/many/d$i.cue"; done
touch -a -d @1000000000 "$work/many"/*.cue
read_count() { find "$work/many" -name '*.cue' -newerat @1000000001 | wc -l; }
cat "$work/many/d1.cue" >/dev/null
atime_kept=$([ "$(read_count)" -eq 1 ] && echo yes || echo no)
touch -a -d @1000000000 "$work/many/d1.cue"
SETUP_EXE=$work/many/setup.exe hostile many-named "$disc1"
check "many descriptors, discs named: exit code 0" [ "$code" -eq 0 ]
check "many descriptors, discs named: not looked for" \
    log_is_head "setup started" "default disc 1: ''" "default disc 2: ''" "default dir 'C:\\Games\\Tolvenar'"
[ "$atime_kept" = no ] || check "many descriptors, discs named: none read" [ "$(read_count)" -eq 0 ]
measured many-sought "$work/many/setup.exe" /cd2 "$disc2" /dir "$(winpath "$work/out/many-sought")"
check "many descriptors, disc 1 sought: exit code 1" [ "$code" -eq 1 ]
check "many descriptors, disc 1 sought: the search says it stopped" \
    log_is_head "setup started" "stopped looking for discs after 64 candidates" "default disc 1: ''" "default disc 2: ''"
[ "$atime_kept" = no ] || check "many descriptors, disc 1 sought: 64 read" [ "$(read_count)" -eq 64 ]
check "many descriptors, disc 1 sought: no disc 1" \
    [ "$(log_text | tail -n 1)" = "ERROR: disc 1 is not a readable disc, image or folder" ]

finish
