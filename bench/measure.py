#!/usr/bin/env python3
"""Times delimcheck against `wc -l` on the same file, alternating the two, and prints a table.
With --before OTHER, a second delimcheck (an older build, say) is timed in the same rounds, so
that the two ratios come from one run.
Usage: measure.py [--before OTHER] DELIMCHECK RUNS CORPUS_DIR CORPUS[:OPTSETS] ..."""

import os
import statistics
import subprocess
import sys
import tempfile
import time

OPTION_SETS = ['', '-q', '-s', '-m', '-l', '-j']
# On the real scripts also what the fault hints and a structured format cost: the corpus is cut
# inside a script, so it ends with reports, and the hints are looked for.
EXTRA_SETS = {'real': ['--hints', '--format=json']}


def understands(binary, flags):
    """Whether the binary takes these options, and its run on an empty input: an older one
    refuses a long option it does not know (status 2), or reads it as letters and complains on
    standard error."""
    probe = subprocess.run([binary] + flags + [os.devnull], capture_output=True, text=True)
    return probe.returncode == 0 and not probe.stderr, probe


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
    args = sys.argv[1:]
    before = None
    if args[0] == '--before':
        before, args = args[1], args[2:]
    binary, runs, corpus_dir = args[0], int(args[1]), args[2]
    head = '| corpus | MiB | options | delimcheck s | MB/s | wc -l s | ratio | peak RSS MiB |'
    rule = '|---|---:|---|---:|---:|---:|---:|---:|'
    if before:
        head += ' before s | before ratio |'
        rule += '---:|---:|'
    print(head)
    print(rule)
    for item in args[3:]:
        name, _, sets = item.partition(':')
        sets = sets.split(',') if sets else OPTION_SETS + EXTRA_SETS.get(name, [])
        path = os.path.join(corpus_dir, name)
        size = os.path.getsize(path)
        for opts in sets:
            opts = '' if opts == 'none' else opts
            flags = [opts] if opts else []
            ours, wcs, olds, rss = [], [], [], 0
            old = before if before and understands(before, flags)[0] else None
            timed(['wc', '-l', path])  # warm the page cache
            for _ in range(runs):
                t, m = timed([binary] + flags + [path])
                ours.append(t)
                rss = max(rss, m)
                wcs.append(timed(['wc', '-l', path])[0])
                if old:
                    olds.append(timed([old] + flags + [path])[0])
            a, b = statistics.median(ours), statistics.median(wcs)
            row = ('| %s | %.0f | %s | %.3f | %.0f | %.3f | %.1f | %.1f |'
                   % (name, size / 2**20, opts or 'none', a, size / a / 1e6, b, a / b, rss / 1024))
            if old:
                c = statistics.median(olds)
                row += ' %.3f | %.1f |' % (c, c / b)
            elif before:
                row += ' - | - |'
            print(row, flush=True)


if __name__ == '__main__':
    main()
