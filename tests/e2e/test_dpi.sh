#!/bin/bash
# The setup window on scaled displays: at 96, 144 and 192 DPI (Wine takes the
# DPI from the user's LogPixels value when its server starts) the client area
# and every control are the 96-DPI layout scaled by DPI/96, and every text,
# the introduction's included, fits its control in the message font of that
# DPI; the list scrolls sideways as far as its longest line.
set -euo pipefail
: "${WINEPREFIX:?}"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/window_lib.sh"
work=$(workdir dpi)

# A prefix of its own (hard links to the test prefix): its server restarts
# for every DPI.
dprefix=$work/prefix
prefix_copy "$dprefix"
cat > "$work/wine-run" <<RUN
#!/bin/sh
export WINEPREFIX='$dprefix' WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d'
exec wine "\$@"
RUN
chmod +x "$work/wine-run"
WINE_RUN=$work/wine-run
trap 'stop_setup; WINEPREFIX=$dprefix wineserver -k 2>/dev/null || true' EXIT

long_dir=$(winpath "$work/a folder with a long name that the list has to scroll sideways to show")
for dpi in 96 144 192; do
    echo "== $dpi DPI"
    "$WINE_RUN" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        </dev/null >/dev/null 2>&1
    WINEPREFIX=$dprefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$dprefix wineserver -w 2>/dev/null || true
    WINEPREFIX=$dprefix wineserver -p 2>/dev/null || true
    start "$SETUP_EXE" /cd "$(winpath "$work/none.iso")" /cd2 "$(winpath "$work/none.cue")" /dir "$long_dir"
    drv layout
    # A failed installation puts its lines in the list, the first one long.
    drv click install
    drv wait-status "The installation did not finish - see the messages above." 60
    drv fits
    drv click close
    ended 0
done
echo "all DPI cases passed"
