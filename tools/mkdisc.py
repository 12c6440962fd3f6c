#!/usr/bin/env python3
"""Test-disc maker: generated folder trees, ISO 9660 images mastered by the real
tool (genisoimage, or xorriso when it is absent), raw 2352-byte Mode 1 and Mode 2
Form 1 images with cue sheets, the sample pair of game discs, and crafted images
that no mastering tool would write (damaged, hostile), made by a small ISO 9660
writer of our own.

Standard library only. Tests, benchmarks and the demo call the commands; a test
script may also import this file and use IsoImage directly (see tools/README.md).
"""

import argparse
import fnmatch
import hashlib
import os
import random
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import zlib

KiB = 1024
MiB = 1024 * KiB
SECTOR = 2048
RAW_SECTOR = 2352
BLOCK = MiB  # unit of generated content and of raw conversion

# Directory record flags.
HIDDEN = 0x01
DIRECTORY = 0x02
ASSOCIATED = 0x04
MULTI_EXTENT = 0x80

MARKER = ".mkdisc"  # marks an output folder this tool may recreate


def parse_size(text):
    """'300M', '4MiB', '1.5G', '65536' -> bytes."""
    m = re.fullmatch(r"\s*([0-9]+(?:\.[0-9]+)?)\s*([kKmMgG]?)(?:i?[bB])?\s*", text)
    if not m:
        raise argparse.ArgumentTypeError(f"not a size: {text!r}")
    scale = {"": 1, "k": KiB, "m": MiB, "g": 1024 * MiB}[m.group(2).lower()]
    return int(float(m.group(1)) * scale)


def fail(msg):
    print(f"mkdisc: {msg}", file=sys.stderr)
    sys.exit(2)


def _make_writable(func, path, _exc):
    os.chmod(path, stat.S_IWUSR | stat.S_IRUSR | stat.S_IXUSR)
    func(path)


def rmtree(path):
    if sys.version_info >= (3, 12):
        shutil.rmtree(path, onexc=_make_writable)
    else:
        shutil.rmtree(path, onerror=_make_writable)


def fresh_dir(path, force=False, marker=False):
    """Create an empty folder at path. An existing one is removed only when it is
    empty, carries our marker, or force is given: a mistyped path must not cost
    anybody their files."""
    if os.path.lexists(path):
        if not os.path.isdir(path) or os.path.islink(path):
            fail(f"{path} exists and is not a folder")
        if os.listdir(path) and not force and not os.path.exists(os.path.join(path, MARKER)):
            fail(f"{path} is not empty and was not made by mkdisc; use --force to replace it")
        rmtree(path)
    os.makedirs(path)
    if marker:
        with open(os.path.join(path, MARKER), "w") as f:
            f.write("made by tools/mkdisc.py; recreated on every run\n")


# ---------------------------------------------------------------------------
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
# Raw 2352-byte sectors

SYNC = b"\x00" + b"\xff" * 10 + b"\x00"
MODE2_FORM1_SUBHEADER = b"\x00\x00\x08\x00" * 2  # file 0, channel 0, submode: data
BCD = bytes((i // 10) << 4 | i % 10 for i in range(100))
RAW_LAYOUT = {1: 16, 2: 24}  # mode -> offset of the user data


def iso_to_raw(iso, out, mode):
    """Write the 2048-byte sectors of iso as raw 2352-byte sectors of the given
    mode (1, or 2 for Mode 2 Form 1). EDC and ECC stay zero: nothing reads them.
    Returns the number of sectors."""
    data_off = RAW_LAYOUT[mode]
    per = BLOCK // SECTOR
    block = bytearray(per * RAW_SECTOR)
    for i in range(per):
        b = i * RAW_SECTOR
        block[b:b + 12] = SYNC
        block[b + 15] = mode
        if mode == 2:
            block[b + 16:b + 24] = MODE2_FORM1_SUBHEADER
    view = memoryview(block)
    lba = 0
    with open(iso, "rb") as src, open(out, "wb") as dst:
        while True:
            chunk = src.read(per * SECTOR)
            if not chunk:
                break
            n = -(-len(chunk) // SECTOR)
            if len(chunk) % SECTOR:
                chunk += bytes(n * SECTOR - len(chunk))
            cv = memoryview(chunk)
            # Addresses count from the 2-second lead-in, as on a disc.
            frames = range(lba + 150, lba + 150 + n)
            if lba + 150 + n > 100 * 60 * 75:
                print("mkdisc: image longer than 99 minutes; MSF minutes wrap", file=sys.stderr)
            end = n * RAW_SECTOR
            view[12:end:RAW_SECTOR] = bytes(BCD[f // 4500 % 100] for f in frames)
            view[13:end:RAW_SECTOR] = bytes(BCD[f // 75 % 60] for f in frames)
            view[14:end:RAW_SECTOR] = bytes(BCD[f % 75] for f in frames)
            for i in range(n):
                b = i * RAW_SECTOR + data_off
                view[b:b + SECTOR] = cv[i * SECTOR:(i + 1) * SECTOR]
            dst.write(view[:end])
            lba += n
    return lba


def cue_text(bin_ref, mode):
    return (f'FILE "{bin_ref}" BINARY\n'
            f"  TRACK 01 MODE{mode}/2352\n"
            "    INDEX 01 00:00:00\n")


def write_cue(cue, bin_path, mode, bin_ref=None, crlf=False):
    text = cue_text(bin_ref if bin_ref is not None else os.path.basename(bin_path), mode)
    with open(cue, "w", newline="\r\n" if crlf else "\n") as f:
        f.write(text)


def raw_to_iso_bytes(raw_path, mode):
    """User data of every raw sector, joined (used to check conversions)."""
    off = RAW_LAYOUT[mode]
    out = bytearray()
    with open(raw_path, "rb") as f:
        while True:
            chunk = f.read(512 * RAW_SECTOR)
            if not chunk:
                return bytes(out)
            for i in range(len(chunk) // RAW_SECTOR):
                out += chunk[i * RAW_SECTOR + off:i * RAW_SECTOR + off + SECTOR]


# ---------------------------------------------------------------------------
# ISO 9660 reader: probes and lists images, bounds-checked, for checks and `ls`

def clean_name(ident):
    """The reader's name cleaning: up to the first ';', at most 63 bytes, one
    trailing dot dropped."""
    name = ident.split(b";", 1)[0][:63]
    if name.endswith(b"."):
        name = name[:-1]
    return name


class Entry:
    __slots__ = ("dir_lba", "offset", "length", "lba", "size", "flags", "ident", "name", "id_len")

    def __init__(self, **kw):
        for k, v in kw.items():
            setattr(self, k, v)

    @property
    def is_dir(self):
        return bool(self.flags & DIRECTORY)

    def __repr__(self):
        return (f"Entry(off={self.offset} len={self.length} lba={self.lba} size={self.size} "
                f"flags=0x{self.flags:02x} ident={self.ident!r})")


class IsoReader:
    LAYOUTS = ((SECTOR, 0), (RAW_SECTOR, 16), (RAW_SECTOR, 24))

    def __init__(self, path, layout=None, pvd_sector=16):
        self.f = open(path, "rb")
        self.file_size = os.fstat(self.f.fileno()).st_size
        for ss, off in ([layout] if layout else self.LAYOUTS):
            self.sector_size, self.data_offset = ss, off
            d = self.read(pvd_sector, 1)
            if len(d) == SECTOR and d[0] == 1 and d[1:6] == b"CD001":
                self.pvd = d
                self.root_lba = struct.unpack_from("<I", d, 158)[0]
                self.root_size = struct.unpack_from("<I", d, 166)[0]
                self.volume_space = struct.unpack_from("<I", d, 80)[0]
                return
        self.f.close()
        raise ValueError(f"{path}: no primary volume descriptor in sector {pvd_sector}")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.f.close()

    def close(self):
        self.f.close()

    def read(self, lba, count):
        """User data of up to count sectors from lba; stops at the first sector
        that is not complete in the file."""
        out = bytearray()
        for i in range(count):
            pos = (lba + i) * self.sector_size + self.data_offset
            if pos + SECTOR > self.file_size:
                break
            self.f.seek(pos)
            out += self.f.read(SECTOR)
        return bytes(out)

    def sectors_in_file(self):
        return self.file_size // self.sector_size

    def record_pos(self, e):
        """Byte position of a record in the image file."""
        sec, within = divmod(e.offset, SECTOR)
        return (e.dir_lba + sec) * self.sector_size + self.data_offset + within

    def records(self, lba, size, problems=None, dots=False):
        """Decode a directory's records. A record that does not fit (length below
        33, identifier past the record, record past the data) is reported in
        problems and the walk goes on with the next sector."""
        if size > self.file_size:
            if problems is not None:
                problems.append(f"directory at {lba}: size {size} larger than the image")
            return []
        nsec = -(-size // SECTOR)
        data = self.read(lba, nsec)
        if len(data) < nsec * SECTOR and problems is not None:
            problems.append(f"directory at {lba}: only {len(data)} of {nsec * SECTOR} bytes readable")
        end = min(size, len(data))
        out, pos = [], 0
        while pos < end:
            length = data[pos]
            if length == 0:
                pos = (pos & ~(SECTOR - 1)) + SECTOR
                continue
            why = None
            if length < 33:
                why = f"record length {length} below 33"
            elif pos + length > end:
                why = f"record of {length} bytes runs past the directory data"
            elif 33 + data[pos + 32] > length:
                why = f"identifier of {data[pos + 32]} bytes runs past the record"
            if why:
                if problems is not None:
                    problems.append(f"directory at {lba}, offset {pos}: {why}")
                pos = (pos & ~(SECTOR - 1)) + SECTOR
                continue
            id_len = data[pos + 32]
            ident = data[pos + 33:pos + 33 + id_len]
            e = Entry(dir_lba=lba, offset=pos, length=length,
                      lba=struct.unpack_from("<I", data, pos + 2)[0],
                      size=struct.unpack_from("<I", data, pos + 10)[0],
                      flags=data[pos + 25], ident=ident, name=clean_name(ident), id_len=id_len)
            if dots or not (id_len == 1 and ident[0] in (0, 1)):
                out.append(e)
            pos += length
        return out

    def walk(self, problems=None):
        """(relative path, Entry) for every record below the root, depth first;
        each directory extent is entered once, so loops and shared extents end."""
        seen = set()

        def go(lba, size, prefix):
            if (lba, size) in seen:
                return
            seen.add((lba, size))
            for e in self.records(lba, size, problems):
                rel = prefix + e.name.decode("latin-1")
                yield rel, e
                if e.is_dir:
                    yield from go(e.lba, e.size, rel + "/")

        yield from go(self.root_lba, self.root_size, "")

    def find(self, rel):
        lba, size, e = self.root_lba, self.root_size, None
        for part in [p for p in re.split(r"[\\/]", rel) if p]:
            for e in self.records(lba, size):
                if e.name.decode("latin-1").upper() == part.upper():
                    break
            else:
                return None
            lba, size = e.lba, e.size
        return e

    def file_data(self, e):
        data = self.read(e.lba, -(-e.size // SECTOR))
        return data[:e.size]


# ---------------------------------------------------------------------------
# ISO 9660 writer for crafted images

DATE = bytes((100, 1, 1, 0, 0, 0, 0))  # 2000-01-01 00:00:00 GMT
VD_DATE = b"2000010100000000\x00"


def _both16(v):
    return struct.pack("<H", v) + struct.pack(">H", v)


def _both32(v):
    return struct.pack("<I", v) + struct.pack(">I", v)


def _ident(v):
    return v.encode("latin-1") if isinstance(v, str) else bytes(v)


class File:
    """File data placed in its own extent (sector-aligned)."""

    def __init__(self, data=b""):
        self.data = bytes(data)
        self.lba = None

    def recorded_size(self):
        return len(self.data)

    def sectors(self):
        return -(-len(self.data) // SECTOR)


class Record:
    """One directory record. The extent comes from target (a Dir or a File) unless
    lba/size are given; any field may be overridden. lba, size and length may be
    callables taking the IsoImage, evaluated once the layout is known.

    ident     identifier bytes as recorded (str is Latin-1; no ';1' is added)
    flags     file flags (default DIRECTORY for a Dir target, else 0)
    length    record length byte (default: the real length of the encoding)
    id_len    identifier length byte (default: len(ident))
    ext_attr  extended attribute record length
    sysuse    bytes appended after the identifier (system use area)
    cross     may cross a sector boundary (by default a record that does not fit
              in the rest of a sector starts the next one, as the standard asks)
    raw       bytes written as they are instead of an encoded record
    """

    def __init__(self, ident=b"", target=None, *, flags=None, lba=None, size=None,
                 length=None, id_len=None, ext_attr=0, volseq=1, sysuse=b"", date=DATE,
                 cross=False, raw=None):
        self.ident = _ident(ident)
        self.target = target
        self.flags, self.lba, self.size = flags, lba, size
        self.length, self.id_len = length, id_len
        self.ext_attr, self.volseq, self.sysuse, self.date = ext_attr, volseq, bytes(sysuse), date
        self.cross = cross
        self.raw = None if raw is None else bytes(raw)

    def encode(self, img):
        if self.raw is not None:
            return self.raw
        t = self.target
        lba = img.value(self.lba) if self.lba is not None else (t.lba or 0 if t is not None else 0)
        if self.size is not None:
            size = img.value(self.size)
        else:
            size = t.recorded_size() if t is not None else 0
        flags = self.flags if self.flags is not None else (DIRECTORY if isinstance(t, Dir) else 0)
        rec = bytearray(33)
        rec[1] = self.ext_attr
        rec[2:10] = _both32(lba & 0xFFFFFFFF)
        rec[10:18] = _both32(size & 0xFFFFFFFF)
        rec[18:25] = self.date
        rec[25] = flags
        rec[28:32] = _both16(self.volseq)
        rec[32] = len(self.ident) if self.id_len is None else self.id_len
        rec += self.ident
        if len(self.ident) % 2 == 0:
            rec += b"\0"  # keeps the record length even
        rec += self.sysuse
        length = len(rec) if self.length is None else img.value(self.length)
        if not 0 <= length <= 255:
            raise ValueError(f"record {self.ident!r}: length {length} does not fit a byte")
        rec[0] = length
        return bytes(rec)


class _PadTo:
    def __init__(self, offset):
        self.offset = offset


class _FillTo:
    def __init__(self, offset, prefix):
        self.offset, self.prefix = offset, prefix
        self.empty = File()

    def records(self, used):
        gap = self.offset - used
        if gap < 0 or gap % 2 or (used % SECTOR and self.offset > (used // SECTOR + 1) * SECTOR):
            raise ValueError(f"fill_to({self.offset}) cannot be reached from {used}")
        if gap == 0:
            return []
        base = 33 + len(self.prefix) + 2 + 6  # "PAD01.DAT;1"
        base += base % 2
        k = -(-gap // 254)
        if gap < base * k:
            raise ValueError(f"fill_to({self.offset}): a gap of {gap} bytes is too small for a record")
        lengths = [gap // k // 2 * 2] * k
        for i in range((gap - sum(lengths)) // 2):  # fewer than k steps of 2
            lengths[i] += 2
        return [Record(f"{self.prefix}{i + 1:02d}.DAT;1", self.empty, sysuse=bytes(n - base))
                for i, n in enumerate(lengths)]


class Dir:
    """A directory extent: its own and parent records (unless dots=False), then
    the records and placement marks added, in that order. size overrides the data
    length recorded for it (by default the length of its data, whole sectors)."""

    def __init__(self, parent=None, *, size=None, dots=True):
        self.parent = parent
        self.items = []
        self.size = size
        self.dots = dots
        self.lba = None
        self.rec = None  # the record that made it, when made by Dir.dir
        self._len = SECTOR

    def file(self, ident, data=b"", **fields):
        """A file record with its own data extent. Returns the Record."""
        return self.add(Record(ident, File(data), **fields))

    def dir(self, ident, *, size=None, dots=True, **fields):
        """A subdirectory. Returns the new Dir (its record is .rec)."""
        d = Dir(self, size=size, dots=dots)
        d.rec = self.add(Record(ident, d, **fields))
        return d

    def link(self, ident, target, **fields):
        """A record pointing at an existing Dir's or File's extent."""
        return self.add(Record(ident, target, **fields))

    def raw(self, data, cross=False):
        """Bytes written as they are, as if they were a record."""
        return self.add(Record(raw=data, cross=cross))

    def pad_to(self, offset):
        """Zero-fill the directory data up to this byte offset."""
        self.items.append(_PadTo(offset))

    def fill_to(self, offset, prefix="PAD"):
        """Add zero-length file records PAD01.DAT;1, PAD02.DAT;1, ... (lengthened
        through their system use area) so that the next record starts exactly at
        offset, with no zero byte in between that would end the sector early.
        offset must lie in the sector where the data ends now."""
        self.items.append(_FillTo(offset, prefix))

    def add(self, rec):
        self.items.append(rec)
        return rec

    def recorded_size(self):
        return self.size if self.size is not None else self._len

    def sectors(self):
        return self._len // SECTOR

    def data(self, img):
        items = list(self.items)
        if self.dots:
            items[:0] = [Record(b"\x00", self), Record(b"\x01", self.parent or self)]
        out = bytearray()
        while items:
            it = items.pop(0)
            if isinstance(it, _FillTo):
                items[:0] = it.records(len(out))
                continue
            if isinstance(it, _PadTo):
                if it.offset < len(out):
                    raise ValueError(f"pad_to({it.offset}) but {len(out)} bytes are already used")
                out += bytes(it.offset - len(out))
                continue
            b = it.encode(img)
            room = SECTOR - len(out) % SECTOR
            if len(b) > room and not it.cross:
                out += bytes(room)
            out += b
        if not out or len(out) % SECTOR:
            out += bytes(SECTOR - len(out) % SECTOR)
        return bytes(out)


class IsoImage:
    """A whole image: system area, volume descriptors from sector 16, path
    tables, then every directory and file reachable from the root (and any
    extra extents), each in its own sectors.

    descriptors: sequence of "pvd", "svd" (type 2), "boot" (type 0), "end"
    (terminator, type 255) or raw 2048-byte sectors.
    cut: length in bytes (or callable taking the image) to cut the written file to.
    volume_space: sector count recorded in the descriptors (default: all sectors).
    """

    def __init__(self, volume_id="CRAFTED", descriptors=("pvd", "end")):
        self.root = Dir()
        self.root.parent = self.root
        self.volume_id = volume_id
        self.descriptors = list(descriptors)
        self.extra = []
        self.cut = None
        self.volume_space = None
        self.total_sectors = None
        self._final = False

    def add_extent(self, obj):
        """Place a File or Dir that no record reaches (point records at it by lba)."""
        self.extra.append(obj)
        return obj

    def value(self, v):
        if callable(v):
            return v(self) if self._final else 0
        return v

    def _collect(self):
        dirs, files, seen = [], [], set()
        queue = [self.root] + list(self.extra)
        while queue:
            obj = queue.pop(0)
            if id(obj) in seen:
                continue
            seen.add(id(obj))
            if isinstance(obj, Dir):
                dirs.append(obj)
                for it in obj.items:
                    if isinstance(it, Record) and it.target is not None:
                        queue.append(it.target)
                    elif isinstance(it, _FillTo):
                        queue.append(it.empty)
            else:
                files.append(obj)
        return dirs, files

    def _path_tables(self, dirs):
        tree = [self.root]
        for d in dirs:
            for it in d.items:
                if isinstance(it, Record) and isinstance(it.target, Dir) and it.target.rec is it \
                        and it.target.parent is d and it.target not in tree:
                    tree.append(it.target)
        # Parents come before their children in tree, as path tables need.
        tree.sort(key=lambda d: self._level(d))
        number = {id(d): i + 1 for i, d in enumerate(tree)}
        lt, mt = bytearray(), bytearray()
        for d in tree:
            ident = b"\x00" if d is self.root else d.rec.ident
            parent = number.get(id(d.parent), 1)
            pad = b"\0" if len(ident) % 2 else b""
            lt += bytes((len(ident), 0)) + struct.pack("<IH", d.lba or 0, parent) + ident + pad
            mt += bytes((len(ident), 0)) + struct.pack(">IH", d.lba or 0, parent) + ident + pad
        return bytes(lt), bytes(mt)

    def _level(self, d):
        n, seen = 0, set()
        while d is not self.root and d.parent is not None and id(d) not in seen:
            seen.add(id(d))
            d, n = d.parent, n + 1
        return n

    def _descriptor(self, kind, path_table):
        if isinstance(kind, (bytes, bytearray)):
            return bytes(kind).ljust(SECTOR, b"\0")[:SECTOR]
        vd_type = {"pvd": 1, "svd": 2, "boot": 0, "end": 255}[kind]
        d = bytearray(SECTOR)
        d[0] = vd_type
        d[1:6] = b"CD001"
        d[6] = 1
        if kind in ("pvd", "svd"):
            d[8:72] = b" " * 64
            d[40:40 + len(self.volume_id)] = self.volume_id.encode("ascii")[:32]
            d[80:88] = _both32(self.volume_space or self.total_sectors)
            if kind == "svd":
                d[88:91] = b"%/@"  # UCS-2 level 1 escape sequence
            d[120:124] = _both16(1)
            d[124:128] = _both16(1)
            d[128:132] = _both16(SECTOR)
            d[132:140] = _both32(len(path_table))
            d[140:144] = struct.pack("<I", self._lpt)
            d[148:152] = struct.pack(">I", self._mpt)
            d[156:190] = Record(b"\x00", self.root).encode(self)
            d[190:813] = b" " * 623
            for off in (813, 830, 864):
                d[off:off + 17] = VD_DATE
            d[847:864] = b"0000000000000000\x00"
            d[881] = 1
        return bytes(d)

    def build(self):
        """The image as bytes (before any cut)."""
        self._final = False
        dirs, files = self._collect()
        for d in dirs:
            d._len = len(d.data(self))
        for d in dirs:  # path table length does not depend on the lbas
            d.lba = 0
        lt, mt = self._path_tables(dirs)
        pt_sectors = max(1, -(-len(lt) // SECTOR))
        lba = 16 + len(self.descriptors)
        self._lpt, lba = lba, lba + pt_sectors
        self._mpt, lba = lba, lba + pt_sectors
        for d in dirs:
            d.lba, lba = lba, lba + d.sectors()
        for f in files:
            f.lba, lba = lba, lba + f.sectors()
        self.total_sectors = lba
        self._final = True
        lt, mt = self._path_tables(dirs)
        img = bytearray(lba * SECTOR)
        for i, kind in enumerate(self.descriptors):
            img[(16 + i) * SECTOR:(17 + i) * SECTOR] = self._descriptor(kind, lt)
        img[self._lpt * SECTOR:self._lpt * SECTOR + len(lt)] = lt
        img[self._mpt * SECTOR:self._mpt * SECTOR + len(mt)] = mt
        for d in dirs:
            data = d.data(self)
            assert len(data) == d._len, "directory layout changed between passes"
            img[d.lba * SECTOR:d.lba * SECTOR + len(data)] = data
        for f in files:
            img[f.lba * SECTOR:f.lba * SECTOR + len(f.data)] = f.data
        return img

    def write(self, path):
        """Write the image (cut to self.cut bytes if set); returns its length."""
        img = self.build()
        if self.cut is not None:
            img = img[:self.value(self.cut)]
        with open(path, "wb") as f:
            f.write(img)
        return len(img)


# ---------------------------------------------------------------------------
# Crafted kinds

def pattern(n, mod=251):
    """Known content: byte i is i % 251 (251 is prime, so no 2^k period)."""
    return bytes(i % mod for i in range(n))


def craft_lookup():
    img = IsoImage("LOOKUP")
    data = img.root.dir("DATA")
    data.file("READ.ME;1", pattern(1500))
    img.root.file("HIDDEN.TXT;1", pattern(500), flags=HIDDEN)
    img.root.file("SETUP.EXE;1", pattern(3000))
    return img


def craft_no_pvd():
    img = IsoImage("NOPVD", descriptors=("svd", "pvd", "end"))
    img.root.file("README.TXT;1", b"The primary descriptor is in sector 17.\r\n")
    return img


def craft_short():
    img = craft_lookup()
    img.cut = 16 * SECTOR + 1024  # the descriptor's first bytes are there, the rest is not
    return img


def craft_truncated():
    img = IsoImage("TRUNC")
    img.root.file("A.TXT;1", b"This file is whole.\r\n")
    cut = img.root.file("CUT.DAT;1", pattern(100000))
    # The first 64 KiB chunk of CUT.DAT is in the file, the second is not.
    img.cut = lambda im: cut.target.lba * SECTOR + 70000
    return img


def craft_big_dir(count=150):
    img = IsoImage("BIGDIR")
    img.root.file("BIG.DAT;1", pattern(100000))
    many = img.root.dir("MANY")
    for i in range(count):
        many.file(f"FILE{i:03d}.DAT;1", f"entry {i:03d}\r\n".encode())
    return img


def craft_deep(levels=20):
    img = IsoImage("DEEP")
    img.root.file("FILE00.TXT;1", pattern(100))
    d = img.root
    for k in range(1, levels + 1):
        d = d.dir(chain_dir(k))
        d.file(f"FILE{k:02d}.TXT;1", pattern(100 + k))
    return img


def craft_names():
    img = IsoImage("NAMES")
    r = img.root
    r.file("ABC.", b"no version, trailing dot\r\n")
    r.file("B" * 63 + "1.TXT;1", b"first of two long names\r\n")
    r.file("B" * 63 + "2.TXT;1", b"second of two long names\r\n")
    r.file("LONG" * 20 + ".TXT;1", b"80-character name\r\n")
    r.file("NOVER.TXT", b"no version suffix\r\n")
    r.file("README.;1", b"empty extension\r\n")
    r.file("X.TXT;2", b"version 2\r\n")
    r.file("lower.txt;1", b"lower-case name\r\n")
    return img


def craft_loop():
    img = IsoImage("LOOP")
    r = img.root
    a = r.dir("A")
    b = a.dir("B")
    b.link("BACK", a)   # back to its parent
    b.file("FB.TXT;1", pattern(300))
    b.link("SELF", b)   # its own extent
    a.file("FA.TXT;1", pattern(200))
    r.file("FILE.TXT;1", pattern(100))
    r.link("LOOP", r)   # the root again
    return img


def craft_shared(levels=10, fanout=10):
    img = IsoImage("SHARED")
    d = img.root
    for k in range(levels):
        d.file("DATA.TXT;1", pattern(100))
        nxt = d.dir("S0")
        for j in range(1, fanout):
            d.link(f"S{j}", nxt)
        d = nxt
    d.file("DATA.TXT;1", pattern(100))
    return img


def craft_huge_dir():
    img = IsoImage("HUGEDIR")
    r = img.root
    real = img.add_extent(Dir(r))
    real.file("INNER.TXT;1", b"listed only through a sane record\r\n")
    r.link("BIGGER", real, size=lambda im: im.total_sectors * SECTOR + SECTOR)
    r.link("FAR", real, lba=0xFFFFFFFF, size=2 * SECTOR)
    r.link("HUGE", real, size=0xFFFFFFFF)
    r.file("OK.TXT;1", b"a normal file\r\n")
    return img


def craft_huge_file():
    img = IsoImage("HUGEFILE")
    img.root.file("HUGE.DAT;1", pattern(5000), size=0xFFFFFFFF)
    img.root.file("OK.TXT;1", b"a normal file\r\n")
    return img


def craft_bad_records():
    img = IsoImage("BADREC")
    r = img.root
    r.file("A.TXT;1", b"before the bad directories\r\n")
    # Each bad record follows good ones directly (PAD records fill the gap): a
    # zero byte before it would end the sector for any reader.
    # Identifier length 250 in a 40-byte record that ends the sector.
    d = r.dir("IDLEN")
    d.file("GOOD.TXT;1", b"good\r\n")
    d.fill_to(SECTOR - 40)
    d.file("X.TXT;1", b"bad\r\n", id_len=250)
    # Record length 200 where only 48 bytes of directory data are left.
    d = r.dir("LENPAST")
    d.file("GOOD.TXT;1", b"good\r\n")
    d.fill_to(SECTOR - 48)
    d.file("PAST.TXT;1", b"bad\r\n", length=200, sysuse=bytes(4))
    # Record lengths below 33: 20 followed by a good record, then 10 at the very
    # end of the directory data.
    d = r.dir("SHORTREC")
    d.file("GOOD.TXT;1", b"good\r\n")
    d.raw(bytes([20]) + bytes(19))
    d.file("AFTER.TXT;1", b"after\r\n")
    d.pad_to(SECTOR)
    d.fill_to(2 * SECTOR - 10)
    d.raw(bytes([10]) + bytes(9))
    r.file("Z.TXT;1", b"after the bad directories\r\n")
    return img


def craft_multi_extent():
    img = IsoImage("MULTI")
    img.root.file("PARTS.DAT;1", b"A" * 3000, flags=MULTI_EXTENT)
    img.root.file("PARTS.DAT;1", b"B" * 2000)
    return img


def craft_empty():
    return IsoImage("EMPTY")


# (label, identifier as recorded). The unsafe entry sits between A_FIRST.TXT;1
# and Z_LAST.TXT;1; as a directory it holds ESCAPED.TXT;1.
UNSAFE_NAMES = (
    ("empty", b""),
    ("empty-ver", b";1"),
    ("dot", b".."),            # cleans to "."
    ("dotdot", b"..."),        # cleans to ".."
    ("dotdot-ver", b"...;1"),  # cleans to ".."
    ("up-slash", b"../ESC.TXT;1"),
    ("up-backslash", b"..\\ESC.TXT;1"),
    ("slash", b"A/B;1"),
    ("backslash", b"A\\B;1"),
    ("colon", b"C:D;1"),
    ("absolute", b"C:\\ESC.TXT;1"),
    ("con", b"CON"),
    ("nul-txt", b"NUL.TXT;1"),
    ("com1", b"COM1;1"),
    ("lpt9-x", b"LPT9.X;1"),
    ("aux-lower", b"aux.dat;1"),
    ("prn-dot", b"PRN.;1"),
    ("control", b"A\x01B;1"),
    ("control-1f", b"\x1f;1"),
    ("nul-byte", b"A\x00B;1"),
    ("star", b"A*B;1"),
    ("question", b"A?B;1"),
    ("quote", b'A"B;1'),
    ("less", b"A<B;1"),
    ("greater", b"A>B;1"),
    ("pipe", b"A|B;1"),
)


def craft_unsafe_name(ident, as_dir=False):
    img = IsoImage("UNSAFE")
    r = img.root
    r.file("A_FIRST.TXT;1", b"safe, before the unsafe entry\r\n")
    if as_dir:
        r.dir(ident).file("ESCAPED.TXT;1", b"this file must not be written\r\n")
    else:
        r.file(ident, b"this file must not be written\r\n")
    r.file("Z_LAST.TXT;1", b"safe, after the unsafe entry\r\n")
    return img


def craft_bad_id():
    img = IsoImage("BADID")
    img.root.file("README.TXT;1", b"Sector 16 says CD002.\r\n")
    inner = img._descriptor

    def descriptor(kind, pt):
        d = bytearray(inner(kind, pt))
        if kind == "pvd":
            d[1:6] = b"CD002"
        return bytes(d)

    img._descriptor = descriptor
    return img


CRAFTED = {
    "no-pvd": (craft_no_pvd, "sector 16 holds a supplementary descriptor (type 2); the primary one is in sector 17"),
    "bad-id": (craft_bad_id, "sector 16 is type 1 but its identifier reads CD002"),
    "short": (craft_short, "16.5 sectors: the image ends inside the primary descriptor"),
    "truncated": (craft_truncated, "A.TXT (whole) and CUT.DAT (100,000 bytes, i % 251); the image ends 70,000 bytes into CUT.DAT"),
    "lookup": (craft_lookup, "root: DATA/READ.ME;1 (1,500), HIDDEN.TXT;1 (500, hidden flag), SETUP.EXE;1 (3,000); contents i % 251"),
    "big-dir": (craft_big_dir, "BIG.DAT;1 (100,000 bytes, i % 251) and MANY/ with 150 files FILE000.DAT;1.. over 4 sectors"),
    "deep": (craft_deep, "FILE00.TXT;1 and LEVEL01/.../LEVEL20, FILEkk.TXT;1 of 100+k bytes at every level"),
    "names": (craft_names, "identifiers for name cleaning: ABC., README.;1, X.TXT;2, lower case, no version, 84 chars, two that agree in 63"),
    "loop": (craft_loop, "LOOP -> root's extent; A/B/BACK -> A; A/B/SELF -> B; files FILE.TXT 100, A/FA.TXT 200, A/B/FB.TXT 300"),
    "shared": (craft_shared, "10 levels, each with DATA.TXT;1 (100 bytes) and S0..S9 all pointing at the next level's extent"),
    "huge-dir": (craft_huge_dir, "HUGE (size 0xFFFFFFFF), BIGGER (size past the image), FAR (lba 0xFFFFFFFF) and OK.TXT;1"),
    "huge-file": (craft_huge_file, "HUGE.DAT;1 recorded with size 0xFFFFFFFF, then OK.TXT;1"),
    "bad-records": (craft_bad_records, "IDLEN/ (identifier past record and sector), LENPAST/ (record past the data), SHORTREC/ (lengths 20 and 10), each after GOOD.TXT;1"),
    "multi-extent": (craft_multi_extent, "PARTS.DAT;1 twice: 3,000 x 'A' with the multi-extent flag, then 2,000 x 'B'"),
    "empty": (craft_empty, "a root directory with no entries"),
}


def unsafe_ident(args):
    if args.label:
        for label, ident in UNSAFE_NAMES:
            if label == args.label:
                return ident
        fail(f"unknown unsafe-name label {args.label!r}")
    if args.name is None:
        fail("unsafe-name needs --name HEX or --label LABEL")
    try:
        return bytes.fromhex(args.name)
    except ValueError:
        fail(f"--name wants the identifier bytes in hex, not {args.name!r}")


def write_unsafe_set(folder):
    """Every predefined unsafe name, as a file (LABEL.iso) and as a directory
    (LABEL-dir.iso), with index.txt: label, identifier hex, cleaned name hex."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "index.txt"), "w", newline="\n") as idx:
        idx.write("# label\tidentifier (hex)\tcleaned name (hex)\n")
        for label, ident in UNSAFE_NAMES:
            craft_unsafe_name(ident).write(os.path.join(folder, f"{label}.iso"))
            craft_unsafe_name(ident, as_dir=True).write(os.path.join(folder, f"{label}-dir.iso"))
            idx.write(f"{label}\t{ident.hex() or '-'}\t{clean_name(ident).hex() or '-'}\n")


# ---------------------------------------------------------------------------
# Hostile inputs: small or sparse files whose records would cost a careless
# reader minutes, gigabytes of memory or of disk. Each is shaped as disc 1 of
# the game where that lets an installation walk it.

NEAR_4G = 0xFFFFF800  # the largest whole-sector 32-bit size


def disc1_identity(d):
    """The files by which the setup recognises disc 1."""
    d.file("TLID.000;1", b"TOLVENAR CD 1\r\n")
    d.dir("TL").file("TOLVENAR.EXE;1", b"TOLVENAR.EXE of a hostile test disc\r\n")


def craft_chain(n=3000):
    """Disc 1 whose directory CHAIN0 starts an area of n one-sector
    directories; the record in sector j names the directory at sector j + 1
    with the length of the whole area, so every start is new and a reader that
    lists each named extent reads n * n sectors."""
    img = IsoImage("CHAIN")
    disc1_identity(img.root)
    dirs = [img.root.dir("CHAIN0")]
    for j in range(1, n):
        dirs.append(dirs[-1].dir(f"CHAIN{j}", size=n * SECTOR))
    dirs[0].rec.size = n * SECTOR
    # Directories are laid out in the order they are reached, so the chain is
    # one run of sectors; the zeros after it keep every extent inside the image.
    img.add_extent(File(bytes(n * SECTOR)))
    return img


def craft_shared_extent(count=1000, size=MiB):
    """Disc 1 with count file records that all share one extent of size bytes:
    legal (mastering tools share identical files), but a copy writes count *
    size bytes."""
    img = IsoImage("SHAREDEXT")
    disc1_identity(img.root)
    data = File(pattern(size))
    d = img.root.dir("SHARED")
    for i in range(count):
        d.link(f"COPY{i:04d}.DAT;1", data)
    return img


def write_sparse(img, path, length):
    """The image, then a hole up to length bytes (no disc space taken)."""
    img.write(path)
    os.truncate(path, length)


def write_hostile(out, chain=3000, sparse=5 * 1024 * MiB, cue_size=3584 * MiB):
    os.makedirs(out, exist_ok=True)
    made = []

    def note(name, what):
        made.append((name, what))

    craft_chain(chain).write(os.path.join(out, "chain.iso"))
    note("chain.iso", f"disc 1; CHAIN0 starts {chain} one-sector directories, each naming the next "
                      f"with the whole area's length")
    img = IsoImage("HUGEROOT")
    disc1_identity(img.root)
    img.root.size = NEAR_4G
    write_sparse(img, os.path.join(out, "huge-root.iso"), sparse)
    note("huge-root.iso", f"sparse, {sparse} bytes; the root recorded as {NEAR_4G} bytes, inside the image")
    img = IsoImage("HUGESUB")
    disc1_identity(img.root)
    img.root.dir("BIG", size=NEAR_4G).file("INNER.TXT;1", b"inside a directory recorded as ~4 GiB\r\n")
    write_sparse(img, os.path.join(out, "huge-subdir.iso"), sparse)
    note("huge-subdir.iso", f"sparse, {sparse} bytes; disc 1 whose directory BIG is recorded as {NEAR_4G} bytes")
    cue = os.path.join(out, "huge.cue")
    line = b'FILE "chain.iso" BINARY\r\n  TRACK 01 MODE1/2048\r\n    INDEX 01 00:00:00\r\n'
    with open(cue, "wb") as f:
        f.truncate(cue_size - len(line))
        f.seek(cue_size - len(line))
        f.write(line)
    note("huge.cue", f"sparse, {cue_size} bytes; its only FILE line at the very end")
    craft_shared_extent().write(os.path.join(out, "shared-extent.iso"))
    note("shared-extent.iso", "disc 1; SHARED holds 1,000 records of one 1 MiB extent (1,000 MiB to copy)")
    links = os.path.join(out, "selflinks")
    if os.path.lexists(links):
        rmtree(links)
    t = TreeMaker(links, "selflinks")
    t.file("TLID.000", data=b"TOLVENAR CD 1\r\n")
    t.file("TL/TOLVENAR.EXE", data=b"TOLVENAR.EXE of a hostile test disc\r\n")
    t.file("DATA/FILE.TXT", data=b"one file below the links\r\n")
    os.symlink(".", os.path.join(links, "LOOPA"))
    os.symlink("..", os.path.join(links, "DATA", "LOOPB"))
    note("selflinks/", "folder disc 1 with two links back to itself (LOOPA -> ., DATA/LOOPB -> ..)")
    with open(os.path.join(out, "index.txt"), "w", newline="\n") as f:
        for name, what in made:
            f.write(f"{name}\t{what}\n")


# ---------------------------------------------------------------------------
# Sample game discs

def _in_shield(u, v, m):
    """Inside a heraldic shield, shrunk by margin m (coordinates 0..1, v down)."""
    top, half, waist = 0.08 + m, 0.38 - m, 0.55
    if v < top or abs(u - 0.5) > half:
        return False
    if v <= waist:
        return True
    t = (v - waist) / (0.95 - m * 1.6 - waist)
    return t < 1 and abs(u - 0.5) <= half * (1 - t * t)


def _emblem_colour(u, v):
    if not _in_shield(u, v, 0):
        return None
    if not _in_shield(u, v, 0.07):
        return (224, 176, 48)                      # gold rim
    if (0.25 <= v <= 0.37 and 0.28 <= u <= 0.72) or (0.44 <= u <= 0.56 and 0.25 <= v <= 0.78):
        return (240, 196, 64)                      # the T
    return (30, 60, 140)                           # blue field


def emblem_bgra(n, ss=4):
    """n x n emblem, rows top-down, 4x4 supersampled into straight alpha."""
    rows = []
    for y in range(n):
        row = bytearray()
        for x in range(n):
            acc, hits = [0, 0, 0], 0
            for sy in range(ss):
                for sx in range(ss):
                    c = _emblem_colour((x + (sx + 0.5) / ss) / n, (y + (sy + 0.5) / ss) / n)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                row += bytes((acc[2] // hits, acc[1] // hits, acc[0] // hits, 255 * hits // (ss * ss)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def make_ico(sizes=(16, 32, 48)):
    """An .ico file with one 32-bit BMP image per size."""
    images = []
    for n in sizes:
        rows = emblem_bgra(n)
        mask_stride = (n + 31) // 32 * 4
        header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, n * n * 4 + mask_stride * n, 0, 0, 0, 0)
        pixels = b"".join(reversed(rows))  # bottom-up
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x in range(n):
                if row[4 * x + 3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        images.append((n, header + pixels + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(d for _, d in images)


def check_ico(data):
    """Problems found in an .ico file image (empty when it is sound)."""
    problems = []
    if len(data) < 6 or data[:4] != b"\0\0\1\0":
        return ["not an icon file"]
    n = struct.unpack_from("<H", data, 4)[0]
    if len(data) < 6 + 16 * n:
        return ["directory truncated"]
    for i in range(n):
        w, h, _, _, planes, bpp, length, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if off + length > len(data):
            problems.append(f"image {i + 1} out of range")
            continue
        bih = struct.unpack_from("<IiiHH", data, off)
        w, h = w or 256, h or 256
        if bih[0] != 40 or bih[1] != w or bih[2] != 2 * h or bih[4] != bpp:
            problems.append(f"image {i + 1}: header {bih} disagrees with the entry")
        if length != 40 + w * h * bpp // 8 + (w + 31) // 32 * 4 * h:
            problems.append(f"image {i + 1}: length {length} is wrong")
    return problems


def make_sample(out, size=4 * MiB, seed=7, folders_only=False, disc2_mode=1, tool=None):
    d1, d2 = os.path.join(out, "disc1"), os.path.join(out, "disc2")
    os.makedirs(d1)
    os.makedirs(d2)
    t = TreeMaker(d1, f"{seed}-1")
    t.file("TLID.000", data=b"TOLVENAR CD 1\r\n")
    t.file("TL/TOLVENAR.EXE", data=b"TOLVENAR.EXE of the test disc (not a program)\r\n" + pattern(6000 - 48, 253),
           readonly=True)
    t.file("TL/DUZOZ.EXE", data=b"DUZOZ.EXE of the test disc (not a program)\r\n" + pattern(4000 - 45, 241))
    t.file("TL/VERSION.TXT", data=b"Tolvenar, disc 1 of 2. Disc 2 has a shorter text here.\r\n")
    t.file("I_COMP/TL.ICO", data=make_ico())
    fill_folders(t, "DATA1", size - t.bytes, random.Random(f"mkdisc-sample:{seed}:1"))
    t = TreeMaker(d2, f"{seed}-2")
    t.file("TLID.001", data=b"TOLVENAR CD 2\r\n")
    for i in range(3):
        t.file(f"TL/WITNESS/AUDIO/SAMPLES/00W0101{i}.MPS", size=8 * KiB + 100 * i)
    t.file("TL/VERSION.TXT", data=b"Tolvenar, disc 2.\r\n")
    fill_folders(t, "DATA2", size - t.bytes, random.Random(f"mkdisc-sample:{seed}:2"))
    write_manifest(os.path.join(out, "manifest.txt"), [("disc1", d1), ("disc2", d2)])
    if folders_only:
        return
    master_iso(d1, os.path.join(out, "disc1.iso"), volume_id="TOLVENAR_1", tool=tool)
    tmp = os.path.join(out, "disc2.tmp.iso")
    master_iso(d2, tmp, volume_id="TOLVENAR_2", tool=tool)
    bin_path = os.path.join(out, "disc2.bin")
    iso_to_raw(tmp, bin_path, disc2_mode)
    write_cue(os.path.join(out, "disc2.cue"), bin_path, disc2_mode)
    os.remove(tmp)


# ---------------------------------------------------------------------------
# Fixtures

CRAFTED_MANIFEST = ("lookup", "big-dir", "deep")


def crafted_manifest_lines(label, img):
    """Manifest lines for a well-formed crafted image, from the writer's tree."""
    lines, total, count = [], 0, 0

    def go(d, prefix):
        nonlocal total, count
        for it in d.items:
            if not isinstance(it, Record) or it.target is None:
                continue
            rel = prefix + clean_name(it.ident).decode("latin-1")
            if isinstance(it.target, Dir):
                lines.append(f"{label}\tD\t{rel}\t0\t-\t-")
                go(it.target, rel + "\\")
            else:
                data = it.target.data
                lines.append(f"{label}\tF\t{rel}\t{len(data)}\t{zlib.crc32(data):08x}\t"
                             f"{'H' if (it.flags or 0) & HIDDEN else '-'}")
                total += len(data)
                count += 1

    go(img.root, "")
    lines.append(f"{label}\tT\t*\t{total}\t{count}\t-")
    return lines


def make_fixtures(out, force=False, tool=None):
    fresh_dir(out, force=force, marker=True)
    tree, deep = os.path.join(out, "tree"), os.path.join(out, "deep")
    os.makedirs(tree)
    os.makedirs(deep)
    make_tree(tree, seed=1, many=100)
    make_tree(deep, seed=2, depth=20, minimal=True)
    iso = os.path.join(out, "tree.iso")
    master_iso(tree, iso, hidden=["HIDDEN.TXT"], volume_id="TREE", tool=tool)
    for mode in (1, 2):
        bin_path = os.path.join(out, f"tree_m{mode}.bin")
        iso_to_raw(iso, bin_path, mode)
        write_cue(os.path.join(out, f"tree_m{mode}.cue"), bin_path, mode)
    master_iso(deep, os.path.join(out, "deep.iso"), volume_id="DEEP", tool=tool)
    cdir = os.path.join(out, "crafted")
    os.makedirs(cdir)
    extra = []
    for kind, (make, _) in CRAFTED.items():
        img = make()
        img.write(os.path.join(cdir, f"{kind}.iso"))
        if kind in CRAFTED_MANIFEST:
            extra += crafted_manifest_lines(f"crafted/{kind}", img)
    write_unsafe_set(os.path.join(cdir, "unsafe"))
    path = os.path.join(out, "manifest.txt")
    write_manifest(path, [("tree", tree), ("deep", deep)])
    with open(path, "a", newline="\n") as f:
        f.write("\n".join(extra) + "\n")


# ---------------------------------------------------------------------------
# Self-check

class Checker:
    def __init__(self, verbose=False):
        self.failures = []
        self.verbose = verbose

    def check(self, cond, what):
        if not cond:
            self.failures.append(what)
            print(f"FAIL: {what}")
        elif self.verbose:
            print(f"ok:   {what}")
        return cond


def isoinfo_listing(path):
    """{path without ;1: size} for files, as isoinfo lists them."""
    r = subprocess.run(["isoinfo", "-l", "-i", path], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=60)
    files, cur = {}, ""
    for line in r.stdout.decode("latin-1").splitlines():
        m = re.match(r"Directory listing of /(.*)$", line)
        if m:
            cur = m.group(1)
            continue
        m = re.match(r"([d-])[-rwxs]{9}\s+\d+\s+\d+\s+\d+\s+(\d+)\s+.*\]\s+(.*?)\s*$", line)
        if m and m.group(1) == "-":
            files[cur + clean_name(m.group(3).encode("latin-1")).decode("latin-1")] = int(m.group(2))
    return files


def tree_files(root):
    out = {}
    for dirpath, _, filenames in os.walk(root):
        for n in filenames:
            p = os.path.join(dirpath, n)
            out[os.path.relpath(p, root).replace(os.sep, "/")] = p
    return out


def selftest_tree(c, tmp):
    a, b, d = (os.path.join(tmp, n) for n in ("tree_a", "tree_b", "tree_d"))
    for p in (a, b, d):
        os.makedirs(p)
    total = make_tree(a, seed=5, total=5 * MiB, depth=20, many=70)
    make_tree(b, seed=5, total=5 * MiB, depth=20, many=70)
    make_tree(d, seed=6, total=5 * MiB)
    files = tree_files(a)
    c.check(total == 5 * MiB and sum(os.path.getsize(p) for p in files.values()) == 5 * MiB,
            "tree: total bytes exactly as asked")
    c.check(manifest_lines("t", a) == manifest_lines("t", b), "tree: same seed, same tree")
    c.check(manifest_lines("t", a) != manifest_lines("t", d), "tree: other seed, other content")
    c.check(not os.stat(files["READONLY.TXT"]).st_mode & 0o222, "tree: READONLY.TXT is read-only")
    c.check(os.path.getsize(files["EMPTY.DAT"]) == 0, "tree: empty file")
    c.check(os.path.getsize(files["BIG/LARGE.BIN"]) == 2621440
            and sum(os.path.getsize(p) > MiB for p in files.values()) >= 2, "tree: files above 1 MiB")
    c.check(os.path.isdir(os.path.join(a, "EMPTYDIR")), "tree: empty folder")
    c.check("/".join(chain_dir(k) for k in range(1, 21)) + "/FILE20.TXT" in files, "tree: 20 levels")
    c.check(sum(k.startswith("MANY/") for k in files) == 70, "tree: folder of many files")
    bad = [k for k in files if not all(DIR_NAME.fullmatch(p) for p in k.split("/")[:-1])
           or not FILE_NAME.fullmatch(k.split("/")[-1])]
    c.check(not bad, f"tree: ISO 9660 names only {bad[:3]}")
    return a, files


def selftest_iso(c, tmp, src, files):
    tools = [t for t in ("genisoimage", "xorriso") if shutil.which(t)]
    c.check(tools, "a mastering tool is installed")
    isos = []
    for tool in tools:
        iso = os.path.join(tmp, f"{tool}.iso")
        master_iso(src, iso, hidden=["HIDDEN.TXT"], tool=tool)
        isos.append(iso)
        want = {k: os.path.getsize(p) for k, p in files.items()}
        if shutil.which("isoinfo"):
            c.check(isoinfo_listing(iso) == want, f"{tool}: isoinfo lists the tree's names and sizes")
        with IsoReader(iso) as r:
            got, hidden, problems = {}, [], []
            for rel, e in r.walk(problems):
                if not e.is_dir:
                    got[rel] = e
                    if e.flags & HIDDEN:
                        hidden.append(rel)
            c.check(not problems, f"{tool}: records decode cleanly {problems[:2]}")
            c.check(set(got) == set(files), f"{tool}: our reader lists the tree's names")
            same = all(open(files[k], "rb").read() == r.file_data(e) for k, e in got.items() if k in files)
            c.check(same, f"{tool}: every file's bytes equal the tree's")
            c.check(hidden == ["DOCS/HIDDEN.TXT"], f"{tool}: hidden flag on DOCS/HIDDEN.TXT only ({hidden})")
            many = r.find("MANY")
            c.check(many is not None and many.size > SECTOR, f"{tool}: MANY spans several sectors")
    return isos


def selftest_raw(c, tmp, iso):
    data = open(iso, "rb").read()
    for mode in (1, 2):
        bin_path = os.path.join(tmp, f"m{mode}.bin")
        cue = os.path.join(tmp, f"m{mode}.cue")
        n = iso_to_raw(iso, bin_path, mode)
        write_cue(cue, bin_path, mode)
        c.check(os.path.getsize(bin_path) == n * RAW_SECTOR and n * SECTOR == len(data),
                f"mode {mode}: one raw sector per sector")
        c.check(raw_to_iso_bytes(bin_path, mode) == data, f"mode {mode}: user data equals the ISO byte for byte")
        with open(bin_path, "rb") as f:
            ok = True
            for lba in (0, 1, 16, 74, 75, 4499, 4500, n - 1):
                if lba >= n:
                    continue
                f.seek(lba * RAW_SECTOR)
                s = f.read(RAW_SECTOR)
                fr = lba + 150
                hdr = bytes((BCD[fr // 4500], BCD[fr // 75 % 60], BCD[fr % 75], mode))
                ok &= s[:12] == SYNC and s[12:16] == hdr
                if mode == 2:
                    ok &= s[16:24] == MODE2_FORM1_SUBHEADER
                ok &= s[RAW_LAYOUT[mode] + SECTOR:] == bytes(RAW_SECTOR - RAW_LAYOUT[mode] - SECTOR)
            c.check(ok, f"mode {mode}: sync, MSF header, mode byte, subheader, zero EDC/ECC")
        c.check(open(cue).read() == f'FILE "m{mode}.bin" BINARY\n  TRACK 01 MODE{mode}/2352\n    INDEX 01 00:00:00\n',
                f"mode {mode}: cue sheet")
        with IsoReader(bin_path) as r:
            c.check((r.sector_size, r.data_offset) == (RAW_SECTOR, RAW_LAYOUT[mode]),
                    f"mode {mode}: probed as {RAW_SECTOR}/{RAW_LAYOUT[mode]}")
    odd = os.path.join(tmp, "odd.iso")
    with open(odd, "wb") as f:
        f.write(data[:5000])
    iso_to_raw(odd, odd + ".bin", 1)
    c.check(raw_to_iso_bytes(odd + ".bin", 1) == data[:5000] + bytes(3 * SECTOR - 5000),
            "raw: a partial last sector is padded with zeros")


def _names(r, lba, size):
    return [e.ident for e in r.records(lba, size)]


def selftest_crafted(c, tmp):
    paths = {}
    for kind, (make, _) in CRAFTED.items():
        paths[kind] = os.path.join(tmp, f"{kind}.iso")
        make().write(paths[kind])
    P = paths

    def reader(kind):
        return IsoReader(P[kind])

    def no_probe(path):
        for layout in IsoReader.LAYOUTS:
            try:
                IsoReader(path, layout).close()
                return False
            except ValueError:
                pass
        return True

    raw = open(P["no-pvd"], "rb").read()
    c.check(raw[16 * SECTOR] == 2 and raw[17 * SECTOR] == 1 and raw[18 * SECTOR] == 255
            and no_probe(P["no-pvd"]), "no-pvd: sector 16 type 2, 17 type 1, no probe succeeds")
    with IsoReader(P["no-pvd"], pvd_sector=17) as r:
        c.check(_names(r, r.root_lba, r.root_size) == [b"README.TXT;1"], "no-pvd: tree behind sector 17")
    raw = open(P["bad-id"], "rb").read()
    c.check(raw[16 * SECTOR:16 * SECTOR + 6] == b"\x01CD002" and no_probe(P["bad-id"]), "bad-id: CD002")
    raw = open(P["short"], "rb").read()
    c.check(len(raw) < 17 * SECTOR and raw[16 * SECTOR:16 * SECTOR + 6] == b"\x01CD001"
            and no_probe(P["short"]), "short: under 17 sectors, descriptor cut")
    with reader("truncated") as r:
        es = {e.name: e for e in r.records(r.root_lba, r.root_size)}
        cut = es[b"CUT.DAT"]
        c.check(cut.size == 100000 and cut.lba * SECTOR + 70000 == r.file_size
                and r.file_data(es[b"A.TXT"]) == b"This file is whole.\r\n", "truncated: CUT.DAT runs past the end")
    with reader("lookup") as r:
        root = r.records(r.root_lba, r.root_size)
        c.check([e.ident for e in root] == [b"DATA", b"HIDDEN.TXT;1", b"SETUP.EXE;1"]
                and [e.flags for e in root] == [DIRECTORY, HIDDEN, 0], "lookup: root records")
        e = r.find("data\\read.me")
        c.check(e is not None and r.file_data(e) == pattern(1500), "lookup: DATA/READ.ME")
    with reader("big-dir") as r:
        many = r.find("MANY")
        recs = r.records(many.lba, many.size, dots=True)
        c.check(len(recs) == 152 and many.size == 4 * SECTOR, "big-dir: 150 entries over 4 sectors")
        c.check(all(e.offset // SECTOR == (e.offset + e.length - 1) // SECTOR for e in recs),
                "big-dir: no record crosses a sector boundary")
        data = r.read(many.lba, 4)
        ends = {}
        for e in recs:
            ends[e.offset // SECTOR] = e.offset + e.length
        c.check(all(not any(data[ends[s]:(s + 1) * SECTOR]) for s in ends) and ends[0] < SECTOR,
                "big-dir: zero padding after the last record of each sector")
        c.check(r.file_data(r.find("BIG.DAT")) == pattern(100000), "big-dir: BIG.DAT content")
    with reader("deep") as r:
        got = [rel for rel, e in r.walk() if not e.is_dir]
        c.check(len(got) == 21 and got[-1].count("/") == 20, "deep: 21 files, the last 20 levels down")
    with reader("names") as r:
        names = [e.name for e in r.records(r.root_lba, r.root_size)]
        c.check(names == [b"ABC", b"B" * 63, b"B" * 63, (b"LONG" * 20)[:63], b"NOVER.TXT", b"README",
                          b"X.TXT", b"lower.txt"], f"names: cleaned {names}")
    with reader("loop") as r:
        top = {e.name: e for e in r.records(r.root_lba, r.root_size)}
        a = top[b"A"]
        b = r.find("A/B")
        inner = {e.name: e for e in r.records(b.lba, b.size)}
        c.check(top[b"LOOP"].lba == r.root_lba and inner[b"BACK"].lba == a.lba and inner[b"SELF"].lba == b.lba,
                "loop: LOOP -> root, BACK -> parent, SELF -> itself")
    with reader("shared") as r:
        lba, size, ok, levels = r.root_lba, r.root_size, True, 0
        while True:
            subs = [e for e in r.records(lba, size) if e.is_dir]
            if not subs:
                break
            ok &= len(subs) == 10 and len({(e.lba, e.size) for e in subs}) == 1
            lba, size, levels = subs[0].lba, subs[0].size, levels + 1
        c.check(ok and levels == 10, "shared: 10 levels of 10 records to one extent")
        c.check(sum(1 for _ in r.walk()) == 10 * 10 + 11, "shared: a remembering walk stays small")
    with reader("huge-dir") as r:
        top = {e.name: e for e in r.records(r.root_lba, r.root_size)}
        c.check(top[b"HUGE"].size == 0xFFFFFFFF and top[b"BIGGER"].size > r.file_size
                and top[b"FAR"].lba == 0xFFFFFFFF, "huge-dir: sizes and lba past the image")
    with reader("huge-file") as r:
        c.check(r.find("HUGE.DAT").size == 0xFFFFFFFF, "huge-file: size 0xFFFFFFFF")
    with reader("bad-records") as r:
        for sub, want, at in (("IDLEN", ["identifier of 250"], [SECTOR - 40]),
                              ("LENPAST", ["runs past the directory data"], [SECTOR - 48]),
                              ("SHORTREC", ["length 20 below", "length 10 below"], [112, 2 * SECTOR - 10])):
            e = r.find(sub)
            problems = []
            ids = [x.ident for x in r.records(e.lba, e.size, problems)]
            c.check(ids[0] == b"GOOD.TXT;1" and all(i.startswith(b"PAD") for i in ids[1:])
                    and len(problems) == len(want)
                    and all(w in p and f"offset {o}:" in p for w, p, o in zip(want, problems, at)),
                    f"bad-records: {sub} {problems}")
    with reader("multi-extent") as r:
        recs = r.records(r.root_lba, r.root_size)
        c.check([(e.name, e.flags, e.size) for e in recs] == [(b"PARTS.DAT", MULTI_EXTENT, 3000),
                                                               (b"PARTS.DAT", 0, 2000)], "multi-extent: two records")
    with reader("empty") as r:
        c.check(r.records(r.root_lba, r.root_size) == [], "empty: no entries")
    bad = []
    for label, ident in UNSAFE_NAMES:
        for as_dir in (False, True):
            p = os.path.join(tmp, "unsafe.iso")
            craft_unsafe_name(ident, as_dir).write(p)
            with IsoReader(p) as r:
                recs = r.records(r.root_lba, r.root_size)
                if [e.ident for e in recs] != [b"A_FIRST.TXT;1", ident, b"Z_LAST.TXT;1"] or recs[1].is_dir != as_dir:
                    bad.append(label)
    c.check(not bad, f"unsafe names recorded as given {bad}")
    # An independent reader agrees with our writer on the well-formed kinds.
    if shutil.which("isoinfo"):
        for kind, want in (("lookup", {"DATA/READ.ME": 1500, "HIDDEN.TXT": 500, "SETUP.EXE": 3000}),
                           ("big-dir", 151), ("deep", 21), ("multi-extent", 1), ("empty", 0)):
            got = isoinfo_listing(P[kind])
            c.check(got == want if isinstance(want, dict) else len(got) == want, f"isoinfo reads crafted {kind}")


def selftest_sample(c, tmp):
    out = os.path.join(tmp, "sample")
    os.makedirs(out)
    make_sample(out, size=2 * MiB)
    c.check(not check_ico(open(os.path.join(out, "disc1", "I_COMP", "TL.ICO"), "rb").read()),
            "sample: TL.ICO is a sound icon file")
    with IsoReader(os.path.join(out, "disc1.iso")) as r:
        c.check(all(r.find(p) for p in ("TLID.000", "TL\\TOLVENAR.EXE", "TL\\DUZOZ.EXE", "I_COMP\\TL.ICO")),
                "sample: disc 1 files in disc1.iso")
    with IsoReader(os.path.join(out, "disc2.bin")) as r:
        c.check(r.data_offset == 16 and r.find("TLID.001") and r.find("TL\\WITNESS\\AUDIO\\SAMPLES\\00W01010.MPS"),
                "sample: disc 2 files in disc2.bin (raw Mode 1)")
    v1 = open(os.path.join(out, "disc1", "TL", "VERSION.TXT"), "rb").read()
    v2 = open(os.path.join(out, "disc2", "TL", "VERSION.TXT"), "rb").read()
    c.check(v1 != v2 and len(v2) < len(v1), "sample: TL/VERSION.TXT on both discs, disc 2's shorter")
    c.check(open(os.path.join(out, "disc2.cue")).read().startswith('FILE "disc2.bin" BINARY'), "sample: cue sheet")


def selftest(keep=None, verbose=False):
    c = Checker(verbose)
    tmp = keep or tempfile.mkdtemp(prefix="mkdisc-selftest-")
    if keep:
        fresh_dir(keep, marker=True)
    try:
        src, files = selftest_tree(c, tmp)
        isos = selftest_iso(c, tmp, src, files)
        if isos:
            selftest_raw(c, tmp, isos[0])
        selftest_crafted(c, tmp)
        selftest_sample(c, tmp)
        fx = os.path.join(tmp, "fixtures")
        make_fixtures(fx)
        want = ["tree", "deep", "tree.iso", "tree_m1.bin", "tree_m1.cue", "tree_m2.bin", "tree_m2.cue",
                "deep.iso", "manifest.txt"] + [f"crafted/{k}.iso" for k in CRAFTED]
        c.check(all(os.path.exists(os.path.join(fx, p)) for p in want), "fixtures: every file made")
        make_fixtures(fx)
        c.check(os.path.exists(os.path.join(fx, "manifest.txt")), "fixtures: a second run recreates the set")
    finally:
        if not keep:
            rmtree(tmp)
    print(f"selftest: {len(c.failures)} failure(s)")
    return 1 if c.failures else 0


# ---------------------------------------------------------------------------
# Listing

def cmd_ls(args):
    layout = None
    if args.layout:
        layout = {"2048": (SECTOR, 0), "mode1": (RAW_SECTOR, 16), "mode2": (RAW_SECTOR, 24)}[args.layout]
    try:
        r = IsoReader(args.image, layout, pvd_sector=args.pvd_sector)
    except ValueError as e:
        fail(str(e))
    with r:
        print(f"layout {r.sector_size}/{r.data_offset}, root lba {r.root_lba} size {r.root_size}, "
              f"volume space {r.volume_space} sectors, file {r.file_size} bytes")
        problems = []
        for rel, e in r.walk(problems):
            kind = "d" if e.is_dir else "-"
            shown = "".join(ch if ch.isprintable() else f"\\x{ord(ch):02x}" for ch in rel)
            print(f"{kind} flags=0x{e.flags:02x} lba={e.lba:<10} size={e.size:<10} {shown}"
                  f"{'' if e.name == e.ident else '   [' + repr(e.ident)[2:-1] + ']'}")
        for p in problems:
            print(f"problem: {p}")


# ---------------------------------------------------------------------------
# Command line

def main(argv=None):
    ap = argparse.ArgumentParser(
        prog="mkdisc.py", description=__doc__.split("\n\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="Sizes accept K, M and G suffixes (binary units): 300M, 4M, 65536.")
    sub = ap.add_subparsers(dest="cmd", required=True, metavar="COMMAND")

    p = sub.add_parser("tree", help="generate a folder tree", description=make_tree.__doc__,
                       formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("out", metavar="OUT")
    p.add_argument("--seed", type=int, default=1, help="content and layout seed (default 1)")
    p.add_argument("--total", type=parse_size, default=4 * MiB,
                   help="bytes in all files, met exactly unless below the ~201K of standard content (default 4M)")
    p.add_argument("--depth", type=int, default=0, help="add a chain of N nested folders")
    p.add_argument("--many", type=int, default=0, help="add folder MANY with N files")
    p.add_argument("--minimal", action="store_true",
                   help="only the --depth chain and --many folder, no standard content")
    p.add_argument("--manifest", metavar="FILE", help="also write a manifest of the tree")
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT")

    p = sub.add_parser("iso", help="master a plain ISO 9660 image of a folder")
    p.add_argument("src", metavar="SRC")
    p.add_argument("out", metavar="OUT.iso")
    p.add_argument("--hidden", nargs="+", default=[], metavar="GLOB",
                   help="set the hidden flag on files whose name or path below SRC matches")
    p.add_argument("--volid", default="TESTDISC", help="volume identifier (default TESTDISC)")
    p.add_argument("--tool", choices=("genisoimage", "xorriso"), help="force a mastering tool")

    p = sub.add_parser("raw", help="convert a plain image to raw 2352-byte sectors")
    p.add_argument("src", metavar="IN.iso")
    p.add_argument("out", metavar="OUT.bin")
    p.add_argument("--mode", type=int, choices=(1, 2), required=True, help="1 or 2 (Mode 2 Form 1)")
    p.add_argument("--cue", metavar="OUT.cue", help="also write a cue sheet naming OUT.bin")
    p.add_argument("--bin-ref", metavar="TEXT", help="name written in the cue sheet (default: OUT.bin's bare name)")
    p.add_argument("--crlf", action="store_true", help="cue sheet with CR LF line ends")

    p = sub.add_parser("sample", help="the sample pair of game discs")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--size", type=parse_size, default=4 * MiB, help="bytes per disc (default 4M)")
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--folders-only", action="store_true", help="no disc1.iso, disc2.bin, disc2.cue")
    p.add_argument("--disc2-mode", type=int, choices=(1, 2), default=1, help="raw mode of disc2.bin (default 1)")
    p.add_argument("--tool", choices=("genisoimage", "xorriso"))
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT not made by mkdisc")

    kinds = "\n".join(f"  {k:<13} {d}" for k, (_, d) in CRAFTED.items())
    labels = "\n".join(f"  {l:<13} {i!r}" for l, i in UNSAFE_NAMES)
    p = sub.add_parser("crafted", help="an image no mastering tool makes",
                       formatter_class=argparse.RawDescriptionHelpFormatter,
                       epilog=f"kinds:\n{kinds}\n  {'unsafe-name':<13} root: A_FIRST.TXT;1, the unsafe entry, "
                              f"Z_LAST.TXT;1 (--name HEX or --label LABEL; --dir: a directory holding "
                              f"ESCAPED.TXT;1)\n  {'unsafe-set':<13} OUT is a folder: every label below, "
                              f"as LABEL.iso and LABEL-dir.iso, with index.txt\n\nunsafe-name labels:\n{labels}")
    p.add_argument("kind", metavar="KIND", choices=list(CRAFTED) + ["unsafe-name", "unsafe-set"])
    p.add_argument("out", metavar="OUT.iso")
    p.add_argument("--name", metavar="HEX", help="unsafe-name: identifier bytes in hex (2e2e2e is '...')")
    p.add_argument("--label", help="unsafe-name: a predefined identifier")
    p.add_argument("--dir", action="store_true", help="unsafe-name: make the entry a directory")
    p.add_argument("--levels", type=int, default=10, help="shared: levels (default 10)")
    p.add_argument("--fanout", type=int, default=10, help="shared: records per level (default 10)")

    p = sub.add_parser("hostile", help="inputs that try to cost time, memory or disk",
                       description="Writes into OUT the hostile inputs listed in OUT/index.txt; "
                                   "the large ones are sparse files.")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--chain", type=int, default=3000, help="directories in chain.iso (default 3000)")

    p = sub.add_parser("fixtures", help="the standard fixture set of the tests")
    p.add_argument("out", metavar="OUT")
    p.add_argument("--tool", choices=("genisoimage", "xorriso"))
    p.add_argument("--force", action="store_true", help="replace a non-empty OUT not made by mkdisc")

    p = sub.add_parser("ls", help="list an image's records with the checking reader")
    p.add_argument("image", metavar="IMAGE")
    p.add_argument("--layout", choices=("2048", "mode1", "mode2"), help="skip probing")
    p.add_argument("--pvd-sector", type=int, default=16, help="where the primary descriptor is (default 16)")

    p = sub.add_parser("selftest", help="check every command's output; exit 1 on failure")
    p.add_argument("--keep", metavar="DIR", help="work in DIR and keep the outputs")
    p.add_argument("-v", "--verbose", action="store_true")

    args = ap.parse_args(argv)
    if args.cmd == "tree":
        fresh_dir(args.out, force=args.force)
        make_tree(args.out, args.seed, args.total, args.depth, args.many, args.minimal)
        if args.manifest:
            write_manifest(args.manifest, [("tree", args.out)])
    elif args.cmd == "iso":
        if not os.path.isdir(args.src):
            fail(f"{args.src} is not a folder")
        master_iso(args.src, args.out, args.hidden, args.volid, args.tool)
    elif args.cmd == "raw":
        iso_to_raw(args.src, args.out, args.mode)
        if args.cue:
            write_cue(args.cue, args.out, args.mode, args.bin_ref, args.crlf)
    elif args.cmd == "sample":
        fresh_dir(args.out, force=args.force, marker=True)
        make_sample(args.out, args.size, args.seed, args.folders_only, args.disc2_mode, args.tool)
    elif args.cmd == "crafted":
        if args.kind == "unsafe-set":
            write_unsafe_set(args.out)
        elif args.kind == "unsafe-name":
            craft_unsafe_name(unsafe_ident(args), args.dir).write(args.out)
        elif args.kind == "shared":
            craft_shared(args.levels, args.fanout).write(args.out)
        else:
            CRAFTED[args.kind][0]().write(args.out)
    elif args.cmd == "hostile":
        write_hostile(args.out, args.chain)
    elif args.cmd == "fixtures":
        make_fixtures(args.out, args.force, args.tool)
    elif args.cmd == "ls":
        cmd_ls(args)
    elif args.cmd == "selftest":
        return selftest(args.keep, args.verbose)
    return 0


if __name__ == "__main__":
    sys.exit(main())
