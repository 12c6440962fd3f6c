#!/usr/bin/env python3
"""check_version.py SETUP_EXE VERSION: setup.exe's version resource
(RT_VERSION 1) gives VERSION (four numbers) as file and product version, in
the fixed part and in the texts that Explorer shows."""

import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import peres  # noqa: E402

exe, version = sys.argv[1], sys.argv[2]
found = [body for t, n, lang, body in peres.resources(open(exe, "rb").read()) if (t, n) == (16, 1)]
if len(found) != 1:
    sys.exit("FAIL: not one version resource")
body = found[0]
fixed = body.find(struct.pack("<I", 0xFEEF04BD))
numbers = [int(x) for x in version.split(".")]
want = struct.pack("<IIII", numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3],
                   numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
failures = []
if fixed < 0 or body[fixed + 8:fixed + 24] != want:
    failures.append("file and product version in the fixed part")
text = body.decode("utf-16-le", "replace")
for key in ("FileVersion", "ProductVersion"):
    if not re.search(key + "\0+" + re.escape(version) + "\0", text):
        failures.append(key + " text")
for f in failures:
    print("FAIL:", f)
print("version %s: %s" % (version, "wrong" if failures else "ok"))
sys.exit(1 if failures else 0)
