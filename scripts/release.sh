#!/bin/sh
# release.sh [GAME_EXE]: builds setup.exe in release mode in a fresh build
# folder of its own (build/release), around GAME_EXE if given (the stand-in
# otherwise), and writes dist/: the program, the README, the licence notes
# of the runtime libraries linked into it and the list of the tools that
# built it, all named with the version, and SHA256SUMS, which it then checks.
set -eu
game=""
if [ $# -gt 0 ]; then
    [ -f "$1" ] || { echo "release: no such file: $1" >&2; exit 2; }
    game=$(realpath "$1")
fi
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
build=build/release
rm -rf "$build" dist
if [ -n "$game" ]; then
    scripts/configure.sh win "$build" "-DTOLVENAR_GAME_EXE=$game"
else
    scripts/configure.sh win "$build"
fi
cmake --build "$build" -j"$(nproc)" --target setup >/dev/null
name=tolvenar-setup-$(cat "$build/VERSION")

# setup.exe is linked statically with the compiler's runtime libraries; their
# notes are the copyright files of the Debian packages that hold them.
crt=/usr/share/doc/mingw-w64-x86-64-dev/copyright
gcc=/usr/share/doc/gcc-mingw-w64-base/copyright
gpl=/usr/share/common-licenses/GPL-3
for f in $crt $gcc $gpl; do
    [ -f "$f" ] || { echo "release: $f is missing: the licence notes come from it" >&2; exit 1; }
done
part() {  # part TITLE FILE
    printf '\n\n%s\n%s\n\n' "$1" "$(printf '%s' "$1" | tr -c '' '=')"
    cat "$2"
}
licences() {
    cat <<TEXT
Licences of the libraries linked into $name.exe

$name.exe is linked statically with the runtime libraries of the
MinGW-w64 cross compiler (GCC $(x86_64-w64-mingw32-g++-posix -dumpversion), posix threads):

- the MinGW-w64 C runtime and its winpthreads library (Debian package
  mingw-w64-x86-64-dev, version $(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev)): mostly under the Zope
  Public License 2.1 and in the public domain, winpthreads under the MIT
  (expat) licence, a few files under other permissive licences, as the
  first notes below detail;
- GCC's runtime libraries libgcc and libstdc++ (Debian package
  gcc-mingw-w64-x86-64-posix-runtime, version $(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix-runtime)):
  the GNU General Public License version 3 with the GCC Runtime Library
  Exception, which lets programs compiled with GCC be distributed under
  terms of their own (the second notes below; the licence text follows).

The notes are those the Debian packages install.
TEXT
    part "MinGW-w64 C runtime and winpthreads ($crt)" $crt
    part "GCC runtime libraries, with the GCC Runtime Library Exception ($gcc)" $gcc
    part "GNU General Public License version 3 ($gpl)" $gpl
}

# What went into setup.exe, so that anyone can rebuild the same bytes: the
# system, the source and each tool of the build tree with its version and
# the Debian package (and version) that holds it.
# used VARIABLE: a program that CMake found for the build tree.
used() { sed -n "s|^ *set($1 \"\(.*\)\")\$|\1|p" "$build"/CMakeFiles/*/CMake*Compiler.cmake | head -n 1; }
tool() {  # tool TITLE PROGRAM
    local real pkg
    real=$(realpath "$(command -v "$2")")
    pkg=$(dpkg -S "$real" 2>/dev/null | sed -n '/^diversion/!{s/:.*//p;q}')
    printf '%-18s %s\n%-18s %s\n' "$1" "$("$2" --version | head -n 1)" "" \
        "$real, Debian package $pkg $(dpkg-query -W -f='${Version}' "$pkg" 2>/dev/null)"
}
package() {  # package TITLE PACKAGE
    printf '%-18s Debian package %s %s\n' "$1" "$2" "$(dpkg-query -W -f='${Version}' "$2")"
}
tools() {
    local cxx
    cxx=$(used CMAKE_CXX_COMPILER)
    echo "The tools that built $name.exe"
    echo
    printf '%-18s %s (%s)\n' system "$(. /etc/os-release && echo "$PRETTY_NAME")" "$(dpkg --print-architecture)"
    if commit=$(git rev-parse HEAD 2>/dev/null); then
        git diff --quiet HEAD 2>/dev/null || commit="$commit, with changes not committed"
        printf '%-18s commit %s\n' source "$commit"
    fi
    if [ -n "$game" ]; then
        printf '%-18s %s, SHA-256 %s\n' "game program" "$(basename "$game")" "$(sha256sum < "$game" | cut -c1-64)"
    fi
    tool "C++ compiler" "$cxx"
    tool assembler "$("$cxx" -print-prog-name=as)"
    tool linker "$("$cxx" -print-prog-name=ld)"
    tool windres "$(used CMAKE_RC_COMPILER)"
    package "MinGW-w64 runtime" mingw-w64-x86-64-dev
    package "GCC runtime" gcc-mingw-w64-x86-64-posix-runtime
    tool CMake cmake
    tool make "$(sed -n 's|^CMAKE_MAKE_PROGRAM:[A-Z]*=||p' "$build/CMakeCache.txt")"
}

# The README as shipped: the pictures and the files it links to stay behind,
# so links to files become their text and pictures go.
shipped_readme() {
    sed -E -e '/^!\[[^]]*\]\([^)#:]+\)$/d' -e 's/\[([^]]*)\]\([^)#:][^):]*\)/\1/g' README.md | cat -s
}

mkdir dist
cp "$build/setup.exe" "dist/$name.exe"
shipped_readme > "dist/$name-README.md"
if grep -nE '\]\([^)#:][^):]*\)' "dist/$name-README.md"; then
    echo "release: the shipped README still links to files it does not carry" >&2
    exit 1
fi
licences > "dist/$name-LICENCES.txt"
tools > "dist/$name-TOOLS.txt"
cd dist
sha256sum -- "$name.exe" "$name-README.md" "$name-LICENCES.txt" "$name-TOOLS.txt" > SHA256SUMS
sha256sum -c SHA256SUMS
ls -l
