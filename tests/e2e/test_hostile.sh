#!/bin/bash
# Hostile inputs (tools/mkdisc.py hostile): images and cue sheets whose
# records claim gigabytes or chain thousands of directories, and a folder disc
# that links back to itself. Each silent run ends with its documented result
# and line, in bounded memory (peak resident size read by GNU time).
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir hostile)
python3 "$SRC/tools/mkdisc.py" sample "$work/discs" >/dev/null
python3 "$SRC/tools/mkdisc.py" hostile "$work/in" >/dev/null
W=$(winpath "$work/in")
disc1=$(winpath "$work/discs/disc1.iso")
disc2=$(winpath "$work/discs/disc2.cue")
MAX_KB=120000  # a run needs about 20 MB; the unbounded reader took gigabytes

# hostile NAME DISC1 [switches]: a silent installation of DISC1 and the sample
# disc 2; its exit code goes into $code, its peak resident size into $kb.
hostile() {
    local name=$1 d1=$2
    shift 2
    target=$work/out/$name
    set +e
    /usr/bin/time -f %M -o "$work/$name.kb" "$WINE_RUN" "$SETUP_EXE" /silent /cd "$d1" /cd2 "$disc2" \
        /dir "$(winpath "$target")" "$@" </dev/null >/dev/null 2>&1
    code=$?
    set -e
    kb=$(tail -n 1 "$work/$name.kb")
    echo "$name: exit code $code, peak $kb KB"
    check "$name: memory bounded" [ "$kb" -lt "$MAX_KB" ]
}
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

# The same files beside the program cost its start-up scan nothing.
mkdir -p "$work/app"
cp "$SETUP_EXE" "$work/app/setup.exe"
for f in chain.iso huge-root.iso huge-subdir.iso huge.cue; do ln "$work/in/$f" "$work/app/$f"; done
SETUP_EXE=$work/app/setup.exe hostile beside "$disc1"
check "beside: exit code 0" [ "$code" -eq 0 ]
check "beside: the chain is found as disc 1" log_has "default disc 1: '$(winpath "$work/app")\\chain.iso'"
check "beside: the sample discs installed" log_has "Copying disc 1: image $disc1 ..."

finish
