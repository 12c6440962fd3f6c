#!/bin/sh
# start PREFIX: make the Wine prefix once and keep a persistent wineserver for
#               the length of a test run (a program then starts in ~0.05 s);
# stop PREFIX:  end that prefix's wineserver.
set -eu
cmd=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d'
case $cmd in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    # Wine links the user's Desktop, Documents and the like to $HOME; a test
    # prefix gets folders of its own, so that nothing lands in the host's home.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
    done
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
    # Start the prefix's services now, detached from the test runner's pipes,
    # rather than from whichever two tests happen to start first.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k 2>/dev/null || true
    ;;
esac
