#!/bin/bash
# The setup window from the keyboard, through the real input path: xdotool
# sends key presses to the window under the virtual display, and the window
# driver reads back where the focus is and what the window did. Tab and
# Shift+Tab visit the controls in order, typed text survives a Tab, Enter
# presses Install and later Play, Escape closes the finished window and asks
# the stop question during an installation, whose default answer is No.
set -euo pipefail
: "${WINEPREFIX:?}"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/window_lib.sh"
work=$(workdir keyboard)
python3 "$SRC/tools/mkdisc.py" sample "$work/discs" >/dev/null
d1=$(winpath "$work/discs/disc1.iso")
d2=$(winpath "$work/discs/disc2.cue")

# key KEY...: presses keys in the setup window. A click on its introduction
# (which takes no focus) makes it the active window first, as a user would.
key() {
    local wid
    # All matches are read: a reader that quits early would cut xdotool off.
    wid=$(xdotool search --sync --name '^Tolvenar - Varnix Setup$')
    wid=${wid%%$'\n'*}
    xdotool windowfocus --sync "$wid" mousemove --window "$wid" 30 20 click 1 ||
        { echo "xdotool cannot click the setup window $wid" >&2; return 1; }
    drv wait-active 10
    xdotool key --delay 30 "$@" || { echo "xdotool cannot press $*" >&2; return 1; }
}

echo "== Tab and Shift+Tab visit every control in order, from the first field"
start "$SETUP_EXE" /cd "$d1" /cd2 "$d2" /dir "$(winpath "$work/inst1")"
drv wait-focus disc1 10
order=(image1 folder1 disc2 image2 folder2 dir browse start desk list install close disc1)
for name in "${order[@]}"; do
    key Tab
    drv wait-focus "$name" 10
done
for ((i = ${#order[@]} - 2; i >= 0; i--)); do
    key shift+Tab
    drv wait-focus "${order[$i]}" 10
done
key shift+Tab
drv wait-focus disc1 10

echo "== typed text survives a Tab"
dir=$(winpath "$work/inst1")
for _ in 1 2 3 4 5 6; do key Tab; done
drv wait-focus dir 10
key End X Tab Y
drv wait-focus browse 10
drv expect dir="${dir}X"
drv set dir "$dir"

echo "== Enter installs from the filled form; Escape closes the finished window with 0"
key shift+Tab
drv wait-focus dir 10
key Return
drv wait-status "Tolvenar is installed." 120
drv expect install=Play close=Close progress=1000
key Escape
ended 0
[ -f "$work/inst1/tolvenar.exe" ] || { echo "FAIL: nothing was installed"; exit 1; }

echo "== Enter installs, and Enter again plays"
start "$SETUP_EXE" /cd "$d1" /cd2 "$d2" /dir "$(winpath "$work/inst2")"
drv wait-focus disc1 10
key Return
drv wait-status "Tolvenar is installed." 120
key Return
drv game "$(winpath "$work/inst2")"
ended 0

echo "== Escape during an installation asks to stop; Enter answers No"
# The game program's place in the hd tree is taken by a folder: the
# installation waits in its message box until that is answered.
mkdir -p "$work/inst3/game/hd/TL/TOLVENAR.EXE"
start "$SETUP_EXE" /cd "$d1" /cd2 "$d2" /dir "$(winpath "$work/inst3")"
uncopied="TL\\TOLVENAR.EXE could not be copied into the install folder ($(drv error-text 5))"
key Return
drv wait-box "Tolvenar setup" "$uncopied" 60
drv expect install_enabled=0 close=Cancel
key Escape
drv wait-box "Tolvenar setup" "Stop the installation?" 30
drv default-button "Tolvenar setup" "Stop the installation?" no
xdotool key --delay 30 Return
drv box-gone "Tolvenar setup" "Stop the installation?" 10
drv expect install_enabled=0 close=Cancel
drv answer "Tolvenar setup" ok "$uncopied"
drv wait-status "The installation did not finish - see the messages above." 30
key Escape
ended 0

echo "all keyboard cases passed"
