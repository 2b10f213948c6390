#!/usr/bin/env bash
# Checks the run folder's port rule of 'tools/dev.sh run' on fake device folders: links to
# /dev/null stand in for serial lines, so no device is ever opened.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2
source tools/lib.sh
source tools/runports.sh

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# The [Porty] lines name the case's own folder @DIR@; the links are made in it ("empty-slot"
# describes their device as a port slot with no line behind it). Each case runs twice: the
# answer must not change and the virtual line must not pile up.
scenario() { # name, [Porty] lines, links, consoles list, answer, COM5=virtual afterwards (yes/no)
    local dir="$root/$1"
    mkdir -p "$dir/bin" "$dir/dev" "$dir/sys/1:3"
    printf '[Init]\nKRVVerze=1.00\n\n[Porty]\n%b\n' "${2//@DIR@/$dir}" >"$dir/bin/Data.ini"
    local link
    for link in $3; do
        case $link in
        empty-slot) echo 0 >"$dir/sys/1:3/type" ;;
        *) mkdir -p "$(dirname "$dir/$link")" && ln -s /dev/null "$dir/$link" ;;
        esac
    done
    printf '%b' "$4" >"$dir/consoles"
    local got twice
    got=$(run_folder_ports "$dir/bin/Data.ini" "$dir/dev" "$dir/consoles" "$dir/sys")
    twice=$(run_folder_ports "$dir/bin/Data.ini" "$dir/dev" "$dir/consoles" "$dir/sys")
    check "$1: $got" [ "$got $twice" = "$5 $5" ]
    local com5 count
    com5=$(ini_value "$dir/bin/Data.ini" Porty COM5)
    count=$(grep -ci '^COM5=virtual' "$dir/bin/Data.ini")
    if [ "$6" = yes ]; then
        check "$1: COM5=virtual once" [ "$com5 $count" = "virtual 1" ]
    else
        check "$1: no virtual port" [ "$com5" != virtual ]
    fi
}

scenario "nothing there" ';COM1=/dev/ttyUSB0' "" "" virtual yes
scenario "mapped adapter" 'COM2="@DIR@/dev/ttyUSB0"\nCOM5=@DIR@/nowhere' "dev/ttyUSB0" "" COM2 no
scenario "relative mapping" 'com3 = links/com3' "bin/links/com3" "" COM3 no
scenario "default slot" '' "dev/ttyS3" "" COM4 no
scenario "console only" '' "dev/ttyS0" 'ttyS0 -W- (EC p a) 1:3\n' virtual yes
scenario "empty legacy slot" '' "dev/ttyS0 empty-slot" "" virtual yes
scenario "missing mapping given way" 'COM5=@DIR@/dev/ttyUSB9\nCOM1=@DIR@/nowhere' "" "" virtual yes

# An adapter plugged in after a virtual run takes back the line written for it.
dir="$root/missing mapping given way"
ln -s /dev/null "$dir/dev/ttyS1"
check "adapter after a virtual run" [ "$(run_folder_ports "$dir/bin/Data.ini" "$dir/dev" "$dir/consoles" "$dir/sys")" = COM2 ]
check "virtual line taken back" [ -z "$(ini_value "$dir/bin/Data.ini" Porty COM5)" ]

summary "runports"
