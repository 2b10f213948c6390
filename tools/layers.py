#!/usr/bin/env python3
"""Checks that the folders under src/ keep their floors: a file includes headers of its own
folder or of a folder below it, never of one above or beside it, and no unit (a header with its
sources) includes itself back through others. The floors are those of src/CMakeLists.txt,
lowest first.

Usage: tools/layers.py [SOURCE_DIR]   (exit status 1 and one line per fault when broken)
"""
import os
import re
import sys

FLOORS = [['clock'], ['startup'], ['display'], ['port'], ['line'], ['link'], ['ui', 'console'],
          ['app']]

root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                       os.path.join(os.path.dirname(__file__), '..'))
src = os.path.join(root, 'src')
floor = {name: level for level, names in enumerate(FLOORS) for name in names}
include = re.compile(r'\s*#\s*include\s+"([^"]+)"')

faults = []
graph = {}
for folder in sorted(os.listdir(src)):
    if not os.path.isdir(os.path.join(src, folder)):
        continue
    if folder not in floor:
        faults.append(f'src/{folder}: a folder with no floor (add it to FLOORS and the table)')
        continue
    for name in sorted(os.listdir(os.path.join(src, folder))):
        if not name.endswith(('.h', '.cpp')):
            continue
        path = f'{folder}/{name}'
        unit = path.rsplit('.', 1)[0]
        graph.setdefault(unit, set())
        with open(os.path.join(src, path), encoding='utf-8') as f:
            for line in f:
                m = include.match(line)
                if not m:
                    continue
                target = m.group(1) if '/' in m.group(1) else f'{folder}/{m.group(1)}'
                other = target.split('/')[0]
                if other in floor and other != folder and floor[other] >= floor[folder]:
                    faults.append(f'src/{path} includes {target}: {other} is not below {folder}')
                if os.path.exists(os.path.join(src, target)):
                    other_unit = target.rsplit('.', 1)[0]
                    if other_unit != unit:
                        graph[unit].add(other_unit)

state = {}


def visit(node, stack):
    state[node] = 1
    stack.append(node)
    for nxt in sorted(graph.get(node, ())):
        if state.get(nxt) == 1:
            faults.append('include cycle: ' + ' -> '.join(stack[stack.index(nxt):] + [nxt]))
        elif nxt not in state:
            visit(nxt, stack)
    stack.pop()
    state[node] = 2


for node in graph:
    if node not in state:
        visit(node, [])

for fault in faults:
    print(fault)
print(f'layers: {len(graph)} units, {len(faults)} fault(s)')
sys.exit(1 if faults else 0)
