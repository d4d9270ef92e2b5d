#!/usr/bin/env python3
"""An executable model of delimcheck, written straight from the rules of the checker and the
listing, one step at a time, for comparing against the real program on generated inputs.

It is deliberately plain and slow: a byte loop with a one-byte look-ahead, a list as the
delimiter stack, and lists of records, so that it shares no code or shortcut with the C++."""

import sys

OPENER_OF = {ord('"'): ord('"'), ord(')'): ord('('), ord(']'): ord('['), ord('}'): ord('{')}


def opener_of(b):
    return OPENER_OF.get(b, ord('@'))


def is_pair(o, c):
    return c in OPENER_OF and o == OPENER_OF[c]


def balancing_closer(a, b):
    for k in (ord('}'), ord(']'), ord(')')):
        if a == k or b == k:
            return k
    return ord('@')


def signed(b):
    return b - 256 if b >= 128 else b


def c_space(v):
    return v == 32 or 9 <= v <= 13


class Model:
    def __init__(self, args):
        self.out = bytearray()
        o = dict(hash_lines=1, warn=0, balancing=1, report_in_string=1, join=0, pair=0,
                 collapse=0, quiet=0, show=0, any_quote=0)
        i = 0
        while i < len(args):
            a = args[i]
            if a == '--':
                i += 1
                break
            if not a.startswith('-') or a == '-':
                break
            for ch in a[1:]:
                if ch == 'c': o['hash_lines'] = 0
                elif ch == 'e': o['warn'] = 1
                elif ch == 'g': o['balancing'] = 0
                elif ch == 'i': o['report_in_string'] = 0
                elif ch == 'j': o.update(join=1, pair=1, collapse=1, show=1)
                elif ch == 'l': o.update(pair=1, collapse=1, show=1)
                elif ch == 'm': o.update(collapse=1, show=1)
                elif ch == 'q': o['quiet'] = 1
                elif ch == 's': o['show'] = 1
                elif ch == 't': o['any_quote'] = 1
            i += 1
        self.o = o
        self.operands = args[i:]
        self.text = bytearray()
        self.records = []  # [line, text(bytes), delims(bytearray)], oldest first
        self.path = None
        self.header_printed = 0

    # -- output
    def w(self, s):
        self.out += s.encode('latin-1') if isinstance(s, str) else bytes(s)

    def header(self):
        if not self.header_printed and self.path is not None:
            self.w(b'File ' + self.path + b':\n')
            self.header_printed = 1

    # -- listing
    def record_char(self, c):
        if not self.o['show']:
            return
        if self.o['collapse'] and self.text and is_pair(self.text[-1], c):
            self.text.pop()
            return
        self.text.append(c)

    def flush_line(self):
        if not self.o['show']:
            return
        delims = bytearray(b for b in self.text if not c_space(b))
        if delims:
            if self.o['pair']:
                self.pair_line(bytes(self.text), delims)
            else:
                self.header()
                self.w('%5d : ' % self.line)
                self.w(bytes(self.text) + b'\n')
        self.text = bytearray()

    @staticmethod
    def closes(a, b, exact):
        for i in range(len(a)):
            if i >= len(b):
                return False
            if not (b[i] == a[i] or is_pair(a[i], b[i])):
                return False
        return (not exact) or len(b) == len(a)

    def pair_line(self, L, D):
        R = self.records
        if not R:
            R.append([self.line, L, D])
            return
        if self.o['join']:
            if not self.join_line(D):
                R.append([self.line, L, D])
            return
        if self.closes(R[-1][1], L, True):
            R.pop()
            return
        if len(R) < 2:
            R.append([self.line, L, D])
            return
        T, top = R[-2], R[-1]
        if self.closes(T[1], L, True) and self.closes(T[1], top[1], False):
            n = len(L)
            B = bytearray(top[1])
            B[n - 1] = 32
            k = len(B) - n
            if self.closes(bytes(B[k:]), L, True):
                R.pop()
                R.pop()
                return
        R.append([self.line, L, D])

    def join_line(self, D):
        while True:
            if not self.records:
                return 0
            R = self.records[-1]
            p = len(R[2]) - 1
            i = 0
            while i < len(D):
                if p < 0:
                    break
                if not is_pair(R[2][p], D[i]):
                    return 0
                del R[2][p]
                p -= 1
                i += 1
            if p < 0:
                self.records.pop()
            if i >= len(D):
                return 1
            del D[:i]

    # -- delimiter stack
    def report(self, s):
        self.header()
        self.w(s)

    def push(self, closer):
        self.stack.append([closer, self.line, self.col, self.in_string])
        self.record_char(opener_of(closer))

    def close(self, c):
        self.record_char(c)
        S = self.stack
        C = chr(c)
        if not S:
            self.report('Unmatching %s : line %d char %d\n' % (C, self.line, self.col))
            return
        E = S[-1][0]
        if E == c:
            self.in_string = S[-1][3]
            S.pop()
            return
        if self.in_string:
            if c != ord('"'):
                if self.o['report_in_string']:
                    self.report('Inside a string: unmatched %s on line %d char %d\n' % (C, self.line, self.col))
                return
            while S[-1][0] != ord('"'):
                if self.o['report_in_string']:
                    self.report('Inside a string: unmatched %s ending line %d char %d\n'
                                % (chr(opener_of(S[-1][0])), self.line, self.col))
                S.pop()
            self.in_string = S[-1][3]
            S.pop()
            return
        if not self.o['balancing']:
            self.report('Expecting %s got %s : line %d char %d\n' % (chr(E), C, self.line, self.col))
            return
        K = balancing_closer(c, E)
        O = opener_of(K)
        while True:
            if S[-1][0] == K:
                if K == c:
                    S.pop()
                else:
                    self.report('Expecting %s got %s : line %d char %d\n' % (chr(E), C, self.line, self.col))
                return
            self.report('Expecting %s got %s : line %d char %d (balancing %s%s)\n'
                        % (chr(E), C, self.line, self.col, chr(O), chr(K)))
            S.pop()
            if not S:
                return

    def finish(self):
        while self.stack:
            e = self.stack.pop()
            self.report('%s missing, opened on line %d char %d\n' % (chr(e[0]), e[1], e[2]))
        if self.o['pair']:
            for r in self.records:
                self.header()
                self.w('%5d : ' % r[0])
                self.w(bytes(r[1]) + b'\n')
            self.records = []

    # -- quotes
    def handle_quote(self, prev, follower):
        if self.in_string:
            if not self.in_hash:
                if not (c_space(follower) or follower in (0x29, 0x3B, 0x5C, 0x5D, 0x7D)):
                    self.w('Extra characters after string : line %d char %d\n' % (self.line, self.col))
            self.close(ord('"'))
        elif self.o['any_quote'] or c_space(prev) or prev in (0x28, 0x7B, 0x5B):
            self.push(ord('"'))
            self.in_string = 1
        self.at_start = 0

    # -- scanner
    def end_of_line(self, continued):
        if self.o['show']:
            self.flush_line()
        if not continued and not self.in_string:
            self.in_hash = 0
            self.at_start = 1
        self.line += 1
        self.col = 0

    def scan(self, data):
        self.in_string = 0
        self.line = 1
        self.col = 0
        self.stack = []
        self.in_hash = 0
        self.at_start = 1
        prev = 32
        bb = 0
        i = 0
        n = len(data)
        while True:
            if i >= n:
                break
            c = data[i]
            i += 1
            self.col += 1
            paren_ok = bool(self.stack) and self.stack[-1][0] != ord(']') and not self.in_hash
            brace_ok = (not self.in_hash) or bool(self.stack)
            if c in (32, 9):
                if self.at_start:
                    self.record_char(c)
                prev = c
                continue
            if c == 10:
                if self.o['warn'] and bb:
                    self.w('\\ followed by blank space at the end of line %d.\n' % self.line)
                self.end_of_line(0)
                bb = 0
                prev = 10
                continue
            if c == ord('\\'):
                self.at_start = 0
                if i >= n:
                    break
                e = data[i]
                i += 1
                self.col += 1
                if e == 10:
                    self.end_of_line(1)
                    prev = 10
                    bb = 0
                elif e in (32, 9):
                    bb = 1
                    prev = e
                else:
                    bb = 0
                    prev = e
                continue
            if c == ord('"'):
                follower = signed(data[i]) if i < n else -1
                self.handle_quote(signed(prev), follower)
                prev = c
                bb = 0
                continue
            if c == ord('#'):
                if self.at_start and self.o['hash_lines']:
                    self.in_hash = 1
            elif c == ord('('):
                if paren_ok:
                    self.push(ord(')'))
            elif c == ord(')'):
                if paren_ok:
                    self.close(c)
            elif c == ord('{'):
                if brace_ok:
                    self.push(ord('}'))
            elif c == ord('['):
                if brace_ok:
                    self.push(ord(']'))
                self.in_string = 0
            elif c in (ord(']'), ord('}')):
                if brace_ok:
                    self.close(c)
            self.at_start = 0
            bb = 0
            prev = c
        # the last line without a newline is flushed as a newline would flush it
        self.flush_line()

    def run(self, stdin_bytes, files):
        if not self.operands:
            self.path = None
            self.scan(stdin_bytes)
            self.finish()
            return bytes(self.out)
        for name in self.operands:
            self.path = name.encode('latin-1') if isinstance(name, str) else name
            self.header_printed = 0
            if not self.o['quiet']:
                self.header()
            data = files.get(name)
            if data is None:
                self.header()
                self.w(b'Cannot be accessed!!\n')
                continue
            self.scan(data)
            self.finish()
        return bytes(self.out)


def main():
    args = sys.argv[1:]
    files = {}
    m = Model(args)
    for name in m.operands:
        try:
            with open(name, 'rb') as f:
                files[name] = f.read()
        except OSError:
            pass
    sys.stdout.buffer.write(m.run(sys.stdin.buffer.read() if not m.operands else b'', files))


if __name__ == '__main__':
    main()
