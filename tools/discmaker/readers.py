"""What independent readers extract from a disc image or rip: libcdio (cd-read,
iso-info, iso-read) and libarchive (bsdtar). Their answers are the expected
extraction of the real-writer corpus (realrips), so that the setup's reader is
checked against code that no one here wrote.

A listing is one line per folder ("D PATH") and file ("F PATH SIZE MD5"),
PATH with '/' and in upper case (the setup keeps a disc's primary names,
libcdio shows them in lower case, Rock Ridge and Joliet in the writer's case),
sorted. Each reader returns its listing, or raises Unread with the reason it
gives no answer (not installed, or known not to read that layout).

libcdio reads a raw rip in two steps: cd-read copies every sector of the disc
as Form 1 user data (2,048 bytes at offset 24 of a raw Mode 2 sector) into a
plain image, on which iso-info lists the files (with their Form 2 attribute)
and iso-read extracts the Form 1 ones. A Form 2 file (the MPEG sequence of a
Video CD) is read from the rip with cd-read -m m1f2, which gives 2,336 bytes a
sector from the subheader on: the file holds bytes 8 to 2,331 of each, the
2,324-byte payload, up to the size its record gives."""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile

FORM2_PAYLOAD = 2324
MODE2_BODY = 2336  # subheader, payload, EDC: what cd-read -m m1f2 gives a sector
SUBHEADER = 8
SECTOR = 2048

# cd-read's option for each descriptor's extension.
CDIO_SOURCE = {".cue": "--cue-file", ".toc": "--toc-file", ".nrg": "--nrg-file", ".bin": "--bin-file"}


class Unread(Exception):
    """The reader gives no answer for this image; the text says why."""


def _run(cmd, cwd=None):
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        raise Unread(f"{' '.join(cmd)} failed with exit code {r.returncode}: "
                     f"{r.stderr.decode('utf-8', 'replace').strip()[-300:]}")
    return r.stdout.decode("utf-8", "replace")


def _need(*programs):
    for p in programs:
        if not shutil.which(p):
            raise Unread(f"{p} is not installed")


def listing(root):
    """The listing of a folder tree (see the module's description)."""
    lines = []
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        prefix = "" if rel == "." else rel.replace(os.sep, "/").upper() + "/"
        for d in dirnames:
            lines.append(f"D {prefix}{d.upper()}")
        for f in filenames:
            path = os.path.join(dirpath, f)
            with open(path, "rb") as fh:
                digest = hashlib.md5(fh.read()).hexdigest()
            lines.append(f"F {prefix}{f.upper()} {os.path.getsize(path)} {digest}")
    return sorted(lines)


# ---------------------------------------------------------------------------
# libcdio

def libcdio_version():
    """(major, minor) of the installed libcdio tools."""
    _need("iso-info")
    # iso-info --version exits with 100 after printing it.
    r = subprocess.run(["iso-info", "--version"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    m = re.search(r"version (\d+)\.(\d+)", r.stdout.decode("utf-8", "replace"))
    return (int(m.group(1)), int(m.group(2))) if m else (0, 0)


# iso-info -l: a folder's header "/path/:", then one line per entry:
# mode string, [LSN n], size, for Form 2 files "(sectors x 2048)", date, name.
_HEADER = re.compile(r"^(/.*)/?:$")
_ENTRY = re.compile(r"^\s+(\S+)\s.*\[LSN\s+(\d+)\]\s+(\d+)(?:\s+\(\s*\d+\))?\s+"
                    r"\w{3}\s+\d+\s+\d{4}\s+[\d:]+\s+(.*)$")


def iso_info_entries(image):
    """(path, is_dir, lsn, size, form2) for every entry iso-info lists, in its order."""
    _need("iso-info")
    out, folder = [], None
    for line in _run(["iso-info", "--no-header", "-l", "-i", image]).splitlines():
        h = _HEADER.match(line)
        if h:
            folder = h.group(1).strip("/")
            continue
        e = _ENTRY.match(line)
        if not e or folder is None or e.group(4) in (".", ".."):
            continue
        mode = e.group(1)
        # An XA mode string ("---2-xrxrxr") has '2' in its fourth place for Form 2.
        form2 = len(mode) == 11 and mode[3] == "2" and mode[5] == "x"
        path = f"{folder}/{e.group(4)}" if folder else e.group(4)
        out.append((path, mode.startswith("d"), int(e.group(2)), int(e.group(3)), form2))
    return out


def _cdio_source(rip):
    ext = os.path.splitext(rip)[1].lower()
    if ext not in CDIO_SOURCE:
        raise Unread(f"libcdio has no driver for {ext} files")
    return [CDIO_SOURCE[ext], os.path.basename(rip)]


def _disc_sectors(rip):
    """The disc's sector count (the lead-out's address) as cd-info reads it."""
    out = _run(["cd-info", "--no-header", "--no-device-info", "--no-cddb", "--no-analyze"] + _cdio_source(rip),
               cwd=os.path.dirname(os.path.abspath(rip)))
    m = re.search(r"^170: \S+\s+(\d+) leadout", out, re.M)
    if not m:
        raise Unread(f"cd-info found no lead-out in {rip}")
    return int(m.group(1))


def _cd_read(rip, mode, start, count, out):
    """cd-read's sectors into out; cd-read's exit code does not tell whether it
    could write them all, so the length is checked."""
    per = {"m1f1": SECTOR, "m2f1": SECTOR, "m1f2": MODE2_BODY}[mode]
    _run(["cd-read", "--no-header", "-m", mode, "-s", str(start), "-n", str(count), "-o", os.path.abspath(out)]
         + _cdio_source(rip),
         cwd=os.path.dirname(os.path.abspath(rip)))
    got = os.path.getsize(out) if os.path.exists(out) else 0
    if got != count * per:
        raise Unread(f"cd-read gave {got} bytes for {count} sectors of {rip} from sector {start}")


def libcdio_plain(rip, out_iso, mode="m2f1"):
    """cd-read's copy of a whole rip as a plain image of 2,048-byte sectors:
    Mode 2 Form 1 user data (m2f1) or Mode 1 (m1f1)."""
    _need("cd-read", "cd-info")
    os.makedirs(os.path.dirname(os.path.abspath(out_iso)), exist_ok=True)
    _cd_read(rip, mode, 0, _disc_sectors(rip), out_iso)
    return out_iso


def libcdio_extract(image, dest, rip=None):
    """Extracts every file of a plain image with iso-read into dest; with rip
    (the rip that image was read from), Form 2 files come from the rip's Form 2
    sectors (see the module's description). Returns dest's listing."""
    _need("iso-read", "iso-info")
    os.makedirs(dest, exist_ok=True)
    for path, is_dir, lsn, size, form2 in iso_info_entries(image):
        target = os.path.join(dest, *path.upper().split("/"))
        if is_dir:
            os.makedirs(target, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if os.path.exists(target):  # a piece of a file listed before (libcdio 2.1 lists each)
            continue
        if form2:
            if rip is None:
                raise Unread(f"{path} lies in Form 2 sectors, which a plain image does not hold")
            _need("cd-read")
            count = -(-size // FORM2_PAYLOAD)
            with tempfile.NamedTemporaryFile(dir=dest) as raw:
                _cd_read(rip, "m1f2", lsn, count, raw.name)
                body = open(raw.name, "rb").read()
            data = b"".join(body[i + SUBHEADER:i + SUBHEADER + FORM2_PAYLOAD]
                            for i in range(0, len(body), MODE2_BODY))[:size]
            with open(target, "wb") as f:
                f.write(data)
        elif size == 0:
            open(target, "wb").close()
        else:
            # iso-read looks names up as libcdio 2.1 shows primary names, in
            # lower case, also where iso-info lists Joliet's.
            try:
                _run(["iso-read", "-i", image, "-e", path, "-o", target])
            except Unread:
                _run(["iso-read", "-i", image, "-e", path.lower(), "-o", target])
    return listing(dest)


# ---------------------------------------------------------------------------
# libarchive

def bsdtar_extract(image, dest):
    """bsdtar's extraction of a plain image into dest; returns dest's listing."""
    _need("bsdtar")
    os.makedirs(dest, exist_ok=True)
    _run(["bsdtar", "-xf", image, "-C", dest])
    for dirpath, dirnames, filenames in os.walk(dest):
        for n in dirnames + filenames:  # Rock Ridge may say read-only
            os.chmod(os.path.join(dirpath, n), 0o755 if n in dirnames else 0o644)
    return listing(dest)
