"""A small ISO 9660 writer for images no mastering tool makes."""

import struct

from .common import DIRECTORY, SECTOR


# ISO 9660 writer for crafted images

DATE = bytes((100, 1, 1, 0, 0, 0, 0))  # 2000-01-01 00:00:00 GMT
VD_DATE = b"2000010100000000\x00"


def _both16(v):
    return struct.pack("<H", v) + struct.pack(">H", v)


def _both32(v):
    return struct.pack("<I", v) + struct.pack(">I", v)


def _ident(v):
    return v.encode("latin-1") if isinstance(v, str) else bytes(v)


class File:
    """File data placed in its own extent (sector-aligned)."""

    def __init__(self, data=b""):
        self.data = bytes(data)
        self.lba = None

    def recorded_size(self):
        return len(self.data)

    def sectors(self):
        return -(-len(self.data) // SECTOR)


class Record:
    """One directory record. The extent comes from target (a Dir or a File) unless
    lba/size are given; any field may be overridden. lba, size and length may be
    callables taking the IsoImage, evaluated once the layout is known.

    ident     identifier bytes as recorded (str is Latin-1; no ';1' is added)
    flags     file flags (default DIRECTORY for a Dir target, else 0)
    length    record length byte (default: the real length of the encoding)
    id_len    identifier length byte (default: len(ident))
    ext_attr  extended attribute record length
    sysuse    bytes appended after the identifier (system use area)
    cross     may cross a sector boundary (by default a record that does not fit
              in the rest of a sector starts the next one, as the standard asks)
    raw       bytes written as they are instead of an encoded record
    """

    def __init__(self, ident=b"", target=None, *, flags=None, lba=None, size=None,
                 length=None, id_len=None, ext_attr=0, volseq=1, sysuse=b"", date=DATE,
                 cross=False, raw=None):
        self.ident = _ident(ident)
        self.target = target
        self.flags, self.lba, self.size = flags, lba, size
        self.length, self.id_len = length, id_len
        self.ext_attr, self.volseq, self.sysuse, self.date = ext_attr, volseq, bytes(sysuse), date
        self.cross = cross
        self.raw = None if raw is None else bytes(raw)

    def encode(self, img):
        if self.raw is not None:
            return self.raw
        t = self.target
        lba = img.value(self.lba) if self.lba is not None else (t.lba or 0 if t is not None else 0)
        if self.size is not None:
            size = img.value(self.size)
        else:
            size = t.recorded_size() if t is not None else 0
        flags = self.flags if self.flags is not None else (DIRECTORY if isinstance(t, Dir) else 0)
        rec = bytearray(33)
        rec[1] = self.ext_attr
        rec[2:10] = _both32(lba & 0xFFFFFFFF)
        rec[10:18] = _both32(size & 0xFFFFFFFF)
        rec[18:25] = self.date
        rec[25] = flags
        rec[28:32] = _both16(self.volseq)
        rec[32] = len(self.ident) if self.id_len is None else self.id_len
        rec += self.ident
        if len(self.ident) % 2 == 0:
            rec += b"\0"  # keeps the record length even
        rec += self.sysuse
        length = len(rec) if self.length is None else img.value(self.length)
        if not 0 <= length <= 255:
            raise ValueError(f"record {self.ident!r}: length {length} does not fit a byte")
        rec[0] = length
        return bytes(rec)


class _PadTo:
    def __init__(self, offset):
        self.offset = offset


class _FillTo:
    def __init__(self, offset, prefix):
        self.offset, self.prefix = offset, prefix
        self.empty = File()

    def records(self, used):
        gap = self.offset - used
        if gap < 0 or gap % 2 or (used % SECTOR and self.offset > (used // SECTOR + 1) * SECTOR):
            raise ValueError(f"fill_to({self.offset}) cannot be reached from {used}")
        if gap == 0:
            return []
        base = 33 + len(self.prefix) + 2 + 6  # "PAD01.DAT;1"
        base += base % 2
        k = -(-gap // 254)
        if gap < base * k:
            raise ValueError(f"fill_to({self.offset}): a gap of {gap} bytes is too small for a record")
        lengths = [gap // k // 2 * 2] * k
        for i in range((gap - sum(lengths)) // 2):  # fewer than k steps of 2
            lengths[i] += 2
        return [Record(f"{self.prefix}{i + 1:02d}.DAT;1", self.empty, sysuse=bytes(n - base))
                for i, n in enumerate(lengths)]


class Dir:
    """A directory extent: its own and parent records (unless dots=False), then
    the records and placement marks added, in that order. size overrides the data
    length recorded for it (by default the length of its data, whole sectors)."""

    def __init__(self, parent=None, *, size=None, dots=True):
        self.parent = parent
        self.items = []
        self.size = size
        self.dots = dots
        self.lba = None
        self.rec = None  # the record that made it, when made by Dir.dir
        self._len = SECTOR

    def file(self, ident, data=b"", **fields):
        """A file record with its own data extent. Returns the Record."""
        return self.add(Record(ident, File(data), **fields))

    def dir(self, ident, *, size=None, dots=True, **fields):
        """A subdirectory. Returns the new Dir (its record is .rec)."""
        d = Dir(self, size=size, dots=dots)
        d.rec = self.add(Record(ident, d, **fields))
        return d

    def link(self, ident, target, **fields):
        """A record pointing at an existing Dir's or File's extent."""
        return self.add(Record(ident, target, **fields))

    def raw(self, data, cross=False):
        """Bytes written as they are, as if they were a record."""
        return self.add(Record(raw=data, cross=cross))

    def pad_to(self, offset):
        """Zero-fill the directory data up to this byte offset."""
        self.items.append(_PadTo(offset))

    def fill_to(self, offset, prefix="PAD"):
        """Add zero-length file records PAD01.DAT;1, PAD02.DAT;1, ... (lengthened
        through their system use area) so that the next record starts exactly at
        offset, with no zero byte in between that would end the sector early.
        offset must lie in the sector where the data ends now."""
        self.items.append(_FillTo(offset, prefix))

    def add(self, rec):
        self.items.append(rec)
        return rec

    def recorded_size(self):
        return self.size if self.size is not None else self._len

    def sectors(self):
        return self._len // SECTOR

    def data(self, img):
        items = list(self.items)
        if self.dots:
            items[:0] = [Record(b"\x00", self), Record(b"\x01", self.parent or self)]
        out = bytearray()
        while items:
            it = items.pop(0)
            if isinstance(it, _FillTo):
                items[:0] = it.records(len(out))
                continue
            if isinstance(it, _PadTo):
                if it.offset < len(out):
                    raise ValueError(f"pad_to({it.offset}) but {len(out)} bytes are already used")
                out += bytes(it.offset - len(out))
                continue
            b = it.encode(img)
            room = SECTOR - len(out) % SECTOR
            if len(b) > room and not it.cross:
                out += bytes(room)
            out += b
        if not out or len(out) % SECTOR:
            out += bytes(SECTOR - len(out) % SECTOR)
        return bytes(out)


class IsoImage:
    """A whole image: system area, volume descriptors from sector 16, path
    tables, then every directory and file reachable from the root (and any
    extra extents), each in its own sectors.

    descriptors: sequence of "pvd", "svd" (type 2), "boot" (type 0), "end"
    (terminator, type 255) or raw 2048-byte sectors.
    cut: length in bytes (or callable taking the image) to cut the written file to.
    volume_space: sector count recorded in the descriptors (default: all sectors).
    """

    def __init__(self, volume_id="CRAFTED", descriptors=("pvd", "end")):
        self.root = Dir()
        self.root.parent = self.root
        self.volume_id = volume_id
        self.descriptors = list(descriptors)
        self.extra = []
        self.cut = None
        self.volume_space = None
        self.total_sectors = None
        self._final = False

    def add_extent(self, obj):
        """Place a File or Dir that no record reaches (point records at it by lba)."""
        self.extra.append(obj)
        return obj

    def value(self, v):
        if callable(v):
            return v(self) if self._final else 0
        return v

    def _collect(self):
        dirs, files, seen = [], [], set()
        queue = [self.root] + list(self.extra)
        while queue:
            obj = queue.pop(0)
            if id(obj) in seen:
                continue
            seen.add(id(obj))
            if isinstance(obj, Dir):
                dirs.append(obj)
                for it in obj.items:
                    if isinstance(it, Record) and it.target is not None:
                        queue.append(it.target)
                    elif isinstance(it, _FillTo):
                        queue.append(it.empty)
            else:
                files.append(obj)
        return dirs, files

    def _path_tables(self, dirs):
        tree = [self.root]
        for d in dirs:
            for it in d.items:
                if isinstance(it, Record) and isinstance(it.target, Dir) and it.target.rec is it \
                        and it.target.parent is d and it.target not in tree:
                    tree.append(it.target)
        # Parents come before their children in tree, as path tables need.
        tree.sort(key=lambda d: self._level(d))
        number = {id(d): i + 1 for i, d in enumerate(tree)}
        lt, mt = bytearray(), bytearray()
        for d in tree:
            ident = b"\x00" if d is self.root else d.rec.ident
            parent = number.get(id(d.parent), 1)
            pad = b"\0" if len(ident) % 2 else b""
            lt += bytes((len(ident), 0)) + struct.pack("<IH", d.lba or 0, parent) + ident + pad
            mt += bytes((len(ident), 0)) + struct.pack(">IH", d.lba or 0, parent) + ident + pad
        return bytes(lt), bytes(mt)

    def _level(self, d):
        n, seen = 0, set()
        while d is not self.root and d.parent is not None and id(d) not in seen:
            seen.add(id(d))
            d, n = d.parent, n + 1
        return n

    def _descriptor(self, kind, path_table):
        if isinstance(kind, (bytes, bytearray)):
            return bytes(kind).ljust(SECTOR, b"\0")[:SECTOR]
        vd_type = {"pvd": 1, "svd": 2, "boot": 0, "end": 255}[kind]
        d = bytearray(SECTOR)
        d[0] = vd_type
        d[1:6] = b"CD001"
        d[6] = 1
        if kind in ("pvd", "svd"):
            d[8:72] = b" " * 64
            d[40:40 + len(self.volume_id)] = self.volume_id.encode("ascii")[:32]
            d[80:88] = _both32(self.volume_space or self.total_sectors)
            if kind == "svd":
                d[88:91] = b"%/@"  # UCS-2 level 1 escape sequence
            d[120:124] = _both16(1)
            d[124:128] = _both16(1)
            d[128:132] = _both16(SECTOR)
            d[132:140] = _both32(len(path_table))
            d[140:144] = struct.pack("<I", self._lpt)
            d[148:152] = struct.pack(">I", self._mpt)
            d[156:190] = Record(b"\x00", self.root).encode(self)
            d[190:813] = b" " * 623
            for off in (813, 830, 864):
                d[off:off + 17] = VD_DATE
            d[847:864] = b"0000000000000000\x00"
            d[881] = 1
        return bytes(d)

    def build(self):
        """The image as bytes (before any cut)."""
        self._final = False
        dirs, files = self._collect()
        for d in dirs:
            d._len = len(d.data(self))
        for d in dirs:  # path table length does not depend on the lbas
            d.lba = 0
        lt, mt = self._path_tables(dirs)
        pt_sectors = max(1, -(-len(lt) // SECTOR))
        lba = 16 + len(self.descriptors)
        self._lpt, lba = lba, lba + pt_sectors
        self._mpt, lba = lba, lba + pt_sectors
        for d in dirs:
            d.lba, lba = lba, lba + d.sectors()
        for f in files:
            f.lba, lba = lba, lba + f.sectors()
        self.total_sectors = lba
        self._final = True
        lt, mt = self._path_tables(dirs)
        img = bytearray(lba * SECTOR)
        for i, kind in enumerate(self.descriptors):
            img[(16 + i) * SECTOR:(17 + i) * SECTOR] = self._descriptor(kind, lt)
        img[self._lpt * SECTOR:self._lpt * SECTOR + len(lt)] = lt
        img[self._mpt * SECTOR:self._mpt * SECTOR + len(mt)] = mt
        for d in dirs:
            data = d.data(self)
            assert len(data) == d._len, "directory layout changed between passes"
            img[d.lba * SECTOR:d.lba * SECTOR + len(data)] = data
        for f in files:
            img[f.lba * SECTOR:f.lba * SECTOR + len(f.data)] = f.data
        return img

    def write(self, path):
        """Write the image (cut to self.cut bytes if set); returns its length."""
        img = self.build()
        if self.cut is not None:
            img = img[:self.value(self.cut)]
        with open(path, "wb") as f:
            f.write(img)
        return len(img)


# ---------------------------------------------------------------------------
