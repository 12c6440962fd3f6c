# Shared by the end-to-end scripts: run the real setup.exe in the build
# tree's Wine prefix, read its log, and count checks. Sourced, not run.
# Environment (set by CTest): WINEPREFIX BUILD SRC SETUP_EXE FIXTURES.
set -u
: "${BUILD:?}" "${SRC:?}" "${SETUP_EXE:?}"
WINE_RUN="$BUILD/wine-run"

# wine_temp [WINE-COMMAND]: the Unix path of the user's temporary folder in a
# prefix (wine-run's unless a command that runs wine in another is given), as
# Wine itself names it: its place in the prefix differs between Wine versions.
wine_temp() {
    local wine=${1:-$WINE_RUN} temp
    temp=$("$wine" cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')
    "$wine" winepath -u "$temp" </dev/null 2>/dev/null
}
TEMP_DIR=$(wine_temp)
[ -n "$TEMP_DIR" ] || { echo "Wine does not name the temporary folder of $WINEPREFIX" >&2; exit 1; }
SETUP_LOG="$TEMP_DIR/tolvenar_setup.log"
passed=0
failed=0
# A command that ends a script early says which one it was, also inside a
# function (a failure while errexit is off, as in run, is expected).
set -E
trap 'err_rc=$?; if [[ $- == *e* ]]; then
    printf "ABORTED (exit %d) at %s line %d: %s\n" $err_rc "${BASH_SOURCE[0]}" "$LINENO" "$BASH_COMMAND" >&2; fi' ERR

# A Linux path as Wine sees it through drive Z:.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

check() {  # check DESCRIPTION COMMAND...
    desc=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAILED: %s\n' "$desc"
    fi
}

# Runs a Windows program; its exit code goes into $code.
run() {
    set +e
    "$WINE_RUN" "$@" </dev/null >/dev/null 2>&1
    code=$?
    set -e
}

# The setup's words for a system error code ("error 112: ..."), as its lines give them.
error_text() { "$WINE_RUN" "$BUILD/window_driver.exe" error-text "$1" </dev/null | tr -d '\r'; }

# The setup log without CR.
log_text() { tr -d '\r' < "$SETUP_LOG"; }
# (grep reads to the end rather than quitting at the first match: under
# pipefail, a writer cut off by a reader that quit would fail the check.)
log_has() { log_text | grep -xF -- "$1" >/dev/null; }
# The log equals the given lines exactly.
log_is() { [ "$(log_text)" = "$(printf '%s\n' "$@")" ]; }

# icons exe|ico FILE: the icon resources of a program file, or those an icon
# file should become; "type name lang size md5" lines, sorted.
icons() {
    if [ "$1" = exe ]; then
        python3 "$SRC/tools/peres.py" "$2" | awk '$1 == 3 || $1 == 14' | sort
    else
        python3 "$SRC/tests/e2e/ico_resources.py" "$2" | sort
    fi
}

# The tree of files below a folder: relative path and checksum, sorted.
tree_sums() { (cd "$1" && find . -type f -exec md5sum {} + | sort -k2); }

# cd_tree_sums DISCS WORK: the tree_sums of what an installation's cd tree
# must hold for the discs DISCS/disc1 and DISCS/disc2: disc 1, then disc 2
# over it. The tree is put together in WORK/expected.
cd_tree_sums() {
    local expected=$2/expected
    mkdir -p "$expected"
    cp -r "$1/disc1/." "$expected/"
    chmod -R u+w "$expected"
    cp -r "$1/disc2/." "$expected/"
    tree_sums "$expected"
}

# prefix_copy DIR: a Wine prefix of its own at DIR, hard links to the test
# prefix's files with the registry files copied whole, for a script that
# changes the registry or restarts the server. Other tests run in the test
# prefix meanwhile, and Wine saves its registry by writing a temporary file
# that it renames: a file that vanishes during the copy is of no use here and
# must not end the script.
prefix_copy() {
    cp -al "$WINEPREFIX" "$1" 2>/dev/null || true
    for f in system.reg user.reg userdef.reg; do cp --remove-destination "$WINEPREFIX/$f" "$1/$f"; done
    rm -f "$1/wineserver"
}

# A fresh work folder for one script.
workdir() {
    dir="$BUILD/e2e/$1"
    rm -rf "$dir"
    mkdir -p "$dir"
    printf '%s' "$dir"
}

finish() {
    printf '%d passed, %d failed\n' "$passed" "$failed"
    [ "$failed" -eq 0 ]
}
