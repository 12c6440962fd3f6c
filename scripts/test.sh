#!/bin/sh
# Installs what is missing, builds both trees and runs every test: the native
# sanitizer tests and fuzzers, then the Wine tests and end-to-end tests under
# a virtual display.
set -eu
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win -j"$jobs"
status=0
(cd build/native && ctest --output-on-failure -j"$jobs") || status=1
(cd build/win && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j"$jobs") || status=1
exit $status
