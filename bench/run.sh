#!/bin/bash
# Benchmarks of the disc copy paths under Wine against the physical limit and
# the tools a user would pick instead, all on the same data in one run.
#   bench/run.sh [--keep]
# Builds what it needs in build/win-bench, makes the discs in build/bench-data
# (deleted at the end unless --keep; a kept set is reused by the next run),
# times every command $BENCH_RUNS times (default 5, in interleaved rounds) after
# one warm-up run and prints medians and ratios (bench/report.py). All timings are with a warm page
# cache: every input was read just before, and outputs land in the page cache.
# Environment: BENCH_BUILD, BENCH_DATA (folders), BENCH_RUNS, BENCH_DISC (bytes
# per disc, default 286M: 300 MB), BENCH_SMALL_DISC (default 29M: 30 MB, for
# the memory check).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BENCH_BUILD:-$src/build/win-bench}
data=${BENCH_DATA:-$src/build/bench-data}
runs=${BENCH_RUNS:-5}
disc_size=${BENCH_DISC:-286M}
small_size=${BENCH_SMALL_DISC:-29M}
keep=0
[ "${1:-}" = --keep ] && keep=1

say() { printf '== %s\n' "$*" >&2; }

# --- tools: the toolchain, and the native programs compared against
scripts/bootstrap.sh
missing=""
for pair in 7z:p7zip-full bsdtar:libarchive-tools xorriso:xorriso; do
    command -v "${pair%%:*}" >/dev/null || missing="$missing ${pair#*:}"
done
if [ -n "$missing" ]; then
    say "installing$missing"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing >/dev/null ||
        say "could not install all of$missing"
fi
for t in 7z bsdtar bchunk xorriso; do
    command -v $t >/dev/null || { echo "bench: $t is missing" >&2; exit 1; }
done

# --- build
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target bench_programs >/dev/null
prefix=$build/wineprefix
wr=$build/wine-run
scripts/wine-prefix.sh start "$prefix"

cleanup() {
    chmod -R u+w "$data/out" 2>/dev/null || true
    rm -rf "$data/out"
    [ $keep = 1 ] || rm -rf "$data"
    scripts/wine-prefix.sh stop "$prefix"
}
trap cleanup EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
mkdisc() { python3 tools/mkdisc.py "$@" >/dev/null; }

# --- data: two game discs of mixed file sizes (about 300 MB each) as plain
# images and as raw Mode 1 and Mode 2 Form 1 images; disc 1 also as a folder.
# Two small discs (about 30 MB each) for the memory check. About 3 GB in all.
stamp="$disc_size $small_size"
if [ "$(cat "$data/stamp" 2>/dev/null)" != "$stamp" ]; then
    say "making two discs of $disc_size and two of $small_size in $data"
    rm -rf "$data"
    mkdir -p "$data/img"
    mkdisc sample "$data/discs" --size "$disc_size" --folders-only
    mkdisc sample "$data/small" --size "$small_size" --folders-only
    for d in 1 2; do
        mkdisc iso "$data/discs/disc$d" "$data/img/disc$d.iso" --volid TOLVENAR_$d
        mkdisc iso "$data/small/disc$d" "$data/img/small$d.iso" --volid TOLVENAR_$d
    done
    rm -rf "$data/discs/disc2" "$data/small/disc1" "$data/small/disc2"
    for n in disc1 disc2 small1 small2; do
        for mode in 1 2; do
            [ $mode = 2 ] && [ "${n#small}" != $n ] && continue
            mkdisc raw "$data/img/$n.iso" "$data/img/${n}_m$mode.bin" --mode $mode \
                --cue "$data/img/${n}_m$mode.cue"
        done
    done
    echo "$stamp" >"$data/stamp"
fi
img=$data/img
out=$data/out
res=$data/results
rm -rf "$res" "$out"
mkdir -p "$res"
{
    echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GB", $2 / 1048576}' /proc/meminfo) of memory, $(wine --version 2>/dev/null)"
    echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$res/machine"
W() { winpath "$1"; }
o=$(W "$out")

sum() { awk '{s += $1} END {printf "%d\n", s}'; }
size_of() { stat -c %s "$@" | sum; }
disc_bytes() { awk -F'\t' -v l="$2" '$1==l && $2=="T" {print $4}' "$1/manifest.txt"; }
d1=$(disc_bytes "$data/discs" disc1)
d2=$(disc_bytes "$data/discs" disc2)
# disc 2's TL\VERSION.TXT replaces disc 1's in a merged copy
v1=$(awk -F'\t' '$1=="disc1" && $3=="TL\\VERSION.TXT" {print $4}' "$data/discs/manifest.txt")
merged=$((d1 + d2 - v1))
{
    echo "folder $d1"
    echo "iso $(size_of "$img/disc1.iso" "$img/disc2.iso")"
    echo "m1 $(size_of "$img/disc1_m1.bin" "$img/disc2_m1.bin")"
    echo "m2 $(size_of "$img/disc1_m2.bin" "$img/disc2_m2.bin")"
    echo "read_bin $(size_of "$img/disc1_m1.bin")"
    echo "read_user $(size_of "$img/disc1.iso")"
    echo "files1 $(awk -F'\t' '$1=="disc1" && $2=="T" {print $5}' "$data/discs/manifest.txt")"
    echo "files2 $(awk -F'\t' '$1=="disc2" && $2=="T" {print $5}' "$data/discs/manifest.txt")"
} >"$res/bytes"

# Checks of a command's output, run after its warm-up run.
bytes_in() {  # bytes_in FOLDER EXPECTED: the files below FOLDER hold EXPECTED bytes
    local got
    got=$(find "$1" -type f -printf '%s\n' | sum)
    [ "$got" = "$2" ] || { echo "bench: $got bytes in $1, expected $2" >&2; return 1; }
}
same_as() {  # same_as FILE PLAIN: bchunk's conversion equals the plain image
    cmp -s "$1" "$2" || { echo "bench: $1 differs from $2" >&2; return 1; }
}

# Every command runs once as a warm-up (and its output is checked), then
# $runs rounds run every command once each, in turn. On a machine shared with
# other work, a burst of load then spreads over all commands instead of landing
# on the runs of one. Each run starts from an empty output folder with nothing
# left to write back.
ids=() cmds=() checks=()
add() { ids+=("$1"); cmds+=("$2"); checks+=("${3:-true}"); }
prep() { chmod -R u+w "$out" 2>/dev/null || true; rm -rf "$out"; mkdir -p "$out/1" "$out/2"; sync; }
run_one() {  # run_one I: runs command I, its stderr in $res/stderr
    sh -c "${cmds[$1]}" >/dev/null 2>"$res/stderr" </dev/null ||
        { echo "bench: ${ids[$1]} failed:" >&2; cat "$res/stderr" >&2; exit 1; }
}
run_all() {
    local r i t0 t1
    for i in "${!ids[@]}"; do
        say "warm-up: ${ids[$i]}"
        prep
        run_one "$i"
        eval "${checks[$i]}" || { echo "bench: ${ids[$i]} left a wrong result" >&2; exit 1; }
    done
    for r in $(seq "$runs"); do
        say "round $r of $runs"
        for i in "${!ids[@]}"; do
            prep
            t0=$(date +%s%N)
            run_one "$i"
            t1=$(date +%s%N)
            echo $((t1 - t0)) >>"$res/${ids[$i]}.ns"
        done
    done
}

wine_cmd() { printf '%q ' "$wr" "$build/$1" "${@:2}"; printf '</dev/null'; }
install_cmd() {  # install_cmd CD1 CD2: the real silent installation into $out\inst
    wine_cmd setup.exe /silent /cd "$(W "$1")" /cd2 "$(W "$2")" /dir "$o\\inst"
}
isos="'$img/disc1.iso' '$img/disc2.iso'"

# Wine itself: starting a program that does nothing, once with only the
# system DLLs the floor program loads, once with those setup.exe loads.
add wine_start "$(wine_cmd bench_floor.exe -)"
add wine_start_setup "$(wine_cmd bench_read.exe -)"
# Sector reads: every sector of disc 1's raw Mode 1 image, in runs of 32.
add read_sectors "$(wine_cmd bench_read.exe "$(W "$img/disc1_m1.cue")")"
add read_floor "$(wine_cmd bench_floor.exe - "$(W "$img/disc1_m1.bin")")"
add read_cat "cat '$img/disc1_m1.bin' >/dev/null"
add read_cp "cp '$img/disc1_m1.bin' '$out/'"
# The folder disc.
add folder_cd_copy_all "$(wine_cmd bench_copy.exe "$o\\disc" "$(W "$data/discs/disc1")")" \
    "bytes_in '$out/disc' $d1"
add folder_cp "cp -r '$data/discs/disc1' '$out/disc'" "bytes_in '$out/disc' $d1"
add folder_floor "$(wine_cmd bench_floor.exe "$o" "$(W "$data/discs/disc1")")" "bytes_in '$out/disc1' $d1"
# Plain images of both discs.
add iso_cp "cp $isos '$out/'"
add iso_floor "$(wine_cmd bench_floor.exe "$o" "$(W "$img/disc1.iso")" "$(W "$img/disc2.iso")")"
# The floor for writing as many files as both discs hold: disc 1's tree twice
# (disc 2's tree is not kept, to save space; it has about as many files).
add iso_tree_floor "$(wine_cmd bench_floor.exe "$o" "$(W "$data/discs/disc1")" "$(W "$data/discs/disc1")")" \
    "bytes_in '$out' $((2 * d1))"
add iso_cd_copy_all "$(wine_cmd bench_copy.exe "$o\\cd" "$(W "$img/disc1.iso")" "$(W "$img/disc2.iso")")" \
    "bytes_in '$out/cd' $merged"
add install_iso "$(install_cmd "$img/disc1.iso" "$img/disc2.iso")" "bytes_in '$out/inst/game/cd' $merged"
add iso_xorriso "for d in 1 2; do xorriso -osirrox on -indev '$img/disc'\$d.iso -extract / '$out/'\$d || exit 1; done" \
    "bytes_in '$out' $((d1 + d2))"
add iso_7z "for d in 1 2; do 7z x -y -bd -o'$out/'\$d '$img/disc'\$d.iso || exit 1; done" \
    "bytes_in '$out' $((d1 + d2))"
add iso_bsdtar "for d in 1 2; do bsdtar -xf '$img/disc'\$d.iso -C '$out/'\$d || exit 1; done" \
    "bytes_in '$out' $((d1 + d2))"
# Raw images of both discs through their cue sheets.
for m in m1 m2; do
    b1=$img/disc1_$m.bin b2=$img/disc2_$m.bin c1=$img/disc1_$m.cue c2=$img/disc2_$m.cue
    add ${m}_cp "cp '$b1' '$b2' '$out/'"
    add ${m}_floor "$(wine_cmd bench_floor.exe "$o" "$(W "$b1")" "$(W "$b2")")"
    add ${m}_cd_copy_all "$(wine_cmd bench_copy.exe "$o\\cd" "$(W "$c1")" "$(W "$c2")")" \
        "bytes_in '$out/cd' $merged"
    add install_$m "$(install_cmd "$c1" "$c2")" "bytes_in '$out/inst/game/cd' $merged"
    # bchunk's conversion to plain images alone (it writes OUT01.iso)
    add ${m}_bchunk "bchunk '$b1' '$c1' '$out/1/d' && bchunk '$b2' '$c2' '$out/2/d'" \
        "same_as '$out/1/d01.iso' '$img/disc1.iso' && same_as '$out/2/d01.iso' '$img/disc2.iso'"
done
run_all

# Peak memory and progress callbacks of one installation: setup.exe's peak
# resident set as the kernel counts it, and bench_install's own view (the same
# pipeline through do_install with a counting callback).
peak() {  # peak LABEL CD1 CD2
    local label=$1 rss info
    say "peak memory: $label"
    prep
    rss=$(python3 -c 'import os, subprocess, sys
p = subprocess.Popen(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(p.pid, 0)
sys.exit(f"setup.exe failed: {status}") if status else print(usage.ru_maxrss)' \
        "$wr" "$build/setup.exe" /silent /cd "$(W "$2")" /cd2 "$(W "$3")" /dir "$o\\inst")
    prep
    info=$("$wr" "$build/bench_install.exe" "$(W "$2")" "$(W "$3")" "$o\\inst" </dev/null | tr -d '\r')
    printf '%s\t%s\t%s\n' "$label" "$rss" "$(echo "$info" | tr '\n' '\t')" >>"$res/memory"
}
peak "iso $disc_size" "$img/disc1.iso" "$img/disc2.iso"
peak "iso $small_size" "$img/small1.iso" "$img/small2.iso"
peak "m1 $disc_size" "$img/disc1_m1.cue" "$img/disc2_m1.cue"
peak "m1 $small_size" "$img/small1_m1.cue" "$img/small2_m1.cue"

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$res/machine"
python3 bench/report.py "$res" | tee "$build/bench-report.txt"
