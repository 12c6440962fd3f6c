#!/bin/sh
# Installs what is missing, builds both trees and runs every test: the native
# sanitizer tests and fuzzers, then the Wine tests and end-to-end tests under
# a virtual display; then makes the release, which must give the test tree's
# setup.exe byte for byte although built in another folder at another time.
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
# What a test left out because this system lacks a tool.
grep -h '^SKIPPED: ' build/native/Testing/Temporary/LastTest.log || true
(cd build/win && xvfb-run -a -s "-screen 0 2560x1600x24" \
    ctest --output-on-failure -j"$jobs") || status=1
scripts/release.sh || status=1
release=dist/tolvenar-setup-$(cat build/win/VERSION).exe
for f in build/win/setup.exe "$release"; do
    [ ! -f "$f" ] || printf 'sha256 %s  %s\n' "$(sha256sum < "$f" | cut -c1-64)" "$f"
done
cmp -s build/win/setup.exe "$release" || { echo "FAILED: the release's setup.exe is not the test tree's"; status=1; }
exit $status
