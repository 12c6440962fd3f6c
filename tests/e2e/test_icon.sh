#!/bin/bash
# The installed game program carries the icon of the disc's I_COMP\TL.ICO,
# read back from its resource section; an icon file that is not one costs an
# error line but not the installation.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir icon)
discs=$work/discs
python3 "$SRC/tools/mkdisc.py" sample "$discs" --folders-only >/dev/null

# ico.py ICO: for what an icon file should become (RT_ICON 1..n and
# RT_GROUP_ICON 1, all at language 0), the lines tools/peres.py prints for
# a program file: "type name lang size md5".
cat > "$work/ico.py" <<'PY'
import hashlib, struct, sys

data = open(sys.argv[1], "rb").read()
n = struct.unpack_from("<H", data, 4)[0]
group = struct.pack("<HHH", 0, 1, n)
for i in range(n):
    e = data[6 + 16 * i:22 + 16 * i]
    length, offset = struct.unpack_from("<II", e, 8)
    body = data[offset:offset + length]
    print(3, i + 1, 0, len(body), hashlib.md5(body).hexdigest())
    group += e[:12] + struct.pack("<H", i + 1)
print(14, 1, 0, len(group), hashlib.md5(group).hexdigest())
PY
icons() {  # icons exe|ico FILE: the icon resources, sorted
    if [ "$1" = exe ]; then
        python3 "$SRC/tools/peres.py" "$2" | awk '$1 == 3 || $1 == 14' | sort
    else
        python3 "$work/ico.py" "$2" | sort
    fi
}

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
