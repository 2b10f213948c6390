#!/usr/bin/env bash
# Quick checks of the Windows side of Tikvor, run on Linux with MinGW-w64, without a Windows
# Qt and without linking the programs:
#   sources    every source a Windows build compiles, compiled into a Windows object file
#              against the host's Qt headers, with the developer warnings as errors
#   DLL set    tools/windows/dlls.py on tiny DLLs and programs of our own
#   resources  both generated version scripts compiled by windres, then read back from the
#              binary resource (tools/windows/versioninfo.py), once more from a stub .exe
# usage: tools/windows/quickcheck.sh BUILD   (a configured, built host build folder)
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 BUILD   (BUILD: a configured host build folder, e.g. build)" >&2
    exit 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
here=$root/tools/windows
triple=x86_64-w64-mingw32
cxx=$triple-g++-posix
windres=$triple-windres
for tool in "$cxx" "$windres" "$triple-gcc" python3; do
    command -v "$tool" >/dev/null || { echo "FAIL  $tool is missing (tools/dev.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
started=$SECONDS
failures=0
pass() { echo "PASS  $*"; }
fail() { echo "FAIL  $*"; failures=$((failures + 1)); }

# --- sources ----------------------------------------------------------------------------------

# Per-OS halves are named <unit>_<os>.cpp; those for another system than Windows stay out. Every
# other source under src/, new ones included, is compiled.
other_os='_(unix|posix|linux|xcb|x11|wayland|mac|macos|other)\.cpp$'
mapfile -t sources < <(cd "$root" && find src -name '*.cpp' | LC_ALL=C sort | grep -Ev "$other_os")
mapfile -t skipped < <(cd "$root" && find src -name '*.cpp' | LC_ALL=C sort | grep -E "$other_os")

qt=$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
qtdata=$(qtpaths6 --query QT_HOST_DATA 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6)
flags=(-std=c++20 -Wall -Wextra -Wshadow -Werror -O2 -DNDEBUG -DQT_NO_DEBUG
    -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB
    # What a Windows Qt puts on every user of it (its Platform target), so the Win32 headers are
    # read as in the real build: wide-character API names, 64-bit.
    -DWIN32 -DWIN64 -D_WIN64 -D_ENABLE_EXTENDED_ALIGNED_STORAGE -DMINGW_HAS_SECURE_API=1
    -DUNICODE -D_UNICODE
    # The host Qt's version tag is an ELF section; a Windows Qt would be linked by other means.
    -DQT_NO_VERSION_TAGGING
    -I"$root/src")
# Generated headers (version.h) and moc output live in the host build.
while IFS= read -r dir; do
    flags+=(-I"$dir")
done < <(find "$build/src" -maxdepth 3 -type d \( -name generated -o -path '*_autogen/include*' \) | LC_ALL=C sort)
flags+=(-isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets")
[ -d "$qtdata/mkspecs/win32-g++" ] && flags+=(-isystem "$qtdata/mkspecs/win32-g++")
printf '%s\n' "${flags[@]}" >"$work/flags"

compile_one() { # source (relative to the top); leaves <obj>.log, and <obj>.ok on success
    local src=$1 obj=$work/obj/${1//\//_}
    local -a flags extra=()
    mapfile -t flags <"$work/flags"
    # The programs' per-target defines (src/app/CMakeLists.txt); any values compile alike.
    [[ $src == src/app/* ]] && extra=(-DTIKVOR_SHOW_IN_TASKBAR=false
        '-DTIKVOR_PROGRAM_NAME="Tikvor_1"' '-DTIKVOR_PROGRAM_VERSION="1.00.0000"')
    if "$cxx" "${flags[@]}" "${extra[@]}" -c "$root/$src" -o "$obj.o" >"$obj.log" 2>&1; then
        # x86-64 COFF: machine 0x8664, stored little-endian.
        if [ "$(od -An -tx1 -N2 "$obj.o" | tr -d ' ')" = 6486 ]; then
            touch "$obj.ok"
        else
            echo "not an x86-64 COFF object: $(od -An -tx1 -N4 "$obj.o")" >>"$obj.log"
        fi
    fi
}
export -f compile_one
export root work cxx
mkdir -p "$work/obj"
# shellcheck disable=SC2016 # $1 is for the inner shell
printf '%s\0' "${sources[@]}" | xargs -0 -n1 -P "$(nproc)" bash -c 'compile_one "$1"' _

bad=0
for src in "${sources[@]}"; do
    obj=$work/obj/${src//\//_}
    if [ ! -f "$obj.ok" ]; then
        fail "compile for Windows: $src"
        sed -n '1,40p' "$obj.log" | sed 's/^/      /'
        bad=$((bad + 1))
    fi
done
if [ "$bad" -eq 0 ]; then
    pass "sources: all ${#sources[@]} compile into Windows objects with -Werror"
else
    echo "      sources: $bad of ${#sources[@]} do not compile for Windows"
fi
[ ${#skipped[@]} -eq 0 ] || echo "      (left out as another system's half: ${skipped[*]})"

# --- version resources ------------------------------------------------------------------------

# The dotted version to the four decimal numbers of a resource, as cmake/TikvorFacts.cmake does it;
# "!" means the version is refused at configure time.
cases=("1.00.0021 1,0,21,0" "10.00.0100.0008 10,0,100,8" "2 2,0,0,0" "0.0 0,0,0,0"
    "1.2.3.4.5 !" "1.65536 !" "1.x !" "1..2 !")
wrong=()
for c in "${cases[@]}"; do
    read -r dotted want <<<"$c"
    # shellcheck disable=SC2016 # ${n} is for CMake
    printf 'cmake_policy(SET CMP0007 NEW)\ninclude("%s")\n%s\nmessage("${n}")\n' \
        "$root/cmake/TikvorFacts.cmake" "tikvor_rc_version_numbers(n \"$dotted\")" >"$work/case.cmake"
    got=$(cd "$work" && cmake -P case.cmake 2>&1) || got="!"
    [ "$got" = "$want" ] || wrong+=("$dotted gives '$got', expected '$want'")
done
if [ ${#wrong[@]} -gt 0 ]; then
    fail "resource numbers:"
    printf '      %s\n' "${wrong[@]}"
else
    pass "resource numbers: ${#cases[@]} dotted versions turned into decimal fields or refused"
fi

# name, FILEVERSION/PRODUCTVERSION, version text: the table of the two programs.
eval "$(cmake -P "$root/cmake/TikvorFacts.cmake")"
dotted4() { local IFS=.; read -r -a f <<<"$1"; echo "$((10#${f[0]})).$((10#${f[1]})).$((10#${f[2]})).0"; }
programs=("Tikvor_1 $(dotted4 "$TIKVOR_VERSION_1") $TIKVOR_VERSION_1"
    "Tikvor_0 $(dotted4 "$TIKVOR_VERSION_0") $TIKVOR_VERSION_0")
versions() { # numbers text: the version fields as versioninfo.py arguments, one a line
    printf '%s\n' "FILEVERSION=$1" "PRODUCTVERSION=$1" "FileVersion=$2" "ProductVersion=$2"
}
for entry in "${programs[@]}"; do
    read -r name numbers text <<<"$entry"
    rc=$build/windows/$name.rc
    res=$work/$name.res
    mapfile -t fields < <(versions "$numbers" "$text")
    fields+=("InternalName=$name" "OriginalFilename=$name.exe"
        "ProductName=Tikvor" "CompanyName=KRV Software" "LegalCopyright=© 2026 KRV Software"
        "Comments=http://www.krv-software.example" "Translation=0x0409/1200")
    if [ ! -f "$rc" ]; then
        fail "resources $name: $rc was not generated (configure the build folder again)"
        continue
    fi
    if ! "$windres" -J rc -O res -i "$rc" -o "$res" 2>"$work/windres.log"; then
        fail "resources $name: windres rejects $rc"
        sed 's/^/      /' "$work/windres.log"
        continue
    fi
    if python3 "$here/versioninfo.py" "$res" "${fields[@]}" >"$work/read.log" 2>&1; then
        pass "resources $name: $numbers, \"$text\", © and the texts read back from the .res"
    else
        fail "resources $name: read back from the .res"
        sed 's/^/      /' "$work/read.log"
    fi
    # The reader must see a wrong version as wrong: the other program's numbers.
    other=$([ "$name" = Tikvor_1 ] && echo "${programs[1]}" || echo "${programs[0]}")
    read -r _ other_numbers other_text <<<"$other"
    mapfile -t swapped < <(versions "$other_numbers" "$other_text")
    if python3 "$here/versioninfo.py" "$res" "${swapped[@]}" >/dev/null 2>&1; then
        fail "resources $name: the reader takes $other_numbers for $numbers"
    else
        pass "resources $name: the reader refuses the other program's version"
    fi
    # Linked into a program, the resource reads back alike (through the PE resource directory).
    if [ "$name" = Tikvor_1 ]; then
        printf 'int main(void) { return 0; }\n' >"$work/stub.c"
        if "$windres" -i "$rc" -o "$work/$name.rc.o" 2>"$work/link.log" &&
            "$triple-gcc" "$work/stub.c" "$work/$name.rc.o" -o "$work/stub.exe" 2>>"$work/link.log" &&
            python3 "$here/versioninfo.py" "$work/stub.exe" "${fields[@]}" >>"$work/link.log" 2>&1; then
            pass "resources $name: the same fields read back from a stub .exe"
        else
            fail "resources $name: read back from a stub .exe"
            sed 's/^/      /' "$work/link.log"
        fi
    fi
done

# --- the DLL set -------------------------------------------------------------------------------

# Tiny DLLs and programs in place of Qt and ours: tools/windows/dlls.py must follow imports
# through the DLLs it ships, add the Qt plugins by the modules used (never qico), leave Windows'
# own DLLs out, and name what is found nowhere.
dll=$work/dll
mkdir -p "$dll/qt/plugins/platforms" "$dll/qt/plugins/imageformats" "$dll/qt/plugins/styles" "$dll/lib"
make_pe() { # output, source text, libraries to link...
    local out=$1 text=$2
    shift 2
    printf '%s\n' "$text" >"$out.c"
    local kind=()
    [[ $out == *.dll ]] && kind=(-shared)
    "$triple-gcc" "${kind[@]}" "$out.c" -o "$out" "$@" 2>>"$dll/build.log"
}
(cd "$dll" &&
    make_pe lib/deep.dll 'int deep(void) { return 1; }' &&
    make_pe qt/Qt6Gui.dll 'int deep(void); int gui(void) { return deep(); }' lib/deep.dll &&
    make_pe qt/Qt6Core.dll 'int core(void) { return 2; }' &&
    make_pe qt/plugins/platforms/qwindows.dll 'int core(void); int p(void) { return core(); }' qt/Qt6Core.dll &&
    make_pe qt/plugins/imageformats/qgif.dll 'int g(void) { return 3; }' &&
    make_pe qt/plugins/imageformats/qico.dll 'int i(void) { return 4; }' &&
    make_pe qt/plugins/styles/qmodernstyle.dll 'int s(void) { return 5; }' &&
    make_pe lib/gone.dll 'int gone(void) { return 6; }' &&
    make_pe gui.exe 'int gui(void); int main(void) { return gui(); }' qt/Qt6Gui.dll -luser32 &&
    make_pe core.exe 'int core(void); int gone(void); int main(void) { return core() + gone(); }' \
        qt/Qt6Core.dll lib/gone.dll) ||
    { fail "DLL set: the test DLLs do not build"; sed 's/^/      /' "$dll/build.log"; }
# programs | search folders | what is shipped | what is missing
dll_cases=(
    "gui.exe|qt lib|Qt6Core.dll Qt6Gui.dll deep.dll imageformats/qgif.dll platforms/qwindows.dll|"
    "core.exe|qt lib|Qt6Core.dll gone.dll|"
    "core.exe|qt|Qt6Core.dll|core.exe:gone.dll"
    "gui.exe core.exe|lib qt|Qt6Core.dll Qt6Gui.dll deep.dll gone.dll imageformats/qgif.dll platforms/qwindows.dll|"
)
wrong=()
for c in "${dll_cases[@]}"; do
    IFS='|' read -r programs folders want_shipped want_missing <<<"$c"
    read -r -a search <<<"$folders"
    got=$(cd "$dll" && python3 "$here/dlls.py" derive --search "${search[@]}" \
        --system "/usr/$triple/lib" --plugins qt/plugins $programs 2>"$dll/missing")
    shipped=$(cut -f2 <<<"$got" | LC_ALL=C sort | xargs)
    missing=$(sed -n 's/^\(\S*\) imports \(\S*\):.*/\1:\2/p' "$dll/missing" | xargs)
    [ "$shipped|$missing" = "$(xargs <<<"$want_shipped")|$want_missing" ] ||
        wrong+=("$programs from $folders: shipped '$shipped', missing '$missing'")
done
# The check of a laid-out folder: complete, then with a shipped DLL taken away.
mkdir -p "$dll/folder/platforms"
cp "$dll/gui.exe" "$dll/qt/Qt6Gui.dll" "$dll/qt/Qt6Core.dll" "$dll/lib/deep.dll" "$dll/folder/"
cp "$dll/qt/plugins/platforms/qwindows.dll" "$dll/folder/platforms/"
python3 "$here/dlls.py" check --system "/usr/$triple/lib" "$dll/folder" 2>/dev/null ||
    wrong+=("check: a complete folder is refused")
rm "$dll/folder/Qt6Core.dll"
python3 "$here/dlls.py" check --system "/usr/$triple/lib" "$dll/folder" 2>/dev/null &&
    wrong+=("check: a folder without Qt6Core.dll passes")
if [ ${#wrong[@]} -gt 0 ]; then
    fail "DLL set:"
    printf '      %s\n' "${wrong[@]}"
else
    pass "DLL set: ${#dll_cases[@]} derivations and 2 folder checks"
fi

echo "Windows quick check: $failures failure(s) in $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
