"""Rips as other programs write them, from a plain image: CloneCD (.ccd/.img/
.sub), Alcohol (.mds/.mdf, 2352 or 2448 bytes a sector), Nero (.nrg, version 2
or 1, with a pregap), cdrdao (.toc/.bin), bare raw sectors of 2448 or 2336
bytes, and cue sheets with audio tracks after the data track, in one file or
one file per track, MODE1/2048, MODE1/2352, MODE2/2336 or MODE2/2352.

Every writer takes the plain image and a base path (without extension),
writes its files beside it and returns the path a user would open. check_rip
runs an independent reader over one (see RIP_KINDS and check_rip)."""

import os
import re
import shutil
import struct
import subprocess

from .common import MiB, SECTOR
from .raw import BCD, MODE2_FORM1_SUBHEADER, SYNC

SUBCHANNEL = 96
PREGAP = 150  # frames (2 seconds) before a disc's first track
AUDIO_FRAMES = 300  # each audio track: 4 seconds, the shortest a CD may hold


def _msf(frames):
    return frames // 4500, frames // 75 % 60, frames % 75


def _msf_text(frames):
    return "%02d:%02d:%02d" % _msf(frames)


def _crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = (crc << 1 ^ 0x1021 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc ^ 0xFFFF


def q_channel(lba, control=0x4):
    """The 12 Q-channel bytes of track 1's sector lba: position (ADR 1) in BCD,
    relative and absolute, and the inverted CRC-16."""
    rel, ab = _msf(lba), _msf(lba + PREGAP)
    q = bytes([control << 4 | 1, 0x01, 0x01, *(BCD[x] for x in rel), 0, *(BCD[x] for x in ab)])
    return q + _crc16(q).to_bytes(2, "big")


# Interleaved subchannel: byte j carries bit j of each channel, P in bit 7 and
# Q in bit 6. P is set throughout, as the rips that readers expect have it.
_Q_SPREAD = [bytes(0x80 | (v >> (7 - k) & 1) << 6 for k in range(8)) for v in range(256)]


def interleaved_subchannel(lba):
    return b"".join(_Q_SPREAD[v] for v in q_channel(lba))


def write_sectors(iso, dst, mode, size, lba=0):
    """Append the 2048-byte sectors of iso to the open file dst as sectors of
    size bytes: 2048 (as they are), 2336 (Mode 2: subheader, data, zero EDC/ECC),
    2352 (raw, Mode 1 or Mode 2 Form 1) or 2448 (raw and 96 bytes of
    interleaved subchannel with the Q position). Sector addresses start at lba
    (+150 in the header). Returns the number of sectors."""
    per = MiB // SECTOR
    raw = size >= 2352
    data_off = {2048: 0, 2336: 8}.get(size, 16 if mode == 1 else 24)
    block = bytearray(per * size)
    for i in range(per):
        b = i * size
        if raw:
            block[b:b + 12] = SYNC
            block[b + 15] = mode
        if mode == 2 and size != 2048:
            block[b + data_off - 8:b + data_off] = MODE2_FORM1_SUBHEADER
    view = memoryview(block)
    n_all = 0
    with open(iso, "rb") as src:
        while True:
            chunk = src.read(per * SECTOR)
            if not chunk:
                return n_all
            n = -(-len(chunk) // SECTOR)
            chunk += bytes(n * SECTOR - len(chunk))
            if size == SECTOR:
                dst.write(chunk)
            else:
                end = n * size
                if raw:
                    frames = range(lba + n_all + PREGAP, lba + n_all + PREGAP + n)
                    view[12:end:size] = bytes(BCD[f // 4500 % 100] for f in frames)
                    view[13:end:size] = bytes(BCD[f // 75 % 60] for f in frames)
                    view[14:end:size] = bytes(BCD[f % 75] for f in frames)
                cv = memoryview(chunk)
                for i in range(n):
                    b = i * size + data_off
                    view[b:b + SECTOR] = cv[i * SECTOR:(i + 1) * SECTOR]
                    if size == 2448:
                        view[i * size + 2352:(i + 1) * size] = interleaved_subchannel(lba + n_all + i)
                dst.write(view[:end])
            n_all += n


def write_audio(dst, frames, seed):
    """Append frames sectors of 16-bit stereo samples (a quiet sawtooth) to dst."""
    one = b"".join(struct.pack("<hh", (i * seed) % 4096 - 2048, (i * 3) % 4096 - 2048) for i in range(588))
    dst.write(one * frames)


def _sectors(iso):
    return -(-os.path.getsize(iso) // SECTOR)


# CloneCD: INI text; the .img holds raw sectors from the first track's INDEX 1 on.

def write_ccd(iso, base, mode=1):
    with open(base + ".img", "wb") as f:
        n = write_sectors(iso, f, mode, 2352)
    with open(base + ".sub", "wb") as f:  # P, Q, then R to W, 12 bytes each
        for lba in range(n):
            f.write(b"\xff" * 12 + q_channel(lba) + bytes(72))
    entries = [(0xA0, (1, 0x20 if mode == 2 else 0, 0)), (0xA1, (1, 0, 0)),
               (0xA2, _msf(n + PREGAP)), (1, _msf(PREGAP))]
    lines = ["[CloneCD]", "Version=3", "[Disc]", f"TocEntries={len(entries)}", "Sessions=1",
             "DataTracksScrambled=0", "CDTextLength=0", "[Session 1]", f"PreGapMode={mode}",
             "PreGapSubC=0"]
    for i, (point, (m, s, fr)) in enumerate(entries):
        lines += [f"[Entry {i}]", "Session=1", f"Point=0x{point:02x}", "ADR=0x01", "Control=0x04",
                  "TrackNo=0", "AMin=0", "ASec=0", "AFrame=0", "ALBA=-150", "Zero=0",
                  f"PMin={m}", f"PSec={s}", f"PFrame={fr}", f"PLBA={(m * 60 + s) * 75 + fr - PREGAP}"]
    lines += ["[TRACK 1]", f"MODE={mode}", "INDEX 1=0", ""]
    with open(base + ".ccd", "w", newline="\r\n") as f:
        f.write("\n".join(lines))
    return base + ".ccd"


# Alcohol: a binary descriptor (header, session block, track blocks, one extra
# block per track, a file-name block and the name) beside the sectors.

def write_mds(iso, base, size=2352, mode=1):
    with open(base + ".mdf", "wb") as f:
        n = write_sectors(iso, f, mode, size)
    session_at = 0x58
    tracks_at = session_at + 24
    extra_at = tracks_at + 4 * 80
    name_block_at = extra_at + 8
    name_at = name_block_at + 16
    head = bytearray(0x58)
    head[0:16] = b"MEDIA DESCRIPTOR"
    head[16:18] = b"\x01\x03"
    struct.pack_into("<HHI", head, 0x12, 0, 1, 2)
    struct.pack_into("<I", head, 0x50, session_at)
    session = struct.pack("<iiHBBHHII", -PREGAP, n, 1, 4, 3, 1, 1, 0, tracks_at)

    def block(mode_byte, sub, point, pmsf, sector_size=0, files=0, extra=0, name_block=0):
        b = bytearray(80)
        b[0], b[1], b[2], b[4] = mode_byte, sub, 0x14, point
        b[9:12] = bytes(pmsf)
        struct.pack_into("<IH", b, 0x0C, extra, sector_size)
        struct.pack_into("<IQII", b, 0x24, 0, 0, files, name_block)
        return bytes(b)

    tracks = (block(0, 0, 0xA0, (1, 0, 0)) + block(0, 0, 0xA1, (1, 0, 0)) +
              block(0, 0, 0xA2, _msf(n + PREGAP)) +
              block(0xAA if mode == 1 else 0xAC, 8 if size == 2448 else 0, 1, _msf(PREGAP), size, 1,
                    extra_at, name_block_at))
    extra = struct.pack("<II", PREGAP, n)
    name_block = struct.pack("<IB11x", name_at, 0)
    with open(base + ".mds", "wb") as f:
        f.write(bytes(head) + session + tracks + extra + name_block + b"*.mdf\0")
    return base + ".mds"


# Nero: pregap and track bytes, then the chunk list and the footer.

def _chunk(cid, body):
    return cid + struct.pack(">I", len(body)) + body


def write_nrg(iso, base, version=2):
    path = base + ".nrg"
    size = os.path.getsize(iso)
    n = _sectors(iso)
    index1 = PREGAP * SECTOR
    end = index1 + n * SECTOR
    with open(path, "wb") as f:
        f.write(bytes(index1))
        write_sectors(iso, f, 1, SECTOR)
        assert f.tell() == end and size == n * SECTOR
        cue = [(0x41, 0x00, 0x00, -PREGAP), (0x41, 0x01, 0x00, -PREGAP), (0x41, 0x01, 0x01, 0),
               (0x41, 0xAA, 0x01, n)]
        if version == 2:
            cues = b"".join(struct.pack(">BBBxi", m, BCD[t] if t < 100 else t, BCD[i], lba)
                            for m, t, i, lba in cue)
            track = bytes(12) + struct.pack(">HBxHQQQ", SECTOR, 0x00, 1, 0, index1, end)
            dao_id, cue_id, tail = b"DAOX", b"CUEX", b"NER5"
        else:
            cues = b"".join(struct.pack(">BBBx", m, BCD[t] if t < 100 else t, BCD[i]) +
                            bytes(1) + bytes(BCD[x] for x in _msf(lba + PREGAP))
                            for m, t, i, lba in cue)
            track = bytes(12) + struct.pack(">HBxHIII", SECTOR, 0x00, 1, 0, index1, end)
            dao_id, cue_id, tail = b"DAOI", b"CUES", b"NERO"
        dao_rest = bytes(14) + struct.pack(">HBB", 0, 1, 1) + track
        dao = struct.pack(">I", 4 + len(dao_rest)) + dao_rest
        chunks = (_chunk(cue_id, cues) + _chunk(dao_id, dao) + _chunk(b"SINF", struct.pack(">I", 1)) +
                  _chunk(b"MTYP", struct.pack(">I", 1)) + _chunk(b"END!", b""))
        f.write(chunks)
        f.write(tail + (struct.pack(">Q", end) if version == 2 else struct.pack(">I", end)))
    return path


# cdrdao: a raw Mode 1 data track and an audio track in one .bin.

def write_toc(iso, base):
    name = os.path.basename(base) + ".bin"
    with open(base + ".bin", "wb") as f:
        n = write_sectors(iso, f, 1, 2352)
        write_audio(f, AUDIO_FRAMES, 5)
    text = ("CD_ROM\n\n"
            "// the data track, then an audio track after a 2-second pregap\n"
            "TRACK MODE1_RAW\nNO COPY\n"
            f'DATAFILE "{name}" {_msf_text(n)} // length\n\n'
            "TRACK AUDIO\nNO COPY\nNO PRE_EMPHASIS\nTWO_CHANNEL_AUDIO\n"
            "PREGAP 00:02:00\n"
            f'FILE "{name}" {_msf_text(n)} {_msf_text(AUDIO_FRAMES)}\n')
    with open(base + ".toc", "w", newline="\n") as f:
        f.write(text)
    return base + ".toc"


# Bare raw sectors, no descriptor.

def write_bare(iso, base, size, mode):
    path = base + (".img" if size == 2448 else ".bin")
    with open(path, "wb") as f:
        write_sectors(iso, f, mode, size)
    return path


# Multi-track cue sheets: the data track, then two audio tracks with a
# 2-second pregap each (INDEX 00 in the file).

CUE_MODES = {"MODE1/2048": (1, 2048), "MODE1/2352": (1, 2352), "MODE2/2336": (2, 2336),
             "MODE2/2352": (2, 2352)}


def write_multicue(iso, base, cue_mode, split):
    mode, size = CUE_MODES[cue_mode]
    stem = os.path.basename(base)
    lines = []
    if split:
        names = [f"{stem} (Track {t}).bin" for t in (1, 2, 3)]
        with open(os.path.join(os.path.dirname(base), names[0]), "wb") as f:
            write_sectors(iso, f, mode, size)
        lines += [f'FILE "{names[0]}" BINARY', f"  TRACK 01 {cue_mode}", "    INDEX 01 00:00:00"]
        for t in (2, 3):
            with open(os.path.join(os.path.dirname(base), names[t - 1]), "wb") as f:
                write_audio(f, PREGAP + AUDIO_FRAMES, t)
            lines += [f'FILE "{names[t - 1]}" BINARY', f"  TRACK {t:02d} AUDIO",
                      "    INDEX 00 00:00:00", f"    INDEX 01 {_msf_text(PREGAP)}"]
    else:
        with open(base + ".bin", "wb") as f:
            n = write_sectors(iso, f, mode, size)
            for t in (2, 3):
                write_audio(f, PREGAP + AUDIO_FRAMES, t)
        lines += [f'FILE "{stem}.bin" BINARY', f"  TRACK 01 {cue_mode}", "    INDEX 01 00:00:00"]
        at = n  # frames, as the sheet counts them
        for t in (2, 3):
            lines += [f"  TRACK {t:02d} AUDIO", f"    INDEX 00 {_msf_text(at)}",
                      f"    INDEX 01 {_msf_text(at + PREGAP)}"]
            at += PREGAP + AUDIO_FRAMES
    with open(base + ".cue", "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    return base + ".cue"


# kind -> (writer, what it is)
RIP_KINDS = {
    "ccd": (lambda iso, base: write_ccd(iso, base, 1), "CloneCD, raw Mode 1 .img with .sub"),
    "ccd-m2": (lambda iso, base: write_ccd(iso, base, 2), "CloneCD, raw Mode 2 Form 1"),
    "mds": (lambda iso, base: write_mds(iso, base, 2352), "Alcohol .mds/.mdf, 2352-byte Mode 1 sectors"),
    "mds-2448": (lambda iso, base: write_mds(iso, base, 2448), "Alcohol, 2448-byte sectors (96 subchannel bytes)"),
    "nrg": (lambda iso, base: write_nrg(iso, base, 2), "Nero version 2 (NER5), 2048-byte track after a pregap"),
    "nrg-v1": (lambda iso, base: write_nrg(iso, base, 1), "Nero version 1 (NERO)"),
    "toc": (write_toc, "cdrdao .toc/.bin: raw Mode 1 data track, audio track"),
    "raw-2448": (lambda iso, base: write_bare(iso, base, 2448, 1), "bare 2448-byte raw Mode 1 sectors (.img)"),
    "raw-2448-m2": (lambda iso, base: write_bare(iso, base, 2448, 2), "bare 2448-byte raw Mode 2 Form 1 sectors"),
    "raw-2336": (lambda iso, base: write_bare(iso, base, 2336, 2), "bare 2336-byte Mode 2 sectors (.bin)"),
    "cue-multi": (lambda iso, base: write_multicue(iso, base, "MODE1/2352", False),
                  "cue sheet: MODE1/2352 data and two audio tracks in one .bin"),
    "cue-split": (lambda iso, base: write_multicue(iso, base, "MODE2/2352", True),
                  "cue sheet: MODE2/2352 data and two audio tracks, one .bin per track"),
    "cue-2048": (lambda iso, base: write_multicue(iso, base, "MODE1/2048", True),
                 "cue sheet: MODE1/2048 data track and audio tracks, one file per track"),
    "cue-2336": (lambda iso, base: write_multicue(iso, base, "MODE2/2336", True),
                 "cue sheet: MODE2/2336 data track and audio tracks, one file per track"),
}


def write_rip(kind, iso, base):
    os.makedirs(os.path.dirname(os.path.abspath(base)), exist_ok=True)
    return RIP_KINDS[kind][0](iso, base)


def write_rip_set(iso, folder):
    """Every kind of rip of iso in folder, as KIND.* files; {kind: path to open}."""
    os.makedirs(folder, exist_ok=True)
    return {k: write_rip(k, iso, os.path.join(folder, k)) for k in RIP_KINDS}


# ---------------------------------------------------------------------------
# Independent readers: each kind of rip is read by a program that no one here
# wrote. Where one converts to a plain image, its output must be the plain
# image the rip was made from.

READERS = ("ccd2iso", "mdf2iso", "nrg2iso", "cd-info", "bchunk", "cdrdao", "toc2cue")


def readers_of(kind):
    """The readers that check_rip runs on a rip of that kind."""
    if kind.startswith("ccd"):
        return ("ccd2iso",)
    if kind.startswith("mds") or kind.startswith("raw-2448"):
        return ("mdf2iso",)
    if kind.startswith("nrg"):
        return ("nrg2iso", "cd-info")
    if kind == "toc":
        return ("cdrdao", "toc2cue", "bchunk")
    if kind == "cue-multi":
        return ("cdrdao", "cd-info", "bchunk")
    if kind == "raw-2336" or kind.startswith("cue"):
        return ("cdrdao",)
    return ()


def missing_readers(kind):
    """The readers of that kind that this system lacks (not every release has
    them all)."""
    return [r for r in readers_of(kind) if not shutil.which(r)]


def _run(cmd, cwd):
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return r.returncode, r.stdout.decode("latin-1")


def _same(path, iso):
    with open(path, "rb") as a, open(iso, "rb") as b:
        return a.read() == b.read()


def _cd_info(args, cwd, want_tracks, want_iso=True):
    """cd-info lists the tracks (first a data track at LSN 0) and, if asked,
    finds the ISO 9660 file system in it."""
    code, out = _run(["cd-info", "--no-device-info", "--no-cddb", *args], cwd)
    tracks = re.findall(r"^\s+(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+)", out, re.M)
    ok = (code == 0 and [t for t in tracks if t[0] != "170"][:1] == [("1", "000000", tracks[0][2])] and
          tracks[0][2] in ("data", "XA") and len([t for t in tracks if t[0] != "170"]) == want_tracks)
    if want_iso:
        ok = ok and "CD-ROM with ISO 9660 filesystem" in out
    return ok, "cd-info " + " ".join(args) + ("" if ok else ":\n" + out[-1500:])


def check_rip(kind, path, iso, work):
    """Reads the rip at path with the independent readers for its kind; returns
    (True, what was checked) or (False, what failed). work: a scratch folder."""
    path, iso, work = (os.path.abspath(p) for p in (path, iso, work))
    os.makedirs(work, exist_ok=True)
    folder, name = os.path.split(path)
    stem = os.path.splitext(name)[0]
    out = os.path.join(work, kind + ".iso")
    checks = []

    def step(ok, what):
        checks.append((ok, what))
        return ok

    if kind.startswith("ccd"):
        code, _ = _run(["ccd2iso", stem + ".img", out], folder)
        step(code == 0 and _same(out, iso), "ccd2iso output is the plain image")
    elif kind.startswith("mds") or kind == "raw-2448":
        mdf = os.path.join(folder, stem + ".mdf")
        if kind == "raw-2448":  # mdf2iso reads any file of raw sectors by its name
            mdf = os.path.join(work, kind + ".mdf")
            shutil.copyfile(path, mdf)
        code, _ = _run(["mdf2iso", mdf, out], work)
        step(code == 0 and _same(out, iso), "mdf2iso output is the plain image")
    elif kind == "raw-2448-m2":
        # mdf2iso reads 2448-byte sectors only as Mode 1: its output is every
        # sector's 8-byte subheader and the first 2040 bytes of user data.
        mdf = os.path.join(work, kind + ".mdf")
        shutil.copyfile(path, mdf)
        code, _ = _run(["mdf2iso", mdf, out], work)
        with open(out, "rb") as a, open(iso, "rb") as b:
            got, want = a.read(), b.read()
        shifted = all(got[i:i + 8] == MODE2_FORM1_SUBHEADER and got[i + 8:i + SECTOR] == want[i:i + SECTOR - 8]
                      for i in range(0, len(want), SECTOR))
        step(code == 0 and len(got) == len(want) and shifted,
             "mdf2iso finds every 2448-byte sector (as Mode 1: subheader and data)")
    elif kind.startswith("nrg"):
        code, _ = _run(["nrg2iso", path, out], work)
        # nrg2iso skips the 150-sector pregap and copies the rest of the file,
        # the chunk list and footer included.
        size = os.path.getsize(iso)
        with open(out, "rb") as a, open(iso, "rb") as b, open(path, "rb") as n:
            got = a.read()
            ok = got[:size] == b.read() and got[size:] == n.read()[PREGAP * SECTOR + size:]
        step(code == 0 and ok, "nrg2iso output is the plain image, then the chunk list")
        ok, what = _cd_info(["--nrg-file", name], folder, 1, want_iso=False)
        step(ok, what)
    elif kind == "toc":
        code, text = _run(["cdrdao", "toc-info", name], folder)
        step(code == 0, "cdrdao toc-info" + ("" if code == 0 else ":\n" + text))
        cue = os.path.join(work, "toc.cue")
        code, text = _run(["toc2cue", name, cue], folder)
        if step(code == 0, "toc2cue" + ("" if code == 0 else ":\n" + text)):
            code, _ = _run(["bchunk", os.path.join(folder, stem + ".bin"), cue, os.path.join(work, "toc")], work)
            step(code == 0 and _same(os.path.join(work, "toc01.iso"), iso),
                 "bchunk of toc2cue's sheet: track 1 is the plain image")
    elif kind == "raw-2336":
        # No reader here extracts 2336-byte sectors (cd-info and bchunk take
        # them whole): cdrdao counts them through a one-track sheet.
        cue = os.path.join(work, "raw-2336.cue")
        with open(cue, "w") as f:
            f.write(f'FILE "{path}" BINARY\n  TRACK 01 MODE2/2336\n    INDEX 01 00:00:00\n')
        code, text = _run(["cdrdao", "toc-info", cue], work)
        blocks = os.path.getsize(iso) // SECTOR
        step(code == 0 and f"{blocks} blocks" in text, f"cdrdao toc-info: {blocks} sectors of 2336 bytes")
    elif kind.startswith("cue"):
        code, text = _run(["cdrdao", "toc-info", name], folder)
        step(code == 0, "cdrdao toc-info" + ("" if code == 0 else ":\n" + text))
        if kind == "cue-multi":
            step(*_cd_info(["--cue-file", name], folder, 3))
            code, _ = _run(["bchunk", os.path.join(folder, stem + ".bin"), path, os.path.join(work, kind)], work)
            step(code == 0 and _same(os.path.join(work, kind + "01.iso"), iso),
                 "bchunk: track 1 is the plain image")
    ok = bool(checks) and all(c[0] for c in checks)
    return ok, "; ".join(w for _, w in checks)


def check_rip_set(paths, iso, work):
    """check_rip for every rip of write_rip_set whose readers this system has;
    (failures, skipped), each a list of lines."""
    failures, skipped = [], []
    for kind, path in paths.items():
        missing = missing_readers(kind)
        if missing:
            skipped.append(f"{kind}: not read, {', '.join(missing)} not installed")
            continue
        ok, what = check_rip(kind, path, iso, os.path.join(work, kind))
        if not ok:
            failures.append(f"{kind}: {what}")
    return failures, skipped
