#!/usr/bin/env bash
# Runs the Windows programs of build-win/Tikvor under wine and checks what a Windows user sees:
# the caption, one whole and correct frame a second on COM2, the start-up boxes, the version
# resources, Tikvor_0 without a taskbar entry and ending when closed, and "Nastavení hodin"
# opening a console window. Screenshots of the Windows program go to docs/. Then the installer,
# in a prefix of its own: refused on Windows 7, installed silently, the files, shortcuts and
# uninstall entry, all three programs run from the installed folder, an upgrade over an edited
# Data.ini, and the removal.
#
# Safety: wine maps COM ports to /dev/ttyS* by default, and /dev/ttyS0 may be the machine's
# console. Everything runs in a private mount namespace in which every serial device of the
# machine is covered by /dev/null, with wine's ports pointed at a pseudo-terminal of our own
# (given modem lines by the test line shim) or hidden.
#
# usage: tools/windows/wine-test.sh HOST_BUILD   (for the line shim: HOST_BUILD/tests/liblineshim.so)
#   TIKVOR_SIGN_CA: the certificate the programs and the installer were signed with, if they were
#   (tools/dev.sh test-windows signs them with a throw-away one); their signatures must verify.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
top=$PWD

if [ -z "${TIKVOR_WINE_NAMESPACE:-}" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    exec $sudo env TIKVOR_WINE_NAMESPACE=1 TIKVOR_SIGN_CA="${TIKVOR_SIGN_CA:-}" \
        unshare --mount --propagation private "$0" "$@"
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
    wineserver -k 2>/dev/null || true
    lib_cleanup
    rm -rf "$work"
}
trap cleanup EXIT

# --- a desktop, a port and a wine prefix ---------------------------------------------------------

virtual_desktop 800x600x24
new_pty "$work/pty"
pty=$(cat "$work/pty")

export WINEDEBUG=-all WINEARCH=win64
# No installer dialogs for .NET and the HTML engine; no menu entries on this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
reg() { wine reg add "$@" /f >/dev/null 2>&1; }
new_prefix() { # folder; exports WINEPREFIX
    export WINEPREFIX=$1
    wine wineboot --init >/dev/null 2>&1
    wineserver --wait
    # COM2 is our pseudo-terminal; every other port leads to a missing path, so it opens
    # nothing. (An empty value does not hide a port: wine 8 then opens /dev/ttyS<n-1>, which
    # this namespace covers, as it does for every check here.)
    for n in 1 3 4 5 6 7 8 9; do reg 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$work/no-com$n"; done
    reg 'HKLM\Software\Wine\Ports' /v COM2 /d "$pty"
    # Qt takes its default face from the message font; wine's own ("MS Shell Dlg") is not one Qt
    # can match, and it would fall back to a serif. Liberation Sans, 8 points at 96 dpi (LOGFONTW).
    local logfont
    logfont=$(python3 -c 'import struct
face = "Liberation Sans".encode("utf-16-le").ljust(64, b"\0")
print(",".join(f"{b:02x}" for b in struct.pack("<5i8B", -11, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 0, 0) + face))')
    reg 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /t REG_BINARY /d "${logfont//,/}"
    wineserver --kill
    wineserver --wait 2>/dev/null || true
}
new_prefix "$work/prefix"

# A copy of the program folder per run; LINESHIM_TRACE gets every line change on the pty.
prepare() { # name
    rm -rf "$work/$1"
    cp -r "$program" "$work/$1"
}
start() { # folder (in $work, or a full path) exe trace [arguments...]; sets pid
    local folder=$1 exe=$2 trace=$3
    shift 3
    [[ $folder == /* ]] || folder=$work/$folder
    LD_PRELOAD=$shim LINESHIM_TRACE=$trace wine "$folder/$exe" "$@" >"$trace.out" 2>&1 &
    pid=$!
}
# The line as the display was left: whole frames only, DTR released and break off at the end.
at_rest() { # trace
    python3 - "$1" <<'PY'
import sys
sys.path.insert(0, "tools")
import frames
trace = open(sys.argv[1], "rb").read().decode("latin-1")
sent = len(frames.bits(trace))
dtr = [c for c in trace if c in "Dd"][-1:] or ["d"]
brk = [c for c in trace if c in "Bb"][-1:] or ["b"]
if sent % 48 or sent == 0 or dtr != ["d"] or brk != ["b"]:
    print(f"{sent} bits ({sent % 48} past a whole frame), last DTR {dtr}, last break {brk}")
    sys.exit(1)
PY
}
# Lets a program run until its trace holds COUNT frames: counted from its first frame, not from
# the start of the process (wine starts slowly on a loaded machine), and never longer than
# LIMIT seconds. Notes when it stopped waiting (seconds since the epoch).
run_frames() { # trace, Data.ini, count, limit
    local deadline=$((SECONDS + $4)) n
    while [ $SECONDS -lt "$deadline" ]; do
        n=$(python3 tools/frames.py "$1" "$2" 2>/dev/null | grep -c '^[0-2][0-9]:' || true)
        [ "$n" -lt "$3" ] || break
        sleep 0.5
    done
    finish=$(date +%s)
}
frames_sent() { # trace Data.ini: the frames of a trace decoded and checked against finish
    python3 tools/frames.py "$1" "$2" >"$1.frames" && frames_ok "$1.frames" "$finish"
}
frames_ok() { # decoded frames, finish (seconds since the epoch)
    python3 - "$@" <<'EOF'
import sys, time
lines = [l.split()[0] for l in open(sys.argv[1])]
finish = int(sys.argv[2])
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
until_within() { # seconds, command...: runs the command until it succeeds, for that long at most
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.5
    done
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
    run_frames "$work/trace1" "$work/one/Data.ini" 6 60
    check "Tikvor_1 sends one whole frame a second with the right time" \
        frames_sent "$work/trace1" "$work/one/Data.ini"
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

# No port opens: every COMn of the program is mapped to COM9, which leads to a missing path.
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

# tikvor-display says the same on its standard error; redirected, its Czech letters are UTF-8.
start noport tikvor-display.exe "$work/trace-noport-display"
until_within 60 grep -q 'Nelze otevřít žádný port' "$work/trace-noport-display.out" || true
kill -INT "$pid" 2>/dev/null || true
ended_within "$pid" 10 || kill "$pid" 2>/dev/null || true
check "tikvor-display writes its Czech messages to a file as UTF-8" \
    grep -q 'Nelze otevřít žádný port' "$work/trace-noport-display.out"
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

# A port mapped to "virtual": tikvor-display prints what the emulated display shows, a line a
# frame; --wire finds its wiring from answers piped in and prints only the section.
prepare virtual
sed -i 's/^\[Porty\]\r\{0,1\}$/&\nCOM4=virtual/' "$work/virtual/Data.ini"
start virtual tikvor-display.exe "$work/trace-virtual" --port COM4
virtual_lines() { [ "$(tr -d '\r' <"$work/trace-virtual.out" | grep -cE '^([0-9]\.?){6}$')" -ge 2 ]; }
until_within 60 virtual_lines || true
kill -INT "$pid" 2>/dev/null || true
ended_within "$pid" 10 || kill "$pid" 2>/dev/null || true
check "tikvor-display on a virtual port prints a line a frame with the time it shows" virtual_lines
status=0
printf 'a\nb\nc\nd\ne\nf\ng\ndp\n' |
    timeout 60 wine "$work/virtual/tikvor-display.exe" --wire --port COM4 \
        >"$work/wire.out" 2>"$work/wire.err" || status=$?
check "tikvor-display --wire on a virtual port ends with status 0 and only the section" \
    bash -c '[ "$1" = 0 ] && [ "$(tr -d "\r" <"$2" | head -3 | tr "\n" " ")" = "[Znaky] 0=11111100 1=01100000 " ] &&
        [ "$(grep -c . "$2")" = 11 ]' _ "$status" "$work/wire.out"
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
check "tikvor-display.exe carries its version resource" versions tikvor-display "$TIKVOR_VERSION_1"
# The Windows version each program needs, in its headers and its manifest: Windows 10 for the
# window programs (Qt's platform plugin), Windows 8 for tikvor-display.
needs() { # exe major.minor
    local headers
    headers=$(x86_64-w64-mingw32-objdump -p "$program/$1.exe")
    grep -qE "^MajorSubsystemVersion\s+${2%.*}$" <<<"$headers" &&
        grep -qE "^MinorSubsystemVersion\s+${2#*.}$" <<<"$headers" &&
        grep -q 'longPathAware' "$program/$1.exe"
}
crlf() { [ "$(grep -vc $'\r$' "$1")" = 0 ]; }
check "Data.ini has Windows line ends (CRLF)" crlf "$program/Data.ini"
tsaware() { # exe: IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE in its headers
    # Read whole first: grep -q leaving the pipe early would fail it (pipefail).
    local headers
    headers=$(x86_64-w64-mingw32-objdump -p "$program/$1.exe")
    grep -q 'TERMINAL_SERVICE_AWARE' <<<"$headers"
}
for exe in Tikvor_1 Tikvor_0 tikvor-display; do
    check "$exe.exe is marked terminal-server aware" tsaware "$exe"
done
check "Tikvor_1.exe and Tikvor_0.exe state Windows 10 and carry the manifest" \
    bash -c "$(declare -f needs); program='$program'; needs Tikvor_1 10.0 && needs Tikvor_0 10.0"
check "tikvor-display.exe states Windows 8 and carries the manifest" \
    bash -c "$(declare -f needs); program='$program'; needs tikvor-display 6.2"

# --- the installer, in a prefix of its own -------------------------------------------------------

msi=$top/build-win/Tikvor-$TIKVOR_VERSION_1-x64.msi
[ -f "$msi" ] || { fail "no $msi: run tools/dev.sh windows"; summary windows; exit; }
signed() { # file: an Authenticode signature that verifies against TIKVOR_SIGN_CA
    osslsigncode verify -CAfile "$TIKVOR_SIGN_CA" -in "$1" >"$work/verify" 2>&1 ||
        { tail -n 5 "$work/verify"; return 1; }
}
if [ -n "${TIKVOR_SIGN_CA:-}" ]; then
    for file in "$program"/*.exe "$msi"; do
        check "$(basename "$file") is signed, and the signature verifies" signed "$file"
    done
fi
versioned() { # the File table gives each program its version, as Windows Installer compares it
    msiinfo export "$msi" File | awk -F '\t' -v v="$TIKVOR_VERSION.0" '
        $3 ~ /^(Tikvor_1|tikvor-display)\.exe$/ && $5 == v { n++ } END { exit n != 2 }'
}
check "the installer states the programs' versions" versioned
# The same folder once more with the same version (another build: another product code), and as
# two later versions, for the upgrades.
IFS=. read -r major minor build <<<"$TIKVOR_VERSION"
next=$major.$minor.$((build + 1))
after=$major.$minor.$((build + 2))
tools/windows/msi.sh "$program" "$work/Tikvor-again.msi" >/dev/null
tools/windows/msi.sh --version "$next" "$program" "$work/Tikvor-next.msi" >/dev/null
tools/windows/msi.sh --version "$after" "$program" "$work/Tikvor-after.msi" >/dev/null
new_prefix "$work/msiprefix"
installed="$WINEPREFIX/drive_c/Program Files/Tikvor"
msiexec() { wine msiexec "$@" /qn >/dev/null 2>&1; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# The values of Tikvor's entry in the installed programs list, "Name value" a line.
entry() {
    wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
        /^HKEY/ { if (tikvor) printf "%s", block; block = ""; tikvor = 0; next }
        /^ +DisplayName +REG_SZ +Tikvor$/ { tikvor = 1 }
        NF >= 3 { name = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); block = block name " " $0 "\n" }
        END { if (tikvor) printf "%s", block }'
}
files_of() { (cd "$1" && find . -type f | LC_ALL=C sort); }
not_autostarted() { ! wine reg query "$run_key" /v Tikvor >/dev/null 2>&1; }

# A new prefix stands for Windows 7, on which the programs cannot run.
check "the installer refuses Windows 7" bash -c '! wine msiexec /i "$1" /qn >/dev/null 2>&1' _ "$msi"
check "nothing is installed on Windows 7" test ! -e "$installed"
wine winecfg -v win10 >/dev/null 2>&1
check "the installer installs silently (msiexec /i /qn)" msiexec /i "$msi"
check "the installed files are those of the folder" \
    diff <(files_of "$program") <(files_of "$installed")
check "every DLL imported is shipped or a Windows system DLL" \
    python3 tools/windows/dlls.py check --system /usr/x86_64-w64-mingw32/lib "$installed"
listed=$(entry)
check "the installed programs list shows Tikvor $TIKVOR_VERSION by $TIKVOR_COMPANY with its help link" \
    bash -c 'grep -qx "DisplayVersion $2" <<<"$1" && grep -qx "Publisher $3" <<<"$1" &&
        grep -qx "HelpLink $4" <<<"$1"' _ "$listed" "$TIKVOR_VERSION" "$TIKVOR_COMPANY" "$TIKVOR_URL"
check "the entry names the installed folder (InstallLocation)" \
    grep -qxF 'InstallLocation C:\Program Files\Tikvor\' <<<"$listed"
check "the entry carries the icon" \
    bash -c 'wine reg query "HKLM\Software\Classes\Installer\Products" /s | grep -q "ProductIcon.*\.ico"'
menu_has() { # target: an entry in the Start menu folder Tikvor points at it
    local lnk
    while IFS= read -r -d '' lnk; do
        strings "$lnk" | tr -d '\r' | grep -qxF "$1" && return 0
    done < <(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Tikvor/*.lnk' -print0)
    return 1
}
for target in 'C:\Program Files\Tikvor\Tikvor_1.exe' 'C:\Program Files\Tikvor\Tikvor_0.exe' \
    'C:\Program Files\Tikvor\'; do
    check "a Start menu entry opens $target" menu_has "$target"
done
check "no start at login without AUTOSTART=1" not_autostarted
check "another build of the same version installs over it" msiexec /i "$work/Tikvor-again.msi"
check "the installed programs list then shows Tikvor once" \
    test "$(entry | grep -c '^DisplayVersion ')" = 1

# Asked to end as Windows asks: taskkill without /F sends WM_CLOSE to the program's top-level
# windows; the end of the session comes as WM_QUERYENDSESSION and WM_ENDSESSION to them
# (wineboot --end-session sends those). A console program that loads user32 gets no console
# event for the latter on Windows, only the messages.
ask_to_end() { # how: taskkill | end-session
    case $1 in
    taskkill) wine taskkill /im tikvor-display.exe >/dev/null 2>&1 || true ;;
    end-session) wine wineboot --end-session >/dev/null 2>&1 || true ;;
    esac
}
# The programs from the installed folder: the window, and tikvor-display on COM2.
start "$installed" Tikvor_1.exe "$work/trace-installed"
win=$(window_named '^Tikvor - COM2$' 60)
check "the installed Tikvor_1 shows the caption \"Tikvor - COM2\"" test -n "$win"
if [ -n "$win" ]; then
    run_frames "$work/trace-installed" "$installed/Data.ini" 5 60
    check "the installed Tikvor_1 sends whole frames with the right time" \
        frames_sent "$work/trace-installed" "$installed/Data.ini"
    ask_to_end end-session
    check "the installed Tikvor_1 ends at the session's end" ended_within "$pid" 15
    check "after the session's end its last frame is whole and the lines are at rest" \
        at_rest "$work/trace-installed"
fi
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

start "$installed" tikvor-display.exe "$work/trace-display" --port COM2
run_frames "$work/trace-display" "$installed/Data.ini" 6 60
# Ctrl+C: wine turns SIGINT into CTRL_C_EVENT for the program's console handler.
kill -INT "$pid" 2>/dev/null || true
if ended_within "$pid" 10; then
    status_of "$pid"
    check "tikvor-display ends on Ctrl+C with status 0" test "$status" = 0
else
    fail "tikvor-display ends on Ctrl+C"
fi
check "tikvor-display --port COM2 sends whole frames with the right time" \
    frames_sent "$work/trace-display" "$installed/Data.ini"
check "after Ctrl+C the last frame is whole and the lines are at rest" at_rest "$work/trace-display"
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

for way in taskkill end-session; do
    start "$installed" tikvor-display.exe "$work/trace-$way" --port COM2
    run_frames "$work/trace-$way" "$installed/Data.ini" 3 60
    ask_to_end "$way"
    if ended_within "$pid" 15; then
        status_of "$pid"
        check "tikvor-display ends on $way with status 0" test "$status" = 0
    else
        fail "tikvor-display ends on $way"
    fi
    check "after $way the last frame is whole and the lines are at rest" at_rest "$work/trace-$way"
    kill "$pid" 2>/dev/null || true
    wineserver --kill 2>/dev/null || true
    wineserver --wait 2>/dev/null || true
done

# --test: each of the 48 bits alone, numbered on standard output, then it ends by itself.
start "$installed" tikvor-display.exe "$work/trace-test" --port COM2 --test
if ended_within "$pid" 90; then
    status_of "$pid"
    check "tikvor-display --test says each of the 48 steps and ends with status 0" \
        bash -c '[ "$1" = 0 ] && [ "$(grep -c . "$2")" -ge 48 ]' _ "$status" "$work/trace-test.out"
else
    fail "tikvor-display --test ends by itself"
fi
kill "$pid" 2>/dev/null || true
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

# The upgrade: Data.ini edited as a user would, then the later version installed over it.
printf '; upraveno\r\n' >>"$installed/Data.ini"
edited=$(sha256sum <"$installed/Data.ini")
check "a later version installs over it silently, with AUTOSTART=1" \
    msiexec /i "$work/Tikvor-next.msi" AUTOSTART=1
listed=$(entry)
check "after the upgrade the installed programs list shows $next, once" \
    bash -c '[ "$(grep -c "^DisplayVersion " <<<"$1")" = 1 ] && grep -qx "DisplayVersion $2" <<<"$1"' \
    _ "$listed" "$next"
check "the edited Data.ini survives the upgrade" test "$(sha256sum <"$installed/Data.ini")" = "$edited"
check "the upgrade keeps the files of the folder" \
    diff <(files_of "$program") <(files_of "$installed")
autostarted() { wine reg query "$run_key" /v Tikvor | grep -qF "Tikvor\Tikvor_1.exe"; }
check "AUTOSTART=1 starts Tikvor_1 at login" autostarted
check "the next version installs over it without AUTOSTART=1" msiexec /i "$work/Tikvor-after.msi"
check "the start at login survives that upgrade" autostarted

# The removal leaves the edited Data.ini and nothing else.
check "the removal runs silently (msiexec /x /qn)" msiexec /x "$work/Tikvor-after.msi"
check "after the removal only the edited Data.ini is left" \
    bash -c '[ "$(cd "$1" && find . -mindepth 1)" = "./Data.ini" ] &&
        [ "$(sha256sum <"$1/Data.ini")" = "$2" ]' _ "$installed" "$edited"
check "the Start menu entries are gone" \
    test -z "$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Tikvor*')"
check "the installed programs list no longer shows Tikvor" test -z "$(entry)"
check "no start at login is left" not_autostarted

echo
summary windows
