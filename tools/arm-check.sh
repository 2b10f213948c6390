#!/usr/bin/env bash
# Checks Tikvor's arm packages (dpkg-buildpackage -aARCH) on this machine, without installing
# them: they are unpacked into one temporary root, their programs must be built for ARCH, and
# they run under qemu with the libraries of the sysroot they were built against
# (tools/sysroot.sh ARCH). tikvor-display must show the time on the virtual port; tikvor-display
# and tikvor (Tikvor_1, on a virtual screen) must send a frame a second to a pseudo-terminal of
# our own, given modem lines by the arm build of the test line shim. The unpacked Data.ini maps
# every other port to a missing path: no real serial device is touched.
# usage: tools/arm-check.sh arm64|armhf SYSROOT SHIM DEB...
#   SHIM: liblineshim.so of the same architecture (an arm build folder's tests/liblineshim.so)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -ge 4 ] || { echo "usage: $0 arm64|armhf SYSROOT SHIM DEB..." >&2; exit 2; }
arch=$1
sysroot=$(realpath "$2")
shim=$(realpath "$3")
shift 3
case $arch in
arm64) qemu=qemu-aarch64-static machine=AArch64 triplet=aarch64-linux-gnu ;;
armhf) qemu=qemu-arm-static machine=ARM triplet=arm-linux-gnueabihf ;;
*) echo "$0: no such architecture: $arch" >&2; exit 2 ;;
esac
# Emulated, the programs start and tick more slowly than the host's: runs are longer than
# package-check's, but still bounded.
seconds=8

source tools/lib.sh
work=$(mktemp -d)
trap 'lib_cleanup; rm -rf "$work"' EXIT
root=$work/root
for deb in "$@"; do
    dpkg-deb -x "$deb" "$root"
done
ini=$root/etc/tikvor/Data.ini
[ -f "$ini" ] || { echo "$0: no etc/tikvor/Data.ini in $*" >&2; exit 1; }

elf_is_arch() { # file
    readelf -h "$1" >"$work/elf" || return 1
    grep -q "Machine: *$machine\$" "$work/elf" || { grep Machine: "$work/elf"; return 1; }
    # An armhf system runs no soft-float program.
    [ "$arch" != armhf ] || grep -q 'hard-float' "$work/elf"
}
for program in tikvor-display Tikvor_1 Tikvor_0; do
    check "$program is built for $arch" elf_is_arch "$root/usr/lib/tikvor/$program"
done
check "the line shim is built for $arch" elf_is_arch "$shim"

check "the unpacked Data.ini maps every port away from the machine's own" ports_away "$ini" "$work"

# The guest's own loader takes the preload (qemu itself is static), from the sysroot's libraries.
# qemu looks in the sysroot first for the files a program opens, but not for what it only tests
# with access(): Qt would find no plugin folder, so it is named by its place on this machine.
guest() { # program args...
    (cd / && timeout -k 5 -s TERM "$seconds" "$qemu" -L "$sysroot" -E "LD_PRELOAD=$shim" \
        -E "LINESHIM_TRACE=$work/trace" -E "QT_PLUGIN_PATH=$sysroot/usr/lib/$triplet/qt6/plugins" \
        "$@" >"$work/out" 2>&1) || true
}

# Not on a terminal, the virtual display prints one line a frame, its dots among the digits.
map_port "$ini" 1 virtual
guest "$root/usr/bin/tikvor-display" --port COM1
displays_ok() {
    local n
    n=$(tr -d '.\r' <"$work/out" | grep -E '^[0-9]{6}$' | sort -u | wc -l)
    [ "$n" -ge 2 ] || { echo "only $n different times shown"; cat "$work/out"; return 1; }
    echo "$n different times shown, the last $(grep -E '^[0-9.]+$' "$work/out" | tail -n 1)"
}
check "tikvor-display shows the time on the virtual port" displays_ok
map_port "$ini" 1 "$work/none1"

pty_as_com2 "$ini" "$work"
guest "$root/usr/bin/tikvor-display"
check "tikvor-display sends a frame a second" frames_ok "$work/trace" "$ini" "$work/out"

virtual_desktop 1024x768x24
pty_as_com2 "$ini" "$work"
QT_QPA_PLATFORM=xcb guest "$root/usr/bin/tikvor" &
clock=$!
window_shown() {
    local tries
    for ((tries = 0; tries < seconds * 10; tries++)); do
        xdotool search --name '^Tikvor - COM2$' >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
check "tikvor shows its window on the X server" window_shown
wait "$clock"
check "tikvor sends a frame a second" frames_ok "$work/trace" "$ini" "$work/out"

summary "arm $arch"
