#!/usr/bin/env bash
# Writes into FOLDER the source entries (`deb-src`) that match the machine's own binary
# entries (`deb`) in /etc/apt/sources.list and /etc/apt/sources.list.d (one-line `.list` and
# deb822 `.sources` files alike), so a private apt state can fetch source packages from the
# mirrors this machine is set up for. Usage: debsrc.sh FOLDER [APT-ETC]
set -euo pipefail
out=$1
etc=${2:-/etc/apt}
mkdir -p "$out"
: >"$out/machine.list"
: >"$out/machine.sources"

# One-line form: "deb [options] uri suite components..."
for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n -E 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >>"$out/machine.list"
done

# deb822 form: stanzas separated by blank lines; a stanza whose Types include deb is copied
# with Types: deb-src. Comment lines are dropped; Enabled: no stanzas are skipped.
for f in "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
        function flush() {
            if (n > 0 && isdeb && !disabled) {
                for (i = 1; i <= n; i++) print lines[i]
                print ""
            }
            n = 0; isdeb = 0; disabled = 0
        }
        /^[[:space:]]*#/ { next }
        /^[[:space:]]*$/ { flush(); next }
        tolower($1) == "types:" {
            for (i = 2; i <= NF; i++) if ($i == "deb") isdeb = 1
            lines[++n] = "Types: deb-src"; next
        }
        tolower($1) == "enabled:" && tolower($2) == "no" { disabled = 1 }
        { lines[++n] = $0 }
        END { flush() }
    ' "$f" >>"$out/machine.sources"
done

if [ ! -s "$out/machine.list" ] && [ ! -s "$out/machine.sources" ]; then
    echo "debsrc.sh: no deb entries in $etc" >&2
    exit 1
fi
