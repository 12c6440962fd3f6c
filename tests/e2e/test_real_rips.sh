#!/bin/bash
# Discs that other programs wrote, not our disc maker: vcdimager's Video CDs
# (a second track of Mode 2 Form 2 sectors) as bin/cue of 2,352 and of 2,336
# bytes a sector, as a cdrdao toc with a file per track and a pregap file, and
# as a Nero track-at-once image; xorriso and genisoimage images with and
# without Joliet and Rock Ridge; and crafted images with files in pieces. The
# setup's disc layer (extract_disc.exe) must extract each exactly as the
# independent readers do (tools/discmaker/corpus.py says which reader answers
# for which disc, and tests/corpus/README.md why), and silent installations
# from a Video CD rip and a real writer's image must hold both discs so.
set -eu
. "$(dirname "$0")/lib.sh"
work=$(workdir real_rips)
corpus=$work/corpus
for p in vcdxbuild xorriso genisoimage; do
    command -v "$p" >/dev/null || { echo "SKIPPED: $p is not installed, the corpus cannot be made"; exit 77; }
done
for p in cd-read iso-info iso-read bsdtar; do
    command -v "$p" >/dev/null || echo "SKIPPED reader: $p is not installed"
done
python3 "$SRC/tools/mkdisc.py" corpus "$corpus" >"$work/corpus.txt"
sed 's/^/SKIPPED: /' "$work/corpus.txt"

# same_listing EXPECTED LISTING: the two listings are equal; the first
# differences are shown when not.
same_listing() {
    local diffs
    if diffs=$(diff "$1" "$2"); then return 0; fi
    printf '%s\n' "$diffs" | grep '^[<>]' | head -n 8 | sed 's/^/    /'
    return 1
}

# Every disc extracted by the setup's disc layer, then all listed at once.
names=()
while IFS=$'\t' read -r name open _; do
    case $name in '#'*) continue ;; esac
    names+=("$name")
    set +e
    "$WINE_RUN" "$BUILD/extract_disc.exe" "$(winpath "$corpus/$open")" "$(winpath "$work/out/$name")" \
        </dev/null 2>/dev/null | tr -d '\r' >"$work/$name.log"
    echo "${PIPESTATUS[0]}" >"$work/$name.code"
    set -e
done < "$corpus/index.txt"
python3 "$SRC/tools/mkdisc.py" listing "${names[@]/#/$work/out/}" --into "$work/got"
while IFS=$'\t' read -r name open source disagree; do
    case $name in '#'*) continue ;; esac
    code=$(cat "$work/$name.code")
    check "$name: copied (exit code $code: $(tail -n 1 "$work/$name.log"))" [ "$code" -eq 0 ]
    check "$name: the extraction equals $source's" same_listing "$corpus/expected/$name.txt" "$work/got/$name.txt"
    [ "$disagree" = - ] || echo "NOTE: $name: $disagree reads it otherwise ($corpus/readers/$name.*.txt)"
done < "$corpus/index.txt"

# Silent installations: disc 1 a Video CD rip (the game's files in track 1,
# the sequence in track 2), disc 2 a real writer's image.
install_from() {  # install_from NAME DISC1 DISC2
    local name=$1 d1=$2 d2=$3 target=$work/install/$1
    for d in "$d1" "$d2"; do
        [ -f "$corpus/expected/$d.txt" ] || { echo "SKIPPED: $name: no expected listing of $d"; return 0; }
    done
    run "$SETUP_EXE" /silent /cd "$(winpath "$corpus/$(awk -F'\t' -v n="$d1" '$1 == n {print $2}' "$corpus/index.txt")")" \
        /cd2 "$(winpath "$corpus/$(awk -F'\t' -v n="$d2" '$1 == n {print $2}' "$corpus/index.txt")")" \
        /dir "$(winpath "$target")"
    check "$name: exit code $code (last line: $(log_text | tail -n 1))" [ "$code" -eq 0 ]
    # The cd tree holds disc 1 and disc 2 over it.
    cat "$corpus/expected/$d2.txt" "$corpus/expected/$d1.txt" | LC_ALL=C sort -s -u -k2,2 | LC_ALL=C sort \
        >"$work/$name.expected"
    python3 "$SRC/tools/mkdisc.py" listing "$target/game/cd" >"$work/$name.got"
    check "$name: the cd tree holds both discs as the readers give them" \
        same_listing "$work/$name.expected" "$work/$name.got"
    check "$name: the game's program file laid out" \
        cmp -s "$target/game/hd/TL/TOLVENAR.EXE" "$corpus/trees/disc1/TL/TOLVENAR.EXE"
}
install_from install-vcd-cue2352 vcd-cue2352 xorriso-joliet
install_from install-vcd-toc vcd-toc genisoimage-udf

finish
