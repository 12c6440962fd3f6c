"""A bounds-checked ISO 9660 reader for checks and listings."""

import os
import re
import struct

from .common import DIRECTORY, RAW_SECTOR, SECTOR


# ISO 9660 reader: probes and lists images, bounds-checked, for checks and `ls`

def clean_name(ident):
    """The setup's name cleaning: up to the first ';', at most 63 bytes, a zero
    byte shown as '?', one trailing dot dropped. A copy, which the self-test
    compares with the setup's own decoder (iso_names)."""
    name = ident.split(b";", 1)[0][:63].replace(b"\0", b"?")
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
