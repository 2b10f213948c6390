#!/usr/bin/env bash
# Installs what is missing, builds, and then starts the clock (run), runs every test headless
# (test), builds and checks the Debian packages for amd64, arm64 and armhf (packages), builds
# the Windows programs (windows) or runs them under wine (test-windows). Works from any folder;
# the builds go to build/, build-asan/, build-tsan/, build-deb/ and build-win/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# What each command needs from the distribution.
host=(cmake make g++ qt6-base-dev libgl-dev libxcb1-dev fonts-liberation2 xvfb xauth)
checks=(clang-format clang libclang-rt-dev openbox x11-utils xdotool wmctrl imagemagick python3
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    dpkg-dev debhelper lintian desktop-file-utils appstream)
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    qt6-base-dev-tools ninja-build dpkg-dev xz-utils zip python3 wixl msitools osslsigncode openssl)
wine=(wine wine64 fonts-wine)
# Foreign architectures: cross compilers and qemu run on this machine; the arm libraries are
# unpacked into sysroots (tools/sysroot.sh), never installed.
cross=(crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user-static binutils)

install() { # packages...
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # preset of CMakePresets.json (its folder: build, build-asan)
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$(nproc)"
}

case "${1:-}" in
run)
    install "${host[@]}"
    # The programs alone, as a user builds them: no tests, no benchmarks.
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$(nproc)" --target Tikvor_1 tikvor-display
    # The run folder's own Data.ini: unless you have mapped a port there, COM1 drives the
    # virtual display, so the clock's job shows on any machine.
    source tools/runports.sh
    ports=$(run_folder_ports build-release/bin/Data.ini)
    if [ "$ports" = virtual ]; then
        echo "The display: the virtual one on COM1 (map your adapter in [Porty] of build-release/bin/Data.ini)."
    else
        echo "The display: $ports, as build-release/bin/Data.ini maps it."
    fi
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No screen here: tikvor-display shows the display in this terminal (Ctrl+C ends it)."
        echo "On a screen, the window is build-release/bin/Tikvor_1 (or: xvfb-run -a build-release/bin/Tikvor_1)."
        if [ "$ports" = virtual ]; then
            exec build-release/bin/tikvor-display --port COM1
        fi
        exec build-release/bin/tikvor-display
    fi
    exec build-release/bin/Tikvor_1
    ;;
test)
    install "${host[@]}" "${checks[@]}"
    build developer
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"
    # One layout for every source: .clang-format, checked here.
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
    # The Windows side, from here: sources compiled with MinGW-w64, version resources read back.
    tools/windows/quickcheck.sh build
    # The Debian packages for this machine, built from the source package and checked: lintian,
    # an upgrade and a purge by dpkg in a root of its own, the programs run from the unpacked
    # packages.
    tools/debian-build.sh
    tools/package-check.sh build
    # The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer: any report
    # aborts the test that caused it.
    build sanitize
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
        LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
    # The line thread and the core once more under ThreadSanitizer: every hand-over between the
    # event loop and the line thread is checked.
    build tsan
    ctest --preset tsan -j "$(nproc)"
    ;;
packages)
    # Every package from the source package, then each checked: amd64 unpacked and run here and
    # by dpkg in a root of its own, arm64 and armhf under qemu.
    install "${host[@]}" "${checks[@]}" "${cross[@]}"
    build developer
    tools/debian-build.sh amd64 arm64 armhf
    tools/package-check.sh build
    for arch in arm64 armhf; do
        # The test line shim for that architecture, against the same sysroot.
        sysroot=$(tools/sysroot.sh "$arch" | tail -n 1)
        cmake -S . -B "build-$arch" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/TikvorCross.cmake" -DTIKVOR_SYSROOT="$sysroot" \
            -DTIKVOR_CROSS_TRIPLET="$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)" \
            -DTIKVOR_BUILD_BENCHMARKS=OFF -DTIKVOR_FUZZ=OFF >/dev/null
        cmake --build "build-$arch" --target lineshim -j "$(nproc)" >/dev/null
        tools/arm-check.sh "$arch" "$sysroot" "build-$arch/tests/liblineshim.so" \
            build-deb/"$arch"/tikvor{,-display}_*_"$arch".deb
    done
    ;;
windows)
    install "${host[@]}" "${windows[@]}"
    tools/windows/package.sh
    ;;
test-windows)
    # The host build gives the line shim that lends the pseudo-terminal its modem lines.
    install "${host[@]}" "${checks[@]}" "${windows[@]}" "${wine[@]}"
    build developer
    # Signed with a throw-away self-signed certificate, so that the signing step runs and the
    # signed installer is the one tried.
    cert=$(mktemp -d)
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tikvor test signing" \
        -addext extendedKeyUsage=codeSigning -keyout "$cert/key.pem" -out "$cert/cert.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -out "$cert/test.pfx" \
        -passout pass:test
    TIKVOR_SIGN_PKCS12=$cert/test.pfx TIKVOR_SIGN_PASSWORD=test tools/windows/package.sh
    TIKVOR_SIGN_CA=$cert/cert.pem tools/windows/wine-test.sh build
    rm -rf "$cert"
    ;;
*)
    echo "usage: tools/dev.sh run|test|packages|windows|test-windows" >&2
    exit 2
    ;;
esac
