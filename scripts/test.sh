#!/bin/sh
# Installs what is missing, builds both trees and runs every test: the native
# sanitizer tests and fuzzers, then the Wine tests and end-to-end tests under
# a virtual display.
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
jobs=$(nproc)
scripts/configure.sh native
cmake --build build/native -j"$jobs"
scripts/configure.sh win
cmake --build build/win -j"$jobs"
status=0
(cd build/native && ctest --output-on-failure -j"$jobs") || status=1
(cd build/win && xvfb-run -a -s "-screen 0 2560x1600x24" \
    ctest --output-on-failure -j"$jobs") || status=1
exit $status
