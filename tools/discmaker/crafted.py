"""Crafted and hostile images."""

import os

from .common import HIDDEN, MULTI_EXTENT, MiB, SECTOR, fail, rmtree
from .tree import TreeMaker, chain_dir
from .decoded import decoded_names
from .isowrite import Dir, File, IsoImage


# Crafted kinds

def pattern(n, mod=251):
    """Known content: byte i is i % 251 (251 is prime, so no 2^k period)."""
    return (bytes(range(mod)) * (n // mod + 1))[:n]


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


# Files in several pieces, as mastering programs write files of 4 GiB and
# more (every piece but the last a whole number of sectors, the pieces one
# after another on the disc): (name, size, piece sizes but the last).
PIECES = (
    ("SPLIT2.DAT;1", 54305, (49152,)),              # the last piece 5,153 bytes
    ("SPLIT3.DAT;1", 17385, (8192, 2048)),          # three pieces, the middle one sector
    ("BIG2.DAT;1", 2 * MiB, (MiB,)),                 # 2 MiB in two pieces of 1 MiB
    ("ONEBYTE.DAT;1", 2049, (2048,)),               # the last piece one byte
)


def _piece_files(size, cuts, mod):
    data = pattern(size, mod)
    bounds = [0]
    for c in cuts:
        bounds.append(bounds[-1] + c)
    bounds.append(size)
    return [File(data[a:b]) for a, b in zip(bounds, bounds[1:])]


def _add_pieces(d, ident, pieces):
    for i, piece in enumerate(pieces):
        d.link(ident, piece, flags=MULTI_EXTENT if i < len(pieces) - 1 else 0)


def craft_pieces(scattered=False):
    """Each file of PIECES in its pieces, and SUB/INNER.DAT;1 (10,000 bytes in
    two) below the root; HEAD.TXT;1 before them and TAIL.TXT;1 after them are
    whole files. The content is i % m over the whole file (m a prime of its
    own), so a piece missing, repeated or out of place changes the bytes.
    scattered: the pieces lie on the disc in the opposite order of their
    records, which the standard allows and no mastering program writes."""
    img = IsoImage("PIECES")
    img.root.file("HEAD.TXT;1", b"A whole file before the pieces.\r\n")
    primes = (251, 241, 239, 233, 229)
    files = [(img.root, ident, _piece_files(size, cuts, m))
             for (ident, size, cuts), m in zip(PIECES, primes)]
    sub = img.root.dir("SUB")
    files.append((sub, "INNER.DAT;1", _piece_files(10000, (8192,), primes[-1])))
    if scattered:
        for piece in reversed([p for _, _, pieces in files for p in pieces]):
            img.add_extent(piece)
    for d, ident, pieces in files:
        _add_pieces(d, ident, pieces)
    img.root.file("TAIL.TXT;1", b"A whole file after the pieces.\r\n")
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
    "pieces": (craft_pieces, "SPLIT2.DAT (54,305 bytes: 49,152 + 5,153), SPLIT3.DAT (8,192 + 2,048 + 7,145), "
                             "BIG2.DAT (2 MiB: 1 MiB + 1 MiB), ONEBYTE.DAT (2,048 + 1), SUB/INNER.DAT (8,192 + 1,808) "
                             "in pieces of the multi-extent flag, between the whole files HEAD.TXT and TAIL.TXT"),
    "pieces-scattered": (lambda: craft_pieces(scattered=True),
                         "pieces with the pieces stored on the disc in the opposite order of their records"),
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


def write_unsafe_set(folder, names_tool):
    """Every predefined unsafe name, as a file (LABEL.iso) and as a directory
    (LABEL-dir.iso), with index.txt: label, identifier hex, and the name the
    setup's decoder makes of it in hex (names_tool: see decoded)."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "index.txt"), "w", newline="\n") as idx:
        idx.write("# label\tidentifier (hex)\tname as decoded (hex)\n")
        for label, ident in UNSAFE_NAMES:
            path = os.path.join(folder, f"{label}.iso")
            img = craft_unsafe_name(ident)
            img.write(path)
            craft_unsafe_name(ident, as_dir=True).write(os.path.join(folder, f"{label}-dir.iso"))
            name = decoded_names(names_tool, path)[(img.root.lba, 1)]  # after A_FIRST.TXT
            idx.write(f"{label}\t{ident.hex() or '-'}\t{name.hex() or '-'}\n")


# ---------------------------------------------------------------------------
# Hostile inputs: small or sparse files whose records would cost a careless
# reader minutes, gigabytes of memory or of disk. Each is shaped as disc 1 of
# the game where that lets an installation walk it.

NEAR_4G = 0xFFFFF800  # the largest whole-sector 32-bit size
LINK_LEVELS = 16  # of the link chain; a folder disc is walked 16 levels deep


def disc1_identity(d):
    """The files by which the setup recognises disc 1."""
    d.file("TLID.000;1", b"TOLVENAR CD 1\r\n")
    d.dir("TL").file("TOLVENAR.EXE;1", b"TOLVENAR.EXE of a hostile test disc\r\n")


def folder_disc1(root):
    """A fresh folder at root holding the files by which the setup recognises
    disc 1; the TreeMaker that wrote them, for more."""
    if os.path.lexists(root):
        rmtree(root)
    t = TreeMaker(root, os.path.basename(root))
    t.file("TLID.000", data=b"TOLVENAR CD 1\r\n")
    t.file("TL/TOLVENAR.EXE", data=b"TOLVENAR.EXE of a hostile test disc\r\n")
    return t


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
    t = folder_disc1(links)
    t.file("DATA/FILE.TXT", data=b"one file below the links\r\n")
    os.symlink(".", os.path.join(links, "LOOPA"))
    os.symlink("..", os.path.join(links, "DATA", "LOOPB"))
    note("selflinks/", "folder disc 1 with two links back to itself (LOOPA -> ., DATA/LOOPB -> ..)")
    links = os.path.join(out, "linkchain")
    t = folder_disc1(links)
    os.symlink("TL", os.path.join(links, "AAA"))
    levels = [f"L{k:02d}" for k in range(LINK_LEVELS)]
    for k in range(LINK_LEVELS):
        rel = "/".join(levels[:k + 1])
        t.file(f"{rel}/F{k:02d}.TXT", data=b"level %d\r\n" % k)
        if k + 1 < LINK_LEVELS:
            for name in ("X", "Y"):
                os.symlink(levels[k + 1], os.path.join(t.path(rel), name))
    note("linkchain/", f"folder disc 1 with AAA -> TL, and L00/.../L{LINK_LEVELS - 1:02d} where each level "
                       f"links twice (X, Y) to the next: 2^{LINK_LEVELS - 1} paths for a walk that follows every link")
    zero = os.path.join(out, "zerolink")
    folder_disc1(zero)
    os.symlink("/dev/zero", os.path.join(zero, "ZERO.DAT"))
    note("zerolink/", "folder disc 1 whose ZERO.DAT links to /dev/zero: listed as 0 bytes, endless to read")
    img = IsoImage("CODEPAGE")
    disc1_identity(img.root)
    img.root.file(b"A\xFFB.TXT;1", b"y with diaeresis in the Western code page\r\n")
    img.root.file(b"A\xFEB.TXT;1", b"thorn in the Western code page\r\n")
    img.root.file(b"CASE.TXT;1", b"upper case first\r\n")
    img.root.file(b"case.txt;1", b"lower case second\r\n")
    img.write(os.path.join(out, "codepage.iso"))
    note("codepage.iso", "disc 1 with names that are not UTF-8 (A\\xFFB.TXT, A\\xFEB.TXT) and two that differ "
                         "only in case (CASE.TXT, case.txt)")
    with open(os.path.join(out, "index.txt"), "w", newline="\n") as f:
        for name, what in made:
            f.write(f"{name}\t{what}\n")


# ---------------------------------------------------------------------------
