"""Discs written by other programs' writers, not by this package: Video CDs by
vcdimager (`vcdxbuild`) in each image kind it writes, and ISO 9660 images by
xorriso and genisoimage with and without Joliet and Rock Ridge. They check
the setup against layouts that our own writers could get wrong in the same
way as our reader.

A Video CD has two tracks: track 1 holds the ISO 9660 file system (with any
data files added to it) in Mode 2 Form 1 sectors, track 2 the MPEG sequence
MPEGAV/AVSEQ01.DAT in Mode 2 Form 2 sectors (2,324 bytes of user data after
the 8-byte subheader), after a 150-sector pregap. The file system's record of
AVSEQ01.DAT counts those 2,324-byte payloads. The clip is tests/corpus/clip.mpg
(see tests/corpus/README.md)."""

import os
import shutil
import subprocess
from xml.sax.saxutils import escape, quoteattr

from .common import fail

# The creation time that vcdxbuild writes into every record and descriptor:
# fixed, so that the same tree makes the same image.
VCD_TIME = "2000-01-01 00:00:00"

# kind: (vcdxbuild's arguments for the files named BASE, the file a user opens)
VCD_KINDS = {
    "vcd-cue2352": (lambda b: ["-i", "bincue", "-c", b + ".cue", "-b", b + ".bin"], ".cue"),
    "vcd-cue2336": (lambda b: ["-i", "bincue", "--sector-2336", "-c", b + ".cue", "-b", b + ".bin"], ".cue"),
    "vcd-toc": (lambda b: ["-i", "cdrdao", "--cdrdao-file=" + b], ".toc"),
    "vcd-nrg": (lambda b: ["-i", "nrg", "--nrg-file=" + b + ".nrg"], ".nrg"),
}

# kind: (program and options before the output and source, what it adds)
ISO_KINDS = {
    "xorriso": (["xorriso", "-as", "mkisofs"], "plain ISO 9660 (xorriso keeps Rock Ridge on)"),
    "xorriso-joliet": (["xorriso", "-as", "mkisofs", "-J", "-R"], "Joliet and Rock Ridge"),
    "xorriso-level3": (["xorriso", "-as", "mkisofs", "-iso-level", "3", "-R"], "level 3 with Rock Ridge"),
    "genisoimage": (["genisoimage"], "plain ISO 9660"),
    "genisoimage-joliet": (["genisoimage", "-J", "-R"], "Joliet and Rock Ridge"),
    "genisoimage-udf": (["genisoimage", "-udf", "-J"], "UDF bridge with Joliet"),
}


def _run(cmd, cwd=None):
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode != 0:
        fail(f"{' '.join(cmd)} failed with exit code {r.returncode}:\n{r.stdout}")
    return r.stdout


def _need(program):
    if not shutil.which(program):
        fail(f"{program} is not installed")


def vcd_xml(tree, clip, volume_id):
    """vcdxbuild's description of a VCD 2.0 holding the MPEG clip as its one
    sequence and the folder tree in its file system (names as they are)."""

    def folder(path, indent):
        out = []
        for name in sorted(os.listdir(path)):
            full = os.path.join(path, name)
            pad = "  " * indent
            if os.path.isdir(full):
                out.append(f"{pad}<folder><name>{escape(name)}</name>")
                out += folder(full, indent + 1)
                out.append(f"{pad}</folder>")
            else:
                out.append(f"{pad}<file src={quoteattr(os.path.abspath(full))}><name>{escape(name)}</name></file>")
        return out

    lines = [
        '<?xml version="1.0"?>',
        '<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">',
        '<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">',
        "  <info><album-id/><volume-count>1</volume-count><volume-number>1</volume-number>"
        "<restriction>0</restriction></info>",
        f"  <pvd><volume-id>{escape(volume_id)}</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id>"
        "<application-id/><preparer-id/><publisher-id/></pvd>",
        "  <filesystem>",
        *folder(tree, 2),
        "  </filesystem>",
        f"  <sequence-items><sequence-item src={quoteattr(os.path.abspath(clip))} id=\"sequence-00\"/>"
        "</sequence-items>",
        "</videocd>",
    ]
    return "\n".join(lines) + "\n"


def make_vcd(kind, tree, clip, out_dir, name=None, volume_id="VIDEOCD"):
    """Writes the VCD of tree and clip as vcdxbuild writes the image kind into
    out_dir (files NAME.*, NAME the kind by default); returns the path a user
    opens. vcdxbuild runs inside out_dir, so that its descriptors name their
    files without a folder, as a user's rip does."""
    _need("vcdxbuild")
    args, opened = VCD_KINDS[kind]
    name = name or kind
    os.makedirs(out_dir, exist_ok=True)
    xml = os.path.join(out_dir, name + ".xml")
    with open(xml, "w", newline="\n") as f:
        f.write(vcd_xml(tree, clip, volume_id))
    _run(["vcdxbuild", "--quiet", "-T", VCD_TIME] + args(name) + [name + ".xml"], cwd=out_dir)
    os.remove(xml)
    return os.path.join(out_dir, name + opened)


def make_iso(kind, tree, out, volume_id="TESTDISC"):
    """An image of the folder tree as the writer of kind makes it."""
    cmd, _ = ISO_KINDS[kind]
    _need(cmd[0])
    _run(cmd + ["-quiet", "-V", volume_id, "-o", out, tree])
    return out
