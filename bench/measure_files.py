#!/usr/bin/env python3
"""Times delimcheck on many files named at once, with --jobs=1 and with the default (every
processor), each alternating with `wc -l` on the same files, and prints a table. A third case,
one `--jobs=1` process per processor on its share of the files, all at once, shows what the
machine allows when nothing is shared.
Usage: measure_files.py DELIMCHECK RUNS FILE_LIST"""

import os
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from measure import timed, understands  # noqa: E402


def timed_together(argvs):
    """Wall time of the commands started together, until the last one ends."""
    with open(os.devnull, 'wb') as null:
        start = time.perf_counter()
        procs = [subprocess.Popen(argv, stdout=null) for argv in argvs]
        statuses = [p.wait() for p in procs]
        wall = time.perf_counter() - start
    if any(statuses):
        raise SystemExit('a share of the files failed with status %d' % max(statuses))
    return wall


def main():
    binary, runs, listing = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(listing) as f:
        files = f.read().splitlines()
    ok, probe = understands(binary, ['--jobs=1'])
    if not ok:
        said = (probe.stderr.splitlines() or [''])[0]
        print('many files: skipped, this delimcheck does not take --jobs=1 (status %d: %s)'
              % (probe.returncode, said))
        return
    cases = [('--jobs=1', [binary, '--jobs=1'] + files), ('default', [binary] + files)]
    wc = ['wc', '-l'] + files
    # An untimed run of each warms the page cache and shows whether the jobs change the output.
    alone, spread = (subprocess.run(argv, capture_output=True).stdout for _, argv in cases)
    if alone != spread:
        print('note: the output with --jobs=1 differs from the default one')
    cpus = os.cpu_count() or 1
    shares = [[binary, '--jobs=1'] + files[i::cpus] for i in range(cpus)]
    ours = {name: [] for name, _ in cases}
    wcs = {name: [] for name, _ in cases}
    apart = []
    for _ in range(runs):
        for name, argv in cases:
            ours[name].append(timed(argv)[0])
            wcs[name].append(timed(wc)[0])
        apart.append(timed_together(shares))
    median = {name: statistics.median(ours[name]) for name in ours}
    mib = sum(os.path.getsize(p) for p in files) / 2**20
    print('| case | files | MiB | delimcheck s | wc -l s | ratio |')
    print('|---|---:|---:|---:|---:|---:|')
    for name, _ in cases:
        a, b = median[name], statistics.median(wcs[name])
        print('| %s | %d | %.1f | %.3f | %.3f | %.2f |' % (name, len(files), mib, a, b, a / b))
    print('default vs --jobs=1: %.2f×' % (median['--jobs=1'] / median['default']))
    print('%d separate --jobs=1 processes on shares of the files, together: %.3f s, %.2f× --jobs=1'
          % (cpus, statistics.median(apart), median['--jobs=1'] / statistics.median(apart)))

if __name__ == '__main__':
    main()
