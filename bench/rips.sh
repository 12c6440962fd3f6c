#!/bin/bash
# Silent installations from rips of other programs next to the same two discs
# as plain ISO images, in one run: one line per kind of rip.
#   bench/rips.sh [--keep]
# Builds setup.exe in build/win-bench, makes the discs in build/bench-rips
# (deleted at the end unless --keep; a kept set is reused), runs every
# installation once as a warm-up (checking the bytes installed), then
# $BENCH_RUNS rounds (default 5) of all of them in turn, and prints medians.
# Environment: BENCH_BUILD, BENCH_RIPS_DATA, BENCH_RUNS, BENCH_RIP_DISC (bytes
# per disc, default 95M: 100 MB).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BENCH_BUILD:-$src/build/win-bench}
data=${BENCH_RIPS_DATA:-$src/build/bench-rips}
runs=${BENCH_RUNS:-5}
disc_size=${BENCH_RIP_DISC:-95M}
keep=0
[ "${1:-}" = --keep ] && keep=1
say() { printf '== %s\n' "$*" >&2; }

scripts/bootstrap.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target setup >/dev/null
prefix=$build/wineprefix
scripts/wine-prefix.sh start "$prefix"
cleanup() {
    rm -rf "$data/out"
    [ $keep = 1 ] || rm -rf "$data"
    scripts/wine-prefix.sh stop "$prefix"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
mkdisc() { python3 tools/mkdisc.py "$@" >/dev/null; }

# kind, what it is, the file opened for disc N (N stands for 1 or 2)
rows=(
    "iso|plain ISO (2048)|discN.iso"
    "ccd|CloneCD .ccd/.img (2352)|dN/ccd.ccd"
    "mds|Alcohol .mds/.mdf (2352)|dN/mds.mds"
    "mds-2448|Alcohol .mds/.mdf (2448)|dN/mds-2448.mds"
    "nrg|Nero .nrg v2 (2048, pregap)|dN/nrg.nrg"
    "toc|cdrdao .toc/.bin (2352)|dN/toc.toc"
    "raw-2448|bare raw .img (2448)|dN/raw-2448.img"
    "raw-2336|bare raw .bin (2336)|dN/raw-2336.bin"
    "cue-multi|cue, data + audio in one .bin (2352)|dN/cue-multi.cue"
    "cue-2048|cue, a file per track (MODE1/2048)|dN/cue-2048.cue"
)
if [ "$(cat "$data/stamp" 2>/dev/null)" != "$disc_size" ]; then
    say "making two discs of $disc_size and their rips in $data"
    rm -rf "$data"
    mkdir -p "$data"
    mkdisc sample "$data/discs" --size "$disc_size" --folders-only
    for d in 1 2; do
        mkdisc iso "$data/discs/disc$d" "$data/disc$d.iso" --volid TOLVENAR_$d
        for row in "${rows[@]}"; do
            kind=${row%%|*}
            [ "$kind" = iso ] || mkdisc rip "$kind" "$data/disc$d.iso" "$data/d$d/$kind"
        done
    done
    merged=$(python3 - "$data/discs" <<'EOF'
import os, sys
files = {}
for d in ("disc1", "disc2"):  # disc 2 over disc 1, as the cd tree holds them
    root = os.path.join(sys.argv[1], d)
    for dirpath, _, names in os.walk(root):
        for n in names:
            p = os.path.join(dirpath, n)
            files[os.path.relpath(p, root)] = os.path.getsize(p)
print(sum(files.values()))
EOF
)
    echo "$merged" >"$data/merged"
    rm -rf "$data/discs"
    echo "$disc_size" >"$data/stamp"
fi
merged=$(cat "$data/merged")
out=$data/out

install() {  # install ROW: one silent installation of both discs
    local file=${1##*|}
    rm -rf "$out"
    sync
    "$build/wine-run" "$build/setup.exe" /silent /cd "$(winpath "$data/${file//N/1}")" \
        /cd2 "$(winpath "$data/${file//N/2}")" /dir "$(winpath "$out")" </dev/null >/dev/null 2>&1
}
res=$data/results
rm -rf "$res"
mkdir -p "$res"
for i in "${!rows[@]}"; do
    say "warm-up: ${rows[$i]%%|*}"
    install "${rows[$i]}" || { echo "bench: ${rows[$i]%%|*} failed" >&2; exit 1; }
    got=$(find "$out/game/cd" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
    [ "$got" = "$merged" ] || { echo "bench: ${rows[$i]%%|*} installed $got bytes, expected $merged" >&2; exit 1; }
done
for r in $(seq "$runs"); do
    say "round $r of $runs"
    for i in "${!rows[@]}"; do
        t0=$(date +%s%N)
        install "${rows[$i]}"
        t1=$(date +%s%N)
        echo $((t1 - t0)) >>"$res/$i.ns"
    done
done

printf 'machine: %s cores, load average %s; two discs, %s MB of files; %s runs\n' "$(nproc)" \
    "$(cut -d' ' -f1-3 /proc/loadavg)" "$((merged / 1000000))" "$runs"
python3 - "$res" "${rows[@]}" <<'EOF'
import statistics, sys
res, rows = sys.argv[1], sys.argv[2:]
med = []
for i, row in enumerate(rows):
    ns = [int(x) for x in open(f"{res}/{i}.ns")]
    med.append((statistics.median(ns) / 1e9, min(ns) / 1e9, max(ns) / 1e9))
print("| Rip | setup.exe /silent, median s | min - max | vs plain ISO |")
print("|---|---|---|---|")
for row, (m, lo, hi) in zip(rows, med):
    print(f"| {row.split('|')[1]} | {m:.2f} | {lo:.2f} - {hi:.2f} | {m / med[0][0]:.2f} |")
EOF
