#!/bin/sh
# mount DIR: a 1.5 MiB file system at DIR, so that a test can watch a copy run
# out of space part-way; umount DIR: remove it. Where mounting is not allowed
# the folder stays empty and the test that needs it skips.
set -u
case $1 in
mount)
    mkdir -p "$2"
    mountpoint -q "$2" || mount -t tmpfs -o size=1536k tmpfs "$2" 2>/dev/null || true
    ;;
umount)
    mountpoint -q "$2" && umount "$2"
    ;;
esac
exit 0
