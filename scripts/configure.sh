#!/bin/sh
# configure.sh native|win [DIR [CMAKE-ARGS...]]: configures that build tree
# (build/native or build/win unless DIR is given) once; later builds re-run
# CMake by themselves when a CMake file changes. The release configures its
# own tree as the test tree is, so that both make the same setup.exe.
set -eu
cd "$(dirname "$0")/.."
kind=$1
case $kind in
native) args="-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug" ;;
win) args="-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release" ;;
*) echo "usage: $0 native|win [DIR [CMAKE-ARGS...]]" >&2; exit 2 ;;
esac
dir=${2:-build/$kind}
shift
[ $# -eq 0 ] || shift
[ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" $args "$@" >/dev/null
