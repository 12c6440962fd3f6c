#!/bin/bash
# The installed game program carries the icon of the disc's I_COMP\TL.ICO,
# read back from its resource section; an icon file that is not one costs an
# error line but not the installation.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir icon)
discs=$work/discs
python3 "$SRC/tools/mkdisc.py" sample "$discs" --folders-only >/dev/null

# resources.py EXE: every resource of a 64-bit program file as "type name lang md5".
# ico.py ICO: the same lines for what an icon file should become: RT_ICON 1..n
# and RT_GROUP_ICON 1, all at language 0.
cat > "$work/resources.py" <<'EOF'
import hashlib, struct, sys

def resources(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsec, optsize = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    assert struct.unpack_from("<H", data, opt)[0] == 0x20B, "not a 64-bit program"
    rva = struct.unpack_from("<I", data, opt + 112 + 2 * 8)[0]
    if rva == 0:
        return []
    sections = [struct.unpack_from("<8xIIII", data, opt + optsize + 40 * i) for i in range(nsec)]
    def at(r):
        for vsize, vaddr, rawsize, rawptr in sections:
            if vaddr <= r < vaddr + max(vsize, rawsize):
                return r - vaddr + rawptr
        raise ValueError("rva %#x outside the sections" % r)
    base = at(rva)
    def entries(off):
        named, ids = struct.unpack_from("<12xHH", data, base + off)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + off + 16 + 8 * i)
            if name & 0x80000000:
                p = base + (name & 0x7FFFFFFF)
                n = struct.unpack_from("<H", data, p)[0]
                name = data[p + 2:p + 2 + 2 * n].decode("utf-16-le")
            yield name, target
    out = []
    for t, tdir in entries(0):
        for n, ndir in entries(tdir & 0x7FFFFFFF):
            for lang, leaf in entries(ndir & 0x7FFFFFFF):
                drva, size = struct.unpack_from("<II", data, base + leaf)
                out.append((t, n, lang, data[at(drva):at(drva) + size]))
    return out

def ico(data):
    n = struct.unpack_from("<H", data, 4)[0]
    group = struct.pack("<HHH", 0, 1, n)
    out = []
    for i in range(n):
        e = data[6 + 16 * i:22 + 16 * i]
        length, offset = struct.unpack_from("<II", e, 8)
        out.append((3, i + 1, 0, data[offset:offset + length]))
        group += e[:12] + struct.pack("<H", i + 1)
    out.append((14, 1, 0, group))
    return out

kind, path = sys.argv[1], sys.argv[2]
items = (resources if kind == "exe" else ico)(open(path, "rb").read())
for t, n, lang, body in items:
    if kind == "exe" and t not in (3, 14):
        continue
    print(t, n, lang, len(body), hashlib.md5(body).hexdigest())
EOF
icons() { python3 "$work/resources.py" "$@" | sort; }

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
