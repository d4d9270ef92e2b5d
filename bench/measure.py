#!/usr/bin/env python3
"""Times delimcheck against `wc -l` on the same file, alternating the two, and prints a table.
Usage: measure.py DELIMCHECK RUNS CORPUS_DIR CORPUS[:OPTSETS] ..."""

import os
import statistics
import subprocess
import sys
import tempfile
import time

OPTION_SETS = ['', '-q', '-s', '-m', '-l', '-j']


def timed(argv):
    """Wall time in seconds and peak resident set in KiB of one run, output to /dev/null.
    GNU time reports the peak: the rusage of a child forked from this interpreter would count
    the interpreter's own pages from before the exec. Both commands are wrapped alike."""
    with open(os.devnull, 'wb') as null, tempfile.NamedTemporaryFile('r') as rss:
        start = time.perf_counter()
        status = subprocess.call(['/usr/bin/time', '-q', '-f', '%M', '-o', rss.name] + argv,
                                 stdout=null, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        peak = int(rss.read().split()[-1])
    if status != 0:
        raise SystemExit('%s failed with status %d' % (' '.join(argv), status))
    return wall, peak


def main():
    binary, runs, corpus_dir = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    print('| corpus | MiB | options | delimcheck s | MB/s | wc -l s | ratio | peak RSS MiB |')
    print('|---|---:|---|---:|---:|---:|---:|---:|')
    for item in sys.argv[4:]:
        name, _, sets = item.partition(':')
        sets = sets.split(',') if sets else OPTION_SETS
        path = os.path.join(corpus_dir, name)
        size = os.path.getsize(path)
        for opts in sets:
            opts = '' if opts == 'none' else opts
            ours, wcs, rss = [], [], 0
            timed(['wc', '-l', path])  # warm the page cache
            for _ in range(runs):
                t, m = timed([binary] + ([opts] if opts else []) + [path])
                ours.append(t)
                rss = max(rss, m)
                wcs.append(timed(['wc', '-l', path])[0])
            a, b = statistics.median(ours), statistics.median(wcs)
            print('| %s | %.0f | %s | %.3f | %.0f | %.3f | %.1f | %.1f |'
                  % (name, size / 2**20, opts or 'none', a, size / a / 1e6, b, a / b, rss / 1024), flush=True)


if __name__ == '__main__':
    main()
