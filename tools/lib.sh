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

# The Data.ini of an unpacked package with every port mapped to a missing path in a scratch
# folder, at the top of its first [Porty] section (only the first section of a name is read):
# no check ever reaches the machine's own serial devices.
ports_away() { # ini, scratch folder
    sed -i "s|^\[Porty\]\r\?\$|&\nCOM1=$2/none1\nCOM2=$2/none2\nCOM3=$2/none3\nCOM4=$2/none4\nCOM5=$2/none5|" "$1"
    [ "$(grep -c '^COM[1-5]=' "$1")" -eq 5 ]
}
map_port() { sed -i "s|^COM$2=.*|COM$2=$3|" "$1"; } # ini, number, device
# COM2 on a pseudo-terminal of our own, a new one for each program: one killed by timeout leaves
# its exclusive flag on a terminal that is still held open. Clears the line shim's trace.
pty_as_com2() { # ini, scratch folder
    new_pty "$2/pty"
    map_port "$1" 2 "$(cat "$2/pty")"
    rm -f "$2/trace" "$2/pty"
}
# At least 3 whole frames, on the second, in the line shim's trace; the program's output is
# shown when there are fewer.
frames_ok() { # trace, ini, program output
    local n
    python3 tools/frames.py "$1" "$2" >"$1.frames"
    n=$(grep -c '^[0-2][0-9]:[0-5][0-9]:[0-5][0-9] ' "$1.frames" || true)
    [ "$n" -ge 3 ] || { echo "only $n frames"; cat "$3"; return 1; }
    echo "$n frames: $(head -n 1 "$1.frames" | cut -d' ' -f1) to $(tail -n 1 "$1.frames" | cut -d' ' -f1)"
}
