#!/bin/bash
# Names outside any single-byte code page: a user whose profile folders (the
# temporary folder, Desktop and Start menu) hold Cyrillic, CJK and an emoji,
# disc images in such a folder and an install folder of such a name. The
# setup runs with UTF-8 as its code page: everything arrives intact, in the
# log, the tree, the uninstall entry and the shortcuts, and the removal works.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
export LC_ALL=C.UTF-8  # Unix names and arguments reach Wine as UTF-8
work=$(workdir unicode)
discs="$work/Диск 光盘 🎮"
python3 "$SRC/tools/mkdisc.py" sample "$discs" >/dev/null
cp "$SETUP_EXE" "$discs/setup.exe"
target="$work/Игра 游戏 🎲"
T=$(winpath "$target")

# A prefix of its own (hard links to the test prefix) whose user profile has
# such names; Wine reads the folders from the registry when its server starts.
uprefix=$work/prefix
prefix_copy "$uprefix"
uwine() { WINEPREFIX=$uprefix WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d' wine "$@" </dev/null; }
profile='C:\users\Профиль 用户'
folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
utemp="$profile\Temp" udesktop="$profile\Рабочий стол" uprograms="$profile\Меню 🎮\Programs"
uwine reg add 'HKCU\Environment' /v TEMP /d "$utemp" /f >/dev/null
uwine reg add 'HKCU\Environment' /v TMP /d "$utemp" /f >/dev/null
uwine reg add "$folders" /v Desktop /d "$udesktop" /f >/dev/null
uwine reg add "$folders" /v Programs /d "$uprograms" /f >/dev/null
# Where these folders are on the Unix side is Wine's to say.
unix_temp=$(uwine winepath -u "$utemp") unix_desktop=$(uwine winepath -u "$udesktop")
mkdir -p "$unix_temp" "$unix_desktop" "$(uwine winepath -u "$uprograms")"
WINEPREFIX=$uprefix wineserver -k 2>/dev/null || true
WINEPREFIX=$uprefix wineserver -w 2>/dev/null || true
WINEPREFIX=$uprefix wineserver -p 2>/dev/null || true
trap 'WINEPREFIX=$uprefix wineserver -k 2>/dev/null || true' EXIT
uprobe() { uwine "$BUILD/uninstall_probe.exe" "$@" | tr -d '\r'; }
urun() {
    set +e
    uwine "$@" >/dev/null 2>&1
    code=$?
    set -e
}
ulog="$unix_temp/tolvenar_setup.log"
ulog_has() { tr -d '\r' < "$ulog" | grep -xF -- "$1" >/dev/null; }

# The images are found beside the program and installed into the folder.
urun "$discs/setup.exe" /silent /dir "$T"
check "install: exit code 0" [ "$code" -eq 0 ]
D=$(winpath "$discs")
check "log in the profile's temporary folder, in UTF-8: disc 1 found" ulog_has "default disc 1: '$D\\disc1.iso'"
check "log: disc 2 found" ulog_has "default disc 2: '$D\\disc2.cue'"
check "log: the install folder" ulog_has "Install to $T"
check "log: done" ulog_has "Done."
check "the cd tree is complete" [ "$(tree_sums "$target/game/cd")" = "$(cd_tree_sums "$discs" "$work")" ]
check "the game files are laid out" [ -f "$target/game/hd/TL/TLP.DAT" ] && [ -f "$target/tolvenar.exe" ]
check "the entry's InstallLocation" [ "$(uprobe value InstallLocation)" = "$T" ]
check "the entry's UninstallString" [ "$(uprobe value UninstallString)" = "\"$T\\uninstall.exe\" /uninstall" ]
mapfile -t links < <(uprobe links)
check "the Start menu is the profile's" [ "${links[0]}" = "$uprograms\\Tolvenar.lnk" ]
link_is() {
    [ "$(uprobe link "$1")" = "$(printf '%s\n' "target: $T\\tolvenar.exe" "workdir: $T" \
        "description: Tolvenar" "icon: $T\\tolvenar.exe,0")" ]
}
check "Start-menu shortcut" link_is "${links[0]}"
check "desktop shortcut" link_is "${links[1]}"
# Opened as a double click opens them, by a program in the ordinary code
# page, the shortcuts start the game: they name it by their ID list alone.
launches() { [ "$(uwine "$BUILD/link_launch.exe" "$1" tolvenar.exe | tr -d '\r')" = "launched: $T\\tolvenar.exe" ]; }
check "the Start-menu shortcut starts the game from another code page" launches "${links[0]}"
check "the desktop shortcut starts the game from another code page" launches "${links[1]}"

# The removal relaunches itself from the profile's temporary folder.
urun "$target/uninstall.exe" /uninstall /quiet
check "removal: stage 1 exit code 0" [ "$code" -eq 0 ]
stage2_done() {
    local r
    r=$(uprobe wait tolvenar_uninstall.exe 60) || return 1
    [ "$r" = "exit 0" ] || [ "$r" = none ]
}
check "removal: stage 2 ended with exit code 0" stage2_done
check "removal: install folder gone" [ ! -e "$target" ]
check "removal: entry gone" [ -z "$(uprobe value InstallLocation || true)" ]
check "removal: shortcuts gone" [ ! -e "$unix_desktop/Tolvenar.lnk" ]
check "removal: its copy is in the profile's temporary folder" \
    [ -f "$unix_temp/tolvenar_uninstall.exe" ]

finish
