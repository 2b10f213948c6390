#!/usr/bin/env bash
# Makes a sysroot of Debian's own packages for arm64 or armhf, for cross-building Tikvor with
# cmake/TikvorCross.cmake and running the result under qemu: Qt's development files, the C and
# C++ libraries and everything they depend on, unpacked, never installed. Made once, in the cache
# below, and reused while the package list, the host's Qt version and this recipe are unchanged.
# Progress goes to standard error; the sysroot's path is the last line of standard output.
# usage: tools/sysroot.sh arm64|armhf
set -euo pipefail

arch=${1:-}
case $arch in
arm64) triplet=aarch64-linux-gnu ;;
armhf) triplet=arm-linux-gnueabihf ;;
*) echo "usage: $0 arm64|armhf" >&2; exit 2 ;;
esac

# The C++ library of the compiler that builds against it: the cross compiler's, else the host's
# (Debian's cross compilers follow the host's version).
gcc_major=$({ "$triplet-g++" -dumpversion || g++ -dumpversion; } 2>/dev/null | cut -d. -f1)
[ -n "$gcc_major" ] ||
    { echo "$0: no $triplet-g++ nor g++ to take the C++ library's version from" >&2; exit 1; }
# Qt's tools (moc, uic, rcc) come from the host, and must be of the same Qt as the libraries.
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) ||
    { echo "$0: the host's qt6-base-dev is not installed (Qt's tools come from it)" >&2; exit 1; }
packages=(qt6-base-dev="$qt_version" libc6-dev "libstdc++-$gcc_major-dev" "libgcc-$gcc_major-dev")

key=$(printf '%s\n' "$arch" "${packages[@]}" | cat - "${BASH_SOURCE[0]}" | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tikvor
sysroot=$cache/sysroot-$arch-$key
if [ -d "$sysroot" ]; then
    echo "$sysroot"
    exit 0
fi

# Built beside its final place and renamed into it at the end: a sysroot under that name is
# always a whole one, whatever ended a run early.
mkdir -p "$cache"
work=$(mktemp -d "$cache/.sysroot-$arch-$key.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/state/lists/partial" "$work/cache/archives/partial" "$work/root/DEBIAN"
touch "$work/state/status"

# The machine's own sources, proxies and keys, but a state of our own with nothing installed
# (so the download is the whole closure) and the other architecture as apt's only one; the
# machine's apt state and its dpkg stay as they are.
aptopts=(-o "APT::Architecture=$arch" -o "APT::Architectures=$arch"
    -o "Dir::State=$work/state" -o "Dir::State::status=$work/state/status"
    -o "Dir::Cache=$work/cache" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
    -o "APT::Sandbox::User=$(id -un)" -o "Debug::NoLocking=1" -o "Acquire::Languages=none")
echo "sysroot $arch: package lists" >&2
apt-get "${aptopts[@]}" update -qq --error-on=any >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; echo "$0: apt-get cannot read the package lists for $arch" >&2; exit 1; }
echo "sysroot $arch: downloading ${packages[*]} and what they depend on" >&2
apt-get "${aptopts[@]}" install -qq --download-only --no-install-recommends -y "${packages[@]}" \
    >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; echo "$0: apt-get cannot fetch the $arch packages" >&2; exit 1; }

debs=("$work"/cache/archives/*.deb)
echo "sysroot $arch: unpacking ${#debs[@]} packages" >&2
root=$work/root
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$root"
    # dpkg-shlibdeps -S<sysroot> reads these to turn a library found here into its package
    # and version (it looks for DEBIAN/ above the library).
    for control in symbols shlibs; do
        dpkg-deb -I "$deb" "$control" >>"$root/DEBIAN/$control" 2>/dev/null || true
    done
done

# Bookworm's packages still put some files in /lib and /bin; the system they are made for has
# them merged into /usr. Merged here too, so that one path reaches both halves, as the
# libraries' own links and linker scripts expect.
for dir in bin sbin lib lib32 lib64 libx32; do
    if [ -d "$root/$dir" ] && [ ! -L "$root/$dir" ]; then
        mkdir -p "$root/usr/$dir"
        cp -a "$root/$dir/." "$root/usr/$dir/"
        rm -rf "${root:?}/$dir"
        ln -s "usr/$dir" "$root/$dir"
    fi
done
# A link to an absolute path would lead out of the sysroot into the build machine's own files.
while IFS= read -r -d '' link; do
    ln -sfn "$(realpath -s -m --relative-to="$(dirname "$link")" "$root$(readlink "$link")")" "$link"
done < <(find "$root" -type l -lname '/*' -print0)

for need in "usr/lib/$triplet/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" "usr/lib/$triplet/libc.so" \
    "usr/include/c++/$gcc_major"; do
    [ -e "$root/$need" ] || { echo "$0: $need is missing from the $arch sysroot" >&2; exit 1; }
done
mv -T "$root" "$sysroot" 2>/dev/null || [ -d "$sysroot" ] # or another run made it meanwhile
echo "sysroot $arch: $(du -sh "$sysroot" | cut -f1) in $sysroot" >&2
echo "$sysroot"
