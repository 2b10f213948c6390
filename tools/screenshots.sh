#!/usr/bin/env bash
# Redraws the README's screenshots of the real window, folded and unfolded, on a virtual screen
# with a window manager. The clock runs from a folder of its own whose COM2 is a pseudo-terminal
# given modem lines by the test line shim, so no real port is touched. Then the same clock with
# COM1 mapped to the virtual display, beside the display's own window.
# Usage: tools/screenshots.sh [build folder]   (needs Xvfb, openbox, xdotool, imagemagick)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/lib.sh
build=${1:-build}
program=$build/bin/Tikvor_1
shim=$build/tests/liblineshim.so
[ -x "$program" ] && [ -f "$shim" ] || { echo "build first: tools/dev.sh test" >&2; exit 1; }

work=$(mktemp -d)
trap 'lib_cleanup; rm -rf "$work"' EXIT

cp -r "$build/bin/data" "$program" "$work/"
new_pty "$work/pty"
# Every port mapped, at the top of the first (the only one read) [Porty] section: no real
# serial device is ever tried.
ports=$(printf 'COM1=%s\r\nCOM2=%s\r\nCOM3=%s\r\nCOM4=%s\r\nCOM5=%s\r' \
    "$work/none1" "$(cat "$work/pty")" "$work/none3" "$work/none4" "$work/none5")
awk -v ports="$ports" '{ print } /^\[Porty\]/ && !done { print ports; done = 1 }' \
    "$build/bin/Data.ini" >"$work/Data.ini"
grep -q "^COM2=$(cat "$work/pty")" "$work/Data.ini" || { echo "no [Porty] in Data.ini" >&2; exit 1; }

virtual_desktop 400x520x24
LD_PRELOAD=$PWD/$shim QT_QPA_PLATFORM=xcb "$work/Tikvor_1" &
clock=$!
lib_pids+=("$clock")
# The first window whose title matches.
find_window() { # title pattern
    local found=""
    until [ -n "$found" ]; do
        sleep 0.1
        found=$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)
    done
    echo "$found"
}
window=$(find_window '^Tikvor - COM2$')
xdotool windowmove --sync "$window" 20 20
sleep 1.2 # a tick or two, so the frame and the marker are the clock's own
import -window "$window" -frame docs/screenshot-folded.png
# NASTAVENÍ, the panel button, at its place on the clock face.
xdotool mousemove --window "$window" 204 99 click 1
sleep 1.2
import -window "$window" -frame docs/screenshot-unfolded.png
kill "$clock"
wait "$clock" || true

# No adapter: COM1 is the virtual display, and the others lead nowhere.
mkdir "$work/virtual"
cp -r "$build/bin/data" "$program" "$work/virtual/"
ports=$(printf 'COM1=virtual\r\nCOM2=%s\r\nCOM3=%s\r\nCOM4=%s\r\nCOM5=%s\r' \
    "$work/none2" "$work/none3" "$work/none4" "$work/none5")
awk -v ports="$ports" '{ print } /^\[Porty\]/ && !done { print ports; done = 1 }' \
    "$build/bin/Data.ini" >"$work/virtual/Data.ini"
QT_QPA_PLATFORM=xcb "$work/virtual/Tikvor_1" 2>/dev/null &
lib_pids+=($!)
window=$(find_window '^Tikvor - COM1$')
display=$(find_window '^Tikvor - virtu')
xdotool windowmove --sync "$window" 20 20
xdotool windowsize --sync "$display" 360 110 windowmove --sync "$display" 20 190
sleep 1.2
# Both windows with their frames, and the desktop's edge around them.
import -window root -crop 400x340+0+0 docs/screenshot-virtual.png
echo "docs/screenshot-folded.png docs/screenshot-unfolded.png docs/screenshot-virtual.png"
