#!/usr/bin/env bash
# Builds the Debian package and checks it as installed, without installing it on this machine:
# lintian, desktop-file-validate and appstreamcli on what it holds; then the package is unpacked
# into a temporary root, and the installed Tikvor_1, started there through its link in
# usr/bin, must find its pictures and Data.ini through the links and send a frame a second.
# The unpacked Data.ini maps COM2 to a pseudo-terminal of our own (given modem lines by the
# test line shim) and every other port to a missing path: no real serial device is touched.
# usage: tools/package-check.sh BUILD   (a built host build folder, e.g. build)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
shim=$PWD/$build/tests/liblineshim.so

source tools/lib.sh
work=$(mktemp -d)
trap 'lib_cleanup; rm -rf "$work"' EXIT

rm -f "$build"/tikvor_*.deb
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$build"/tikvor_*.deb)

lintian_clean() {
    lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' >"$work/lintian" ||
        true
    ! grep -q '^E:' "$work/lintian" || { cat "$work/lintian"; return 1; }
}
check "lintian reports no error in $(basename "$deb")" lintian_clean

root=$work/root
dpkg-deb -x "$deb" "$root"
check "the menu entries validate" desktop-file-validate "$root"/usr/share/applications/*.desktop
check "the AppStream metainfo validates" \
    bash -c "appstreamcli validate --no-net '$root'/usr/share/metainfo/*.metainfo.xml >'$work/appstream' 2>&1 || { cat '$work/appstream'; false; }"
check "icons for the menus, 16 to 256 pixels" \
    test "$(ls "$root"/usr/share/icons/hicolor/*/apps/example.krv_software.Tikvor.png | wc -l)" -ge 7
check "Data.ini is a configuration file of the package" \
    bash -c "dpkg-deb -I '$deb' conffiles | grep -qx /etc/tikvor/Data.ini"
check "the program folder reaches Data.ini through its link" \
    test "$(readlink -f "$root/usr/lib/tikvor/Data.ini")" = "$root/etc/tikvor/Data.ini"

unit_ok() {
    local unit=$work/tikvor-display.service
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" \
        "$root/usr/lib/systemd/system/tikvor-display.service" >"$unit"
    systemd-analyze verify --man=no "$unit" >"$work/verify" 2>&1 || { cat "$work/verify"; return 1; }
    [ ! -s "$work/verify" ] || { cat "$work/verify"; return 1; }
}
check "the systemd unit passes systemd-analyze verify" unit_ok
unit_exposure() { # at most 2.0 of 10 by systemd's own measure
    local level
    level=$(systemd-analyze security --offline=true --no-pager "$work/tikvor-display.service" 2>&1 |
        sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    echo "exposure $level"
    awk -v l="$level" 'BEGIN { exit !(l != "" && l + 0 <= 2.0) }'
}
check "the service's exposure is 2.0 or less" unit_exposure
check "the service is installed, not enabled" \
    bash -c "! dpkg-deb -c '$deb' | grep -q '\.wants/' && ! dpkg-deb -I '$deb' postinst >/dev/null 2>&1"

# A pseudo-terminal of our own for each program: one killed by timeout leaves its exclusive
# flag on a terminal that is still held open.
fresh_pty() {
    new_pty "$work/pty"
    sed -i "s|^COM2=.*|COM2=$(cat "$work/pty")|" "$root/etc/tikvor/Data.ini"
    rm -f "$work/trace" "$work/pty"
}
# At the top of the first [Porty] section: only the first section of a name is read.
sed -i "s|^\[Porty\]\r\?\$|&\nCOM1=$work/none1\nCOM2=\nCOM3=$work/none3\nCOM4=$work/none4\nCOM5=$work/none5|" \
    "$root/etc/tikvor/Data.ini"
check "the unpacked Data.ini maps every port away from the machine's own" \
    bash -c "[ \$(grep -c '^COM[1-5]=' '$root/etc/tikvor/Data.ini') -eq 5 ]"

fresh_pty
(cd / && LD_PRELOAD=$shim LINESHIM_TRACE=$work/trace QT_QPA_PLATFORM=offscreen \
    timeout -s TERM 4 "$root/usr/bin/tikvor" >"$work/out" 2>&1) || true
python3 tools/frames.py "$work/trace" "$root/etc/tikvor/Data.ini" >"$work/frames"
ticks_ok() {
    local n
    n=$(grep -c '^[0-2][0-9]:[0-5][0-9]:[0-5][0-9] ' "$work/frames" || true)
    [ "$n" -ge 3 ] || { echo "only $n frames"; cat "$work/out"; return 1; }
    echo "$n frames: $(head -n 1 "$work/frames" | cut -d' ' -f1) to $(tail -n 1 "$work/frames" | cut -d' ' -f1)"
}
check "the installed tikvor finds its files and sends a frame a second" ticks_ok

fresh_pty
(cd / && LD_PRELOAD=$shim LINESHIM_TRACE=$work/trace \
    timeout -s TERM 4 "$root/usr/bin/tikvor-display" >"$work/out" 2>&1) || true
python3 tools/frames.py "$work/trace" "$root/etc/tikvor/Data.ini" >"$work/frames"
check "the installed tikvor-display sends a frame a second" ticks_ok

summary package
