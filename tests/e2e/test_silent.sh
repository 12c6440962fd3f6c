#!/bin/bash
# Silent installations by the real setup.exe under Wine: every shape of disc
# source, automatic detection, the command line, and the failures with their
# exit codes and log lines.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir silent)
discs=$work/discs
python3 "$SRC/tools/mkdisc.py" sample "$discs" >/dev/null
mk() { python3 "$SRC/tools/mkdisc.py" "$@" >/dev/null; }
mk iso "$discs/disc2" "$discs/disc2.iso"
mk raw "$discs/disc1.iso" "$discs/disc1_m1.bin" --mode 1 --cue "$discs/disc1_m1.cue"
mk raw "$discs/disc2.iso" "$discs/disc2_m2.bin" --mode 2 --cue "$discs/disc2_m2.cue"

expected_sums=$(cd_tree_sums "$discs" "$work")
section() { x86_64-w64-mingw32-objcopy -O binary -j "$2" "$1" /dev/stdout | md5sum; }

installed_ok() {  # installed_ok DIR: the install tree is complete and right
    local dir=$1
    [ "$(tree_sums "$dir/game/cd")" = "$expected_sums" ] || { echo "cd tree differs"; return 1; }
    [ -f "$dir/game/hd/TL/TOLVENAR.EXE" ] && [ -f "$dir/game/hd/TL/DUZOZ.EXE" ] || return 1
    cmp -s "$dir/game/hd/TL/TOLVENAR.EXE" "$discs/disc1/TL/TOLVENAR.EXE" || return 1
    [ "$(od -An -tx1 "$dir/game/hd/TL/TLP.DAT" | tr -d ' \n')" = 443a5c0d0a0d0a ] || return 1
    # The game program is the payload; only its icon resources may differ.
    [ "$(section "$dir/tolvenar.exe" .text)" = "$(section "$BUILD/tolvenar_game.exe" .text)" ] || return 1
    [ "$(section "$dir/tolvenar.exe" .data)" = "$(section "$BUILD/tolvenar_game.exe" .data)" ] || return 1
    cmp -s "$dir/uninstall.exe" "$SETUP_EXE" || { echo "uninstall.exe differs"; return 1; }
    run "$dir/tolvenar.exe" /check
    [ "$code" -eq 0 ]
}

install_from() {  # install_from NAME DISC1 DISC2 [more switches]
    local name=$1 d1=$2 d2=$3
    shift 3
    target=$work/out/$name
    run "$SETUP_EXE" /silent /cd "$d1" /cd2 "$d2" /dir "$(winpath "$target")" "$@"
}

success_lines() {  # the log of a successful run with nothing detected
    local d1=$1 d2=$2 dir=$3
    log_is "setup started" "default disc 1: ''" "default disc 2: ''" \
        "default dir 'C:\\Games\\Tolvenar'" "Install to $dir" \
        "Copying disc 1: $d1 ..." "Copying disc 2: $d2 ..." "Setting up the game files ..." \
        "game files set up in $dir\\game\\hd\\TL" "$(log_text | grep '^icon: ' || true)" "Done." ||
        log_is "setup started" "default disc 1: ''" "default disc 2: ''" \
            "default dir 'C:\\Games\\Tolvenar'" "Install to $dir" \
            "Copying disc 1: $d1 ..." "Copying disc 2: $d2 ..." "Setting up the game files ..." \
            "game files set up in $dir\\game\\hd\\TL" "Done."
}

W=$(winpath "$discs")
shape() {  # shape NAME DISC1 DISC2 DESC1 DESC2
    install_from "$1" "$2" "$3"
    check "$1: exit code 0" [ "$code" -eq 0 ]
    check "$1: log lines" success_lines "$4" "$5" "$(winpath "$target")"
    check "$1: install tree" installed_ok "$target"
}
shape folders "$W\\disc1" "$W\\disc2\\" "folder $W\\disc1" "folder $W\\disc2"
shape plain "$W\\disc1.iso" "$W\\disc2.iso" "image $W\\disc1.iso" "image $W\\disc2.iso"
shape raw "$W\\disc1_m1.cue" "$W\\disc2_m2.cue" "image $W\\disc1_m1.bin" "image $W\\disc2_m2.bin"
shape mixed "$W\\disc1_m1.bin" "$W\\disc2.cue" "image $W\\disc1_m1.bin" "image $W\\disc2.bin"

# Two emulated CD drives: Wine drives of type cdrom pointed at the disc folders.
# Wine learns of its drives when its services start, so the drives live in a
# prefix of their own (hard-linked from the test prefix), where no other test
# would detect them.
cdprefix=$work/cdprefix
prefix_copy "$cdprefix"
ln -sfn "$discs/disc1" "$cdprefix/dosdevices/r:"
ln -sfn "$discs/disc2" "$cdprefix/dosdevices/s:"
cdwine() { WINEPREFIX=$cdprefix WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d' wine "$@"; }
cdwine reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null 2>&1
cdwine reg add 'HKLM\Software\Wine\Drives' /v s: /d cdrom /f >/dev/null 2>&1
WINEPREFIX=$cdprefix wineserver -k 2>/dev/null || true
WINEPREFIX=$cdprefix wineserver -w 2>/dev/null || true
# Drives are tried before images: an image of disc 1 beside the program loses.
beside=$work/beside
mkdir -p "$beside"
cp "$SETUP_EXE" "$beside/setup.exe"
cp "$discs/disc1.iso" "$beside/other.iso"
set +e
cdwine "$beside/setup.exe" /silent /dir "$(winpath "$work/out/drives")" </dev/null >/dev/null 2>&1
code=$?
set -e
cdlog=$(tr -d '\r' < "$(wine_temp cdwine)/tolvenar_setup.log")
cdlog_has() { printf '%s\n' "$cdlog" | grep -qxF -- "$1"; }
check "drives: exit code 0" [ "$code" -eq 0 ]
check "drives: disc 1 detected" cdlog_has "default disc 1: 'R:\\'"
check "drives: disc 2 detected" cdlog_has "default disc 2: 'S:\\'"
check "drives: described as folders" cdlog_has "Copying disc 1: folder R:\\ ..."
check "drives: install tree" installed_ok "$work/out/drives"
WINEPREFIX=$cdprefix wineserver -k 2>/dev/null || true
rm -rf "$cdprefix"

# Images beside the program; a disc that a switch names is not looked for,
# and its default stays empty.
cp "$discs/disc2.bin" "$discs/disc2.cue" "$beside/"
run "$beside/setup.exe" /silent /dir "$(winpath "$work/out/beside")"
check "beside: exit code 0" [ "$code" -eq 0 ]
check "beside: disc 1 found" log_has "default disc 1: '$(winpath "$beside")\\other.iso'"
check "beside: disc 2 found" log_has "default disc 2: '$(winpath "$beside")\\disc2.cue'"
check "beside: install tree" installed_ok "$work/out/beside"
run "$beside/setup.exe" /silent /CD2 "$W\\disc2.iso" /cd1 "$W\\nothing" /quiet /dir "$(winpath "$work/out/override")"
check "override: exit code 0" [ "$code" -eq 0 ]
check "override: disc 1 still found" log_has "default disc 1: '$(winpath "$beside")\\other.iso'"
check "override: disc 2 named, not looked for" log_has "default disc 2: ''"
check "override: capital /CD2 takes disc 2" log_has "Copying disc 2: image $W\\disc2.iso ..."
check "override: /cd1 and its value passed over" log_has "Copying disc 1: image $(winpath "$beside")\\other.iso ..."

# Failures: exit code 1 and the lines that say why.
fails_with() {  # fails_with NAME LAST-LINE
    check "$1: exit code 1" [ "$code" -eq 1 ]
    check "$1: last line" [ "$(log_text | tail -n 1)" = "$2" ]
}
install_from missing1 "$W\\none.iso" "$W\\disc2.iso"
fails_with "disc 1 missing" "ERROR: disc 1 is not a readable disc, image or folder"
install_from swapped "$W\\disc2.iso" "$W\\disc1.iso"
fails_with "disc 2 as disc 1" "ERROR: this is not disc 1 of Tolvenar"
install_from missing2 "$W\\disc1.iso" ""
fails_with "disc 2 missing" "ERROR: disc 2 is not a readable disc, image or folder"
run "$SETUP_EXE" /silent /cd "$W\\none" /dir
fails_with "/dir as last argument" "ERROR: disc 1 is not a readable disc, image or folder"
check "/dir as last argument empties the folder" log_has "Install to "

# A disc 1 image cut short inside a file: the reader's line, then the copy's.
size=$(stat -c %s "$discs/disc1.iso")
head -c $((size / 2)) "$discs/disc1.iso" > "$discs/cut.iso"
install_from truncated "$W\\cut.iso" "$W\\disc2.iso"
check "truncated: exit code 1" [ "$code" -eq 1 ]
check "truncated: the reader's line" bash -c "tr -d '\r' < '$SETUP_LOG' | tail -n 2 | head -n 1 | grep -q '^read error in '"
fails_with truncated "ERROR: copying disc 1 failed"

touch "$work/afile"
run "$SETUP_EXE" /silent /cd "$W\\disc1.iso" /cd2 "$W\\disc2.iso" /dir "$(winpath "$work/afile")\\sub"
fails_with "folder cannot be created" "ERROR: cannot create the install folder"

# TL\TOLVENAR.EXE that is a folder identifies disc 1 but cannot be copied:
# a silent installation fails with a line that says so and shows no box (a
# watcher would press it, so that the test could not hang on one).
mkdir -p "$work/baddisc"
cp -r "$discs/disc1/." "$work/baddisc/"
chmod -R u+w "$work/baddisc"
rm "$work/baddisc/TL/TOLVENAR.EXE"
mkdir "$work/baddisc/TL/TOLVENAR.EXE"
"$WINE_RUN" "$BUILD/dismiss_box.exe" "Tolvenar setup" 60 > "$work/box.txt" &
boxer=$!
install_from badtl "$(winpath "$work/baddisc")" "$W\\disc2.iso"
kill "$boxer" 2>/dev/null || true
wait "$boxer" || true
check "missing game program: no box" [ ! -s "$work/box.txt" ]
fails_with "missing game program" 'ERROR: TL\TOLVENAR.EXE is missing on disc 1.'
check "missing game program: no settings file" [ ! -e "$target/game/hd/TL/TLP.DAT" ]

# A second run over an installation replaces its files in place.
install_from plain "$W\\disc1.iso" "$W\\disc2.iso"
check "rerun: exit code 0" [ "$code" -eq 0 ]
check "rerun: install tree" installed_ok "$target"

finish
