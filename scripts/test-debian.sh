#!/bin/bash
# test-debian.sh RELEASE: the README's two commands on a freshly made Debian
# system (bookworm, trixie, ...), as a new user would run them. It makes the
# system with debootstrap (minbase and git) in build/debian-RELEASE, clones
# the committed HEAD of this checkout into it, and runs there, as root, the
# run command (scripts/demo.sh, which installs what is missing) and then the
# test command (scripts/test.sh). It prints how long each part took, the
# demo's report and the test command's summary, and exits with the test
# command's result; the whole output goes to build/debian-RELEASE.log. Needs
# root, debootstrap and the network.
#
# The test command runs in a network namespace of its own: its virtual
# display then cannot meet a display that the host runs under the same
# number. The downloaded packages are kept in build/debian-cache/RELEASE for
# the next run; the system itself is made anew each time.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 RELEASE   (e.g. bookworm, trixie)" >&2; exit 2; }
release=$1
cd "$(dirname "$0")/.."
src=$(pwd -P)
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
root=$src/build/debian-$release
log=$root.log
cache=$src/build/debian-cache/$release
head=$(git rev-parse HEAD)
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (debootstrap, chroot, mount)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "$0: needs debootstrap (scripts/bootstrap.sh installs it)" >&2; exit 2; }

# The mount points at or below the system's root, deepest first.
mounts_below() {
    awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}
# The processes that run inside the system: those this script started there.
processes_inside() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
    done
    return 0
}
# Ends what still runs inside and unmounts everything below the root, on
# every way out: a pass, a failure, an interruption.
cleanup() {
    local pids m i
    pids=$(processes_inside)
    if [ -n "$pids" ]; then
        kill $pids 2>/dev/null || true
        for i in $(seq 50); do
            pids=$(processes_inside)
            [ -n "$pids" ] || break
            sleep 0.1
        done
        [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
    fi
    for m in $(mounts_below); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

clock() { date +%s; }
say() { echo "test-debian: $release: $*" | tee -a "$log"; }
# What the log holds from the line that starts the last part on.
last_part() { sed -n "/^test-debian: $release: $1/,\$p" "$log"; }
took() { say "$1 in $(($(clock) - $2)) s"; }

cleanup
rm -rf --one-file-system "$root"
: > "$log"
mkdir -p "$cache/debootstrap" "$cache/apt"
start=$(clock)
debootstrap --variant=minbase --include=git --cache-dir="$cache/debootstrap" \
    "$release" "$root" "$mirror" >> "$log" 2>&1 || { tail -n 20 "$log"; exit 1; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service starts inside while packages are installed.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
mount --bind /sys "$root/sys"
mount --bind "$cache/apt" "$root/var/cache/apt/archives"
git clone -q --no-hardlinks "$src" "$root/tolvenar"
git -C "$root/tolvenar" checkout -q --detach "$head"
took "fresh system with the project at $(git rev-parse --short "$head")" "$start"

# inside [unshare options] COMMAND: runs a shell command in the project's
# folder inside the system, with a plain login environment; its output goes
# to the log. It runs in the background so that a signal to this script
# ends the wait at once (and the cleanup ends the command).
inside() {
    local opts=()
    while [ "${1#--}" != "$1" ]; do opts+=("$1"); shift; done
    unshare "${opts[@]}" chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        sh -c "cd /tolvenar && $1" >> "$log" 2>&1 &
    wait $!
}
say "Debian $(cat "$root/etc/debian_version"); the run command (scripts/demo.sh):"
start=$(clock)
status=0
inside scripts/demo.sh || status=$?
last_part "Debian" | grep -E '^(bootstrap|==|   )' || true
took "the run command, installing the tools, exit code $status" "$start"
[ "$status" -eq 0 ] || exit "$status"
inside 'x86_64-w64-mingw32-g++-posix --version | head -n 1; x86_64-w64-mingw32-ld --version | head -n 1; wine --version'
say "the test command (scripts/test.sh), without network:"
start=$(clock)
inside --net scripts/test.sh || status=$?
last_part "the test command" | grep -E 'tests passed|tests failed|FAILED|SKIPPED|^[[:space:]]+[0-9]+ - |^sha256 |Total Test time' || true
took "the test command, exit code $status" "$start"
exit $status
