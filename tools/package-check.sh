#!/usr/bin/env bash
# Checks the Debian packages built from the source package (tools/debian-build.sh) without
# installing them on this machine: lintian on the source and binary packages; what the headless
# package pulls in; the menu entries, metainfo and unit; an upgrade from the single package of
# 1.00.0021 and a purge, by dpkg in a root of its own; then both packages unpacked into a
# temporary root, where the installed programs must find their files through the links and send
# a frame a second. The unpacked Data.ini maps COM2 to a pseudo-terminal of our own (given modem
# lines by the test line shim) and every other port to a missing path: no real serial device is
# touched.
# usage: tools/package-check.sh BUILD   (a built host build folder for the line shim, e.g. build)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
shim=$PWD/$build/tests/liblineshim.so
arch=$(dpkg --print-architecture)
version=$(dpkg-parsechangelog -S Version)
display_deb=$PWD/build-deb/$arch/tikvor-display_${version}_$arch.deb
window_deb=$PWD/build-deb/$arch/tikvor_${version}_$arch.deb
[ -f "$display_deb" ] && [ -f "$window_deb" ] ||
    { echo "no packages of $version for $arch: run tools/debian-build.sh first" >&2; exit 1; }

source tools/lib.sh
work=$(mktemp -d)
trap 'lib_cleanup; rm -rf "$work"' EXIT

lintian_clean() { # errors and warnings fail; pedantic notes are shown
    lintian --pedantic --fail-on error,warning build-deb/tikvor_"$version".dsc \
        build-deb/*/tikvor_"${version}"_*.changes >"$work/lintian" 2>&1
    local status=$?
    grep -v '^P:\|running with root privileges' "$work/lintian" || true
    echo "$(grep -c '^P:' "$work/lintian") pedantic notes: $(sed -n 's/^P: [^:]*: \([^ ]*\).*/\1/p' \
        "$work/lintian" | sort -u | tr '\n' ' ')"
    return $status
}
check "lintian --pedantic: no error or warning in the source package and every binary package built" lintian_clean

# The headless package's whole dependency closure, as apt sees it here: Qt Core and what it
# needs, nothing of Qt Gui, X or OpenGL.
headless_closure() {
    local deps
    deps=$(dpkg-deb -f "$display_deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g')
    # shellcheck disable=SC2086
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances $deps | grep -v '^ ' | sort -u >"$work/closure"
    echo "$(wc -l <"$work/closure") packages"
    ! grep -E '^(libqt6(gui|widgets|opengl|dbus)|libx11|libxcb|libgl1|libglx|libopengl|libegl|libgbm|libdrm|mesa|libwayland|libfontconfig|libfreetype)' \
        "$work/closure"
}
check "tikvor-display pulls in no graphical library" headless_closure

root=$work/root
dpkg-deb -x "$display_deb" "$root"
dpkg-deb -x "$window_deb" "$root"
check "the menu entries validate" desktop-file-validate "$root"/usr/share/applications/*.desktop
check "the AppStream metainfo validates" \
    bash -c "appstreamcli validate --no-net '$root'/usr/share/metainfo/*.metainfo.xml >'$work/appstream' 2>&1 || { cat '$work/appstream'; false; }"
check "icons for the menus, 16 to 256 pixels" \
    test "$(ls "$root"/usr/share/icons/hicolor/*/apps/example.krv_software.Tikvor.png | wc -l)" -ge 7
check "Data.ini is a configuration file of the package" \
    bash -c "dpkg-deb -I '$display_deb' conffiles | grep -qx /etc/tikvor/Data.ini"
check "the program folder reaches Data.ini through its link" \
    test "$(readlink -f "$root/usr/lib/tikvor/Data.ini")" = "$root/etc/tikvor/Data.ini"

unit_ok() {
    local unit=$work/tikvor-display.service
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" \
        "$root"/usr/lib/systemd/system/tikvor-display.service >"$unit"
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

# dpkg with a root and a database of its own. The maintainer scripts run outside a chroot with
# DPKG_ROOT set, which debhelper's scripts and deb-systemd-helper honour; they find no systemd
# running there, as on a machine being installed.
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(unshare -r)
dpkg_in() { # root, dpkg arguments...
    local r=$1
    shift
    "${as_root[@]}" dpkg --root="$r" --force-script-chrootless --force-depends --log=/dev/null \
        "$@" </dev/null
}
new_root() { # a merged /usr, as Debian 12 has it
    mkdir -p "$1"/var/lib/dpkg/{info,updates,triggers} "$1"/usr/lib "$1"/etc
    ln -s usr/lib "$1/lib"
    : >"$1/var/lib/dpkg/status"
}
leftovers() { # root: what the packages left behind of their own, or of the service's state
    find "$1/etc" "$1/var/lib/systemd" "$1/usr/lib/tikvor" "$1/usr/share/doc/tikvor-display" \
        -mindepth 1 2>/dev/null | grep -v '/etc/systemd\(/system\)\?$' || true
}

# The single package of 1.00.0021, as CPack made it (apt installs its successors over it with
# --auto-deconfigure, as below): everything in one,
# Data.ini its conffile, no maintainer scripts.
old=$work/old
dpkg-deb -x "$display_deb" "$old"
dpkg-deb -x "$window_deb" "$old"
mkdir -p "$old/DEBIAN"
rm -rf "$old/usr/share/doc"
printf 'Package: tikvor\nVersion: 1.00.0021\nArchitecture: %s\nMaintainer: %s\nDescription: %s\n' \
    "$arch" "Tikvor team <tikvor@krv-software.example>" "desk clock" >"$old/DEBIAN/control"
echo /etc/tikvor/Data.ini >"$old/DEBIAN/conffiles"
dpkg-deb --root-owner-group -b "$old" "$work/tikvor_1.00.0021_$arch.deb" >/dev/null

upgrade=$work/upgrade
new_root "$upgrade"
edit="; the user's own line, kept through the upgrade"
wants=$upgrade/etc/systemd/system/multi-user.target.wants
upgraded() {
    dpkg_in "$upgrade" -i "$work/tikvor_1.00.0021_$arch.deb" >"$work/dpkg" 2>&1 &&
        echo "$edit" >>"$upgrade/etc/tikvor/Data.ini" &&
        mkdir -p "$wants" && ln -s /usr/lib/systemd/system/tikvor-display.service "$wants/" &&
        dpkg_in "$upgrade" --auto-deconfigure -i "$display_deb" "$window_deb" >>"$work/dpkg" 2>&1 ||
        { cat "$work/dpkg"; return 1; }
    ! grep -qi 'configuration file' "$work/dpkg" || { cat "$work/dpkg"; return 1; }
    grep -qxF "$edit" "$upgrade/etc/tikvor/Data.ini" &&
        [ "$(dpkg-query --admindir="$upgrade/var/lib/dpkg" -S /etc/tikvor/Data.ini)" = \
            "tikvor-display: /etc/tikvor/Data.ini" ] &&
        [ -L "$wants/tikvor-display.service" ] &&
        [ -f "$upgrade/lib/systemd/system/tikvor-display.service" ]
}
check "an upgrade from 1.00.0021 keeps the edited Data.ini, unasked, and the enabled service's unit and link" upgraded
purged() {
    dpkg_in "$upgrade" --purge tikvor tikvor-display >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; return 1; }
    local left
    left=$(leftovers "$upgrade")
    [ -z "$left" ] || { echo "left: $left"; cat "$work/dpkg"; return 1; }
}
check "a purge leaves nothing: no Data.ini, no link of the enabled service, no state" purged
fresh=$work/fresh
new_root "$fresh"
installed_disabled() {
    dpkg_in "$fresh" -i "$display_deb" >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; return 1; }
    [ -z "$(find "$fresh/etc" -name '*.wants')" ]
}
check "a fresh install leaves the service disabled" installed_disabled

# What the scripts ask of a running systemd, from stand-ins for its tools: a restart on upgrade
# (deb-systemd-invoke restarts only an enabled unit), a stop on removal.
scripts_ask() {
    local stubs=$work/stubs c
    mkdir -p "$stubs" "$work/ctl"
    dpkg-deb -e "$display_deb" "$work/ctl"
    for c in deb-systemd-invoke deb-systemd-helper systemctl; do
        printf '#!/bin/sh\necho "%s $*" >>"%s"\n[ "$1" != debian-installed ]\n' "$c" "$work/calls" \
            >"$stubs/$c"
        chmod +x "$stubs/$c"
    done
    unshare -rm sh -c "mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/system &&
        export PATH=$stubs:\$PATH && sh $work/ctl/postinst configure 1.00.0021 &&
        sh $work/ctl/prerm remove && sh $work/ctl/postrm remove" || return 1
    grep -qx "deb-systemd-invoke restart tikvor-display.service" "$work/calls" &&
        grep -qx "deb-systemd-invoke stop tikvor-display.service" "$work/calls" &&
        ! grep -q "helper enable" "$work/calls" || { cat "$work/calls"; return 1; }
}
check "the service is restarted on upgrade and stopped on removal" scripts_ask

ini=$root/etc/tikvor/Data.ini
check "the unpacked Data.ini maps every port away from the machine's own" ports_away "$ini" "$work"

pty_as_com2 "$ini" "$work"
(cd / && LD_PRELOAD=$shim LINESHIM_TRACE=$work/trace QT_QPA_PLATFORM=offscreen \
    timeout -s TERM 4 "$root/usr/bin/tikvor" >"$work/out" 2>&1) || true
check "the installed tikvor finds its files and sends a frame a second" \
    frames_ok "$work/trace" "$ini" "$work/out"

pty_as_com2 "$ini" "$work"
(cd / && LD_PRELOAD=$shim LINESHIM_TRACE=$work/trace \
    timeout -s TERM 4 "$root/usr/bin/tikvor-display" >"$work/out" 2>&1) || true
check "the installed tikvor-display sends a frame a second" frames_ok "$work/trace" "$ini" "$work/out"

summary package
