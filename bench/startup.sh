#!/usr/bin/env bash
# Time from starting the clock to its first complete frame on the port.
#
# Usage: bench/startup.sh [BUILD_DIR [RUNS]]         (defaults: build, 10)
#        QT_QPA_PLATFORM=offscreen bench/startup.sh   to measure without an X server
# Needs: cmake --build BUILD_DIR --target bench_resources; xvfb-run unless offscreen.
# Starts the built Tikvor_1 RUNS times from a folder of its own (see clock_folder in
# clockfolder.sh: COM1 is a pseudo-terminal given modem lines by the preloaded line shim),
# under one virtual X server started before the first run. The shim logs every line change
# (LINESHIM_TRACE); the log is decoded as the display reads it, a bit latched where DTR falls,
# and the time is taken when 48 bits are in: from just before the program is started, polled
# about every millisecond, so a figure is late by up to a millisecond or so. Prints every run,
# the median and the maximum.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/clockfolder.sh"
clock_under_x "$0" "$@"

build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-10}
trap clock_stop EXIT
clock_folder "$build"
trace=$clock_dir/trace

# A pipe nobody writes to: `read -t` on it waits without starting a process.
exec {nap}<> <(:)

# Bits latched so far: "Dd" pairs among the DTR changes of the log.
latched() {
    local log=
    if [[ -f $trace ]]; then
        read -r -N 65536 log <"$trace" || true
    fi
    local dtr=${log//[^Dd]/}
    local bits=${dtr//Dd/x}
    bits=${bits//[Dd]/}
    echo "${#bits}"
}

cd "$clock_dir"
times=()
for ((run = 1; run <= runs; run++)); do
    rm -f "$trace"
    t0=$EPOCHREALTIME
    env "${clock_env[@]}" LINESHIM_TRACE="$trace" "$clock_program" 2>"$clock_dir/stderr" &
    clock_pid=$!
    ms=
    while :; do
        if (($(latched) >= 48)); then
            ms=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.1f", 1000 * (b - a)}')
            break
        fi
        kill -0 "$clock_pid" 2>/dev/null || { echo "run $run: Tikvor_1 ended" >&2; cat "$clock_dir/stderr" >&2; exit 1; }
        awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {exit !(b - a > 20)}' &&
            { echo "run $run: no frame after 20 s" >&2; exit 1; }
        read -r -t 0.001 -u "$nap" || true
    done
    clock_end "$clock_pid"
    clock_pid=
    echo "run $run: first frame after $ms ms"
    times+=("$ms")
done
printf '%s\n' "${times[@]}" | sort -n | awk -v p="${QT_QPA_PLATFORM:-xcb}" '
    {v[NR] = $1}
    END {
        median = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "platform %s, %d runs: median %.1f ms, max %.1f ms\n", p, NR, median, v[NR]
        printf "RESULT startup_median_ms=%.1f startup_max_ms=%.1f runs=%d\n", median, v[NR], NR
    }'
