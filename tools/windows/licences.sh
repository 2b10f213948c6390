#!/usr/bin/env bash
# Puts the licence texts of what the Windows folder ships into FOLDER: ours, Qt's (LGPL-3, and
# where its source is), the GCC runtime's (with its library exception) and MinGW-w64's
# (winpthreads). The texts are the ones this machine's packages carry for the very files
# shipped: the Qt source package qt.sh built from, and the MinGW-w64 compiler and runtime.
# usage: tools/windows/licences.sh FOLDER
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
eval "$(cmake -P "$top/cmake/TikvorFacts.cmake")"
folder=$1
mkdir -p "$folder"

need() { # file
    [ -f "$1" ] || { echo "licences.sh: $1 is missing (tools/dev.sh windows installs it)" >&2; exit 1; }
    echo "$1"
}
# Notepad before Windows 10 1809 shows a text with bare LF line ends as one line.
crlf() { sed 's/\r\?$/\r/'; }

qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
crlf <"$(need "$top/debian/copyright")" >"$folder/Tikvor.txt"
crlf <"$(need /usr/share/common-licenses/LGPL-3)" >"$folder/LGPL-3.txt"
crlf <"$(need /usr/share/common-licenses/GPL-3)" >"$folder/GPL-3.txt"
crlf <"$(need /usr/share/doc/libqt6core6/copyright)" >"$folder/Qt-copyright.txt"
crlf <"$(need /usr/share/doc/gcc-mingw-w64-base/copyright)" >"$folder/GCC-runtime.txt"
crlf <"$(need /usr/share/doc/mingw-w64-common/copyright)" >"$folder/MinGW-w64.txt"
crlf >"$folder/README.txt" <<TEXT
$TIKVOR_PRODUCT $TIKVOR_VERSION_1, $TIKVOR_COPYRIGHT: Tikvor.txt.

The files that come with it are other people's work, shipped under their own licences:

Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll and the folders platforms, imageformats and styles are
the Qt libraries, version ${qt%%[-+]*}, used under the GNU Lesser General Public License
version 3 (LGPL-3.txt, which builds on GPL-3.txt); their copyright notices are in
Qt-copyright.txt. They were built from the Debian source package qt6-base (with its patches),
version $qt, for Windows with MinGW-w64: its source is on every Debian mirror (apt-get source qt6-base=$qt) and on
https://snapshot.debian.org/package/qt6-base/$qt/. You may replace these DLLs with your own
build of the same Qt version.

libstdc++-6.dll and libgcc_s_seh-1.dll are the runtime of the GNU compiler, under the GNU
General Public License version 3 with the GCC Runtime Library Exception (GCC-runtime.txt).

libwinpthread-1.dll is winpthreads of the MinGW-w64 project, under the licence given for
mingw-w64-libraries/winpthreads in MinGW-w64.txt.
TEXT
