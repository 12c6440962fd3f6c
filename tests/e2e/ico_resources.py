#!/usr/bin/env python3
"""ico_resources.py ICO: what an icon file should become in a program file
(RT_ICON 1..n and RT_GROUP_ICON 1, all at language 0), as the lines
tools/peres.py prints: "type name lang size md5"."""
import hashlib
import struct
import sys

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
