# Shared by the scripts that drive the setup window: the driver, starting
# the window in the background and collecting its exit code. Sourced after
# lib.sh, not run.

# Runs the driver; its text-mode output loses the CRs. A failure names the
# command and its exit code (1: a mismatch, 2: a fatal error, printed above).
drv() {
    local rc=0
    "$WINE_RUN" "$BUILD/window_driver.exe" "$@" </dev/null >"$BUILD/window_driver.out" || rc=$?
    tr -d '\r' <"$BUILD/window_driver.out"
    if [ "$rc" -ne 0 ]; then
        echo "window_driver $*: exit code $rc" >&2
        return "$rc"
    fi
}

setup_pid=
stop_setup() { if [ -n "$setup_pid" ]; then kill "$setup_pid" 2>/dev/null || true; fi; }
trap stop_setup EXIT

# Starts the setup window in the background; its exit code is collected by ended.
start() {
    "$WINE_RUN" "$@" </dev/null >/dev/null 2>&1 &
    setup_pid=$!
    drv wait 30
}

# ended CODE: the setup process has ended with exit code CODE.
ended() {
    local rc=0 deadline=$((SECONDS + 60))
    while kill -0 "$setup_pid" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            echo "FAIL: setup still runs after 60 s, expected it to end with $1"
            exit 1
        fi
        sleep 0.05
    done
    wait "$setup_pid" || rc=$?
    setup_pid=
    if [ "$rc" != "$1" ]; then
        echo "FAIL: setup ended with exit code $rc, expected $1"
        exit 1
    fi
    echo "setup ended with exit code $rc"
}
