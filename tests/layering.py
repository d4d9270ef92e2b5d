#!/usr/bin/env python3
"""The source folders depend in one direction only: each file includes headers from its own
folder or from folders below it, and no file reaches itself through its includes.
Usage: layering.py SOURCE_DIR"""

import os
import re
import sys

# From the bottom up: the public types, the scanners, Tcl's own reading rules, the listing, the
# checker that drives them, the output formats, the project settings, the language server, the
# command line.
ORDER = ['delimcheck', 'scan', 'tcl', 'listing', 'check', 'format', 'config', 'lsp', 'driver']
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    src = sys.argv[1]
    includes = {}
    for folder in os.listdir(src):
        for name in os.listdir(os.path.join(src, folder)):
            path = folder + '/' + name
            with open(os.path.join(src, path)) as f:
                includes[path] = INCLUDE.findall(f.read())
    problems = []
    for path, targets in sorted(includes.items()):
        folder = path.split('/')[0]
        if folder not in ORDER:
            problems.append('%s: folder %s has no place in the order %s' % (path, folder, ORDER))
            continue
        for t in targets:
            if t not in includes:
                problems.append('%s includes %s, which is not in the tree' % (path, t))
            elif ORDER.index(t.split('/')[0]) > ORDER.index(folder):
                problems.append('%s includes %s, from a folder above its own' % (path, t))

    # No cycle among the files: a depth-first walk with an explicit stack.
    state = {}
    for start in includes:
        if start in state:
            continue
        stack = [(start, iter(includes[start]))]
        state[start] = 'open'
        while stack:
            node, it = stack[-1]
            nxt = next(it, None)
            if nxt is None:
                state[node] = 'done'
                stack.pop()
            elif nxt in includes and state.get(nxt) == 'open':
                problems.append('include cycle: %s' % ' -> '.join([n for n, _ in stack] + [nxt]))
            elif nxt in includes and nxt not in state:
                state[nxt] = 'open'
                stack.append((nxt, iter(includes[nxt])))
    for p in problems:
        print(p)
    print('%d files, %d problems' % (len(includes), len(problems)))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
