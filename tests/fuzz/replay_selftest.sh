#!/bin/sh
# replay_selftest.sh PROBE: the replay driver (linked into PROBE, the stand-in
# target of replay_probe.cpp) hands over every input of every folder and file
# it is given, and any input that crashes or reads past its end fails the run.
set -eu
probe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
fails() { ! "$probe" "$@" >"$dir/out" 2>&1 || fail "succeeded: $*"; }

mkdir "$dir/kept" "$dir/empty"
printf 'x' > "$dir/kept/b"
: > "$dir/kept/a"
printf 'xyz' > "$dir/kept/c"
printf 'wxyz' > "$dir/one"
out=$("$probe" "$dir/kept" "$dir/one") || fail "the kept inputs did not replay"
[ "$out" = "$(printf 'input of 0 bytes\ninput of 1 bytes\ninput of 3 bytes\ninput of 4 bytes\nreplayed 4 inputs')" ] ||
    fail "the folder's inputs in name order, then the file: $out"

printf 'abort' > "$dir/kept/d"
fails "$dir/kept"
grep -q "^replaying .*/kept/d$" "$dir/out" || fail "the crashing input is named: $(cat "$dir/out")"
rm "$dir/kept/d"

printf 'over' > "$dir/over"
fails "$dir/kept" "$dir/over"
grep -q "heap-buffer-overflow" "$dir/out" || fail "a read past the input is caught: $(cat "$dir/out")"

fails "$dir/missing"
fails "$dir/empty"
fails
echo "replay driver: all checks passed"
