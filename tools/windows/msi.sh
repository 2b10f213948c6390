#!/usr/bin/env bash
# Makes the Windows installer of a program folder laid out by package.sh, with wixl:
# packaging/windows/Tikvor.wxs around the folder's files, listed by wxsfiles.py.
# usage: tools/windows/msi.sh [--version X.Y.Z] FOLDER OUTPUT.msi
#   --version  the version Windows Installer compares (default: the release's own); the wine
#              check builds a later one from the same folder to try an upgrade
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
eval "$(cmake -P "$top/cmake/TikvorFacts.cmake")"

version=$TIKVOR_VERSION
text=$TIKVOR_VERSION_1
if [ "${1:-}" = --version ]; then
    version=$2
    text=$2
    shift 2
fi
[ $# -eq 2 ] && [ -f "$1/Tikvor_1.exe" ] || { echo "usage: $0 [--version X.Y.Z] FOLDER OUTPUT.msi" >&2; exit 2; }
folder=$(cd "$1" && pwd)
output=$(realpath -m "$2")
# Windows Installer compares three numbers: major and minor up to 255, build up to 65535.
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -le 255 ] &&
    [ "${BASH_REMATCH[2]}" -le 255 ] && [ "${BASH_REMATCH[3]}" -le 65535 ] ||
    { echo "msi.sh: $version is no Windows Installer version (255.255.65535 at most)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl takes source paths relative to where it runs: the folder's parent.
cd "$(dirname "$folder")"
python3 "$top/tools/windows/wxsfiles.py" "$(basename "$folder")" --skip Data.ini >"$work/files.wxs"
# wixl (libmsi) crashes on any letter outside ASCII, and it cannot set the database's code page.
# So the Czech letters go through it as ASCII escapes (~u0159~); then the database gets the
# Central European code page, and every table holding an escape is read out, unescaped and put
# back: at that point libmsi converts the text properly.
python3 -c 'import re, sys
sys.stdout.write(re.sub(r"[^\x00-\x7f]", lambda m: "~u%04x~" % ord(m.group()), sys.stdin.read()))' \
    <"$top/packaging/windows/Tikvor.wxs" >"$work/Tikvor.wxs"
wixl -a x64 -o "$output" \
    -D Version="$version" -D VersionText="$text" -D Manufacturer="$TIKVOR_COMPANY" \
    -D Url="$TIKVOR_URL" -D Icon="$(realpath --relative-to=. "$top/src/ui/pictures/icon.ico")" \
    -D Folder="$(basename "$folder")" \
    "$work/Tikvor.wxs" "$work/files.wxs"
# Data.ini: 64-bit (256), never overwritten when present (128), left at removal (16); wixl
# knows neither of the last two.
msibuild "$output" -q "UPDATE \`Component\` SET \`Attributes\` = 400 WHERE \`Component\` = 'DataIni'"
# The older versions found are removed without taking over their feature states (no
# msidbUpgradeAttributesMigrateFeatures), and so is another build of this same version
# (msidbUpgradeAttributesVersionMaxInclusive): it would otherwise install beside it, a second
# "Tikvor" in the installed programs list. wixl ignores AllowSameVersionUpgrades.
# Attributes is part of the table's key, so the table is read out, changed and put back.
msiinfo export "$output" Upgrade |
    awk -F '\t' -v OFS='\t' '{ sub(/\r$/, "") } NR > 3 && $7 == "WIX_UPGRADE_DETECTED" { $5 = 512 } 1' \
        >"$work/Upgrade.idt"
msibuild "$output" -i "$work/Upgrade.idt"
# The programs' and libraries' versions, from their version resources, which wixl leaves out:
# Windows Installer decides by them whether a file on the disk is replaced.
msiinfo export "$output" File >"$work/File.idt"
python3 "$top/tools/windows/wxsfiles.py" "$(basename "$folder")" --versions "$work/File.idt" \
    >"$work/File.versions.idt"
msibuild "$output" -i "$work/File.versions.idt"
# wixl puts a custom action "after CostFinalize" at the end of the sequence, past the
# registration that reads the property it sets.
msibuild "$output" -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1001 WHERE \`Action\` = 'SetInstallLocation'"
# The package's language is the product's (Czech), as its texts are; wixl writes 1033.
revision=$(msiinfo suminfo "$output" | sed -n 's/^Revision number (UUID): //p')
msibuild "$output" -s "Tikvor $text" "$TIKVOR_COMPANY" "x64;1029" "$revision"
printf '\n\n1250\t_ForceCodepage\n' >"$work/_ForceCodepage.idt"
msibuild "$output" -i "$work/_ForceCodepage.idt"
mkdir "$work/tables"
for table in $(msiinfo tables "$output"); do
    # In the scratch folder: a table with streams (Icon) writes them into a folder where it runs.
    (cd "$work/tables" && msiinfo export "$output" "$table" >"$table.idt" 2>/dev/null) || continue
    grep -q '~u[0-9a-f]\{4\}~' "$work/tables/$table.idt" || continue
    python3 -c 'import re, sys
sys.stdout.write(re.sub(r"~u([0-9a-f]{4})~", lambda m: chr(int(m.group(1), 16)), sys.stdin.read()))' \
        <"$work/tables/$table.idt" >"$work/tables/$table.utf8.idt"
    mv "$work/tables/$table.utf8.idt" "$work/tables/$table.idt"
    msibuild "$output" -i "$work/tables/$table.idt"
done
if msiinfo tables "$output" | while read -r t; do msiinfo export "$output" "$t" 2>/dev/null; done |
    grep -q '~u[0-9a-f]\{4\}~'; then
    echo "msi.sh: an escaped letter is left in $output" >&2
    exit 1
fi
# The condition that leaves the Autostart feature out, as a table of its own.
msibuild "$output" -i "$top/packaging/windows/autostart.idt"
echo "$output"
