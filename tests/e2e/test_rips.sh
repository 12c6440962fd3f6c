#!/bin/bash
# Rips as other programs write them (CloneCD, Alcohol, Nero, cdrdao, raw
# sectors with subchannel data or of 2336 bytes, multi-track cue sheets):
# silent installations from each, disc 1 in one kind and disc 2 in another,
# equal byte for byte to the installation from the folders; the start-up scan
# finding a .ccd and an .nrg beside the program; damaged descriptors failing
# with their line in bounded time.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir rips)
discs=$work/discs
mk() { python3 "$SRC/tools/mkdisc.py" "$@" >/dev/null; }
mk sample "$discs"
mk iso "$discs/disc2" "$discs/disc2.iso"
for d in 1 2; do mk rip all "$discs/disc$d.iso" "$work/d$d"; done
W1=$(winpath "$work/d1")
W2=$(winpath "$work/d2")

install_from() {  # install_from NAME DISC1 DISC2 [more switches]: exit code in $code
    local name=$1 d1=$2 d2=$3
    shift 3
    target=$work/out/$name
    run "$SETUP_EXE" /silent /cd "$d1" /cd2 "$d2" /dir "$(winpath "$target")" "$@"
}
# Every file of an installation, its checksum and relative path.
install_sums() { (cd "$1" && find . -type f -exec md5sum {} + | sort -k2); }

install_from folders "$(winpath "$discs/disc1")" "$(winpath "$discs/disc2")"
check "folders: exit code 0" [ "$code" -eq 0 ]
expected=$(install_sums "$target")

# row NAME KIND1 FILE1 DESC1 KIND2 FILE2 DESC2: disc 1 from d1\KIND1.*, disc 2
# from d2\KIND2.*; FILE is what the user opens, DESC the file the log names.
row() {
    local name=$1 open1="$W1\\$2" desc1="$3 $W1\\$4" open2="$W2\\$5" desc2="$6 $W2\\$7"
    install_from "$name" "$open1" "$open2"
    check "$name: exit code 0" [ "$code" -eq 0 ]
    check "$name: disc 1 described" log_has "Copying disc 1: $desc1 ..."
    check "$name: disc 2 described" log_has "Copying disc 2: $desc2 ..."
    check "$name: installation equals the one from folders" [ "$(install_sums "$target")" = "$expected" ]
}
row clonecd-alcohol2448 ccd.ccd "CloneCD image" ccd.img mds-2448.mds "Alcohol image" mds-2448.mdf
row alcohol-nero mds.mds "Alcohol image" mds.mdf nrg.nrg "Nero image" nrg.nrg
row nero1-cdrdao nrg-v1.nrg "Nero image" nrg-v1.nrg toc.toc "cdrdao image" toc.bin
row raw2448-cuemulti raw-2448.img image raw-2448.img cue-multi.cue image cue-multi.bin
row cuesplit-raw2336 cue-split.cue image "cue-split (Track 1).bin" raw-2336.bin image raw-2336.bin
row cue2048-cue2336 cue-2048.cue image "cue-2048 (Track 1).bin" cue-2336.cue image "cue-2336 (Track 1).bin"
row mode2-rips ccd-m2.ccd "CloneCD image" ccd-m2.img raw-2448-m2.img image raw-2448-m2.img

# The start-up scan: no .iso or .cue beside the program, a .ccd that is disc 1
# and an .nrg that is disc 2.
beside=$work/beside
mkdir -p "$beside"
cp "$SETUP_EXE" "$beside/setup.exe"
cp "$work/d1/ccd.ccd" "$work/d1/ccd.img" "$work/d1/ccd.sub" "$beside/"
cp "$work/d2/nrg.nrg" "$beside/"
B=$(winpath "$beside")
target=$work/out/beside
run "$beside/setup.exe" /silent /dir "$(winpath "$target")"
check "scan: exit code 0" [ "$code" -eq 0 ]
check "scan: disc 1 is the .ccd" log_has "default disc 1: '$B\\ccd.ccd'"
check "scan: disc 2 is the .nrg" log_has "default disc 2: '$B\\nrg.nrg'"
check "scan: installation equals the one from folders" [ "$(install_sums "$target")" = "$expected" ]

# Damaged descriptors: disc N is no readable disc, within seconds.
fails_fast() {  # fails_fast NAME N DISC1 DISC2
    local start=$SECONDS
    install_from "$1" "$3" "$4"
    check "$1: exit code 1" [ "$code" -eq 1 ]
    check "$1: last line" [ "$(log_text | tail -n 1)" = "ERROR: disc $2 is not a readable disc, image or folder" ]
    check "$1: within 20 s" [ $((SECONDS - start)) -lt 20 ]
}
bad=$work/bad
mkdir -p "$bad"
cp "$work/d1/ccd.img" "$bad/cut.img"
head -c 300 "$work/d1/ccd.ccd" > "$bad/cut.ccd"
cp "$work/d2/mds.mdf" "$bad/far.mdf"
python3 - "$work/d2/mds.mds" "$bad/far.mds" "$work/d2/nrg.nrg" "$bad/loop.nrg" <<'EOF'
import struct, sys
mds = bytearray(open(sys.argv[1], "rb").read())
struct.pack_into("<Q", mds, 0x70 + 3 * 80 + 0x28, 1 << 40)  # the track's start far past the .mdf
open(sys.argv[2], "wb").write(mds)
nrg = bytearray(open(sys.argv[3], "rb").read())
chunks = struct.unpack(">Q", nrg[-8:])[0]
# The first chunk's length takes a 32-bit walk back to where it started.
struct.pack_into(">I", nrg, chunks + 4, 0xFFFFFFF8)
open(sys.argv[4], "wb").write(nrg)
EOF
Wb=$(winpath "$bad")
fails_fast truncated-ccd 1 "$Wb\\cut.ccd" "$W2\\toc.toc"
fails_fast outside-mds 2 "$W1\\ccd.ccd" "$Wb\\far.mds"
fails_fast chunk-loop-nrg 2 "$W1\\toc.toc" "$Wb\\loop.nrg"

finish
