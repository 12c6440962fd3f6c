#!/usr/bin/env python3
"""check_manifest.py SETUP_EXE VERSION: the application manifest that
setup.exe carries (RT_MANIFEST 1, language 1033), element by element: identity
(with the project's version, four numbers), description, the common controls
dependency, the trust information, and the window settings (DPI awareness and
UTF-8 as the process's code page)."""

import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import peres  # noqa: E402

V1 = "{urn:schemas-microsoft-com:asm.v1}"
V3 = "{urn:schemas-microsoft-com:asm.v3}"
WS2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WS2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
WS2019 = "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}"

failures = []


def check(cond, what):
    print(("ok:   " if cond else "FAIL: ") + what)
    if not cond:
        failures.append(what)


data = open(sys.argv[1], "rb").read()
found = [body for t, n, lang, body in peres.resources(data) if (t, n, lang) == (24, 1, 1033)]
check(len(found) == 1, "one RT_MANIFEST 1 at language 1033")
text = found[0] if found else b""
check(text.startswith(b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'),
      "UTF-8 text with the XML declaration")
root = ET.fromstring(text)
check(root.tag == V1 + "assembly" and root.get("manifestVersion") == "1.0", "assembly, manifest version 1.0")
ident = root.find(V1 + "assemblyIdentity")
check(ident is not None and ident.attrib == {"version": sys.argv[2], "name": "TolvenarVarnix.Setup",
                                             "type": "win32"}, "its identity")
desc = root.find(V1 + "description")
check(desc is not None and desc.text == "Tolvenar - Varnix Setup", "its description")
deps = root.findall(f"{V1}dependency/{V1}dependentAssembly/{V1}assemblyIdentity")
check(len(deps) == 1 and deps[0].attrib == {
    "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
    "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"},
    "one dependency: the common controls 6")
level = root.findall(f"{V3}trustInfo/{V3}security/{V3}requestedPrivileges/{V3}requestedExecutionLevel")
check(len(level) == 1 and level[0].attrib == {"level": "asInvoker", "uiAccess": "false"},
      "runs as the user who starts it")
settings = root.find(f"{V3}application/{V3}windowsSettings")
check(settings is not None, "window settings")
if settings is not None:
    for tag, want in ((WS2005 + "dpiAware", "true"), (WS2016 + "dpiAwareness", "PerMonitorV2"),
                      (WS2019 + "activeCodePage", "UTF-8")):
        el = settings.findall(tag)
        check(len(el) == 1 and el[0].text == want, f"{tag.split('}')[1]} {want}")
check(len(root) == 5, "nothing else at the top (identity, description, dependency, trust, settings)")
sys.exit(1 if failures else 0)
