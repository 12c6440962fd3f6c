#!/bin/bash
# The setup window under Wine, driven from outside by window_driver.exe:
# its start-up state, the image choice, the empty-field warning, a full
# installation with Play, a failed installation followed by a good one, and
# stopping an installation.
set -euo pipefail
: "${WINEPREFIX:?}"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/window_lib.sh"

work="$BUILD/e2e_window"
rm -rf "$work"
mkdir -p "$work"

# The installation's lines in the log: everything after start-up's four lines.
install_lines() { log_text | tail -n +5; }

python3 "$SRC/tools/mkdisc.py" sample "$work/discs" >/dev/null
d1=$(winpath "$work/discs/disc1.iso")
d2=$(winpath "$work/discs/disc2.cue")
d2dir=$(winpath "$work/discs/disc2")
ready="Ready. About 2.6 GB of free space is needed."
failed="The installation did not finish - see the messages above."

echo "== start-up: detected discs beside the program, both boxes ticked despite the switches"
mkdir -p "$work/app"
cp "$SETUP_EXE" "$work/app/setup.exe"
cp "$work/discs/disc1.iso" "$work/discs/disc2.cue" "$work/discs/disc2.bin" "$work/app/"
inst1=$(winpath "$work/inst1")
start "$work/app/setup.exe" /dir "$inst1" /nodesktop /nostartmenu
drv layout
drv expect disc1="$(winpath "$work/app/disc1.iso")" disc2="$(winpath "$work/app/disc2.cue")" \
    dir="$inst1" start=1 desk=1 install=Install install_enabled=1 close=Cancel \
    status="$ready" progress=0 lines=0 title="Tolvenar - Varnix Setup"

echo "== the image choice starts from an image, never from a folder"
# The dialog opens in the image's folder with its name in the name field.
drv click image1
drv filedialog "Tolvenar disc 1" "disc1.iso" "" app
drv expect disc1="$(winpath "$work/app/disc1.iso")"
drv set disc2 "$d2dir"
drv click image2
drv filedialog "Tolvenar disc 2" "" "$d2" disc2
drv expect disc2="$d2"

echo "== Install with a field empty: the warning, nothing started"
drv set disc2 ""
drv click install
drv answer "Tolvenar setup" ok "Please choose both discs and the install folder."
drv nobox "Tolvenar setup" 1
drv expect install=Install install_enabled=1 close=Cancel status="$ready" progress=0 lines=0
[ ! -e "$work/inst1" ] || { echo "FAIL: the install folder was created"; exit 1; }

echo "== a full installation: lines in order, status follows, Play and Close"
drv set disc2 "$d2"
drv click desk
drv links clear
drv install-watch 120
drv expect install=Play install_enabled=1 close=Close progress=1000 \
    status="Tolvenar is installed." start=1 desk=0
drv fits
drv lines >"$work/lines1.txt"
install_lines >"$work/log1.txt"
diff -u "$work/log1.txt" "$work/lines1.txt"
head -n 1 "$work/lines1.txt" | grep -Fqx "Install to $inst1"
tail -n 1 "$work/lines1.txt" | grep -Fqx "Done."
drv links | tee "$work/links.txt"
grep -Fqx "start=1 desk=0" "$work/links.txt"

echo "== Play: the game from the install folder, the setup ends with 0"
drv click install
drv game "$inst1"
ended 0

echo "== a failed installation, then a good one from the same window"
inst2=$(winpath "$work/inst2")
start "$SETUP_EXE" /cd "$(winpath "$work/discs/none.iso")" /cd2 "$d2" /dir "$inst2"
drv install-watch 120
drv expect install=Install install_enabled=1 close=Close status="$failed"
drv lines >"$work/lines2.txt"
grep -Fqx "ERROR: disc 1 is not a readable disc, image or folder" "$work/lines2.txt"
drv set disc1 "$d1"
drv install-watch 120
drv expect install=Play install_enabled=1 close=Close progress=1000 status="Tolvenar is installed."
drv lines >"$work/lines3.txt"
# The list keeps the failed run's lines above the new run's.
head -n "$(wc -l <"$work/lines2.txt")" "$work/lines3.txt" | diff -u "$work/lines2.txt" -
tail -n 1 "$work/lines3.txt" | grep -Fqx "Done."
drv click close
ended 0

# An installation that stays running as long as a test needs: a folder where
# the game program belongs in the hd tree makes the game files step fail on
# its first file, and the pipeline then waits in its own message box (no
# owner) until that box is answered.
uncopied="TL\\TOLVENAR.EXE could not be copied into the install folder ($(drv error-text 5))"
held_install() {
    mkdir -p "$work/$1/game/hd/TL/TOLVENAR.EXE"
    start "$SETUP_EXE" /cd "$d1" /cd2 "$d2" /dir "$(winpath "$work/$1")"
    drv click install
    drv wait-box "Tolvenar setup" "$uncopied" 60
    # The box comes from the worker; the line it posted first may still be on
    # its way to the window.
    drv wait-status "ERROR: $uncopied" 30
    drv expect install_enabled=0 close=Cancel
}

echo "== stop: No lets it go on; the question left open until the end, then Yes, ends with 0"
held_install inst3
drv click close
drv answer "Tolvenar setup" no "Stop the installation?"
drv expect install_enabled=0 close=Cancel
drv close
drv wait-box "Tolvenar setup" "Stop the installation?" 30
drv answer "Tolvenar setup" ok "$uncopied"
drv wait-status "$failed" 30
drv expect install=Install install_enabled=1 close=Close
drv answer "Tolvenar setup" yes "Stop the installation?"
ended 0

echo "== stop: Yes ends the process with 1, and the log holds every line up to then"
held_install inst4
drv lines >"$work/lines4.txt"
drv click close
drv answer "Tolvenar setup" yes "Stop the installation?"
ended 1
install_lines >"$work/log4.txt"
diff -u "$work/lines4.txt" "$work/log4.txt"
# The program's place is taken by a folder: the copy names it, then the error.
tail -n 3 "$work/log4.txt" | head -n 1 | grep -Fqx "Setting up the game files ..."
tail -n 2 "$work/log4.txt" | head -n 1 | grep -q '^cannot write .*\\game\\hd\\TL\\TOLVENAR.EXE (error [0-9]*: .*)$'
tail -n 1 "$work/log4.txt" | grep -Fqx "ERROR: $uncopied"
[ -f "$work/inst4/game/cd/TLID.001" ] || { echo "FAIL: the copied discs are not there"; exit 1; }

echo "all window cases passed"
