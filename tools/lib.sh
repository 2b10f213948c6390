# shellcheck shell=bash
# Sourced by the check scripts in tools/: counted checks, a pseudo-terminal of our own, and a
# virtual screen with a window manager. Processes started here are listed in lib_pids; call
# lib_cleanup at exit.

lib_pids=()
lib_passes=0
lib_failures=0

pass() { echo "PASS  $*"; lib_passes=$((lib_passes + 1)); }
fail() { echo "FAIL  $*"; lib_failures=$((lib_failures + 1)); }
check() { # description, command...
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
# "NAME: N passed, M failed" as the last line, and the status to exit with.
summary() {
    echo "$1: $lib_passes passed, $lib_failures failed"
    [ "$lib_failures" -eq 0 ]
}

# Prints the name of a new pseudo-terminal whose master is held open by a background process
# (for up to two hours); never a real serial device.
new_pty() { # scratch file
    python3 -c 'import os, time
master, slave = os.openpty()
print(os.ttyname(slave), flush=True)
time.sleep(7200)' >"$1" &
    lib_pids+=($!)
    until [ -s "$1" ]; do sleep 0.05; done
}

# Xvfb on a free display and openbox on it; exports DISPLAY.
virtual_desktop() { # WxHxD
    local fd_file
    fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    lib_pids+=($!)
    until [ -s "$fd_file" ]; do sleep 0.05; done
    export DISPLAY=:$(head -n 1 "$fd_file")
    rm -f "$fd_file"
    until xprop -root >/dev/null 2>&1; do sleep 0.05; done
    # openbox has been seen to end at once now and then on a fresh display: start it again,
    # and give up after a while rather than wait for ever.
    local wm="" tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q '#'; do
        if [ -z "$wm" ] || ! kill -0 "$wm" 2>/dev/null; then
            [ $tries -lt 20 ] || { echo "openbox does not start on $DISPLAY" >&2; return 1; }
            tries=$((tries + 1))
            openbox >/dev/null 2>&1 &
            wm=$!
            lib_pids+=("$wm")
        fi
        sleep 0.05
    done
}

lib_cleanup() {
    local pid
    for pid in "${lib_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
