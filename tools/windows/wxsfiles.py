#!/usr/bin/env python3
"""Lists a program folder as WiX components, for wixl: one component per file, its file the key.

  wxsfiles.py FOLDER [--skip NAME]... > files.wxs
  wxsfiles.py FOLDER --versions File.idt > File.idt   (the File table, with versions)

Every file under FOLDER goes into the component group ProgramFiles, in folders under the
directory INSTALLDIR, with its source path relative to FOLDER's parent (wixl wants relative
source paths; run it from there). Unlike wixl-heat, files at the top are not put in a folder
named "." (wixl refuses those as duplicate ids), and the ids and component GUIDs follow from
the file's path alone, so a later version of the package keeps them and an upgrade replaces
each file in place.

With --versions, it reads the File table exported from the built package (msiinfo export) and
fills in the Version and Language of every file that carries a version resource, which wixl
leaves empty.
"""

import argparse
import hashlib
import os
import struct
import sys
import uuid
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import versioninfo  # noqa: E402  (beside this script)

# The component GUIDs of Tikvor's files are made in this namespace from the installed path.
NAMESPACE = uuid.UUID("bcd80652-1b41-4245-9ce6-10eb7ee2e44f")


def ident(prefix, path):
    # Ids may hold letters, digits, "_" and "." and stay under 72 characters whatever the path.
    return prefix + hashlib.sha1(path.encode("utf-8")).hexdigest()[:24].upper()


def files_under(folder):
    """Every file's path relative to folder, with "/" between names."""
    for path, _, names in os.walk(folder):
        for name in names:
            yield os.path.relpath(os.path.join(path, name), folder).replace(os.sep, "/")


def with_versions(folder, table):
    """The File table's rows (tab-separated, three header lines) with versions filled in."""
    by_id = {ident("f", rel): rel for rel in files_under(folder)}
    lines = table.splitlines()
    out = lines[:3]
    for line in lines[3:]:
        row = line.split("\t")
        rel = by_id.get(row[0])
        if rel and rel.lower().endswith((".exe", ".dll")) and not row[4]:
            try:
                info = versioninfo.read_file(os.path.join(folder, rel))
                row[4] = info.fields["FILEVERSION"]
                row[5] = ",".join(str(lang) for lang, _cp in info.translations)
            except (versioninfo.FormatError, OSError, struct.error):
                pass  # no version resource: the file stays unversioned
        out.append("\t".join(row))
    return "\r\n".join(out) + "\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--skip", action="append", default=[],
                        help="a path relative to FOLDER that the main source installs itself")
    parser.add_argument("--versions", metavar="FILE_IDT",
                        help="print this exported File table with the files' versions")
    args = parser.parse_args()

    folder = os.path.normpath(args.folder)
    if args.versions:
        with open(args.versions, encoding="utf-8", newline="") as f:
            sys.stdout.write(with_versions(folder, f.read()))
        return 0
    base = os.path.basename(folder)
    skip = {s.replace("\\", "/") for s in args.skip}
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
           '  <Fragment>',
           '    <DirectoryRef Id="INSTALLDIR">']
    components = []

    def walk(path, relative, depth):
        indent = "  " * (depth + 3)
        entries = sorted(os.listdir(path), key=lambda n: (n.lower(), n))
        for name in entries:
            full = os.path.join(path, name)
            rel = f"{relative}/{name}" if relative else name
            if os.path.isdir(full) or rel in skip:
                continue
            cid = ident("c", rel)
            components.append(cid)
            guid = str(uuid.uuid5(NAMESPACE, rel.lower())).upper()
            source = f"{base}/{rel}"
            out.append(f'{indent}<Component Id="{cid}" Guid="{guid}" Win64="yes">')
            out.append(f'{indent}  <File Id="{ident("f", rel)}" Name={quoteattr(name)} '
                       f'KeyPath="yes" Source={quoteattr(source)}/>')
            out.append(f'{indent}</Component>')
        for name in entries:
            full = os.path.join(path, name)
            if not os.path.isdir(full):
                continue
            rel = f"{relative}/{name}" if relative else name
            out.append(f'{indent}<Directory Id="{ident("d", rel)}" Name={quoteattr(name)}>')
            walk(full, rel, depth + 1)
            out.append(f'{indent}</Directory>')

    walk(folder, "", 1)
    out += ['    </DirectoryRef>', '  </Fragment>', '  <Fragment>',
            '    <ComponentGroup Id="ProgramFiles">']
    out += [f'      <ComponentRef Id="{c}"/>' for c in components]
    out += ['    </ComponentGroup>', '  </Fragment>', '</Wix>']
    sys.stdout.write("\n".join(out) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
