#!/usr/bin/env python3
"""How a program ends on a slow line: SIGTERM at a random moment of the second, RUNS times.

Usage: bench/ending.py [BUILD_DIR [PROGRAM [DELAY_US [RUNS [scan]]]]]
       (defaults: build, Tikvor_1, 1000, 20)

Each run starts the built PROGRAM (Tikvor_1 offscreen, Tikvor_0 or tikvor-display) from a
folder of its own whose Data.ini puts COM2 on a pseudo-terminal made here, given modem lines by
the preloaded line shim with every line change taking DELAY_US, and every other port on a
missing path. Once a whole frame has gone out it waits a random part of a second, sends SIGTERM
and reads the shim's trace: the exit status, the bits of the frame that was on the line at the
signal, whether every frame went out whole and the lines ended at rest (DTR released, break
off), and the time from the signal to the end of the process. No real device is opened.

With `scan`, all five ports are pseudo-terminals with that delay (200000 us is an adapter that
fakes break, so each open times break and is refused): SIGTERM comes at a random moment of the
start-up scan, and the figures are the time to the end and the line changes made after the
signal.
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else 'build')
program = sys.argv[2] if len(sys.argv) > 2 else 'Tikvor_1'
delay = sys.argv[3] if len(sys.argv) > 3 else '1000'
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 20
scan = len(sys.argv) > 5 and sys.argv[5] == 'scan'


def trace_of(folder):
    try:
        with open(os.path.join(folder, 'trace'), 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return b''


rows = []
for _ in range(runs):
    masters, slaves = [], []
    for n in range(5 if scan else 1):
        master, slave_fd = os.openpty()
        masters.append(master)
        slaves.append(os.ttyname(slave_fd).encode())
        os.close(slave_fd)
    folder = tempfile.mkdtemp()
    shutil.copy(os.path.join(build, 'bin', program), folder)
    shutil.copytree(os.path.join(root, 'data'), os.path.join(folder, 'data'),
                    ignore=shutil.ignore_patterns('Data.ini', 'CMakeLists.txt'))
    with open(os.path.join(root, 'data', 'Data.ini'), 'rb') as f:
        ini = f.read()
    none = os.path.join(folder, 'none').encode()
    devices = slaves if scan else [none, slaves[0], none, none, none]
    ports = b'\r\n'.join(b'COM%d=' % (n + 1) + d for n, d in enumerate(devices))
    with open(os.path.join(folder, 'Data.ini'), 'wb') as f:
        f.write(ini.replace(b'[Porty]', b'[Porty]\r\n' + ports))
    env = dict(os.environ, LD_PRELOAD=os.path.join(build, 'tests', 'liblineshim.so'),
               LINESHIM_TRACE=os.path.join(folder, 'trace'), LINESHIM_DELAY_US=delay,
               QT_QPA_PLATFORM='offscreen')
    process = subprocess.Popen([os.path.join(folder, program)], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    started = time.time()
    if scan:
        time.sleep(random.uniform(0.3, 3.0))
    else:
        while trace_of(folder).count(b'D') < 48 and time.time() - started < 20:
            time.sleep(0.01)
        time.sleep(random.uniform(0, 1))
    before = trace_of(folder)
    at_signal = 1 if scan else before.count(b'D') % 48
    sent = time.time()
    process.send_signal(signal.SIGTERM)
    status = process.wait(30)
    took = (time.time() - sent) * 1000
    trace = trace_of(folder)
    if scan:
        rows.append((status, len(trace) - len(before), took))
        for master in masters:
            os.close(master)
        shutil.rmtree(folder)
        continue
    rest = (trace.endswith(b'd') or trace.endswith(b'db')) and \
        (b'B' not in trace or trace.rfind(b'B') < trace.rfind(b'b'))
    rows.append((status, at_signal, trace.count(b'D') % 48 == 0, rest, took))
    for master in masters:
        os.close(master)
    shutil.rmtree(folder)

print(f'{program}, {delay} us per line change, {runs} runs' + (', stopped in the scan' if scan else ''))
if scan:
    times = sorted(r[2] for r in rows)
    changes = sorted(r[1] for r in rows)
    print(f'status 0: {sum(r[0] == 0 for r in rows)}/{runs}; signal to exit, ms: median '
          f'{times[len(times) // 2]:.0f}, max {times[-1]:.0f}; line changes after the signal: '
          f'median {changes[len(changes) // 2]}, max {changes[-1]}')
    sys.exit(0)
mid = [r for r in rows if r[1] > 0]
print(f'status 0: {sum(r[0] == 0 for r in rows)}/{runs}; signal inside a frame: {len(mid)}; '
      f'frames whole: {sum(r[2] for r in rows)}/{runs}; lines at rest: {sum(r[3] for r in rows)}/{runs}')
times = sorted(r[4] for r in mid) or [0]
print(f'signal to exit inside a frame, ms: median {times[len(times) // 2]:.0f}, max {times[-1]:.0f}')
times = sorted(r[4] for r in rows if r[1] == 0) or [0]
print(f'signal to exit between frames, ms: median {times[len(times) // 2]:.0f}, max {times[-1]:.0f}')
