#!/usr/bin/env bash
# Cross-builds the Windows programs against the Windows Qt of qt.sh and lays out
# build-win/Tikvor/ (the programs, the Qt and MinGW DLLs and plugins they load, data/, Data.ini
# and the licences: a folder to copy to any 64-bit Windows machine), then packs it as
# build-win/Tikvor-<version>-win64.zip and the installer build-win/Tikvor-<version>-x64.msi,
# the programs and the installer signed when a certificate is given (tools/windows/sign.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
top=$PWD

qt=$(tools/windows/qt.sh | tail -n 1)
cmake -S . -B build-win/cmake -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$top/tools/windows/mingw-toolchain.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DTIKVOR_DEVELOPER_MODE=ON -DTIKVOR_BUILD_TESTS=OFF >/dev/null
# Qt's headers warn by the thousand under this MinGW ("redeclared without dllimport"); the log
# keeps them, the terminal gets the errors.
cmake --build build-win/cmake >build-win/build.log 2>&1 ||
    { grep -E 'error|FAILED' build-win/build.log | head -n 40 >&2; exit 1; }

out=build-win/Tikvor
rm -rf "$out"
mkdir -p "$out"
cp build-win/cmake/bin/*.exe "$out/"
# Notepad before Windows 10 1809 shows a file with bare LF line ends as one line.
sed 's/\r\?$/\r/' build-win/cmake/bin/Data.ini >"$out/Data.ini"
cp -r build-win/cmake/bin/data "$out/"
# Exactly the DLLs the programs import, followed through the DLLs shipped, and the Qt plugins
# they load: from Qt, then the C++ runtime of the compiler that built them (posix threads, SEH).
cxx=x86_64-w64-mingw32-g++-posix
runtime=$(dirname "$("$cxx" -print-file-name=libstdc++-6.dll)")
threads=$(dirname "$(realpath "$("$cxx" -print-file-name=libwinpthread-1.dll)")")
python3 tools/windows/dlls.py derive --search "$qt/bin" "$runtime" "$threads" \
    --system /usr/x86_64-w64-mingw32/lib --plugins "$qt/plugins" "$out"/*.exe >build-win/dlls.txt
while IFS=$'\t' read -r source destination; do
    mkdir -p "$out/$(dirname "$destination")"
    cp "$source" "$out/$destination"
done <build-win/dlls.txt
x86_64-w64-mingw32-strip --strip-unneeded "$out"/*.exe "$out"/lib*.dll
# Signed before they are packed (a certificate from the environment; see sign.sh).
tools/windows/sign.sh "$out"/*.exe

eval "$(cmake -P cmake/TikvorFacts.cmake)"
tools/windows/licences.sh "$out/licences"

zip=build-win/Tikvor-$TIKVOR_VERSION_1-win64.zip
rm -f "$zip"
(cd build-win && zip -qr "$(basename "$zip")" Tikvor)
msi=build-win/Tikvor-$TIKVOR_VERSION_1-x64.msi
tools/windows/msi.sh "$out" "$msi" >/dev/null
tools/windows/sign.sh "$msi"
echo "$out"
echo "$zip"
echo "$msi"
