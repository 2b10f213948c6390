#!/usr/bin/env bash
# Installs what is missing, builds, and then starts the clock (run) or runs
# every test headless (test). Works from any folder; the build goes to build/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(cmake make g++ qt6-base-dev libgl-dev libxcb1-dev fonts-liberation2 xvfb xauth openbox x11-utils xdotool wmctrl
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build() { # folder, extra cmake options...
    local dir=$1
    shift
    cmake -S . -B "$dir" -DTIKVOR_DEVELOPER_MODE=ON "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

case "${1:-}" in
run)
    build build
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display found: start the clock on a virtual screen with 'xvfb-run -a build/bin/Tikvor_1'."
        exit 1
    fi
    exec build/bin/Tikvor_1
    ;;
test)
    build build
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$(nproc)"
    # The Windows side, from here: sources compiled with MinGW-w64, version resources read back.
    tools/windows/quickcheck.sh build
    # The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer: any report
    # aborts the test that caused it.
    build build-asan -DTIKVOR_SANITIZE=ON
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
    ;;
*)
    echo "usage: tools/dev.sh run|test" >&2
    exit 2
    ;;
esac
