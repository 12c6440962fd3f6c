"""The sample pair of game discs and the standard fixture set."""

import os
import random
import struct
import zlib

from .common import HIDDEN, KiB, MiB, fresh_dir
from .tree import TreeMaker, fill_folders, make_tree, write_manifest
from .mastering import master_iso
from .raw import iso_to_raw, write_cue
from .decoded import decoded_names
from .isowrite import Dir, Record
from .crafted import CRAFTED, pattern, write_unsafe_set
from .rips import write_rip_set


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


def crafted_manifest_lines(label, img, names):
    """Manifest lines for a well-formed crafted image: the writer's tree, with
    the names the setup's decoder gives its records (names: decoded_names)."""
    lines, total, count = [], 0, 0

    def go(d, prefix):
        nonlocal total, count
        for i, it in enumerate(d.items):
            if not isinstance(it, Record) or it.target is None:
                raise ValueError(f"{label}: only file and folder records have decoded names")
            rel = prefix + names[(d.lba, i)].decode("latin-1")
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


def make_fixtures(out, names_tool, force=False, tool=None):
    """The fixture set; names_tool is the iso_names program (see decoded)."""
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
    write_rip_set(iso, os.path.join(out, "rips"))
    master_iso(deep, os.path.join(out, "deep.iso"), volume_id="DEEP", tool=tool)
    cdir = os.path.join(out, "crafted")
    os.makedirs(cdir)
    extra = []
    for kind, (make, _) in CRAFTED.items():
        img = make()
        path = os.path.join(cdir, f"{kind}.iso")
        img.write(path)
        if kind in CRAFTED_MANIFEST:
            extra += crafted_manifest_lines(f"crafted/{kind}", img, decoded_names(names_tool, path))
    write_unsafe_set(os.path.join(cdir, "unsafe"), names_tool)
    path = os.path.join(out, "manifest.txt")
    write_manifest(path, [("tree", tree), ("deep", deep)])
    with open(path, "a", newline="\n") as f:
        f.write("\n".join(extra) + "\n")


# ---------------------------------------------------------------------------
