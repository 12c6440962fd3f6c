#!/usr/bin/env python3
"""The resources of a 64-bit Windows program file (PE32+), read from its bytes.

    peres.py EXE                      one line per resource: type name language size md5
    peres.py EXE TYPE NAME LANG       the bytes of one resource to stdout

Types and names are numbers or strings as the resource directory holds them
(RT_ICON is 3, RT_GROUP_ICON 14, RT_MANIFEST 24). Standard library only.
"""

import hashlib
import struct
import sys


def resources(data):
    """[(type, name, language, bytes)] in the order of the resource directory."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsec, optsize = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    if struct.unpack_from("<H", data, opt)[0] != 0x20B:
        raise ValueError("not a 64-bit program")
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


def _key(text):
    return int(text) if text.isdigit() else text


def main(argv):
    if len(argv) not in (2, 5):
        print(__doc__, file=sys.stderr)
        return 2
    items = resources(open(argv[1], "rb").read())
    if len(argv) == 2:
        for t, n, lang, body in items:
            print(t, n, lang, len(body), hashlib.md5(body).hexdigest())
        return 0
    want = (_key(argv[2]), _key(argv[3]), int(argv[4]))
    for t, n, lang, body in items:
        if (t, n, lang) == want:
            sys.stdout.buffer.write(body)
            return 0
    print("no such resource", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
