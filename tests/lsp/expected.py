"""What the server should publish for a text, worked out from `delimcheck --format=json` on the
same bytes: each report at its position, and its likely fault as a Diagnostic of its own, once
for the reports that share it."""

import json
import subprocess
import tempfile

FLAGS = {'hashLines': ('-c', True), 'warnBackslashBlank': ('-e', False), 'balancing': ('-g', True),
         'reportInString': ('-i', True), 'anyQuoteOpens': ('-t', False)}


def flags(settings):
    """The command-line letters that give the checker the same options as these settings."""
    return [flag for name, (flag, default) in FLAGS.items() if settings.get(name, default) != default]


def character(lines, line, column, encoding):
    """A checker position (from 1, bytes) as the client counts (from 0)."""
    if line > len(lines):
        return len(lines) - 1, units(lines[-1], encoding)
    text = lines[line - 1].rstrip(b'\r') if lines[line - 1].endswith(b'\r') else lines[line - 1]
    return line - 1, units(text[:max(column - 1, 0)], encoding)


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


def fixes(binary, text):
    """The descriptions of the repairs --format=json gives for the text."""
    return [d['fix']['description'] for d in json.loads(run_json(binary, text.encode('utf-8'))) if 'fix' in d]


def expected(binary, text, settings=None, encoding='utf-16', search=True):
    """[(line, character, severity, code, message)] in the order the server publishes them."""
    data = text.encode('utf-8')
    out = run_json(binary, data, flags(settings or {}), search)
    lines = data.split(b'\n')
    result, shown = [], set()
    for d in json.loads(out):
        line, char = character(lines, d['line'], d['column'], encoding)
        result.append((line, char, 1 if d['severity'] == 'error' else 2, d['code'], d['message']))
        if 'likely' in d:
            lk = d['likely']
            line, char = character(lines, lk['line'], lk['column'], encoding)
            if (lk['line'], lk['column'], lk['reason']) not in shown:  # once for the reports sharing it
                shown.add((lk['line'], lk['column'], lk['reason']))
                result.append((line, char, 3, d['code'], lk['reason']))
    return result


def published(diagnostics):
    return [(d['range']['start']['line'], d['range']['start']['character'], d['severity'], d['code'], d['message'])
            for d in diagnostics]
