# shellcheck shell=bash disable=SC2034  # the variables set here are for the sourcing script
# Sourced by bench/idle.sh and bench/startup.sh: a program folder of its own for the built
# clock, whose only working port is a pseudo-terminal.
#
# The folder holds a copy of Tikvor_1, data/ and a Data.ini whose [Porty] maps COM1 to a
# pseudo-terminal held open by bench_ptyhold and COM2..COM5 to paths that do not exist, so no
# port is ever left on its default /dev/ttyS<n> (ttyS0 is the console of some machines). The
# line shim, preloaded, gives the pseudo-terminal the modem lines the clock drives.
#
# Sets: clock_dir, clock_program, clock_env (env assignments for the program), clock_holder.
# Call clock_folder BUILD_DIR [PROGRAM] once (PROGRAM: Tikvor_1, the default, or
# tikvor-display), clock_cleanup at exit.

clock_folder() {
    local build=$1
    local program=${2:-Tikvor_1}
    local shim=$build/tests/liblineshim.so
    local holder=$build/bench/bench_ptyhold
    local f
    for f in "$build/bin/$program" "$build/bin/Data.ini" "$build/bin/data" "$shim" "$holder"; do
        [[ -e $f ]] || { echo "missing $f: build the target bench_resources" >&2; return 1; }
    done

    clock_dir=$(mktemp -d "${TMPDIR:-/tmp}/tikvor-bench.XXXXXX")
    cp "$build/bin/$program" "$clock_dir/"
    cp -r "$build/bin/data" "$clock_dir/"
    clock_program=$clock_dir/$program

    "$holder" >"$clock_dir/pty" &
    clock_holder=$!
    local waited=0
    until [[ -s $clock_dir/pty ]]; do
        ((waited++ < 200)) || { echo "no pseudo-terminal" >&2; return 1; }
        sleep 0.01
    done
    local pty
    pty=$(<"$clock_dir/pty")
    [[ $pty == /dev/pts/* ]] || { echo "unexpected pseudo-terminal '$pty'" >&2; return 1; }

    # Every [Porty] key of the sample is commented out; ours go right under the header.
    awk -v pty="$pty" -v dir="$clock_dir" '
        { print }
        /^\[[Pp]orty\]/ {
            print "COM1=" pty
            for (n = 2; n <= 5; n++) print "COM" n "=" dir "/no-port-" n
        }' "$build/bin/Data.ini" >"$clock_dir/Data.ini"
    local n
    for n in 1 2 3 4 5; do
        grep -q "^COM$n=" "$clock_dir/Data.ini" ||
            { echo "COM$n not mapped in $clock_dir/Data.ini: refusing to start" >&2; return 1; }
    done
    if grep -Eq '^COM[1-5]=/dev/tty(S|USB|ACM)' "$clock_dir/Data.ini"; then
        echo "a real serial device is mapped: refusing to start" >&2
        return 1
    fi

    clock_env=(LD_PRELOAD="$shim" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}"
               XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$clock_dir}")
}

# Safe under set -e: a killed holder's exit status must not cut the cleanup short.
# Ends the process whose id is given, if any, and waits for it.
clock_end() {
    if [[ -n ${1:-} ]]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}

# Ends the clock started by a script (its id in clock_pid), then cleans up as clock_cleanup.
clock_pid=
clock_stop() {
    clock_end "$clock_pid"
    clock_pid=
    clock_cleanup
}

clock_cleanup() {
    clock_end "${clock_holder:-}"
    if [[ -n ${clock_dir:-} && -d $clock_dir ]]; then
        rm -rf "$clock_dir"
    fi
    clock_holder='' clock_dir=''
}

# Runs the calling script again under a virtual X server of its own, unless asked for the
# offscreen platform or already there. The X server runs for the whole script, so its start
# is never part of a figure.
clock_under_x() {
    if [[ ${QT_QPA_PLATFORM:-xcb} == offscreen || -n ${TIKVOR_BENCH_IN_X:-} ]]; then
        return 0
    fi
    command -v xvfb-run >/dev/null ||
        { echo "xvfb-run not installed: run with QT_QPA_PLATFORM=offscreen" >&2; exit 1; }
    TIKVOR_BENCH_IN_X=1 QT_QPA_PLATFORM=xcb exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
}
