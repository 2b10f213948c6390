#!/usr/bin/env python3
"""Decodes a line trace (tests/lineshim, LINESHIM_TRACE) as the display reads it: a bit is the
data level (break on = 1) when DTR falls; 48 bits make a frame, sent last character first.
Prints one line per whole frame: the time it shows as HH:MM:SS and its dot bits.

    frames.py TRACE DATA_INI
"""

import sys


def patterns(data_ini):
    """The digit patterns of section Znaky, as the clock fits them to 8 characters."""
    table, section = {}, None
    with open(data_ini, "rb") as f:
        for raw in f.read().decode("latin-1").splitlines():
            line = raw.strip()
            if line.startswith("["):
                section = line[1:].split("]")[0].strip().lower()
            elif section == "znaky" and "=" in line and not line.startswith(";"):
                key, value = (part.strip() for part in line.split("=", 1))
                if len(key) == 1 and key.isdigit() and key not in table:
                    table[key] = (value + "0" * 8)[:8]
    return {table.get(str(d), "10010010")[:7]: d for d in range(9, -1, -1)}


def bits(trace):
    out, dtr, brk = [], False, False
    for c in trace:
        if c in "Bb":
            brk = c == "B"
        elif c == "D":
            dtr = True
        elif c == "d":
            if dtr:
                out.append("1" if brk else "0")
            dtr = False
    return "".join(out)


def main():
    try:
        trace = open(sys.argv[1], "rb").read().decode("latin-1")
    except FileNotFoundError:
        trace = ""  # nothing ever reached the line
    digits = patterns(sys.argv[2])
    stream = bits(trace)
    for start in range(0, len(stream) - 47, 48):
        frame = stream[start:start + 48][::-1]
        groups = [frame[8 * g:8 * g + 8] for g in range(6)]  # seconds units first
        shown = [digits.get(g[:7]) for g in groups]
        if None in shown:
            print("??:??:?? " + frame)
            continue
        su, st, mu, mt, hu, ht = shown
        print(f"{ht}{hu}:{mt}{mu}:{st}{su} dots={''.join(g[7] for g in groups)}")


if __name__ == "__main__":
    main()
