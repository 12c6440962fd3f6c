#!/bin/bash
# Takes pictures of the setup window in its four states (start, installing,
# installed, failed) under a virtual display and saves them as
# OUT/window-<state>.png, and the installed state once more at 144 DPI
# (150 %) as OUT/window-installed-144dpi.png. Not a test: run it by hand
# after changing the window.
#
#   tools/screenshots.sh [BUILD] [OUT]     defaults: build/win and docs
#
# BUILD must hold setup.exe and window_driver.exe (a built Windows tree).
# Needs Xvfb (xvfb-run) and ImageMagick (import, convert). Uses a Wine prefix
# of its own (BUILD/wineprefix-shots), in which Wine draws the window frame
# itself, since there is no window manager to draw it.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$here/build/win}" && pwd)
OUT=${2:-$here/docs}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

if [ -z "${SHOTS_INNER:-}" ]; then
    for tool in xvfb-run import convert wine; do
        command -v "$tool" >/dev/null || { echo "$0: needs $tool" >&2; exit 2; }
    done
    if [ ! -f /usr/share/wine/fonts/marlett.ttf ]; then
        echo "$0: warning: Wine's own fonts (package fonts-wine) are missing;" \
            "the title bar buttons will show letters instead of symbols" >&2
    fi
    for f in setup.exe window_driver.exe; do
        [ -f "$BUILD/$f" ] || { echo "$0: no $BUILD/$f: build the Windows tree first" >&2; exit 2; }
    done
    SHOTS_INNER=1 exec xvfb-run -a -s "-screen 0 1600x1200x24" "$0" "$BUILD" "$OUT"
fi

export WINEPREFIX="$BUILD/wineprefix-shots" WINEDEBUG=-all
export WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d'
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX ..."
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Keep the shortcuts of these installations out of the host's home folder.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
    done
fi
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# Wine's own fonts, where Debian's Wine does not look for them: Marlett draws
# the symbols of the title bar's buttons, Tahoma is the message font.
fonts=$(wine winepath -u 'C:\windows\Fonts' </dev/null 2>/dev/null)
for f in marlett.ttf tahoma.ttf tahomabd.ttf; do
    if [ -f "/usr/share/wine/fonts/$f" ]; then cp "/usr/share/wine/fonts/$f" "$fonts/"; fi
done
# set_dpi DPI: the display scale Wine reports, read when its server starts.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p </dev/null >/dev/null 2>&1 || true
}
set_dpi 96

work="$BUILD/screenshots"
rm -rf "$work"
mkdir -p "$work"
setup_pid=
finish() {
    if [ -n "$setup_pid" ]; then kill "$setup_pid" 2>/dev/null || true; fi
    wineserver -k 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/e:"
    rm -rf "$work" ${installed:+"$installed"}
}
trap finish EXIT

drv() { wine "$BUILD/window_driver.exe" "$@" </dev/null | tr -d '\r'; }
start() {
    wine "$BUILD/setup.exe" "$@" </dev/null >/dev/null 2>&1 &
    setup_pid=$!
    drv wait 30 >/dev/null
}
quit() {
    drv click close
    wait "$setup_pid" || true
    setup_pid=
}
# shot NAME: the window with its frame, cut from the whole screen.
shot() {
    sleep 0.3  # let the last repaint reach the screen
    local geometry
    geometry=$(drv rect)
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$geometry" +repage "$OUT/window-$1.png"
    echo "$OUT/window-$1.png ($geometry)"
}

echo "making sample discs ..."
python3 "$here/tools/mkdisc.py" sample "$work/discs" >/dev/null
# Large enough that the installing state lasts a few seconds.
python3 "$here/tools/mkdisc.py" sample "$work/big" --size 1G --folders-only >/dev/null
# Short paths in the pictures: the discs appear as drive E:.
ln -sfn "$work" "$WINEPREFIX/dosdevices/e:"
d1='E:\discs\disc1.iso'
d2='E:\discs\disc2.cue'
dir='C:\Games\Tolvenar'
installed=$(wine winepath -u "$dir" </dev/null 2>/dev/null)

# start, then installing and installed in the same window
start /cd "$d1" /cd2 "$d2" /dir "$dir"
shot start
drv set disc1 'E:\big\disc1'
drv set disc2 'E:\big\disc2'
drv click install
drv wait-lines 3 60  # copying disc 2
drv wait-progress 600 120
shot installing
[ "$(drv get close)" = Cancel ] || { echo "$0: the installation ended before the picture" >&2; exit 1; }
drv wait-status "Tolvenar is installed." 300
shot installed
quit

# installed at 144 DPI
set_dpi 144
start /cd "$d1" /cd2 "$d2" /dir "$dir"
drv click install
drv wait-status "Tolvenar is installed." 120
shot installed-144dpi
quit
set_dpi 96

# failed: disc 1 names nothing
start /cd 'E:\discs\disc1.img' /cd2 "$d2" /dir "$dir"
drv click install
drv wait-status "The installation did not finish - see the messages above." 60
shot failed
quit
