#!/usr/bin/env bash
# CPU the running clock uses while it just keeps time.
#
# Usage: bench/idle.sh [BUILD_DIR [SECONDS]]      (defaults: build, 60)
#        QT_QPA_PLATFORM=offscreen bench/idle.sh   to measure without an X server
#        PROGRAM=tikvor-display QT_QPA_PLATFORM=offscreen bench/idle.sh   the display service
# Needs: cmake --build BUILD_DIR --target bench_resources; xvfb-run unless offscreen.
# Starts the built Tikvor_1 from a folder of its own (see clock_folder in clockfolder.sh: COM1
# is a pseudo-terminal with modem lines from the preloaded line shim, so a frame goes out every
# second, the other ports are missing paths), under a virtual X server started once for the
# whole run. After 5 s to settle it reads utime+stime of the program (/proc/PID/stat, all
# threads) and of the X server over SECONDS and prints them as % of one core, with the
# program's wake-ups per second and its VmRSS. Goal: at most 0.1 % of a core.
# TRACE=1 also has the shim log every line change, to check that frames went out (the log
# costs the program one write per change, so the figure is then a little higher).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/clockfolder.sh"
clock_under_x "$0" "$@"

build=$(cd "${1:-$here/../build}" && pwd)
seconds=${2:-60}
hz=$(getconf CLK_TCK)
trap clock_stop EXIT
clock_folder "$build" "${PROGRAM:-Tikvor_1}"
[[ ${TRACE:-0} == 1 ]] && clock_env+=(LINESHIM_TRACE="$clock_dir/trace")

# utime + stime in clock ticks; the fields are counted after the name, which may hold blanks.
cpu_ticks() {
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    read -r -a f <<<"$stat"
    echo $((f[11] + f[12]))
}
# Nanoseconds on a CPU, all threads (/proc/PID/task/*/schedstat): finer than the clock ticks.
cpu_ns() {
    local total=0 t ns rest
    for t in /proc/"$1"/task/*/schedstat; do
        read -r ns rest <"$t"
        total=$((total + ns))
    done
    echo "$total"
}
# Voluntary context switches of all threads: how often the program woke up.
wakeups() {
    local total=0 t n
    for t in /proc/"$1"/task/*/status; do
        n=$(sed -n 's/^voluntary_ctxt_switches:[[:space:]]*//p' "$t")
        total=$((total + n))
    done
    echo "$total"
}
percent() { awk -v t="$1" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.3f", 100 * t / hz / s}'; }

cd "$clock_dir"
env "${clock_env[@]}" "$clock_program" 2>"$clock_dir/stderr" &
clock_pid=$!
sleep 5
kill -0 "$clock_pid" 2>/dev/null || { echo "${PROGRAM:-Tikvor_1} ended:" >&2; cat "$clock_dir/stderr" >&2; exit 1; }

# The X server, when there is one, is the other child of xvfb-run.
xserver=
if [[ -n ${TIKVOR_BENCH_IN_X:-} ]]; then
    for p in /proc/[0-9]*; do
        [[ $(cat "$p/comm" 2>/dev/null) == Xvfb ]] || continue
        stat=$(<"$p/stat") && read -r -a f <<<"${stat##*) }"
        [[ ${f[1]} == "$PPID" ]] && xserver=${p#/proc/}
    done
fi

c0=$(cpu_ticks "$clock_pid") n0=$(cpu_ns "$clock_pid") w0=$(wakeups "$clock_pid") t0=$EPOCHREALTIME
x0=0 && [[ -n $xserver ]] && x0=$(cpu_ticks "$xserver")
sleep "$seconds"
c1=$(cpu_ticks "$clock_pid") n1=$(cpu_ns "$clock_pid") w1=$(wakeups "$clock_pid") t1=$EPOCHREALTIME
x1=0 && [[ -n $xserver ]] && x1=$(cpu_ticks "$xserver")
rss=$(sed -n 's/^VmRSS:[[:space:]]*//p' "/proc/$clock_pid/status")

elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", b - a}')
echo "platform ${QT_QPA_PLATFORM:-xcb}, ${elapsed} s after 5 s to settle, CLK_TCK $hz"
precise=$(awk -v n=$((n1 - n0)) -v s="$elapsed" 'BEGIN {printf "%.4f", 100 * n / 1e9 / s}')
echo "${PROGRAM:-Tikvor_1}   cpu $((c1 - c0)) ticks = $(percent $((c1 - c0))) % of a core" \
     "(schedstat: $(((n1 - n0) / 1000)) us = $precise %)," \
     "$(awk -v w=$((w1 - w0)) -v s="$elapsed" 'BEGIN {printf "%.2f", w / s}') wake-ups/s, VmRSS $rss"
[[ -n $xserver ]] && echo "Xvfb       cpu $((x1 - x0)) ticks = $(percent $((x1 - x0))) % of a core"
if [[ ${TRACE:-0} == 1 && -f $clock_dir/trace ]]; then
    # A bit is latched where DTR falls after it rose: count the "Dd" pairs among DTR changes.
    trace=$(<"$clock_dir/trace")
    dtr=${trace//[^Dd]/}
    bits=${dtr//Dd/x} && bits=${bits//[Dd]/}
    echo "frames sent since start: $((${#bits} / 48)) (${#bits} bits, ${#trace} line changes)"
fi
echo "RESULT idle_cpu_percent=$(percent $((c1 - c0))) idle_cpu_percent_schedstat=$precise xvfb_cpu_percent=$(percent $((x1 - x0)))" \
     "wakeups=$((w1 - w0)) seconds=$elapsed"
