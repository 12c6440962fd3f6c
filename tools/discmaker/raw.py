"""Raw 2352-byte sectors and cue sheets."""

import os
import sys

from .common import BLOCK, RAW_SECTOR, SECTOR


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
