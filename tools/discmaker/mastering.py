"""ISO 9660 images mastered by the real tool."""

import fnmatch
import shutil
import subprocess
import sys

from .common import HIDDEN, fail
from .isoread import IsoReader


# Mastering with the real tool

def find_tool(preferred=None):
    names = [preferred] if preferred else ["genisoimage", "xorriso"]
    for name in names:
        if shutil.which(name):
            return name
    fail(f"{' or '.join(names)} is not installed")


def run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        sys.stderr.write(r.stdout + r.stderr)
        fail(f"{cmd[0]} failed with exit code {r.returncode}")
    return r


def master_iso(src, out, hidden=(), volume_id="TESTDISC", tool=None):
    """Plain 2048-byte ISO 9660 image of the folder src: primary names only (no
    Rock Ridge, no Joliet), deep folders kept where they are, names as in the tree
    with the version suffix ;1 on files. Returns the tool used."""
    tool = find_tool(tool)
    if tool == "genisoimage":
        cmd = ["genisoimage", "-quiet", "-o", out, "-V", volume_id, "-D"]
        for g in hidden:
            cmd += ["-hidden", g]
    else:
        cmd = ["xorriso", "-rockridge", "off", "-as", "mkisofs", "-quiet",
               "-o", out, "-V", volume_id, "-D"]
    run(cmd + [src])
    if tool != "genisoimage" and hidden:
        # xorriso cannot set the hidden flag; set it in the finished image.
        set_hidden_flags(out, hidden)
    return tool


def _hidden_match(rel, globs):
    name = rel.rsplit("/", 1)[-1]
    return any(fnmatch.fnmatchcase(name, g) or fnmatch.fnmatchcase(rel, g) for g in globs)


def set_hidden_flags(iso_path, globs):
    """Set the hidden flag on every record of a plain image whose cleaned name,
    or path relative to the root, matches one of globs."""
    with IsoReader(iso_path) as r:
        hits = [r.record_pos(e) for rel, e in r.walk() if _hidden_match(rel, globs)]
    with open(iso_path, "r+b") as f:
        for pos in hits:
            f.seek(pos + 25)
            flags = f.read(1)[0]
            f.seek(pos + 25)
            f.write(bytes([flags | HIDDEN]))
    return len(hits)


# ---------------------------------------------------------------------------
