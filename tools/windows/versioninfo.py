#!/usr/bin/env python3
"""Reads the version resource (VS_VERSIONINFO) of a compiled Windows resource
file (.res, as written by windres or rc) or of a Windows program or library
(.exe, .dll: found through the PE file's resource directory).

    versioninfo.py FILE                  prints every field, one "name: value" a line
    versioninfo.py FILE NAME=VALUE ...   compares; exits 1 when a field differs

NAME is FILEVERSION, PRODUCTVERSION (as "1.0.21.0"), Translation (as
"0x0409/1200") or the name of a string (CompanyName, ...).  A check also fails
when no string table answers to a Translation, since Windows finds the strings
through it.  The binary resource is read, never the script, so what rc or
windres made of numbers and non-ASCII text is what gets compared.
"""

import os
import struct
import sys

RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD


class FormatError(Exception):
    pass


def _align4(offset):
    return (offset + 3) & ~3


def _utf16z(data, offset, end):
    """A NUL-terminated UTF-16LE text at offset; returns (text, offset past the NUL)."""
    stop = offset
    while stop + 1 < end and data[stop:stop + 2] != b"\0\0":
        stop += 2
    return data[offset:stop].decode("utf-16-le"), stop + 2


def version_resources_in_res(data):
    """The data of every RT_VERSION resource in a .res file, in file order."""
    found = []
    offset = 0
    while offset + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, offset)
        if header_size < 16 or offset + header_size + data_size > len(data):
            raise FormatError(f"damaged .res entry at offset {offset}")
        type_id = None
        if struct.unpack_from("<H", data, offset + 8)[0] == 0xFFFF:
            type_id = struct.unpack_from("<H", data, offset + 10)[0]
        if type_id == RT_VERSION:
            start = offset + header_size
            found.append(data[start:start + data_size])
        offset = _align4(offset + header_size + data_size)
    return found


def version_resources_in_pe(data):
    """The data of every RT_VERSION resource in a PE file (all names and languages)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise FormatError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise FormatError(f"unknown optional header magic {magic:#x}")
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if rsrc_rva == 0 or rsrc_size == 0:
        return []

    table = optional + optional_size
    spans = []
    for i in range(sections):
        vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        spans.append((vaddr, max(vsize, raw_size), raw_ptr))

    def file_offset(rva):
        for vaddr, size, raw_ptr in spans:
            if vaddr <= rva < vaddr + size:
                return raw_ptr + rva - vaddr
        raise FormatError(f"RVA {rva:#x} lies in no section")

    root = file_offset(rsrc_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, root + directory + 12)
        for i in range(named + numbered):
            yield struct.unpack_from("<II", data, root + directory + 16 + 8 * i)

    found = []
    for type_key, type_dir in entries(0):
        if type_key != RT_VERSION or not type_dir & 0x80000000:
            continue
        for _name, name_dir in entries(type_dir & 0x7FFFFFFF):
            if not name_dir & 0x80000000:
                continue
            for _lang, leaf in entries(name_dir & 0x7FFFFFFF):
                if leaf & 0x80000000:
                    continue
                rva, size = struct.unpack_from("<II", data, root + leaf)
                start = file_offset(rva)
                found.append(data[start:start + size])
    return found


def _blocks(data, offset, end):
    """The blocks (key, type, value, children start, block end) from offset to end."""
    while offset + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            break
        block_end = min(offset + length, end)
        key, value_start = _utf16z(data, offset + 6, block_end)
        value_start = _align4(value_start)
        # Text lengths count UTF-16 units, binary ones bytes.
        value_bytes = value_length * 2 if value_type == 1 else value_length
        value = data[value_start:min(value_start + value_bytes, block_end)]
        yield key, value_type, value, _align4(value_start + value_bytes), block_end
        offset = _align4(block_end)


def _version_text(most, least):
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


class VersionInfo:
    """fields: FILEVERSION, PRODUCTVERSION, Translation, and each string as
    "<table>/<name>" and as "<name>" alone (the first table's when several have it).
    tables: the string tables' names ("040904B0"); translations: (language, code page)."""

    def __init__(self):
        self.fields = {}
        self.tables = []
        self.translations = []


def parse_version_info(data):
    blocks = list(_blocks(data, 0, len(data)))
    if not blocks or blocks[0][0] != "VS_VERSION_INFO":
        raise FormatError("not a VS_VERSIONINFO")
    _key, _type, fixed, children, end = blocks[0]
    if len(fixed) < 52 or struct.unpack_from("<I", fixed, 0)[0] != FIXED_SIGNATURE:
        raise FormatError("VS_FIXEDFILEINFO missing or damaged")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    info = VersionInfo()
    fields, tables, translations = info.fields, info.tables, info.translations
    fields["FILEVERSION"] = _version_text(file_ms, file_ls)
    fields["PRODUCTVERSION"] = _version_text(product_ms, product_ls)
    for key, _type, _value, start, stop in _blocks(data, children, end):
        if key == "StringFileInfo":
            for table, _t, _v, table_start, table_stop in _blocks(data, start, stop):
                tables.append(table.upper())
                for name, _t2, text, _s, _e in _blocks(data, table_start, table_stop):
                    text = text[:len(text) & ~1].decode("utf-16-le").split("\0", 1)[0]
                    fields[f"{table.upper()}/{name}"] = text
                    fields.setdefault(name, text)
        elif key == "VarFileInfo":
            for name, _t, value, _s, _e in _blocks(data, start, stop):
                if name == "Translation":
                    for i in range(0, len(value) - 3, 4):
                        translations.append(struct.unpack_from("<HH", value, i))
    fields["Translation"] = " ".join(f"0x{lang:04X}/{cp}" for lang, cp in translations)
    return info


def read_file(path):
    with open(path, "rb") as f:
        data = f.read()
    resources = version_resources_in_pe(data) if data[:2] == b"MZ" else version_resources_in_res(data)
    if not resources:
        raise FormatError("no version resource")
    if len(resources) > 1:
        raise FormatError(f"{len(resources)} version resources, expected one")
    return parse_version_info(resources[0])


def check(info, expected):
    """Mismatch messages; empty when every expected field holds its value."""
    problems = []
    for name, want in expected:
        got = info.fields.get(name)
        if got != want:
            problems.append(f"{name}: got {got!r}, expected {want!r}")
    for lang, cp in info.translations:
        if f"{lang:04X}{cp:04X}" not in info.tables:
            problems.append(f"Translation 0x{lang:04X}/{cp} has no string table {lang:04X}{cp:04X}")
    return problems


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    sys.stdout.reconfigure(encoding="utf-8")
    try:
        info = read_file(argv[1])
    except (OSError, FormatError, struct.error, UnicodeDecodeError) as e:
        print(f"{argv[1]}: {e}", file=sys.stderr)
        return 1
    if len(argv) == 2:
        for name, value in info.fields.items():
            if "/" not in name:
                print(f"{name}: {value}")
        return 0
    expected = []
    for arg in argv[2:]:
        # The bytes as given, as UTF-8, whatever the locale made of them.
        name, sep, want = os.fsencode(arg).decode("utf-8").partition("=")
        if not sep:
            print(f"not NAME=VALUE: {arg}", file=sys.stderr)
            return 2
        expected.append((name, want))
    problems = check(info, expected)
    for p in problems:
        print(f"{argv[1]}: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
