#!/usr/bin/env python3
"""The DLLs a Windows program folder must carry, found from the programs' own import tables.

  dlls.py derive --search DIR... --system LIBDIR [--plugins QTPLUGINS] PROGRAM...
      Prints "source<TAB>destination" for every DLL the programs import, followed through the
      DLLs found, plus the Qt plugins they load (themselves followed the same way). A DLL is
      taken from the first search folder that holds it; one found in none that is not a Windows
      system DLL is reported on standard error and the status is 1.
  dlls.py check --system LIBDIR FOLDER
      Every program and DLL in FOLDER (plugins included) imports only DLLs that lie beside the
      programs or are Windows system DLLs; status 1 and a list otherwise.

A Windows system DLL is one whose MinGW-w64 import library lib<name>.a lies in LIBDIR (the
MinGW-w64 runtime folder that links against the system's own DLLs), or an API set
(api-ms-win-*, ext-ms-*): the system resolves those itself.
"""

import argparse
import os
import re
import subprocess
import sys

OBJDUMP = "x86_64-w64-mingw32-objdump"

# The plugins Qt loads by itself, by what the programs use: a window needs the platform plugin,
# the native look the Windows styles; the pictures in data/ are GIFs. Nothing loads qico.
PLUGINS = {
    "qt6gui.dll": ["platforms/qwindows.dll", "imageformats/qgif.dll"],
    "qt6widgets.dll": ["styles/*"],
}


def imports(path):
    """The DLL names in the import table (and delay-load table) of a PE file."""
    out = subprocess.run([OBJDUMP, "-p", path], check=True, capture_output=True, text=True).stdout
    return sorted({m.group(1) for m in re.finditer(r"^\s*DLL Name: (\S+)\s*$", out, re.M)})


def is_system(name, system_dir):
    low = name.lower()
    if low.startswith(("api-ms-win-", "ext-ms-")):
        return True
    stem = low[:-4] if low.endswith(".dll") else low
    return os.path.isfile(os.path.join(system_dir, f"lib{stem}.a"))


def find(name, folders):
    """The file of that name in the first folder holding it, matched without regard to case."""
    for folder in folders:
        try:
            entries = os.listdir(folder)
        except OSError:
            continue
        for entry in sorted(entries):
            if entry.lower() == name.lower() and os.path.isfile(os.path.join(folder, entry)):
                return os.path.join(folder, entry)
    return None


def plugins_for(dll_names, plugin_dir):
    found = []
    for dll in sorted(dll_names):
        for pattern in PLUGINS.get(dll, []):
            folder, name = pattern.split("/")
            if name == "*":
                try:
                    names = sorted(n for n in os.listdir(os.path.join(plugin_dir, folder))
                                   if n.lower().endswith(".dll"))
                except OSError:
                    names = []
            else:
                names = [name]
            found += [(os.path.join(plugin_dir, folder, n), f"{folder}/{n}") for n in names]
    return found


def derive(programs, search, system_dir, plugin_dir):
    """Returns ([(source, destination)], [(importer, missing name)])."""
    shipped = {}  # lower-case name -> (source, destination)
    missing = []
    queue = list(programs)
    seen = set()
    plugins_added = False
    while queue:
        path = queue.pop(0)
        if path in seen:
            continue
        seen.add(path)
        for name in imports(path):
            low = name.lower()
            if low in shipped:
                continue
            source = find(name, search)
            if source:
                shipped[low] = (source, os.path.basename(source))
                queue.append(source)
            elif not is_system(name, system_dir):
                missing.append((os.path.basename(path), name))
        if not queue and plugin_dir and not plugins_added:
            # The plugins once every import is known: they depend on which Qt modules are used.
            plugins_added = True
            for source, destination in plugins_for(shipped, plugin_dir):
                if not os.path.isfile(source):
                    missing.append(("Qt", destination))
                    continue
                shipped[destination.lower()] = (source, destination)
                queue.append(source)
    return sorted(shipped.values(), key=lambda s: s[1].lower()), missing


def check(folder, system_dir):
    """[(file, missing name)] for the PE files of an installed folder."""
    beside = {n.lower() for n in os.listdir(folder) if n.lower().endswith(".dll")}
    missing = []
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            if not name.lower().endswith((".exe", ".dll")):
                continue
            path = os.path.join(root, name)
            for dll in imports(path):
                if dll.lower() not in beside and not is_system(dll, system_dir):
                    missing.append((os.path.relpath(path, folder), dll))
    return missing


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    d = sub.add_parser("derive")
    d.add_argument("--search", nargs="+", required=True)
    d.add_argument("--system", required=True)
    d.add_argument("--plugins")
    d.add_argument("programs", nargs="+")
    c = sub.add_parser("check")
    c.add_argument("--system", required=True)
    c.add_argument("folder")
    args = parser.parse_args()

    if args.command == "derive":
        shipped, missing = derive(args.programs, args.search, args.system, args.plugins)
        for source, destination in shipped:
            print(f"{source}\t{destination}")
    else:
        missing = check(args.folder, args.system)
    for importer, name in missing:
        print(f"{importer} imports {name}: neither shipped nor a Windows system DLL",
              file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
