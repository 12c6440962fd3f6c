#!/bin/sh
# run_fuzz.sh TARGET SECONDS: runs one libFuzzer target for a bounded time over
# a working corpus seeded from tests/fuzz/seeds/<name> and the findings kept
# in tests/fuzz/regressions/<name>. Any finding fails.
set -eu
target=$1
seconds=$2
name=$(basename "$target")
work=$(dirname "$target")/corpus/$name
mkdir -p "$work"
for kept in seeds regressions; do
    [ -d "$(dirname "$0")/$kept/$name" ] && cp -n "$(dirname "$0")/$kept/$name"/* "$work"/ 2>/dev/null || true
done
exec "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$(dirname "$target")/" "$work"
