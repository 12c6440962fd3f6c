#!/bin/sh
# The main job on a built-in example: installs what is missing, builds
# setup.exe, makes a sample pair of game discs (disc 1 as a plain ISO image,
# disc 2 as a raw BIN/CUE image), installs them silently under Wine into a
# fresh folder and shows what was installed.
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/configure.sh win
cmake --build build/win -j"$(nproc)" --target setup >/dev/null
build=$PWD/build/win
prefix=$build/wineprefix
demo=$build/demo
rm -rf "$demo"
python3 tools/mkdisc.py sample "$demo/discs" >/dev/null
scripts/wine-prefix.sh start "$prefix"
trap 'scripts/wine-prefix.sh stop "$prefix"' EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
target=$demo/installed
printf '== setup.exe /silent /cd disc1.iso /cd2 disc2.cue /dir %s\n' "$(winpath "$target")"
set +e
"$build/wine-run" "$build/setup.exe" /silent /cd "$(winpath "$demo/discs/disc1.iso")" \
    /cd2 "$(winpath "$demo/discs/disc2.cue")" /dir "$(winpath "$target")" </dev/null
code=$?
set -e
echo "== exit code: $code"
# Where %TEMP% is in the prefix is Wine's to say: it differs between versions.
temp=$("$build/wine-run" cmd /c echo %TEMP% </dev/null | tr -d '\r')
printf '== setup log (%s\\tolvenar_setup.log):\n' "$temp"
tr -d '\r' < "$("$build/wine-run" winepath -u "$temp" </dev/null)/tolvenar_setup.log" | sed 's/^/   /'
echo "== installed tree in $target:"
if [ -d "$target" ]; then
    (cd "$target" && find . -maxdepth 4 -type f -printf '   %-45p %10s bytes\n' | sort | head -40)
    printf '   %s files, %s bytes in all\n' "$(find "$target" -type f | wc -l)" \
        "$(du -sb "$target" | cut -f1)"
    if "$build/wine-run" "$target/tolvenar.exe" /check </dev/null; then
        echo "== the installed game program finds its game files"
    fi
fi
exit "$code"
