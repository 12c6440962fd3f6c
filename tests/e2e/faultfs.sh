#!/bin/sh
# mount DIR: the fault-injecting file system (faultfs.py) over DIR/src at
# DIR/mnt, controlled by DIR/control; umount DIR: remove it. Where FUSE is not
# available the mount point stays empty, DIR/mount.log says why, and the
# tests that need it skip.
set -u
dir=$2
case $1 in
mount)
    mkdir -p "$dir/src" "$dir/mnt"
    # A mount left by a run that was killed.
    mountpoint -q "$dir/mnt" && fusermount -u "$dir/mnt"
    : >"$dir/control"
    rm -f "$dir/control.hits"
    # Detached from the test runner's pipes; it ends when it is unmounted.
    setsid /usr/bin/python3 "$(dirname "$0")/faultfs.py" "$dir/src" "$dir/mnt" "$dir/control" \
        </dev/null >"$dir/mount.log" 2>&1 &
    i=0
    while [ $i -lt 100 ] && ! mountpoint -q "$dir/mnt"; do
        kill -0 $! 2>/dev/null || break
        sleep 0.1
        i=$((i + 1))
    done
    mountpoint -q "$dir/mnt" || echo "faultfs not mounted: $(cat "$dir/mount.log")"
    ;;
umount)
    mountpoint -q "$dir/mnt" && fusermount -u "$dir/mnt"
    ;;
esac
exit 0
