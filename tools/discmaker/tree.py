"""Generated folder trees and their manifests."""

import hashlib
import os
import random
import re
import zlib

from .common import BLOCK, KiB, MARKER, MiB


# Folder trees

FILE_NAME = re.compile(r"[A-Z0-9_]{1,8}\.[A-Z0-9_]{1,3}")
DIR_NAME = re.compile(r"[A-Z0-9_]{1,8}")
EDGE_SIZES = (1, 2047, 2048, 2049, 65535, 65536, 65537)  # around sector and 64 KiB chunk ends
LARGE_FILES = (("BIG/LARGE.BIN", 2 * MiB + MiB // 2), ("BIG/OVER1M.BIN", MiB + 1))


def fill_file(path, size, key):
    """Write size pseudo-random bytes; the same key always gives the same bytes.
    SHAKE-128 per 1 MiB block: a fixed standard, and five times faster than
    random.randbytes."""
    with open(path, "wb") as f:
        block = 0
        left = size
        while left:
            n = min(left, BLOCK)
            f.write(hashlib.shake_128(f"{key}#{block}".encode()).digest(n))
            left -= n
            block += 1


def set_hidden_attr(path):
    """Give a file the DOS hidden attribute the way Wine and Samba store it.
    Returns False where the file system has no user extended attributes."""
    try:
        os.setxattr(path, "user.DOSATTRIB", b"0x2")
        return True
    except (OSError, AttributeError):
        return False


def has_hidden_attr(path):
    try:
        v = os.getxattr(path, "user.DOSATTRIB").rstrip(b"\0")
        return v.startswith(b"0x") and int(v, 16) & 2 != 0
    except (OSError, AttributeError, ValueError):
        return False


class TreeMaker:
    """Writes files below one root and counts their bytes."""

    def __init__(self, root, seed):
        self.root = root
        self.seed = seed
        self.bytes = 0

    def path(self, rel):
        return os.path.join(self.root, *rel.split("/"))

    def folder(self, rel):
        os.makedirs(self.path(rel), exist_ok=True)

    def file(self, rel, size=None, data=None, readonly=False, hidden=False):
        parts = rel.split("/")
        assert all(DIR_NAME.fullmatch(p) for p in parts[:-1]) and FILE_NAME.fullmatch(parts[-1]), rel
        path = self.path(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            fill_file(path, size, f"mkdisc:{self.seed}:{rel}")
        else:
            with open(path, "wb") as f:
                f.write(data)
            size = len(data)
        self.bytes += size
        if hidden:
            set_hidden_attr(path)
        if readonly:
            os.chmod(path, 0o444)
        return path


def _draw_size(rng):
    r = rng.random()
    if r < 0.55:
        return rng.randint(0, 16 * KiB)
    if r < 0.9:
        return rng.randint(16 * KiB, MiB)
    return rng.randint(MiB, 8 * MiB)


def fill_folders(t, base, budget, rng):
    """Spread budget bytes over files of mixed sizes in folders nested up to four
    deep below base."""
    if budget <= 0:
        return
    ndirs = nfiles = 0

    def new_dir(parent):
        nonlocal ndirs
        ndirs += 1
        return f"{parent}/D{ndirs:03d}"

    cur, depth = new_dir(base), 1
    here, per_dir = 0, rng.randint(3, 12)
    while budget > 0:
        if here >= per_dir:
            r = rng.random()
            if r < 0.4 and depth < 4:
                cur, depth = new_dir(cur), depth + 1
            elif r < 0.7 and depth > 1:
                cur = new_dir(cur.rsplit("/", 1)[0])
            else:
                cur, depth = new_dir(base), 1
            here, per_dir = 0, rng.randint(3, 12)
        size = min(_draw_size(rng), budget)
        nfiles += 1
        t.file(f"{cur}/F{nfiles:05d}.DAT", size)
        budget -= size
        here += 1


def chain_dir(level):
    return f"LEVEL{level:02d}"


def make_tree(out, seed=1, total=4 * MiB, depth=0, many=0, minimal=False):
    """Generate a folder tree in the existing empty folder out; returns its bytes.

    Standard content (unless minimal): README.TXT, an empty EMPTY.DAT, a read-only
    READONLY.TXT, an empty folder EMPTYDIR, DOCS/HIDDEN.TXT (hidden attribute as
    an extended attribute where the file system has them), EDGES/S<n>.DAT for
    sizes around sector and chunk ends, BIG/LARGE.BIN (2.5 MiB) and
    BIG/OVER1M.BIN (1 MiB + 1) while they fit, and DATA/... filling up to total.
    depth adds LEVEL01/LEVEL02/.../LEVELnn with FILEkk.TXT at every level (and
    FILE00.TXT in the root); many adds MANY/M00001.DAT ... with many files."""
    t = TreeMaker(out, seed)
    rng = random.Random(f"mkdisc-layout:{seed}")
    if not minimal:
        t.file("README.TXT", data=(f"Generated test tree, seed {seed}.\r\n"
                                   "Every name is a plain ISO 9660 name.\r\n").encode())
        t.file("EMPTY.DAT", data=b"")
        t.file("READONLY.TXT", data=b"This file is read-only on the source.\r\n", readonly=True)
        t.folder("EMPTYDIR")
        t.file("DOCS/HIDDEN.TXT", data=b"This file is hidden on the source.\r\n", hidden=True)
        t.file("DOCS/NOTES.TXT", size=3000)
        for n in EDGE_SIZES:
            t.file(f"EDGES/S{n}.DAT", size=n)
    if depth:
        t.file("FILE00.TXT", size=1000)
        rel = ""
        for k in range(1, depth + 1):
            rel += chain_dir(k) + "/"
            t.file(f"{rel}FILE{k:02d}.TXT", size=1000 + k)
    for i in range(1, many + 1):
        t.file(f"MANY/M{i:05d}.DAT", data=f"many {i:05d}\r\n".encode() * (1 + i % 7))
    if not minimal:
        left = total - t.bytes
        for rel, size in LARGE_FILES:
            if left >= size:
                t.file(rel, size)
                left -= size
        fill_folders(t, "DATA", left, rng)
    return t.bytes


# ---------------------------------------------------------------------------
# Manifests: one line per folder and file of a tree, for tests to compare with

MANIFEST_HEAD = (
    "# mkdisc manifest, tab-separated:\n"
    "#   LABEL  D  RELPATH  0  -  -                 a folder\n"
    "#   LABEL  F  RELPATH  SIZE  CRC32  ATTRS      a file (ATTRS: R read-only, H hidden, - none)\n"
    "#   LABEL  T  *  TOTALBYTES  FILECOUNT  -      totals of the tree\n"
    "# RELPATH uses backslashes, relative to the tree's root.\n")


def crc32_file(path):
    crc = 0
    with open(path, "rb") as f:
        while True:
            b = f.read(BLOCK)
            if not b:
                return crc
            crc = zlib.crc32(b, crc)


def manifest_lines(label, root):
    lines, total, count = [], 0, 0
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        rel_dir = os.path.relpath(dirpath, root)
        prefix = "" if rel_dir == "." else rel_dir.replace("/", "\\") + "\\"
        for d in dirnames:
            lines.append(f"{label}\tD\t{prefix}{d}\t0\t-\t-")
        for name in sorted(filenames):
            if name == MARKER:
                continue
            path = os.path.join(dirpath, name)
            size = os.path.getsize(path)
            attrs = ("" if os.stat(path).st_mode & 0o222 else "R") + ("H" if has_hidden_attr(path) else "")
            lines.append(f"{label}\tF\t{prefix}{name}\t{size}\t{crc32_file(path):08x}\t{attrs or '-'}")
            total += size
            count += 1
    lines.append(f"{label}\tT\t*\t{total}\t{count}\t-")
    return lines


def write_manifest(path, sections):
    with open(path, "w", newline="\n") as f:
        f.write(MANIFEST_HEAD)
        for label, root in sections:
            f.write("\n".join(manifest_lines(label, root)) + "\n")


# ---------------------------------------------------------------------------
