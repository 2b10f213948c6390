#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own source package of the host Qt, with MinGW-w64,
# once: the result is kept in the cache below and reused while the Qt version and the options
# are unchanged. Prints the install prefix on its last line.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
options=(-release -shared -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -qt-host-path /usr -nomake examples -nomake tests -no-opengl -no-dbus -no-feature-vulkan
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
    -no-feature-xml -no-feature-tabletevent -no-feature-androiddeployqt -qt-zlib -qt-pcre
    -qt-libpng -no-libjpeg -qt-harfbuzz -no-freetype -qt-doubleconversion -no-icu -no-zstd
    -no-pkg-config)
key=$(printf '%s\n' "$version" "${options[@]}" | cat - "$here/mingw-toolchain.cmake" | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tikvor
prefix=$cache/qt-win64-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache"
work=$cache/qt-win64-build-$key
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/apt/archives/partial"

# A private source list and state folder, made from the machine's own apt configuration (its
# `deb` entries turned into `deb-src`), so the source comes from whatever mirror the machine
# uses; the machine's apt configuration stays as it is.
"$here/debsrc.sh" "$work/apt/sources.list.d"
aptopts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
    -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::Archives=$work/apt/archives"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
apt-get "${aptopts[@]}" update -qq
(cd "$work" && apt-get "${aptopts[@]}" source -qq "qt6-base=$version")
src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

# Always a fresh build folder: a configure re-run in an old one keeps old feature values.
mkdir -p "$work/build"
cd "$work/build"
"$src/configure" -prefix "$prefix" "${options[@]}" -- \
    -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }
cmake --build . --parallel "$(nproc)" >"$work/build.log" 2>&1 ||
    { grep -E 'error|FAILED' "$work/build.log" | head -n 40 >&2; exit 1; }
cmake --install . >"$work/install.log" 2>&1
find "$prefix" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
