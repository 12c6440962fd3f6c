#!/bin/sh
# configure.sh native|win: configures that build tree once (later builds
# re-run CMake by themselves when a CMake file changes).
set -eu
cd "$(dirname "$0")/.."
case $1 in
native) args="-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug" ;;
win) args="-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release" ;;
*) echo "usage: $0 native|win" >&2; exit 2 ;;
esac
[ -f "build/$1/CMakeCache.txt" ] || cmake -S . -B "build/$1" $args >/dev/null
