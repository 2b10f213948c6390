# shellcheck shell=bash
# Sourced by tools/dev.sh: which of COM1 to COM5 a run folder's Data.ini leads to an adapter,
# and the virtual display on COM5 when none does, so that 'tools/dev.sh run' always shows the
# display. Nothing here opens a device: only names, node types and kernel listings are read.

runports_marker="; tools/dev.sh run: no adapter found, so the virtual display"

# The value of key $3 in section $2 of the ini file $1 as the clock reads it: names without
# regard to case, blanks trimmed, one pair of outer quotes dropped, the first section and the
# first key of a name win. Prints nothing when there is no such key.
ini_value() { # file, section, key
    awk -v section="$2" -v key="$3" '
        function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
        { sub(/\r$/, "") }
        /^[ \t]*;/ { next }
        /^[ \t]*\[/ {
            name = $0; sub(/^[ \t]*\[/, "", name); sub(/\].*$/, "", name); name = tolower(name)
            inside = !(name in seen) && name == tolower(section); seen[name] = 1; next
        }
        inside && index($0, "=") {
            k = trim(substr($0, 1, index($0, "=") - 1))
            if (tolower(k) != tolower(key)) next
            v = trim(substr($0, index($0, "=") + 1))
            if (length(v) >= 2 && (v ~ /^".*"$/ || v ~ /^\047.*\047$/)) v = substr(v, 2, length(v) - 2)
            print v; exit
        }' "$1"
}

# Whether a path is a serial line the clock could drive: a character device that is not where
# kernel messages go and, where the kernel describes the line, not an empty legacy port slot.
is_adapter() { # path, consoles list, folder of character devices by major:minor
    [ -c "$1" ] || return 1
    local hex major minor
    hex=$(stat -L -c '%t %T' "$1") || return 1
    read -r major minor <<<"$hex"
    major=$((16#$major)) minor=$((16#$minor))
    [ "$major:$minor" != 5:0 ] && [ "$major:$minor" != 5:1 ] || return 1
    if [ -r "$2" ] && awk -v mm="$major:$minor" '$NF == mm { found = 1 } END { exit !found }' "$2"; then
        return 1
    fi
    local type="$3/$major:$minor/type"
    ! { [ -r "$type" ] && [ "$(cat "$type")" = 0 ]; }
}

# Prints the first COMn whose device (mapped in [Porty], or the default /dev/ttyS<n-1>) is an
# adapter, and takes back a virtual COM5 written here earlier; without an adapter, maps COM5 to
# the virtual display in this Data.ini and prints "virtual".
run_folder_ports() { # Data.ini, [device folder, consoles list, /sys/dev/char]
    local ini=$1 devs=${2:-/dev} consoles=${3:-/proc/consoles} sysdev=${4:-/sys/dev/char}
    local folder n value tmp
    folder=$(dirname "$ini")
    for n in 1 2 3 4 5; do
        value=$(ini_value "$ini" Porty "COM$n")
        case "${value,,}" in
        virtual) continue ;;
        "") value="$devs/ttyS$((n - 1))" ;;
        /*) ;;
        *) value="$folder/$value" ;;
        esac
        if is_adapter "$value" "$consoles" "$sysdev"; then
            tmp=$(mktemp)
            awk -v marker="$runports_marker" '
                $0 == marker { getline; next } { print }' "$ini" >"$tmp" && cat "$tmp" >"$ini"
            rm -f "$tmp"
            echo "COM$n"
            return 0
        fi
    done
    echo virtual
    [ "$(ini_value "$ini" Porty COM5 | tr '[:upper:]' '[:lower:]')" = virtual ] && return 0
    tmp=$(mktemp)
    # An inactive COM5 line stays; an active one (to a device that is not there) gives way.
    awk -v marker="$runports_marker" '
        function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
        function add() { print marker; print "COM5=virtual"; added = 1 }
        {
            line = $0; sub(/\r$/, "", line)
            if (line ~ /^[ \t]*\[/) {
                name = line; sub(/^[ \t]*\[/, "", name); sub(/\].*$/, "", name); name = tolower(name)
                inside = !(name in seen) && name == "porty"; seen[name] = 1
                print; if (inside) add(); next
            }
            if (inside && line !~ /^[ \t]*;/ && index(line, "=") \
                && tolower(trim(substr(line, 1, index(line, "=") - 1))) == "com5") next
            print
        }
        END { if (!added) { print ""; print "[Porty]"; add() } }' "$ini" >"$tmp" && cat "$tmp" >"$ini"
    rm -f "$tmp"
}
