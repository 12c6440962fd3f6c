"""Shared units, flags and output-folder helpers."""

import argparse
import os
import re
import shutil
import stat
import sys


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
