#!/bin/bash
# The installed game program carries the icon of the disc's I_COMP\TL.ICO,
# read back from its resource section; an icon file that is not one costs an
# error line but not the installation.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir icon)
discs=$work/discs
python3 "$SRC/tools/mkdisc.py" sample "$discs" --folders-only >/dev/null

install() {  # install NAME DISC1-FOLDER
    target=$work/out/$1
    run "$SETUP_EXE" /silent /cd "$(winpath "$2")" /cd2 "$(winpath "$discs/disc2")" /dir "$(winpath "$target")"
}

install good "$discs/disc1"
check "good: exit code 0" [ "$code" -eq 0 ]
check "good: the icon line, just before the end" \
    [ "$(log_text | tail -n 2)" = "$(printf '%s\n' "icon: 3 images from the CD" "Done.")" ]
check "good: the sample icon has images" [ -n "$(icons ico "$discs/disc1/I_COMP/TL.ICO")" ]
check "good: the program's icon resources are the icon file's" \
    [ "$(icons exe "$target/tolvenar.exe")" = "$(icons ico "$discs/disc1/I_COMP/TL.ICO")" ]
check "good: the payload itself has none" [ -z "$(icons exe "$BUILD/tolvenar_game.exe")" ]
run "$target/tolvenar.exe" /check
check "good: the program still runs" [ "$code" -eq 0 ]

# A TL.ICO that is text: the installation goes on and ends well.
bad=$work/bad_disc1
cp -r "$discs/disc1" "$bad"
chmod -R u+w "$bad"
printf 'not an icon\r\n' > "$bad/I_COMP/TL.ICO"
install bad "$bad"
check "not an icon: exit code 0" [ "$code" -eq 0 ]
check "not an icon: the error line" log_has "ERROR: icon file is not an .ico"
check "not an icon: Done. at the end" [ "$(log_text | tail -n 1)" = "Done." ]
check "not an icon: no icon line" bash -c "! tr -d '\r' < '$SETUP_LOG' | grep -q '^icon: '"
check "not an icon: the program has no icon" [ -z "$(icons exe "$target/tolvenar.exe")" ]
check "not an icon: the uninstaller is placed" [ -f "$target/uninstall.exe" ]

finish
