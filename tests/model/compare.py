#!/usr/bin/env python3
"""Runs delimcheck and the model on many generated inputs and option sets and compares the
standard output byte for byte. Usage: compare.py BINARY [CASES] [SEED]"""

import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from delimcheck_model import Model  # noqa: E402

PIECES = [b'{', b'}', b'[', b']', b'(', b')', b'"', b'\\', b'#', b' ', b'  ', b'\t', b'\n', b'\n',
          b'\n    ', b'a', b'set x', b';', b'\r\n', b'\\\n', b'\\ ', b'\x80', b'\xff', b'\x00', b'\v', b'"x"',
          b'{\n', b'}\n', b'    }\n', b'# ', b'[list ', b'$']
LETTERS = 'cegijlmqst'


def gen_input(rng):
    n = rng.choice([0, 1, 3, 10, 40, 120, 400])
    return b''.join(rng.choice(PIECES) for _ in range(n))


def gen_options(rng):
    opts = []
    for _ in range(rng.randint(0, 3)):
        opts.append('-' + ''.join(rng.choice(LETTERS) for _ in range(rng.randint(1, 3))))
    return opts


def main():
    binary = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 12345
    rng = random.Random(seed)
    failures = 0
    with tempfile.TemporaryDirectory() as d:
        for case in range(cases):
            opts = gen_options(rng)
            use_files = rng.random() < 0.3
            files = {}
            operands = []
            stdin = b''
            if use_files:
                for k in range(rng.randint(1, 3)):
                    name = 'f%d' % k
                    if rng.random() < 0.15:
                        operands.append('missing%d' % k)
                        continue
                    files[name] = gen_input(rng)
                    with open(os.path.join(d, name), 'wb') as f:
                        f.write(files[name])
                    operands.append(name)
            else:
                stdin = gen_input(rng)
            args = opts + operands
            expected = Model(args).run(stdin, files)
            got = subprocess.run([binary] + args, input=stdin, cwd=d, capture_output=True).stdout
            if got != expected:
                failures += 1
                if failures <= 3:
                    print('MISMATCH case %d args %r' % (case, args))
                    print(' stdin %r' % stdin)
                    for n, v in files.items():
                        print(' file %s %r' % (n, v))
                    print(' expected %r' % expected)
                    print(' got      %r' % got)
    print('%d passed, %d failed' % (cases - failures, failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
