"""The real-writer corpus: discs that other programs wrote (realrips) and the
crafted images in pieces, each with the extraction that the setup must give,
as independent readers (readers) give it.

make_corpus(OUT) writes:

    OUT/trees/disc1, disc2    the small sample discs (samples.make_sample)
    OUT/rips/NAME.*           every disc of CORPUS
    OUT/expected/NAME.txt     the listing the setup's extraction must equal
    OUT/readers/NAME.READER.txt   each reader's own listing, or "skipped: why"
    OUT/index.txt             NAME, the file to open, where the expected listing
                              comes from, and the readers that disagree with it

Every reader that gives no answer for a disc (missing, or known not to read
it) is named in a printed line with the reason; a disc whose expected listing
no reader gives is left out of index.txt with such a line (also kept in
OUT/skipped.txt)."""

import hashlib
import os

from .common import KiB, fresh_dir
from .crafted import craft_pieces
from .readers import Unread, bsdtar_extract, libcdio_extract, libcdio_plain, libcdio_version, listing
from .realrips import ISO_KINDS, VCD_KINDS, make_iso, make_vcd
from .samples import make_sample

HERE = os.path.dirname(os.path.abspath(__file__))
CLIP = os.path.normpath(os.path.join(HERE, "..", "..", "tests", "corpus", "clip.mpg"))

# vcdimager puts 30 empty packs before a sequence (its front margin).
VCD_FRONT_MARGIN = 30
FORM2_PAYLOAD = 2324

# The reader whose answer is the expected extraction, per family of discs:
# the Video CDs take libcdio's reading of the 2,352-byte cue sheet rip (the
# one layout that libcdio 2.1 reads whole, see tests/corpus/README.md), the
# ISO images bsdtar's.
VCD_REFERENCE = "vcd-cue2352"


def _crafted_listing(img):
    """The listing of a crafted image as its writer laid it out: files joined
    from their pieces in record order."""
    lines, files = [], {}

    def go(d, prefix):
        for it in d.items:
            target = getattr(it, "target", None)
            if target is None or it.ident in (b"\x00", b"\x01"):
                continue
            name = prefix + it.ident.decode("latin-1").split(";")[0].upper()
            if hasattr(target, "items"):
                lines.append(f"D {name}")
                go(target, name + "/")
            else:
                files.setdefault(name, []).append(target.data)

    go(img.root, "")
    for name, pieces in files.items():
        data = b"".join(pieces)
        lines.append(f"F {name} {len(data)} {hashlib.md5(data).hexdigest()}")
    return sorted(lines)


def _write(path, lines):
    with open(path, "w", newline="\n") as f:
        f.write("".join(line + "\n" for line in lines))


def make_corpus(out, force=False):
    """Writes the corpus into out (see the module's description); returns the
    index lines."""
    fresh_dir(out, force=force, marker=True)
    trees, rips, expected, answers = (os.path.join(out, d) for d in ("trees", "rips", "expected", "readers"))
    for d in (rips, expected, answers):
        os.makedirs(d)
    make_sample(trees, size=96 * KiB, folders_only=True)
    disc1, disc2 = os.path.join(trees, "disc1"), os.path.join(trees, "disc2")
    work = os.path.join(out, "work")

    discs = []  # (name, path a user opens, libcdio's raw rip or None)
    for kind in VCD_KINDS:
        path = make_vcd(kind, disc1, CLIP, rips, volume_id="TOLVENAR_1")
        discs.append((kind, path, path))
    for kind in ISO_KINDS:
        discs.append((kind, make_iso(kind, disc2, os.path.join(rips, kind + ".iso"), "TOLVENAR_2"), None))
    crafted = {}
    for kind, scattered in (("pieces", False), ("pieces-scattered", True)):
        img = craft_pieces(scattered)
        path = os.path.join(rips, kind + ".iso")
        img.write(path)
        crafted[kind] = _crafted_listing(img)
        discs.append((kind, path, None))

    try:
        cdio = libcdio_version()
    except Unread:
        cdio = None
    answers_of = {}
    for name, path, rip in discs:
        got = {}
        try:
            if rip and not path.endswith(".iso"):
                plain = libcdio_plain(rip, os.path.join(work, name + ".iso"))
                got["libcdio"] = libcdio_extract(plain, os.path.join(work, name + ".libcdio"), rip)
            elif name.startswith("pieces") and cdio and cdio < (2, 2):
                raise Unread(f"libcdio {cdio[0]}.{cdio[1]} lists each piece as a file of its own and "
                             f"iso-read gives the first piece only (joined from 2.2 on)")
            else:
                got["libcdio"] = libcdio_extract(path, os.path.join(work, name + ".libcdio"))
        except Unread as e:
            got["libcdio"] = f"skipped: {e}"
        try:
            if name.startswith("vcd-"):
                raise Unread("bsdtar refuses a Video CD: its sequence lies past the volume size that "
                             "the primary descriptor records (track 1 only)")
            got["bsdtar"] = bsdtar_extract(path, os.path.join(work, name + ".bsdtar"))
        except Unread as e:
            got["bsdtar"] = f"skipped: {e}"
        answers_of[name] = got
        for reader, answer in got.items():
            _write(os.path.join(answers, f"{name}.{reader}.txt"),
                   [answer] if isinstance(answer, str) else answer)
            if isinstance(answer, str):
                print(f"{name}: {reader} {answer.splitlines()[0]}")

    index, skipped = [], []
    for name, path, _ in discs:
        got = answers_of[name]
        if name.startswith("vcd-"):
            source, ref = f"libcdio on {VCD_REFERENCE}", answers_of[VCD_REFERENCE]["libcdio"]
        elif name == "pieces-scattered":
            source, ref = "the writer's data (bsdtar refuses pieces out of disc order, libcdio pieces with gaps)", \
                crafted[name]
        else:
            source, ref = "bsdtar", got["bsdtar"]
        if isinstance(ref, str):
            skipped.append(f"{name}: left out, no expected listing ({source} {ref.splitlines()[0]})")
            continue
        if name.startswith("vcd-"):
            _check_sequence(os.path.join(work, VCD_REFERENCE + ".libcdio"))
        if name in crafted and crafted[name] != ref:
            raise SystemExit(f"mkdisc: {source} does not read {name} as it was written")
        _write(os.path.join(expected, name + ".txt"), ref)
        disagree = [r for r, a in sorted(got.items()) if not isinstance(a, str) and a != ref]
        index.append("\t".join((name, os.path.relpath(path, out), source,
                                ",".join(disagree) or "-")))
    _write(os.path.join(out, "index.txt"), ["# name\topen\texpected from\treaders that disagree"] + index)
    _write(os.path.join(out, "skipped.txt"), skipped)
    for line in skipped:
        print(line)
    return index


def _check_sequence(extracted):
    """The Form 2 file must hold the clip after vcdimager's front margin, as
    vcdimager's own ripper (vcdxrip) finds it: otherwise the reading of Form 2
    sectors, not the disc, would be wrong."""
    with open(os.path.join(extracted, "MPEGAV", "AVSEQ01.DAT"), "rb") as f:
        data = f.read()
    with open(CLIP, "rb") as f:
        clip = f.read()
    at = VCD_FRONT_MARGIN * FORM2_PAYLOAD
    if data[at:at + len(clip)] != clip:
        raise SystemExit("mkdisc: MPEGAV/AVSEQ01.DAT does not hold the clip after the front margin")


def write_listings(folders, into=None):
    """Prints the listing of each folder, or writes it to INTO/NAME.txt."""
    for folder in folders:
        lines = listing(folder)
        if into:
            os.makedirs(into, exist_ok=True)
            _write(os.path.join(into, os.path.basename(os.path.normpath(folder)) + ".txt"), lines)
        else:
            print("\n".join(lines))
