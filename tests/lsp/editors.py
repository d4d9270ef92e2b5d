#!/usr/bin/env python3
"""A real editor as the server's client: Neovim or Emacs (eglot) opens each script headless and
writes out the diagnostics it shows, which must be those of `--format=json` for the same file,
the likely fault included (line, byte column, code, message), with the options that each
editor's settings give. When a quick fix is offered, Neovim applies it, and the file it writes
must check clean.
Usage: editors.py neovim|emacs DELIMCHECK [--project TOML [--change TOML]] SCRIPT...
                  [--require-fix SCRIPT...]
(the scripts after --require-fix, run once whether or not named before too, must be offered a
quick fix; with --project, TOML is the delimcheck.toml next to each script, read by the
server and the command line alike; with --change, the editor writes that TOML over it while
the script is open, and then must show what the command line reports under the new one)"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from expected import client_words, one_per_fault  # noqa: E402


# The options that each editor's settings give the server.
FLAGS = {'neovim': [], 'emacs': ['-e']}


def expected(binary, path, flags=()):
    """(line, byte column, severity 1-3, code, message), sorted by place; the message's columns
    in UTF-16, as both editors count."""
    out = subprocess.run([binary, '--format=json', *flags, path], capture_output=True, check=True).stdout
    with open(path, 'rb') as f:
        lines = f.read().split(b'\n')
    result = []
    for d in one_per_fault(json.loads(out)):
        result.append((d['line'], d['column'], 1 if d['severity'] == 'error' else 2, d['code'],
                       client_words(lines, d['message'], 'utf-16')))
        likely = (d['likely']['line'], d['likely']['column'], 3, d['code'],
                  client_words(lines, d['likely']['reason'], 'utf-16')) if 'likely' in d else None
        if likely and likely not in result:  # once for the reports that share it
            result.append(likely)
    return sorted(result)


def run_neovim(binary, script, out, env):
    env = dict(os.environ, DELIMCHECK=binary, SCRIPT=script, OUT=out, **env)
    subprocess.run(['nvim', '--headless', '-u', 'NONE', '-i', 'NONE', '-n', '-c',
                    'luafile ' + os.path.join(HERE, 'neovim.lua')], env=env, timeout=120, check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)  # its messages to the screen


def run_emacs(binary, script, out, env):
    env = dict(os.environ, DELIMCHECK=binary, SCRIPT=script, OUT=out, **env)
    subprocess.run(['emacs', '--batch', '-q', '-l', os.path.join(HERE, 'emacs-eglot.el')], env=env, timeout=120,
                   check=True, stdin=subprocess.DEVNULL)


def main():
    editor, binary = sys.argv[1], os.path.abspath(sys.argv[2])
    failures = 0
    args = sys.argv[3:]
    project = change = None
    if args[:1] == ['--project']:
        project, args = args[1], args[2:]
    if args[:1] == ['--change']:
        change, args = os.path.abspath(args[1]), args[2:]
    cut = args.index('--require-fix') if '--require-fix' in args else len(args)
    required = set(args[cut + 1:])
    for source in args[:cut] + [s for s in args[cut + 1:] if s not in args[:cut]]:
        require_fix = source in required
        with tempfile.TemporaryDirectory() as tmp:
            script = os.path.join(tmp, os.path.basename(source))
            shutil.copyfile(source, script)
            if project:
                shutil.copyfile(project, os.path.join(tmp, 'delimcheck.toml'))
            out = os.path.join(tmp, 'out.json')
            want = expected(binary, script, FLAGS[editor])
            with open(script, 'rb') as f:
                original = f.read()
            env = {'PROJECT_CHANGE': change} if change else {}
            (run_neovim if editor == 'neovim' else run_emacs)(binary, script, out, env)
            with open(out) as f:
                result = json.load(f)
            problems = []
            shown = [('', result['diagnostics'], want)]
            if result.get('asked_to_watch', True) != result.get('can_watch', True):
                problems.append('the server %s to watch the project files, and the editor says it %s' % (
                    'asked' if result['asked_to_watch'] else 'did not ask',
                    'can' if result['can_watch'] else 'cannot'))
            if change:
                # The editor has written the new project file, and then perhaps a quick fix into
                # the script: the script is judged as it was when the project file changed.
                with open(script, 'rb') as f:
                    written = f.read()
                with open(script, 'wb') as f:
                    f.write(original)
                changed = expected(binary, script, FLAGS[editor])
                with open(script, 'wb') as f:
                    f.write(written)
                if changed == want:
                    problems.append('the change makes no difference to the command line')
                shown.append((' after the project file changed', result.get('changed', []), changed))
            for when, diagnostics, wanted in shown:
                got = sorted((d['line'], d['column'], d['severity'], d['code'], d['message']) for d in diagnostics)
                if editor == 'emacs':  # Flymake shows two diagnostics of the same place and text as one
                    got, wanted = sorted(set(got)), sorted(set(wanted))
                if got != wanted:
                    problems.append('diagnostics differ%s:\n  %s: %s\n  --format=json: %s' % (
                        when, editor, got, wanted))
            if require_fix and not result.get('actions'):
                problems.append('no quick fix offered')
            if result.get('actions'):
                # The fix mends a fault: the whole file, or one fault apart from old findings,
                # which stay. The editor then shows what the command line finds in the file.
                left = expected(binary, script, FLAGS[editor])
                after = sorted((d['line'], d['column'], d['severity'], d['code'], d['message'])
                               for d in result.get('after') or [])
                if after != left:
                    problems.append('diagnostics after the fix: %s\n  the file written: %s' % (after, left))
                errors = [sum(1 for d in ds if d[2] == 1) for ds in (want, left)]
                if errors[1] >= errors[0]:
                    problems.append('the fix mended no error: %d before, %d after' % tuple(errors))
            print('%s %s: %s diagnostics, %d quick fixes' % (
                'FAIL' if problems else 'ok  ', os.path.basename(source),
                ' then '.join(str(len(d)) for _, d, _ in shown), len(result.get('actions', []))))
            for p in problems:
                print('  ' + p)
            failures += bool(problems)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
