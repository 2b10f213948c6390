#!/usr/bin/env bash
# Resident memory of the clock's window against a bare Qt Widgets window of the same size.
#
# Usage: bench/memory.sh [BUILD_DIR [TICKS]]     (defaults: build, 10000)
# Needs: cmake --build BUILD_DIR --target bench_resources
# Runs bench_memory and bench_barewindow three times each on the offscreen platform and, when
# xvfb-run is installed, on xcb under a virtual X server (each run on a server of its own), and
# prints the median VmRSS after start-up, the ratio clock / bare window, and the growth of the
# clock's VmRSS over TICKS ticks. Goals: ratio <= 1.25, growth < 1024 kB.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
ticks=${2:-10000}
bench=$build/bench
for program in bench_memory bench_barewindow; do
    [[ -x $bench/$program ]] || { echo "missing $bench/$program: build the target bench_resources" >&2; exit 1; }
done
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
    export XDG_RUNTIME_DIR
fi

# One field of the RESULT line of a run.
field() { sed -n "s/^RESULT .*\b$1=\([-0-9]*\).*/\1/p"; }
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

run() { # platform program args...
    local platform=$1
    shift
    if [[ $platform == xcb ]]; then
        QT_QPA_PLATFORM=xcb xvfb-run -a "$@" 2>/dev/null
    else
        QT_QPA_PLATFORM=offscreen "$@" 2>/dev/null
    fi
}

platforms=(offscreen)
if command -v xvfb-run >/dev/null; then
    platforms+=(xcb)
else
    echo "xvfb-run not installed: offscreen only" >&2
fi

printf '%-10s %12s %12s %7s %14s %10s\n' platform "bare kB" "clock kB" ratio "after ticks kB" "growth kB"
for platform in "${platforms[@]}"; do
    bare=() start=() end=() growth=()
    for _ in 1 2 3; do
        bare+=("$(run "$platform" "$bench/bench_barewindow" | field rss_start_kb)")
        out=$(run "$platform" "$bench/bench_memory" "$ticks")
        start+=("$(field rss_start_kb <<<"$out")")
        end+=("$(field rss_end_kb <<<"$out")")
        growth+=("$(field growth_kb <<<"$out")")
    done
    b=$(printf '%s\n' "${bare[@]}" | median)
    s=$(printf '%s\n' "${start[@]}" | median)
    e=$(printf '%s\n' "${end[@]}" | median)
    g=$(printf '%s\n' "${growth[@]}" | median)
    printf '%-10s %12s %12s %7s %14s %10s\n' "$platform" "$b" "$s" \
        "$(awk -v s="$s" -v b="$b" 'BEGIN {printf "%.3f", s / b}')" "$e" "$g"
done
echo "(median of 3 runs; ratio = clock after start-up / bare window; growth over $ticks ticks)"
