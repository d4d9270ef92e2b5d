"""What the server should publish for a text, worked out from `delimcheck --format=json` on the
same bytes: each report at its position, and its likely fault as a Diagnostic of its own, once
for the reports that share it."""

import json
import re
import subprocess
import tempfile

FLAGS = {'hashLines': ('-c', True), 'warnBackslashBlank': ('-e', False), 'balancing': ('-g', True),
         'reportInString': ('-i', True), 'anyQuoteOpens': ('-t', False)}


def flags(settings):
    """The command-line letters that give the checker the same options as these settings."""
    return [flag for name, (flag, default) in FLAGS.items() if settings.get(name, default) != default]


_LONE = {}


def lone_returns_before(lines):
    """For each checker line, the lone carriage returns on the lines before it (counted once
    for a list of lines)."""
    key = id(lines)
    if key not in _LONE or _LONE[key][0] is not lines:
        counts, n = [], 0
        for x in lines:
            counts.append(n)
            n += x.count(b'\r') - (1 if x.endswith(b'\r') else 0)
        _LONE[key] = (lines, counts)
    return _LONE[key][1]


def character(lines, line, column, encoding):
    """A checker position (from 1, bytes; lines end at LF) as the client counts (from 0; lines
    end at LF, CR LF or a lone CR)."""
    if line > len(lines):
        line, column = len(lines), len(lines[-1]) + 1
    text = lines[line - 1][:-1] if lines[line - 1].endswith(b'\r') else lines[line - 1]
    before = text[:max(column - 1, 0)]
    client_line = line - 1 + lone_returns_before(lines)[line - 1] + before.count(b'\r')
    return client_line, units(before.split(b'\r')[-1], encoding)


def client_words(lines, words, encoding):
    """"line L char C" in a message, naming the client's line and its column (from 1) instead."""
    def one(m):
        line, column = int(m.group(1)), int(m.group(2) or 1)
        cl, ch = character(lines, line, column, encoding)
        return 'line %d' % (cl + 1) + (' char %d' % (ch + 1) if m.group(2) else '')
    return re.sub(r'line (\d+)(?: char (\d+))?', one, words)


# A closer that discards several entries is one fault with each entry as related information.
GROUPED = ('wrong-closer-balanced', 'string-unclosed-opener')


def one_per_fault(reports):
    """The reports of --format=json, those of one closer that discards several entries as one,
    which takes the likely place of the first of them that has one (a repair of one fault apart
    from the others may ride on any)."""
    result = []
    for d in reports:
        last = result[-1] if result else None
        if last and d['code'] in GROUPED and (last['code'], last['line'], last['column']) == (
                d['code'], d['line'], d['column']):
            if 'likely' in d and 'likely' not in last:
                result[-1] = dict(last, likely=d['likely'])
            continue
        result.append(d)
    return result


def units(data, encoding):
    if encoding == 'utf-8':
        return len(data)
    return len(data.decode('utf-8').encode('utf-16-le')) // 2


def run_json(binary, data, args=(), search=True):
    """--format=json on the bytes, from a file: the server checks from memory, which can be read
    again, and so can a file but not a pipe; the repair is searched for only in such input.
    Without the search (the server's first publication), through a pipe."""
    if not search:
        return subprocess.run([binary, '--format=json', *args], input=data, capture_output=True, check=True).stdout
    with tempfile.NamedTemporaryFile(suffix='.tcl') as f:
        f.write(data)
        f.flush()
        return subprocess.run([binary, '--format=json', *args, f.name], capture_output=True, check=True).stdout


def fixes(binary, text, encoding='utf-16'):
    """The descriptions of the repairs --format=json gives for the text, in the client's words."""
    data = text.encode('utf-8')
    lines = data.split(b'\n')
    return [client_words(lines, d['fix']['description'], encoding)
            for d in json.loads(run_json(binary, data)) if 'fix' in d]


def expected(binary, text, settings=None, encoding='utf-16', search=True):
    """[(line, character, severity, code, message)] in the order the server publishes them."""
    data = text.encode('utf-8')
    out = run_json(binary, data, flags(settings or {}), search)
    lines = data.split(b'\n')
    result, shown = [], set()
    for d in one_per_fault(json.loads(out)):
        line, char = character(lines, d['line'], d['column'], encoding)
        result.append((line, char, 1 if d['severity'] == 'error' else 2, d['code'],
                       client_words(lines, d['message'], encoding)))
        if 'likely' in d:
            lk = d['likely']
            line, char = character(lines, lk['line'], lk['column'], encoding)
            if (lk['line'], lk['column'], lk['reason']) not in shown:  # once for the reports sharing it
                shown.add((lk['line'], lk['column'], lk['reason']))
                result.append((line, char, 3, d['code'], client_words(lines, lk['reason'], encoding)))
    return result


def published(diagnostics):
    return [(d['range']['start']['line'], d['range']['start']['character'], d['severity'], d['code'], d['message'])
            for d in diagnostics]
