#!/usr/bin/env python3
"""File names and texts of random bytes through the json, sarif and github formats, read
back with real parsers: every JSON string must give back its bytes through surrogateescape,
every SARIF URI through percent-decoding. Then the SARIF log and the JSON array of a real run
over a few files, checked for their structure and against each other; with DELIMCHECK, that
program's documents for the same run, on one thread and on several, must be the same bytes.
Usage: format_roundtrip.py TOOL [CASES] [SEED] [DELIMCHECK]"""

import json
import os
import random
import re
import subprocess
import sys
import tempfile
import urllib.parse

CODES = ['unmatched-closer', 'wrong-closer', 'wrong-closer-balanced', 'string-stray-closer',
         'string-unclosed-opener', 'extra-after-string', 'backslash-blank', 'missing-closer',
         'cannot-access', 'read-error']
WARNINGS = {'extra-after-string', 'backslash-blank'}
UNREADABLE = {'cannot-access', 'read-error'}

AWKWARD = [b'"', b'\\', b'%', b'/', b'.', b':', b',', b' ', b'\n', b'\r', b'\t', b'\x00', b'\x1e',
           b'\x1f', b'\x7f', b'%0A', b'::', b'\\u00e9', b'\\udcff']
VALID = [b'\xc2\x80', b'\xdf\xbf', b'\xe0\xa0\x80', b'\xed\x9f\xbf', b'\xee\x80\x80', b'\xef\xbf\xbf',
         b'\xf0\x90\x80\x80', b'\xf4\x8f\xbf\xbf']
INVALID = [b'\x80', b'\xbf', b'\xc0\xaf', b'\xc1\xbf', b'\xe0\x9f\xbf', b'\xf0\x8f\xbf\xbf',
           b'\xed\xa0\x80', b'\xed\xbf\xbf', b'\xf4\x90\x80\x80', b'\xf5', b'\xfe', b'\xff', b'\xc3',
           b'\xe2\x82', b'\xf0\x9f\x98']
PREFIXES = [b'', b'', b'./', b'.//', b'././', b'/', b'//', b'../', b'.', b'-']


def random_char(rng):
    return chr(rng.choice([rng.randrange(0x80, 0x800), rng.randrange(0x800, 0xd800),
                           rng.randrange(0xe000, 0x10000), rng.randrange(0x10000, 0x110000)])).encode()


def piece(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return bytes([rng.randrange(256)])
    if kind == 1:
        return rng.choice(AWKWARD)
    if kind == 2:
        return rng.choice(VALID) if rng.randrange(2) else random_char(rng)
    if kind == 3:
        return rng.choice(INVALID)
    if kind == 4:
        return random_char(rng)[:-1]  # cut short
    return bytes([rng.randrange(0x20, 0x7f)])


def random_bytes(rng, prefixes=False):
    length = rng.randrange(41)
    b = rng.choice(PREFIXES) if prefixes else b''
    while len(b) < length:
        b += piece(rng)
    return b[:length]


def text_sequence(data):
    """The JSON texts of an RFC 7464 sequence; the whole must be valid UTF-8."""
    return [json.loads(t) for t in data.decode('utf-8').split('\x1e')[1:]]


def raw(s):
    return s.encode('utf-8', 'surrogateescape')


def relative_uri(name):
    while name.startswith(b'./'):
        name = name[2:].lstrip(b'/')
    return name


def unescape_github(s):
    return re.sub('%(25|0D|0A|3A|2C)', lambda m: chr(int(m.group(1), 16)), s)


class Checker:
    def __init__(self):
        self.failures = []

    def expect(self, ok, what):
        if not ok and len(self.failures) < 20:
            self.failures.append(what)
        return ok


def check_json_object(c, o, n, name):
    keys = ['file', 'line', 'column', 'severity', 'code', 'message'] + (['related'] if n % 2 == 0 else [])
    code = CODES[n // 2 % len(CODES)]
    line, column = (1, 1) if code in UNREADABLE else (n + 1, n % 50 + 1)
    c.expect(list(o) == keys, 'json keys %r for case %d' % (list(o), n))
    c.expect(raw(o['file']) == name, 'json file %r for %r' % (o['file'], name))
    c.expect((o['line'], o['column']) == (line, column), 'json position for case %d' % n)
    c.expect(o['code'] == code, 'json code %r for case %d' % (o['code'], n))
    c.expect(o['severity'] == ('warning' if code in WARNINGS else 'error'), 'json severity, case %d' % n)
    c.expect(isinstance(o['message'], str) and o['message'], 'json message, case %d' % n)
    if 'related' in o:
        r = o['related']
        c.expect(len(r) == 1 and (r[0]['line'], r[0]['column']) == (n % 7 + 1, n % 11 + 1) and
                 r[0]['message'].startswith('[ opened here'), 'json related %r, case %d' % (r, n))
    return code, line, column


def check_sarif_result(c, log, n, name, code, line, column):
    wd = b'/' + name
    root = wd if wd.endswith(b'/') else wd + b'/'
    base = log['runs'][0]['originalUriBaseIds']['SRCROOT']['uri']
    c.expect(base.startswith('file:///') and urllib.parse.unquote_to_bytes(base[len('file://'):]) == root,
             'sarif SRCROOT %r for %r' % (base, wd))
    results = log['runs'][0]['results']
    if not c.expect(len(results) == 1, 'sarif results for case %d' % n):
        return
    r = results[0]
    c.expect(r['ruleId'] == code, 'sarif ruleId %r, case %d' % (r['ruleId'], n))
    c.expect(r['level'] == ('warning' if code in WARNINGS else 'error'), 'sarif level, case %d' % n)
    c.expect(isinstance(r['message']['text'], str) and r['message']['text'], 'sarif message, case %d' % n)
    locations = [r['locations'][0]] + r.get('relatedLocations', [])
    c.expect(len(locations) == (2 if n % 2 == 0 else 1), 'sarif related locations, case %d' % n)
    c.expect(r['locations'][0]['physicalLocation']['region'] == {'startLine': line, 'startColumn': column},
             'sarif region, case %d' % n)
    for loc in locations:
        artifact = loc['physicalLocation']['artifactLocation']
        uri = artifact['uri']
        if name.startswith(b'/'):
            c.expect('uriBaseId' not in artifact and uri.startswith('file:///') and
                     urllib.parse.unquote_to_bytes(uri[len('file://'):]) == name,
                     'sarif uri %r for %r' % (uri, name))
        else:
            c.expect(artifact.get('uriBaseId') == 'SRCROOT' and
                     urllib.parse.unquote_to_bytes(uri) == relative_uri(name),
                     'sarif uri %r for %r' % (uri, name))
        path = uri[len('file://'):] if 'uriBaseId' not in artifact else uri
        c.expect(re.fullmatch(r'[A-Za-z0-9._~/%-]*', path) is not None, 'sarif uri %r not encoded' % uri)


def check_github(c, line, n, name, code, row, column):
    c.expect(line.endswith('\n') and '\n' not in line[:-1] and '\r' not in line,
             'github line %r is not one line' % line)
    m = re.fullmatch(r'::(error|warning) file=([^,]*),line=(\d+),col=(\d+)::(.*)\n', line, re.S)
    if not c.expect(m is not None, 'github line %r' % line):
        return
    c.expect(m.group(1) == ('warning' if code in WARNINGS else 'error'), 'github level, case %d' % n)
    c.expect(raw(unescape_github(m.group(2))) == name, 'github file %r for %r' % (m.group(2), name))
    c.expect((int(m.group(3)), int(m.group(4))) == (row, column), 'github position, case %d' % n)
    c.expect(('%0A' in m.group(5)) == (n % 2 == 0), 'github related line, case %d' % n)


def round_trip(tool, cases, seed):
    rng = random.Random(seed)
    pairs = [(random_bytes(rng, True), random_bytes(rng)) for _ in range(cases)]
    stdin = ''.join('%s %s\n' % (name.hex(), text.hex()) for name, text in pairs).encode()
    out = subprocess.run([tool, 'strings'], input=stdin, stdout=subprocess.PIPE, check=True).stdout
    texts = text_sequence(out)
    c = Checker()
    if not c.expect(len(texts) == 3 * cases, '%d JSON texts for %d cases' % (len(texts), cases)):
        return c.failures
    for n, (name, text) in enumerate(pairs):
        strings, array, log = texts[3 * n:3 * n + 3]
        c.expect(raw(strings['name']) == name, 'name %r came back as %r' % (name, raw(strings['name'])))
        c.expect(raw(strings['text']) == text, 'text %r came back as %r' % (text, raw(strings['text'])))
        if not c.expect(isinstance(array, list) and len(array) == 1, 'json array for case %d' % n):
            continue
        code, line, column = check_json_object(c, array[0], n, name)
        check_sarif_result(c, log, n, name, code, line, column)
        check_github(c, strings['github'], n, name, code, line, column)
    return c.failures


def real_run(tool, delimcheck):
    """A run over files with and without findings, in a folder, and one that is missing."""
    c = Checker()
    files = {'a b.tcl': b'proc p {} {\n    set x [y\n}\n',
             'clean.tcl': b'proc q {} {\n    return [list 1 2]\n}\n',
             'sub/100% "x",y:z.tcl': b'set a "b"c\n{ ( }\n',
             'deep.tcl': b'if {1} {\n  while {[x] {\n  "\n'}
    operands = ['a b.tcl', 'clean.tcl', './sub/100% "x",y:z.tcl', 'missing.tcl', 'deep.tcl']
    with tempfile.TemporaryDirectory() as d:
        d = os.path.realpath(d)
        for path, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(d, path)), exist_ok=True)
            with open(os.path.join(d, path), 'wb') as f:
                f.write(data)
        operands.append(os.path.join(d, 'a b.tcl'))
        out = {fmt: subprocess.run([tool, 'run', fmt] + operands, cwd=d, stdout=subprocess.PIPE,
                                   check=True).stdout.decode('utf-8') for fmt in ('json', 'sarif')}
        array, log = json.loads(out['json']), json.loads(out['sarif'])
        for fmt in ('json', 'sarif') if delimcheck else ():
            for jobs in ('--jobs=1', '--jobs=3'):
                got = subprocess.run([delimcheck, '--format=' + fmt, jobs] + operands, cwd=d,
                                     stdout=subprocess.PIPE).stdout.decode('utf-8')
                c.expect(got == out[fmt], 'delimcheck %s %s gives another document:\n%s' % (fmt, jobs, got))

        c.expect(log['version'] == '2.1.0' and 'sarif-2.1.0' in log['$schema'], 'sarif version and schema')
        c.expect(len(log['runs']) == 1, 'one run')
        run = log['runs'][0]
        driver = run['tool']['driver']
        c.expect(driver['name'] == 'delimcheck' and re.fullmatch(r'\d+\.\d+\.\d+', driver['version']),
                 'driver %r' % {k: driver.get(k) for k in ('name', 'version')})
        rules = driver['rules']
        ids = [r['id'] for r in rules]
        c.expect(ids == CODES, 'rule ids %r' % ids)
        for r in rules:
            c.expect(r['shortDescription']['text'] and r['defaultConfiguration']['level'] ==
                     ('warning' if r['id'] in WARNINGS else 'error'), 'rule %r' % r)
        base = run['originalUriBaseIds']['SRCROOT']['uri']
        c.expect(base == 'file://' + urllib.parse.quote(d) + '/', 'SRCROOT %r for %r' % (base, d))

        results = run['results']
        c.expect(len(results) == len(array) and len(array) >= 6, '%d results, %d objects' % (len(results),
                                                                                           len(array)))
        for r, o in zip(results, array):
            c.expect(r['ruleId'] in ids, 'ruleId %r' % r['ruleId'])
            words = (r['ruleId'], r['level'], r['message']['text'])
            c.expect(words == (o['code'], o['severity'], o['message']), 'result %r against %r' % (r, o))
            loc = r['locations'][0]['physicalLocation']
            c.expect(loc['region'] == {'startLine': o['line'], 'startColumn': o['column']},
                     'region %r against %r' % (loc, o))
            artifact = loc['artifactLocation']
            uri = urllib.parse.unquote(artifact['uri'])
            if artifact.get('uriBaseId') == 'SRCROOT':
                path = os.path.join(d, uri)
            else:
                path = uri[len('file://'):]
            c.expect(os.path.samefile(path, os.path.join(d, o['file'])) if os.path.exists(path)
                     else o['file'] == 'missing.tcl', 'uri %r for %r' % (artifact, o['file']))
            related = r.get('relatedLocations', [])
            wanted = list(o.get('related', []))
            if 'likely' in o:  # the likely fault comes last, as one more related location
                likely = o['likely']
                wanted.append({'line': likely['line'], 'column': likely['column'],
                               'message': 'likely fault: ' + likely['reason']})
            c.expect(len(related) == len(wanted), 'related of %r' % r)
            for rl, ol in zip(related, wanted):
                region = {'startLine': ol['line'], 'startColumn': ol['column']}
                same = rl['message']['text'] == ol['message'] and rl['physicalLocation']['region'] == region
                c.expect(same, 'related %r against %r' % (rl, ol))
        c.expect(all(o['file'] != 'clean.tcl' for o in array), 'clean.tcl reported')
        c.expect(any(o['code'] == 'extra-after-string' for o in array), 'a warning in the run')
        c.expect(any('likely' in o for o in array), 'a likely fault in the run')
    return c.failures


def main():
    tool = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261210
    delimcheck = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else None
    failures = round_trip(tool, cases, seed) + real_run(tool, delimcheck)
    for f in failures:
        print(f)
    print('%d round trips and a real run: %s' % (cases, 'failed' if failures else 'all good'))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
