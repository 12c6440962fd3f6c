"""Self-check of every command's output."""

import os
import re
import shutil
import subprocess
import tempfile

from .common import DIRECTORY, HIDDEN, MULTI_EXTENT, MiB, RAW_SECTOR, SECTOR, fresh_dir, rmtree
from .tree import DIR_NAME, FILE_NAME, chain_dir, make_tree, manifest_lines
from .mastering import master_iso
from .raw import BCD, MODE2_FORM1_SUBHEADER, RAW_LAYOUT, SYNC, iso_to_raw, raw_to_iso_bytes, write_cue
from .isoread import IsoReader, clean_name
from .crafted import CRAFTED, UNSAFE_NAMES, craft_unsafe_name, pattern
from .rips import check_rip_set, write_rip_set
from .samples import check_ico, make_fixtures, make_sample
from .decoded import decoded_entries


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
    for kind in ("pieces", "pieces-scattered"):
        with reader(kind) as r:
            recs = [(e.name, e.flags, e.size) for e in r.records(r.root_lba, r.root_size) if not e.is_dir]
            c.check(recs[1:3] == [(b"SPLIT2.DAT", MULTI_EXTENT, 49152), (b"SPLIT2.DAT", 0, 5153)]
                    and sum(1 for n, _, _ in recs if n == b"SPLIT3.DAT") == 3, f"{kind}: the pieces' records")
    if shutil.which("bsdtar"):
        # bsdtar joins the pieces (when they lie in disc order) as they were written.
        out = os.path.join(tmp, "pieces.bsdtar")
        os.makedirs(out)
        subprocess.run(["bsdtar", "-xf", P["pieces"], "-C", out], check=True)
        joined = open(os.path.join(out, "SPLIT2.DAT"), "rb").read()
        c.check(joined == pattern(54305) and os.path.getsize(os.path.join(out, "BIG2.DAT")) == 2 * MiB,
                "bsdtar joins the pieces of crafted pieces")
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


def selftest_decoder(c, tmp, names_tool):
    """Our reader names the records of the well-formed crafted kinds and of the
    unsafe set as the setup's decoder does (this reader's rules are a copy)."""
    images = {k: CRAFTED[k][0]() for k in ("lookup", "big-dir", "deep", "names", "multi-extent", "empty")}
    for label, ident in UNSAFE_NAMES:
        images[f"unsafe {label}"] = craft_unsafe_name(ident)
        images[f"unsafe {label}-dir"] = craft_unsafe_name(ident, as_dir=True)
    differ = []
    for what, img in images.items():
        path = os.path.join(tmp, "decoded.iso")
        img.write(path)
        entries = decoded_entries(names_tool, path)
        with IsoReader(path) as r:
            dirs = {r.root_lba: r.root_size}
            dirs.update({lba: size for _, _, is_dir, lba, size, _ in entries if is_dir})
            for lba, size in dirs.items():
                ours = [e.name for e in r.records(lba, size)]
                theirs = [e[5] for e in entries if e[0] == lba]
                if ours != theirs:
                    differ.append(f"{what}: {ours} != {theirs}")
    c.check(not differ, f"our reader's names are the decoder's {differ[:3]}")


def selftest(names_tool, keep=None, verbose=False):
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
        selftest_decoder(c, tmp, names_tool)
        selftest_sample(c, tmp)
        fx = os.path.join(tmp, "fixtures")
        make_fixtures(fx, names_tool)
        want = ["tree", "deep", "tree.iso", "tree_m1.bin", "tree_m1.cue", "tree_m2.bin", "tree_m2.cue",
                "deep.iso", "manifest.txt"] + [f"crafted/{k}.iso" for k in CRAFTED]
        c.check(all(os.path.exists(os.path.join(fx, p)) for p in want), "fixtures: every file made")
        iso = os.path.join(fx, "tree.iso")
        failures, skipped = check_rip_set(write_rip_set(iso, os.path.join(tmp, "rips")), iso,
                                          os.path.join(tmp, "rip-check"))
        for line in skipped:
            print(f"SKIPPED: {line}")
        c.check(not failures, "fixtures: every rip read by its independent readers" +
                ("".join("\n  " + f for f in failures)))
        make_fixtures(fx, names_tool)
        c.check(os.path.exists(os.path.join(fx, "manifest.txt")), "fixtures: a second run recreates the set")
    finally:
        if not keep:
            rmtree(tmp)
    print(f"selftest: {len(c.failures)} failure(s)")
    return 1 if c.failures else 0


# ---------------------------------------------------------------------------
