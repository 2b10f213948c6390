#!/usr/bin/env bash
# Checks the run folder's port rule of 'tools/dev.sh run' on fake device folders: links to
# /dev/null stand in for serial lines, so no device is ever opened.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2
source tools/lib.sh
source tools/runports.sh

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# Each case runs twice: the answer must not change and the virtual line must not pile up.
scenario() { # name, [Porty] lines, answer, COM1=virtual afterwards (yes/no)
    local dir="$root/$1"
    mkdir -p "$dir"
    printf '[Init]\nKRVVerze=1.00\n\n[Porty]\n%b\n' "$2" >"$dir/Data.ini"
    local got twice
    got=$(run_folder_ports "$dir/Data.ini")
    twice=$(run_folder_ports "$dir/Data.ini")
    check "$1: $got" [ "$got $twice" = "$3 $3" ]
    local com1 count
    com1=$(ini_value "$dir/Data.ini" Porty COM1)
    count=$(grep -ci '^COM1=virtual' "$dir/Data.ini")
    if [ "$4" = yes ]; then
        check "$1: COM1=virtual once" [ "$com1 $count" = "virtual 1" ]
    else
        check "$1: no line of ours" [ "$(grep -cxF "$runports_marker" "$dir/Data.ini")" = 0 ]
    fi
}

scenario "nothing mapped" ';COM1=/dev/ttyUSB0' virtual yes
scenario "mapped by the user" 'COM2="/dev/ttyUSB0"\ncom5 = virtual' "COM2 COM5" no
scenario "only other keys" 'InvertDTR=1' virtual yes

# A mapping added after a virtual run takes back the line written for it.
dir="$root/nothing mapped"
printf 'COM3=/dev/ttyUSB0\n' >>"$dir/Data.ini"
check "a mapping after a virtual run" [ "$(run_folder_ports "$dir/Data.ini")" = COM3 ]
check "virtual line taken back" [ -z "$(ini_value "$dir/Data.ini" Porty COM1)" ]

summary "runports"
