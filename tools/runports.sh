# shellcheck shell=bash
# Sourced by tools/dev.sh: the virtual display on COM1 of a run folder's Data.ini unless the
# user has mapped a port there, so that 'tools/dev.sh run' always shows the display, also on a
# machine whose own serial port is a real, unused line. Nothing here opens a device: only the
# Data.ini is read and written.

runports_marker="; tools/dev.sh run: no port mapped here, so the virtual display"

# What the awk programs below share: blanks trimmed, and whether a section line opens the first
# section of the wanted name (names without regard to case), as the clock reads Data.ini.
runports_awk='
    function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
    function opens(line, wanted,    name, first) {
        name = line; sub(/^[ \t]*\[/, "", name); sub(/\].*$/, "", name); name = tolower(trim(name))
        first = !(name in seen); seen[name] = 1
        return first && name == tolower(wanted)
    }'

# The value of key $3 in section $2 of the ini file $1 as the clock reads it: names without
# regard to case, blanks trimmed, one pair of outer quotes dropped, the first section and the
# first key of a name win. Prints nothing when there is no such key.
ini_value() { # file, section, key
    awk -v section="$2" -v key="$3" "$runports_awk"'
        { sub(/\r$/, "") }
        /^[ \t]*;/ { next }
        /^[ \t]*\[/ { inside = opens($0, section); next }
        inside && index($0, "=") {
            k = trim(substr($0, 1, index($0, "=") - 1))
            if (tolower(k) != tolower(key)) next
            v = trim(substr($0, index($0, "=") + 1))
            if (length(v) >= 2 && (v ~ /^".*"$/ || v ~ /^\047.*\047$/)) v = substr(v, 2, length(v) - 2)
            print v; exit
        }' "$1"
}

# The COMn keys the user has set in [Porty] (lines of ours aside), one per line.
user_ports() { # Data.ini
    awk -v marker="$runports_marker" "$runports_awk"'
        { sub(/\r$/, "") }
        $0 == marker { getline; next }
        /^[ \t]*;/ { next }
        /^[ \t]*\[/ { inside = opens($0, "Porty"); next }
        inside && index($0, "=") {
            k = toupper(trim(substr($0, 1, index($0, "=") - 1)))
            if (k ~ /^COM[1-5]$/) print k
        }' "$1"
}

# Prints "virtual" and maps COM1 to the virtual display in this Data.ini (once) when the user
# has mapped no port there; otherwise takes back a line of ours and prints the ports the user
# mapped ("COM2 COM5").
run_folder_ports() { # Data.ini
    local ini=$1 mapped tmp
    mapped=$(user_ports "$ini" | sort -u | tr '\n' ' ')
    tmp=$(mktemp)
    if [ -n "$mapped" ]; then
        awk -v marker="$runports_marker" '$0 == marker { getline; next } { print }' "$ini" >"$tmp" &&
            cat "$tmp" >"$ini"
        rm -f "$tmp"
        echo "${mapped% }"
        return 0
    fi
    echo virtual
    if grep -qxF "$runports_marker" "$ini"; then
        rm -f "$tmp"
        return 0
    fi
    awk -v marker="$runports_marker" "$runports_awk"'
        function add() { print marker; print "COM1=virtual"; added = 1 }
        {
            line = $0; sub(/\r$/, "", line)
            print
            if (line ~ /^[ \t]*\[/ && opens(line, "Porty"))
                add()
        }
        END { if (!added) { print ""; print "[Porty]"; add() } }' "$ini" >"$tmp" && cat "$tmp" >"$ini"
    rm -f "$tmp"
}
