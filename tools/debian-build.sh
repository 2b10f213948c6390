#!/usr/bin/env bash
# Makes the Debian source package from this working tree (tracked files and new ones git does
# not ignore), then builds its binary packages for each architecture asked for, each from the
# source package unpacked afresh, so that what is built is what the source package holds.
# Foreign architectures build against a sysroot of that architecture's packages
# (tools/sysroot.sh): nothing is installed on this machine for them.
#
# Out: build-deb/tikvor_<version>.dsc with its tarballs; build-deb/<arch>/*.deb and .changes.
# An architecture whose packages were built from the same source package is not built again.
# usage: tools/debian-build.sh ARCH...   (amd64 arm64 armhf; the build machine's own by default)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
out=$PWD/build-deb
native=$(dpkg --print-architecture)
[ $# -gt 0 ] || set -- "$native"

version=$(dpkg-parsechangelog -S Version)
upstream=${version%-*}
tree=tikvor-$upstream
mkdir -p "$out"

# The upstream tarball, reproducibly: sorted, owned by root, stamped with the changelog's date;
# the same tree gives the same bytes, and so the same source package.
stamp=$(dpkg-parsechangelog -S Timestamp)
orig=$out/tikvor_$upstream.orig.tar.xz
git ls-files -co --exclude-standard -z | grep -zv '^debian/' |
    tar --null -T - --transform "s|^|$tree/|" --sort=name --mtime="@$stamp" \
        --owner=0 --group=0 --numeric-owner --mode=go-w -cf - | xz -6 -T1 >"$orig.new"
git ls-files -co --exclude-standard -z debian |
    tar --null -T - --sort=name --mtime="@$stamp" --owner=0 --group=0 --numeric-owner \
        --mode=go-w -cf "$out/debian.tar"
if ! cmp -s "$orig.new" "$orig"; then mv "$orig.new" "$orig"; else rm "$orig.new"; fi

rm -rf "${out:?}/$tree"
tar -C "$out" -xJf "$orig"
tar -C "$out/$tree" -xf "$out/debian.tar"
rm "$out/debian.tar"
(cd "$out" && dpkg-source -b "$tree" >"$out/source.log" 2>&1) ||
    { cat "$out/source.log" >&2; exit 1; }
rm -rf "${out:?}/$tree"
dsc=$out/tikvor_$version.dsc
sum=$(sha256sum "$dsc" | cut -d' ' -f1)

for arch in "$@"; do
    dir=$out/$arch
    if [ "$(cat "$dir/source.sha256" 2>/dev/null)" = "$sum" ]; then
        echo "$arch: built already from this source package"
        continue
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    dpkg-source -x "$dsc" "$dir/$tree" >/dev/null
    options=(-b -uc -us)
    sysroot="" nocheck=""
    if [ "$arch" != "$native" ]; then
        # The build dependencies are in the sysroot, not in this machine's package database; the
        # programs cannot run here (the arm check runs them under qemu).
        options+=(-a"$arch" -d)
        sysroot=$(tools/sysroot.sh "$arch" | tail -n 1)
        nocheck=nocheck
    fi
    echo "$arch: dpkg-buildpackage ${options[*]} (log: $dir/build.log)"
    start=$SECONDS
    (cd "$dir/$tree" && TIKVOR_SYSROOT=$sysroot \
        DEB_BUILD_OPTIONS="parallel=$(nproc) $nocheck ${DEB_BUILD_OPTIONS:-}" \
        dpkg-buildpackage "${options[@]}" >"$dir/build.log" 2>&1) ||
        { tail -n 60 "$dir/build.log" >&2; exit 1; }
    echo "$arch: built in $((SECONDS - start)) s: $(cd "$dir" && ls ./*.deb | tr '\n' ' ')"
    rm -rf "${dir:?}/$tree"
    echo "$sum" >"$dir/source.sha256"
done
