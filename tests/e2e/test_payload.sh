#!/bin/bash
# Another game program as the payload (tests/e2e/payload.cmake builds
# setup_other_game.exe around other_game.exe): setup.exe carries it, installs
# it as tolvenar.exe unchanged but for the disc's icon. Files that are not
# 64-bit Windows programs stop the build, saying why.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir payload)
discs=$work/discs
python3 "$SRC/tools/mkdisc.py" sample "$discs" --folders-only >/dev/null
other=$BUILD/other_game.exe
setup=$BUILD/setup_other_game.exe

check "GAMEEXE is the other program" \
    cmp -s <(python3 "$SRC/tools/peres.py" "$setup" 10 GAMEEXE 1033) "$other"

target=$work/out
run "$setup" /silent /cd "$(winpath "$discs/disc1")" /cd2 "$(winpath "$discs/disc2")" /dir "$(winpath "$target")"
check "exit code 0" [ "$code" -eq 0 ]
check "the icon line, then Done." \
    [ "$(log_text | tail -n 2)" = "$(printf '%s\n' "icon: 3 images from the CD" "Done.")" ]
game=$target/tolvenar.exe
# same_sections A B: the two program files have the same sections, but for
# the resources, byte for byte.
same_sections() {
    python3 - "$1" "$2" <<'PY'
import struct, sys

def sections(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optsize = struct.unpack_from("<H12xH", data, pe + 6)
    out = {}
    for i in range(count):
        name, vsize, size, ptr = struct.unpack_from("<8sI4xII", data, pe + 24 + optsize + 40 * i)
        out[name.rstrip(b"\0").decode()] = (vsize, data[ptr:ptr + size])
    out.pop(".rsrc", None)
    return out

a, b = sections(sys.argv[1]), sections(sys.argv[2])
differ = sorted(n for n in a.keys() | b.keys() if a.get(n) != b.get(n))
if differ:
    print("sections differ:", *differ)
sys.exit(1 if differ or not a else 0)
PY
}
check "tolvenar.exe has the other program's sections but for the resources" same_sections "$game" "$other"
game_res=$(python3 "$SRC/tools/peres.py" "$game")
check "its other resources are the other program's" [ "$(awk '$1 != 3 && $1 != 14' <<<"$game_res")" = \
    "$(python3 "$SRC/tools/peres.py" "$other" | awk '$1 != 3 && $1 != 14')" ]
check "its icon resources are the disc's icon file" [ "$(awk '$1 == 3 || $1 == 14' <<<"$game_res" | sort)" = \
    "$(icons ico "$discs/disc1/I_COMP/TL.ICO")" ]
run "$game" /check
check "it runs as the other program (exit code 7)" [ "$code" -eq 7 ]

# The build's check of a payload (cmake/game_exe.cmake), on the other program
# with one field changed and on files that are no programs.
refused() {  # refused FILE TEXT: the check stops with TEXT in its message
    local out
    if out=$(cmake -DEXE="$1" -DCOPY="$work/copy.exe" -P "$SRC/cmake/game_exe.cmake" 2>&1); then
        echo "accepted $1"
        return 1
    fi
    tr -s ' \n' ' ' <<<"$out" | grep -qF -- "$2" || { echo "$out"; return 1; }
}
# The other program with one 16-bit field of its PE header changed.
python3 - "$other" "$work" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
flags = struct.unpack_from("<H", data, pe + 22)[0]
for name, offset, value in (("i386", 4, 0x14C), ("arm64", 4, 0xAA64), ("pe32", 24, 0x10B),
                            ("dll", 22, flags | 0x2000), ("objfile", 22, flags & ~2)):
    changed = bytearray(data)
    struct.pack_into("<H", changed, pe + offset, value)
    open(f"{sys.argv[2]}/{name}.exe", "wb").write(changed)
PY
check "accepted: the other program" cmake -DEXE="$other" -DCOPY="$work/copy.exe" -P "$SRC/cmake/game_exe.cmake"
check "accepted: its copy is whole" cmp -s "$other" "$work/copy.exe"
check "refused: 32-bit x86" refused "$work/i386.exe" "built for machine 0x14c, not for x86-64 (0x8664)"
check "refused: ARM64" refused "$work/arm64.exe" "built for machine 0xaa64"
check "refused: PE32 header" refused "$work/pe32.exe" "not a PE32+ image (optional header magic 0x10b"
check "refused: a DLL" refused "$work/dll.exe" "it is a DLL, not a program"
check "refused: not executable" refused "$work/objfile.exe" "does not mark it as an executable image"
head -c 4096 "$SRC/README.md" | sed '1s/^/MZ/' > "$work/text.exe"
check "refused: text" refused "$work/text.exe" "not a Windows program"
check "refused: missing" refused "$work/none.exe" "there is no such file"

finish
