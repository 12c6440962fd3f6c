#!/bin/bash
# bench/hostile.sh [SETUP_EXE] [LIMIT]: wall time and peak resident memory of
# silent installations from the hostile inputs of `tools/mkdisc.py hostile`
# (and a chain of 6,000 directories), each run in the Windows build tree's
# prefix with a virtual display (where a message box may wait) and stopped
# after LIMIT seconds (default 300). Prints one row per input: seconds, peak
# resident MiB of the setup's process (GNU time), exit code. Run it while no
# test runs in that prefix.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
setup=$(realpath "${1:-build/win/setup.exe}")
limit=${2:-300}
build=$root/build/win
data=$root/build/bench-hostile
prefix=$build/wineprefix
mkdir -p "$data"
[ -f "$data/in/index.txt" ] || python3 tools/mkdisc.py hostile "$data/in" >/dev/null
[ -f "$data/in6000/chain.iso" ] || python3 tools/mkdisc.py hostile "$data/in6000" --chain 6000 >/dev/null
[ -d "$data/discs" ] || python3 tools/mkdisc.py sample "$data/discs" >/dev/null
if [ ! -d "$data/baddisc" ]; then
    cp -r "$data/discs/disc1" "$data/baddisc"
    chmod -R u+w "$data/baddisc"
    rm "$data/baddisc/TL/TOLVENAR.EXE"
    mkdir "$data/baddisc/TL/TOLVENAR.EXE"
fi
mkdir -p "$data/app"
for f in huge-root.iso huge-subdir.iso huge.cue; do ln -f "$data/in/$f" "$data/app/$f"; done
cp "$setup" "$data/app/setup.exe"

display=:77
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
scripts/wine-prefix.sh start "$prefix"
trap 'scripts/wine-prefix.sh stop "$prefix"; kill "$xvfb"' EXIT
w() { printf 'Z:%s' "$1" | tr / '\\'; }
disc2=$(w "$data/discs/disc2.cue")

row() {  # row LABEL EXE DISC1
    local label=$1 exe=$2 d1=$3 out=$data/out
    rm -rf "$out"
    set +e
    # Only the setup's own process is measured; a box it may show gets a display.
    DISPLAY=$display /usr/bin/time -f '%e %M' -o "$data/time.txt" timeout "$limit" \
        "$build/wine-run" "$exe" /silent /cd "$d1" /cd2 "$disc2" /dir "$(w "$out")" \
        </dev/null >/dev/null 2>&1
    local code=$?
    set -e
    read -r secs kb < <(tail -n 1 "$data/time.txt")
    [ "$code" -eq 124 ] && code="stopped after $limit s"
    printf '%-52s %8.1f s %8.0f MiB   exit %s\n' "$label" "$secs" "$((kb / 1024))" "$code"
    rm -rf "$out"
}

echo "setup: $setup"
row "chain of 3,000 directories (12 MB image)" "$setup" "$(w "$data/in/chain.iso")"
row "chain of 6,000 directories (24.6 MB image)" "$setup" "$(w "$data/in6000/chain.iso")"
row "root recorded as ~4 GiB (5 GB sparse image)" "$setup" "$(w "$data/in/huge-root.iso")"
row "subdirectory recorded as ~4 GiB (5 GB sparse image)" "$setup" "$(w "$data/in/huge-subdir.iso")"
row "cue sheet of 3.5 GB, FILE line at the end" "$setup" "$(w "$data/in/huge.cue")"
row "the three beside setup.exe, good discs named" "$data/app/setup.exe" "$(w "$data/discs/disc1.iso")"
row "folder disc with two links to itself" "$setup" "$(w "$data/in/selflinks")"
row "1,000 records sharing one 1 MiB extent" "$setup" "$(w "$data/in/shared-extent.iso")"
row "TL\\TOLVENAR.EXE cannot be copied, /silent" "$setup" "$(w "$data/baddisc")"
