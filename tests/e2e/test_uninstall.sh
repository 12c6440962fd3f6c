#!/bin/bash
# What a silent installation registers (the uninstall entry and the two
# shortcuts) and how the installed uninstall.exe removes it again: both stages,
# with "/quiet" and through the message boxes (under Xvfb), the user's own
# files that stay, and the temporary copy whose deletion waits for a restart.
# The stage 2 process is detached and the prefix's wineserver persistent, so
# the script waits for that process by name rather than with wineserver -w.
set -eu -o pipefail
. "$(dirname "$0")/lib.sh"
work=$(workdir uninstall)
discs=$work/discs
python3 "$SRC/tools/mkdisc.py" sample "$discs" --folders-only >/dev/null
W=$(winpath "$discs")
total=$(awk -F'\t' '$2 == "T" { s += $4 } END { print s }' "$discs/manifest.txt")
size_kib=$(((total + 20971520) / 1024))

# The probe's answers go to stdout; whatever Wine says goes to the test's output,
# and so does an exit code that is not one of the probe's own (0 and 1).
probe() {
    local rc
    "$WINE_RUN" "$BUILD/uninstall_probe.exe" "$@" </dev/null | tr -d '\r'
    rc=${PIPESTATUS[0]}
    [ "$rc" -le 1 ] || echo "uninstall_probe $*: exit code $rc" >&2
    return "$rc"
}
hostpath() { winepath -u "$1" 2>/dev/null; }
mapfile -t links < <(probe links)
start_lnk=$(hostpath "${links[0]}")
desk_lnk=$(hostpath "${links[1]}")
temp_copy=$TEMP_DIR/tolvenar_uninstall.exe
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvenar_Varnix'

# Nothing of an earlier run: no entry, no shortcut, no temporary copy.
"$WINE_RUN" reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
rm -f "$start_lnk" "$desk_lnk" "$temp_copy"

install() {  # install DIR [switches]: a silent installation into DIR
    local dir=$1
    shift
    run "$SETUP_EXE" /silent /cd "$W\\disc1" /cd2 "$W\\disc2" /dir "$(winpath "$dir")" "$@"
}

entry_is() {  # the one entry describes the installation into DIR
    local d u i
    d=$(winpath "$1")
    u="\"$d\\uninstall.exe\" /uninstall"
    i="$d\\tolvenar.exe,0"
    [ "$(probe entry)" = "$(printf '%s\n' "entries: 1" "values: 8" \
        "DisplayName 1 18 Tolvenar (Varnix)" \
        "UninstallString 1 $((${#u} + 1)) $u" \
        "DisplayIcon 1 $((${#i} + 1)) $i" \
        "InstallLocation 1 $((${#d} + 1)) $d" \
        "Publisher 1 26 Varnix port (fan project)" \
        "EstimatedSize 4 4 $size_kib" "NoModify 4 4 1" "NoRepair 4 4 1")" ]
}
no_entry() { [ "$(probe entry)" = "entries: 0" ]; }
not() { ! "$@"; }

link_is() {  # link_is N DIR: shortcut N (0 Start menu, 1 desktop) opens DIR's game
    local d
    d=$(winpath "$2")
    [ "$(probe link "${links[$1]}")" = "$(printf '%s\n' "target: $d\\tolvenar.exe" \
        "workdir: $d" "description: Tolvenar" "icon: $d\\tolvenar.exe,0")" ]
}

# The setup log is never opened by either stage: it keeps what was put there.
mark_log() { printf 'not the uninstaller\r\n' > "$SETUP_LOG"; }
log_untouched() { [ "$(cat "$SETUP_LOG")" = "$(printf 'not the uninstaller\r')" ]; }

# Waits for the detached stage 2, which stage 1 has started before it ended,
# and checks its exit code; "none" means it ended before the probe looked
# (its exit code is checked directly at the end).
stage2_done() {
    local r
    r=$(probe wait tolvenar_uninstall.exe 60) || return 1
    [ "$r" = "exit 0" ] || [ "$r" = none ]
}

# The entry and both shortcuts of a silent installation.
a=$work/a
install "$a"
check "install: exit code 0" [ "$code" -eq 0 ]
check "install: entry with its eight values" entry_is "$a"
check "install: Start-menu shortcut" link_is 0 "$a"
check "install: desktop shortcut" link_is 1 "$a"

rm -f "$start_lnk" "$desk_lnk"
install "$work/b" /nodesktop
check "/nodesktop: Start-menu shortcut only" link_is 0 "$work/b"
check "/nodesktop: no desktop shortcut" [ ! -e "$desk_lnk" ]
rm -f "$start_lnk" "$desk_lnk"
install "$work/c" /nostartmenu
check "/nostartmenu: desktop shortcut only" link_is 1 "$work/c"
check "/nostartmenu: no Start-menu shortcut" [ ! -e "$start_lnk" ]
check "a later installation leaves one entry, its own" entry_is "$work/c"

# Quiet removal by b's uninstaller while the entry and shortcuts describe d:
# the folder removed is the one that holds the uninstaller that was started.
install "$work/d"
d_sums=$(tree_sums "$work/d")
mark_log
run "$work/b/uninstall.exe" /uninstall /quiet
check "quiet: stage 1 exit code 0" [ "$code" -eq 0 ]
check "quiet: stage 2 ended with exit code 0" stage2_done
check "quiet: install folder gone" [ ! -e "$work/b" ]
check "quiet: entry gone" no_entry
check "quiet: Start-menu shortcut gone" [ ! -e "$start_lnk" ]
check "quiet: desktop shortcut gone" [ ! -e "$desk_lnk" ]
check "quiet: another installation untouched" [ "$(tree_sums "$work/d")" = "$d_sums" ]
check "quiet: setup log untouched" log_untouched
check "temporary copy left behind" cmp -s "$temp_copy" "$SETUP_EXE"
pending_delete() { probe pending | grep -ixF -- "\??\\$(winepath -w "$temp_copy" 2>/dev/null) -> <delete>" >/dev/null; }
check "its deletion scheduled for the restart" pending_delete
"$WINE_RUN" wineboot -r </dev/null >/dev/null 2>&1
check "a restart deletes the temporary copy" [ ! -e "$temp_copy" ]
check "and clears the schedule" not pending_delete

# The user's own files stay, and with them the folder; "/quiet" may come first.
# game\hd\SAVES is a host symlink, a reparse point to Wine: the removal must not
# enter it. Wine cannot unlink it (Windows unlinks a junction), so it stays here.
install "$a"
printf 'mine\r\n' > "$a/my notes.txt"
mkdir -p "$work/saves"
echo canary > "$work/saves/canary.txt"
ln -s ../../../saves "$a/game/hd/SAVES"
for f in tolvenar.ini tolvenar_registry.txt tolvenar.log tolvenar_setup.log; do echo x > "$a/$f"; done
mark_log
run "$a/uninstall.exe" /quiet /uninstall
check "user's files: stage 1 exit code 0" [ "$code" -eq 0 ]
check "user's files: stage 2 ended with exit code 0" stage2_done
check "user's files: only they and the linked folder are left" \
    [ "$(cd "$a" && find . -mindepth 1 | sort | tr '\n' ' ')" = "./game ./game/hd ./game/hd/SAVES ./my notes.txt " ]
check "user's files: the link's target keeps its contents" [ "$(cat "$work/saves/canary.txt")" = canary ]
check "user's files: entry and shortcuts gone" bash -c "[ ! -e '$start_lnk' ] && [ ! -e '$desk_lnk' ]"
check "user's files: entry gone" no_entry
check "user's files: setup log untouched" log_untouched

# answer_uninstall DIR ANSWER BOXFILE: runs DIR's uninstall.exe without
# "/quiet", answers its question with ANSWER (the box goes to BOXFILE) and
# puts its exit code into $code.
answer_uninstall() {
    "$WINE_RUN" "$1/uninstall.exe" /uninstall </dev/null >/dev/null 2>&1 &
    local stage1=$!
    probe box "Tolvenar uninstall" "$2" 30 >"$3" || true
    set +e
    wait $stage1
    code=$?
    set -e
}

# Without "/quiet" the question comes first; No changes nothing and starts nothing.
e=$work/e
install "$e"
e_sums=$(tree_sums "$e")
rm -f "$temp_copy"
mark_log
answer_uninstall "$e" no "$work/box1.txt"
check "No: the question, Yes and No" [ "$(sort "$work/box1.txt")" = "$(printf '%s\n' \
    "button: 6" "button: 7" "text: Remove Tolvenar (Varnix) and its saved games?")" ]
check "No: exit code 0" [ "$code" -eq 0 ]
check "No: no second process" [ "$(probe count tolvenar_uninstall.exe)" = 0 ]
check "No: no temporary copy" [ ! -e "$temp_copy" ]
check "No: files untouched" [ "$(tree_sums "$e")" = "$e_sums" ]
check "No: entry kept" entry_is "$e"
check "No: shortcuts kept" bash -c "[ -e '$start_lnk' ] && [ -e '$desk_lnk' ]"
check "No: setup log untouched" log_untouched

# Yes removes, and the last box says so.
answer_uninstall "$e" yes "$work/box2.txt"
check "Yes: exit code 0" [ "$code" -eq 0 ]
probe box "Tolvenar uninstall" ok 30 > "$work/box3.txt" || true
check "Yes: the final box, OK only" [ "$(sort "$work/box3.txt")" = "$(printf '%s\n' \
    "button: 1" "text: Tolvenar has been removed.")" ]
check "Yes: stage 2 ended with exit code 0" stage2_done
check "Yes: install folder gone" [ ! -e "$e" ]
check "Yes: entry gone" no_entry
check "Yes: shortcuts gone" bash -c "[ ! -e '$start_lnk' ] && [ ! -e '$desk_lnk' ]"
check "Yes: setup log untouched" log_untouched

# A removal still running from the temporary copy (its last box open) keeps
# the copy from being rewritten: a second removal waits for it a few seconds,
# then ends with exit code 1 and removes nothing.
h=$work/h
install "$h"
h_sums=$(tree_sums "$h")
"$WINE_RUN" "$temp_copy" /uninstall2 "$(winpath "$work/nothing")" </dev/null >/dev/null 2>&1 &
held=$!
check "busy copy: the earlier removal shows its last box" probe box "Tolvenar uninstall" none 30
run "$h/uninstall.exe" /uninstall /quiet
check "busy copy: exit code 1" [ "$code" -eq 1 ]
check "busy copy: nothing removed" [ "$(tree_sums "$h")" = "$h_sums" ]
check "busy copy: no second stage 2" [ "$(probe count tolvenar_uninstall.exe)" = 1 ]
probe box "Tolvenar uninstall" ok 30 >/dev/null || true
wait $held || true
run "$h/uninstall.exe" /uninstall /quiet
check "copy free again: exit code 0" [ "$code" -eq 0 ]
check "copy free again: stage 2 ended with exit code 0" stage2_done
check "copy free again: removed" [ ! -e "$h" ]

# "/uninstall2" as the last argument is no removal: the setup runs as usual.
f=$work/f
install "$f" /uninstall2
check "/uninstall2 last: installs, exit code 0" [ "$code" -eq 0 ]
check "/uninstall2 last: the setup log is written" log_has "Done."
check "/uninstall2 last: installed" entry_is "$f"
# The uninstall switches are looked for among every argument, values included.
mark_log
run "$f/uninstall.exe" /dir /uninstall /quiet
check "/dir /uninstall: stage 1 exit code 0" [ "$code" -eq 0 ]
check "/dir /uninstall: stage 2 ended with exit code 0" stage2_done
check "/dir /uninstall: removed" [ ! -e "$f" ]
check "/dir /uninstall: setup log untouched" log_untouched

# Stage 2 started directly removes the game tree and named files of any folder.
g=$work/g
mkdir -p "$g/game/hd"
echo x > "$g/game/hd/TLP.DAT"
echo x > "$g/tolvenar.ini"
run "$temp_copy" /uninstall2 "$(winpath "$g")" /quiet
check "/uninstall2 DIR: exit code 0" [ "$code" -eq 0 ]
check "/uninstall2 DIR: folder removed" [ ! -e "$g" ]
check "/uninstall2 DIR: setup log untouched" log_untouched

# Links planted after an installation at the tree's own folders and at a
# named file (host symlinks: Wine would delete a linked file's target, or an
# emptied folder's, rather than the link) lead to the user's files, which stay
# byte for byte; the links stay with them, the rest goes.
mine=$work/mine
mkdir -p "$mine/photos"
printf 'my thesis\r\n' > "$mine/thesis.txt"
printf 'jpeg' > "$mine/photos/p1.jpg"
mine_sums=$(tree_sums "$mine")
mine_same() { [ -f "$mine/thesis.txt" ] && [ "$(tree_sums "$mine")" = "$mine_sums" ]; }
k=$work/k
install "$k"
rm -rf "$k/game/cd"
ln -s "$mine" "$k/game/cd"
ln -s "$mine/thesis.txt" "$k/tolvenar.ini"
run "$k/uninstall.exe" /uninstall /quiet
check "linked cd tree: stage 1 exit code 0" [ "$code" -eq 0 ]
check "linked cd tree: stage 2 ended with exit code 0" stage2_done
check "linked cd tree: the user's files" mine_same
check "linked cd tree: only the links are left" \
    [ "$(cd "$k" && find . -mindepth 1 | sort | tr '\n' ' ')" = "./game ./game/cd ./tolvenar.ini " ]
check "linked cd tree: entry gone" no_entry
l=$work/l
install "$l"
rm -rf "$l/game"
ln -s "$mine" "$l/game"
run "$l/uninstall.exe" /uninstall /quiet
check "linked game folder: stage 2 ended with exit code 0" stage2_done
check "linked game folder: the user's files" mine_same
check "linked game folder: only the link is left" [ "$(cd "$l" && find . -mindepth 1 | tr '\n' ' ')" = "./game " ]

# An install folder that is itself a link: nothing behind it is removed, and
# the last box says so.
m=$work/m
install "$m"
m_sums=$(tree_sums "$m")
ln -s "$m" "$work/m-link"
"$WINE_RUN" "$temp_copy" /uninstall2 "$(winpath "$work/m-link")" </dev/null >/dev/null 2>&1 &
stage2=$!
probe box "Tolvenar uninstall" ok 30 > "$work/box4.txt" || true
wait $stage2 || true
check "linked install folder: the box says what stays" [ "$(sort "$work/box4.txt")" = "$(printf '%s\n' "button: 1" \
    "text: Tolvenar's shortcuts and its entry have been removed. Its files stay: the folder $(winpath "$work/m-link") is a link to another place, and nothing is deleted through a link.")" ]
check "linked install folder: nothing removed" [ "$(tree_sums "$m")" = "$m_sums" ]
check "linked install folder: entry gone" no_entry

"$WINE_RUN" wineboot -r </dev/null >/dev/null 2>&1
finish
