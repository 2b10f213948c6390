#!/usr/bin/env bash
# Cross-builds the Windows programs against the Windows Qt of qt.sh and lays out
# build-win/Tikvor/ (the programs, the Qt and MinGW DLLs and plugins they load, data/ and
# Data.ini: a folder to copy to any 64-bit Windows machine) and build-win/Tikvor-<version>-win64.zip.
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
mkdir -p "$out/platforms" "$out/imageformats" "$out/styles"
cp build-win/cmake/bin/*.exe build-win/cmake/bin/Data.ini "$out/"
cp -r build-win/cmake/bin/data "$out/"
cp "$qt"/bin/Qt6Core.dll "$qt"/bin/Qt6Gui.dll "$qt"/bin/Qt6Widgets.dll "$out/"
cp "$qt/plugins/platforms/qwindows.dll" "$out/platforms/"
cp "$qt/plugins/imageformats/qgif.dll" "$qt/plugins/imageformats/qico.dll" "$out/imageformats/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$out/styles/"
# The C++ runtime of the compiler that built them (posix threads, SEH).
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")" "$out/"
done
x86_64-w64-mingw32-strip --strip-unneeded "$out"/*.exe "$out"/lib*.dll

eval "$(cmake -P cmake/TikvorFacts.cmake)"
zip=build-win/Tikvor-$TIKVOR_VERSION_1-win64.zip
rm -f "$zip"
(cd build-win && zip -qr "$(basename "$zip")" Tikvor)
echo "$out"
echo "$zip"
