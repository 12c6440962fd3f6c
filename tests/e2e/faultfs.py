#!/usr/bin/python3
"""A read-only pass-through file system (FUSE) that fails chosen reads with EIO.

    faultfs.py SOURCE MOUNTPOINT CONTROL

mounts SOURCE at MOUNTPOINT in the foreground. CONTROL is a text file read
again whenever it changes, one fault a line:

    PATH START END TIMES

PATH is a file's path below SOURCE (forward slashes); a read request that
overlaps its bytes START to END (END excluded) fails with EIO, TIMES times
(a number) or every time ("always"). A PATH that is a folder cannot be
opened for listing instead (EACCES, as a folder the user may not read; take
START 0 and END 1). Rewriting CONTROL starts the counts
afresh; an empty or missing CONTROL means no faults. Each injected failure is
appended to CONTROL.hits as "PATH OFFSET SIZE".

Reads bypass the page cache (direct_io), so every read a program makes
reaches this process and nothing that failed is served from a cache later.
"""
import errno
import os
import sys

import fusepy


class FaultFS(fusepy.Operations):
    use_ns = True

    def __init__(self, source, control):
        self.source = os.path.realpath(source)
        self.control = control
        self.stamp = None
        self.faults = []  # [path, start, end, remaining or None for always]

    def _real(self, path):
        return os.path.join(self.source, path.lstrip("/"))

    def _reload(self):
        try:
            st = os.stat(self.control)
            stamp = (st.st_mtime_ns, st.st_size, st.st_ino)
        except FileNotFoundError:
            stamp = None
        if stamp == self.stamp:
            return
        self.stamp = stamp
        self.faults = []
        if stamp is None:
            return
        with open(self.control) as f:
            for line in f:
                parts = line.split()
                if len(parts) != 4:
                    continue
                times = None if parts[3] == "always" else int(parts[3])
                self.faults.append(["/" + parts[0].lstrip("/"), int(parts[1]), int(parts[2]), times])

    def _should_fail(self, path, offset, size):
        # One request at a time (nothreads): the counts need no lock.
        self._reload()
        for fault in self.faults:
            name, start, end, remaining = fault
            if name != path or offset >= end or offset + size <= start:
                continue
            if remaining is not None:
                if remaining <= 0:
                    continue
                fault[3] = remaining - 1
            with open(self.control + ".hits", "a") as hits:
                hits.write(f"{path} {offset} {size}\n")
            return True
        return False

    def getattr(self, path, fh=None):
        st = os.lstat(self._real(path))
        keys = ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_ino",
                "st_atime_ns", "st_mtime_ns", "st_ctime_ns")
        attrs = {k: getattr(st, k) for k in keys}
        for k in ("st_atime", "st_mtime", "st_ctime"):
            attrs[k] = attrs.pop(k + "_ns")
        return attrs

    def opendir(self, path):
        if self._should_fail(path, 0, 1):
            raise fusepy.FuseOSError(errno.EACCES)
        return 0

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._real(path))

    def readlink(self, path):
        return os.readlink(self._real(path))

    def statfs(self, path):
        st = os.statvfs(self._real(path))
        return {k: getattr(st, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize",
                                             "f_favail", "f_ffree", "f_files", "f_flag",
                                             "f_frsize", "f_namemax")}

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        return os.open(self._real(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        if self._should_fail(path, offset, size):
            raise fusepy.FuseOSError(errno.EIO)
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, mountpoint, control = sys.argv[1:]
    fusepy.FUSE(FaultFS(source, os.path.abspath(control)), mountpoint, foreground=True,
                ro=True, direct_io=True, nothreads=True, fsname="faultfs")


if __name__ == "__main__":
    main()
