#!/usr/bin/env bash
# Runs the Windows programs of build-win/Tikvor under wine and checks what a Windows user sees:
# the caption, one whole and correct frame a second on COM2, the start-up boxes, the version
# resources, Tikvor_0 without a taskbar entry and ending when closed, and "Nastavení hodin"
# opening a console window. Screenshots of the Windows program go to docs/.
#
# Safety: wine maps COM ports to /dev/ttyS* by default, and /dev/ttyS0 may be the machine's
# console. Everything runs in a private mount namespace in which every serial device of the
# machine is covered by /dev/null, with wine's ports pointed at a pseudo-terminal of our own
# (given modem lines by the test line shim) or hidden.
#
# usage: tools/windows/wine-test.sh HOST_BUILD   (for the line shim: HOST_BUILD/tests/liblineshim.so)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
top=$PWD

if [ -z "${TIKVOR_WINE_NAMESPACE:-}" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    exec $sudo env TIKVOR_WINE_NAMESPACE=1 unshare --mount --propagation private "$0" "$@"
fi
for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/ttyAMA* /dev/rfcomm*; do
    [ -e "$device" ] && mount --bind /dev/null "$device"
done

build=${1:-build}
shim=$top/$build/tests/liblineshim.so
program=$top/build-win/Tikvor
[ -f "$shim" ] || { echo "no line shim in $build: run tools/dev.sh test first" >&2; exit 2; }
[ -f "$program/Tikvor_1.exe" ] || { echo "no $program: run tools/dev.sh windows" >&2; exit 2; }

source tools/lib.sh
work=$(mktemp -d)
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    lib_cleanup
    rm -rf "$work"
}
trap cleanup EXIT

# --- a desktop, a port and a wine prefix ---------------------------------------------------------

virtual_desktop 800x600x24
new_pty "$work/pty"
pty=$(cat "$work/pty")

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=" # no installer dialogs for .NET and the HTML engine
wine wineboot --init >/dev/null 2>&1
wineserver --wait
# COM2 is our pseudo-terminal; every other port is hidden (an empty value hides a port).
reg() { wine reg add "$@" /f >/dev/null 2>&1; }
for n in 1 3 4 5 6 7 8 9; do reg 'HKLM\Software\Wine\Ports' /v "COM$n" /d ""; done
reg 'HKLM\Software\Wine\Ports' /v COM2 /d "$pty"
# Qt takes its default face from the message font; wine's own ("MS Shell Dlg") is not one Qt
# can match, and it would fall back to a serif. Liberation Sans, 8 points at 96 dpi (LOGFONTW).
logfont=$(python3 -c 'import struct
face = "Liberation Sans".encode("utf-16-le").ljust(64, b"\0")
print(",".join(f"{b:02x}" for b in struct.pack("<5i8B", -11, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 0, 0) + face))')
reg 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /t REG_BINARY /d "${logfont//,/}"
wineserver --kill
wineserver --wait 2>/dev/null || true

# A copy of the program folder per run; LINESHIM_TRACE gets every line change on the pty.
prepare() { # name
    rm -rf "$work/$1"
    cp -r "$program" "$work/$1"
}
start() { # folder exe trace; sets pid
    LD_PRELOAD=$shim LINESHIM_TRACE=$3 wine "$work/$1/$2" >"$work/$1.out" 2>&1 &
    pid=$!
}
window_named() { # pattern, seconds
    local deadline=$((SECONDS + $2)) id=""
    while [ -z "$id" ] && [ $SECONDS -lt $deadline ]; do
        id=$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] || sleep 0.2
    done
    echo "$id"
}
ended_within() { # pid, seconds
    local deadline=$((SECONDS + $2))
    while kill -0 "$1" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}
status_of() { # pid; sets status
    status=0
    wait "$1" || status=$?
}

# --- Tikvor_1: caption, frames, panel, help and console ------------------------------------------

prepare one
start one Tikvor_1.exe "$work/trace1"
win=$(window_named '^Tikvor - COM2$' 60)
check "Tikvor_1 shows the caption \"Tikvor - COM2\"" test -n "$win"
if [ -n "$win" ]; then
    actions1=$(xprop -id "$win" _NET_WM_ALLOWED_ACTIONS)
    check "Tikvor_1 has a taskbar entry" bash -c "! xprop -id $win _NET_WM_STATE | grep -q SKIP_TASKBAR"
    begin=$(date +%s)
    sleep 6
    finish=$(date +%s)
    python3 tools/frames.py "$work/trace1" "$work/one/Data.ini" >"$work/frames1"
    frames_ok() {
        python3 - "$work/frames1" "$begin" "$finish" <<'EOF'
import sys, time
lines = [l.split()[0] for l in open(sys.argv[1])]
begin, finish = int(sys.argv[2]), int(sys.argv[3])
secs = []
for t in lines:
    if "?" in t:
        print("undecodable frame:", t); sys.exit(1)
    h, m, s = map(int, t.split(":"))
    secs.append(h * 3600 + m * 60 + s)
wall = lambda e: (lambda lt: lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec)(time.localtime(e))
if len(secs) < 5:
    print("only", len(secs), "frames"); sys.exit(1)
steps = [(b - a) % 86400 for a, b in zip(secs, secs[1:])]
if any(s != 1 for s in steps):
    print("not one a second:", lines); sys.exit(1)
# Read just after `finish`: the last frame shows that second, the one before or the next.
if (secs[-1] - wall(finish)) % 86400 not in (0, 1, 86399):
    print("last frame", lines[-1], "but the clock said", time.strftime("%H:%M:%S", time.localtime(finish))); sys.exit(1)
print(len(secs), "frames,", lines[0], "to", lines[-1])
EOF
    }
    check "Tikvor_1 sends one whole frame a second with the right time" frames_ok
    mkdir -p docs
    import -window "$win" -frame docs/windows-folded.png
    # NASTAVENÍ unfolds the panel; "Nastavení hodin" lies on it.
    xdotool mousemove --window "$win" 204 99 click 1
    sleep 1
    import -window "$win" -frame docs/windows-unfolded.png
    xdotool mousemove --window "$win" 60 139 click 1
    help=$(window_named '^Tikvor$' 20)
    check "\"Nastavení hodin\" shows its help box" test -n "$help"
    [ -z "$help" ] || xdotool windowactivate --sync "$help" key Return 2>/dev/null || true
    console=$(window_named 'cmd\.exe' 30)
    check "closing the help box opens a console window" test -n "$console"
    wmctrl -i -c "$win"
    check "Tikvor_1 ends when its window is closed" ended_within "$pid" 15
fi
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

# --- Tikvor_0: no taskbar entry, ends when closed -----------------------------------------------

prepare zero
start zero Tikvor_0.exe "$work/trace0"
win=$(window_named '^Tikvor - COM2$' 60)
check "Tikvor_0 shows the caption \"Tikvor - COM2\"" test -n "$win"
if [ -n "$win" ]; then
    sleep 1
    check "Tikvor_0 has no taskbar entry" bash -c "xprop -id $win _NET_WM_STATE | grep -q SKIP_TASKBAR"
    # Wine shows an owned window to the X window manager as a dialog of its (hidden) owner; what
    # a user meets is the same: the window manager allows it what it allows Tikvor_1, minimise
    # included, and it carries the icon.
    actions0=$(xprop -id "$win" _NET_WM_ALLOWED_ACTIONS)
    check "Tikvor_0 can be minimised like Tikvor_1" \
        bash -c "[ \"$actions0\" = \"${actions1:-}\" ] && grep -q MINIMIZE <<<\"$actions0\""
    check "Tikvor_0 carries the icon" bash -c "xprop -id $win _NET_WM_ICON | grep -q 'Icon'"
    wmctrl -i -c "$win"
    check "Tikvor_0 ends when its window is closed" ended_within "$pid" 15
    if ! kill -0 "$pid" 2>/dev/null; then
        status_of "$pid"
        check "Tikvor_0 ends with status 0" test "$status" = 0
    fi
fi
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

# --- start-up boxes ------------------------------------------------------------------------------

# No port opens: every COMn of the program is mapped to a hidden port.
prepare noport
# At the top of the first [Porty] section: only the first section of a name is read.
sed -i 's/^\[Porty\]\r\?$/&\nCOM1=COM9\nCOM2=COM9\nCOM3=COM9\nCOM4=COM9\nCOM5=COM9/' "$work/noport/Data.ini"
grep -q '^COM2=COM9' "$work/noport/Data.ini" || fail "Data.ini without [Porty]"
start noport Tikvor_1.exe "$work/trace-noport"
box=$(window_named '^CHYBA 02$' 60)
check "with no port the box \"CHYBA 02\" appears" test -n "$box"
if [ -n "$box" ]; then
    import -window "$box" -frame "$work/chyba02.png" 2>/dev/null || true
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
    check "after \"CHYBA 02\" the clock runs as COM0" test -n "$(window_named '^Tikvor - COM0$' 20)"
fi
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

# A picture missing: the box, then the program ends with status 3.
prepare nopicture
rm "$work/nopicture/data/s4.gif"
start nopicture Tikvor_1.exe "$work/trace-nopicture"
box=$(window_named '^ERROR 03$' 60)
check "with a picture missing the box \"ERROR 03\" appears" test -n "$box"
if [ -n "$box" ]; then
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
    if ended_within "$pid" 15; then
        status_of "$pid"
        check "after \"ERROR 03\" the program ends with status 3" test "$status" = 3
    else
        fail "after \"ERROR 03\" the program ends"
    fi
fi
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true

# --- version resources, read from the programs themselves ----------------------------------------

eval "$(cmake -P cmake/TikvorFacts.cmake)"
dotted4() { local IFS=.; read -r -a f <<<"$1"; echo "$((10#${f[0]})).$((10#${f[1]})).$((10#${f[2]})).0"; }
versions() { # exe version
    python3 tools/windows/versioninfo.py "$program/$1.exe" \
        "FILEVERSION=$(dotted4 "$2")" "PRODUCTVERSION=$(dotted4 "$2")" "FileVersion=$2" \
        "ProductVersion=$2" "InternalName=$1" "OriginalFilename=$1.exe" \
        "ProductName=$TIKVOR_PRODUCT" "CompanyName=$TIKVOR_COMPANY" \
        "LegalCopyright=$TIKVOR_COPYRIGHT" "Comments=$TIKVOR_URL" "Translation=0x0409/1200"
}
check "Tikvor_1.exe carries its version resource" versions Tikvor_1 "$TIKVOR_VERSION_1"
check "Tikvor_0.exe carries its version resource" versions Tikvor_0 "$TIKVOR_VERSION_0"

echo
summary windows
