#!/bin/sh
# run_fuzz.sh TARGET SECONDS: runs one libFuzzer target for a bounded time over
# a working corpus seeded from tests/fuzz/seeds/<name>. Any finding fails.
set -eu
target=$1
seconds=$2
name=$(basename "$target")
seeds=$(dirname "$0")/seeds/$name
work=$(dirname "$target")/corpus/$name
mkdir -p "$work"
[ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
exec "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$(dirname "$target")/" "$work"
