#!/usr/bin/env python3
"""The language server driven over pipes: the lifecycle, positions in UTF-16 and UTF-8,
incremental edits against the command line's own reports, settings, code actions, and every
kind of bad input, each followed by a request that must still be answered.
Usage: protocol.py DELIMCHECK"""

import os
import random
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from client import Client, frame  # noqa: E402
from expected import expected, fixes, published  # noqa: E402

BINARY = sys.argv[1] if len(sys.argv) > 1 else 'delimcheck'
URI = 'file:///project/script.tcl'
PARSE_ERROR, INVALID_REQUEST, METHOD_NOT_FOUND, INVALID_PARAMS, NOT_INITIALIZED = -32700, -32600, -32601, -32602, -32002

TESTS = []


def test(f):
    TESTS.append(f)
    return f


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def equal(got, want, what=''):
    if got != want:
        raise AssertionError('%s\n  got:  %r\n  want: %r' % (what, got, want))


def started(**initialize):
    c = Client(BINARY)
    c.initialize(**initialize)
    return c


def still_serving(c):
    """A request the server must answer: an unknown method, answered as such."""
    r = c.request('delimcheck/noSuchMethod')
    equal(r.get('error', {}).get('code'), METHOD_NOT_FOUND, 'the probe after the bad input')


def error_code(m):
    return m.get('error', {}).get('code')


def open_doc(c, text, uri=URI, version=1):
    c.notify('textDocument/didOpen', {'textDocument': {'uri': uri, 'languageId': 'tcl', 'version': version,
                                                       'text': text}})


def change(c, version, changes, uri=URI):
    c.notify('textDocument/didChange', {'textDocument': {'uri': uri, 'version': version}, 'contentChanges': changes})


def rng(l1, c1, l2, c2):
    return {'start': {'line': l1, 'character': c1}, 'end': {'line': l2, 'character': c2}}


# Lifecycle ---------------------------------------------------------------------------------

@test
def lifecycle():
    c = Client(BINARY)
    equal(error_code(c.request('shutdown')), NOT_INITIALIZED, 'a request before initialize')
    c.notify('textDocument/didOpen', {'textDocument': {'uri': URI, 'version': 1, 'text': '}'}})  # dropped
    r = c.initialize()
    caps = r['result']['capabilities']
    equal(caps['positionEncoding'], 'utf-16', 'no encoding offered')
    equal(caps['textDocumentSync']['change'], 2, 'incremental sync')
    check(caps['textDocumentSync']['openClose'], 'open and close')
    equal(caps['codeActionProvider'], {'codeActionKinds': ['quickfix', 'source.fixAll.delimcheck']}, 'code actions')
    equal(r['result']['serverInfo']['name'], 'delimcheck', 'serverInfo')
    equal(error_code(c.request('initialize', {'capabilities': {}})), INVALID_REQUEST, 'initialize twice')
    c.notify('$/cancelRequest', {'id': 1})
    c.notify('$/someNotification', {'x': 1})
    c.notify('workspace/didChangeWatchedFiles', {'changes': []})
    still_serving(c)
    check(not c.notifications, 'ignored notifications draw nothing: %r' % c.notifications)
    equal(c.request('shutdown'), {'jsonrpc': '2.0', 'id': 5, 'result': None}, 'shutdown')
    equal(error_code(c.request('textDocument/codeAction', {})), INVALID_REQUEST, 'a request after shutdown')
    c.notify('exit')
    equal(c.proc.wait(10), 0, 'exit after shutdown')


@test
def exit_without_shutdown():
    c = started()
    c.notify('exit')
    equal(c.proc.wait(10), 1, 'exit without shutdown')
    c = started()
    equal(c.close(), 1, 'end of input without shutdown')
    c = started()
    c.request('shutdown')
    equal(c.close(), 0, 'end of input after shutdown')


# Diagnostics --------------------------------------------------------------------------------

LOST_BRACE = open(os.path.join(os.path.dirname(__file__), '..', '..', 'examples', 'lost-brace.tcl')).read()


@test
def diagnostics_match_the_json_format():
    c = started()
    open_doc(c, LOST_BRACE, version=7)
    m = c.wait_for(lambda m: m.get('method') == 'textDocument/publishDiagnostics')
    equal(m['params']['version'], 7, 'the version published')
    equal(published(m['params']['diagnostics']), expected(BINARY, LOST_BRACE, search=False),
          'at once: the indentation places the fault')
    m = c.wait_for(lambda m: m.get('method') == 'textDocument/publishDiagnostics')
    equal(m['params']['version'], 7, 'the same version again')
    ds = m['params']['diagnostics']
    equal(published(ds), expected(BINARY, LOST_BRACE), 'then the edit that mends it places the fault')
    check(published(ds) != expected(BINARY, LOST_BRACE, search=False), 'and places it elsewhere')
    report, likely = ds
    equal(report['source'], 'delimcheck', 'source')
    equal(report['range'], rng(20, 12, 21, 0), 'a missing closer: the line ending at the end')
    related = report['relatedInformation']
    equal([r['message'] for r in related],
          ['{ opened here, never closed', 'likely fault: ' + likely['message']], 'related information')
    equal(related[0]['location']['range'], rng(1, 24, 1, 25), 'the opener, one character')
    equal(related[1]['location'], {'uri': URI, 'range': likely['range']}, 'the likely fault')
    line = likely['range']['start']['line']
    equal(likely['range']['end'], {'line': line, 'character': len(LOST_BRACE.split('\n')[line])},
          'the likely fault: the rest of its line')
    c.notify('textDocument/didClose', {'textDocument': {'uri': URI}})
    m = c.wait_for(lambda m: m.get('method') == 'textDocument/publishDiagnostics')
    equal(m['params']['diagnostics'], [], 'closed: an empty list')
    still_serving(c)


SAMPLE = open(os.path.join(os.path.dirname(__file__), '..', '..', 'examples', 'sample.tcl')).read()

# Delimiters after characters of 1, 2, 3 and 4 UTF-8 bytes, which are 1, 1, 1 and 2 UTF-16 units.
WIDE = 'set a "h\u00e9llo \u20ac \U0001F600" ]\nputs "\U0001F600\U0001F600" x\nset b {\u00e9 [\u00e9 }\n'


@test
def positions_in_utf16_and_utf8():
    for offered, chosen in [(None, 'utf-16'), (['utf-16'], 'utf-16'), (['utf-8', 'utf-16'], 'utf-8'),
                            (['utf-32', 'utf-8'], 'utf-8')]:
        caps = {'general': {'positionEncodings': offered}} if offered else {}
        c = Client(BINARY)
        r = c.initialize(capabilities=caps)
        equal(r['result']['capabilities']['positionEncoding'], chosen, 'offered %r' % offered)
        for text in (WIDE, SAMPLE):
            open_doc(c, text)
            got = published(c.diagnostics(URI))
            equal(got, expected(BINARY, text, encoding=chosen), '%s, %r' % (chosen, text[:20]))
        check(any(ch for _, ch, *_ in got), 'nonzero characters')
        c.close()


@test
def incremental_edits_in_utf16_follow_the_text():
    """Random edits, as a client makes them, each published against the command line's reports
    on the text the edits make."""
    rnd = random.Random(20261210)
    pieces = ['{', '}', '[', ']', '"', '\n', '    ', 'set x ', '\u00e9', '\U0001F600', '#', '\\', ' ', 'proc p {} {\n']
    c = started()
    text = WIDE + SAMPLE
    open_doc(c, text)
    for version in range(2, 80):
        units = text.encode('utf-16-le')
        lines = text.split('\n')
        l1 = rnd.randrange(len(lines) + 1)
        line = lines[l1] if l1 < len(lines) else ''
        u = len(line.encode('utf-16-le')) // 2
        c1 = rnd.randrange(u + 3)  # past the end of a line now and then
        l2, c2 = (l1, c1 + rnd.randrange(4)) if rnd.random() < 0.7 else (l1 + 1, rnd.randrange(5))
        new = ''.join(rnd.choice(pieces) for _ in range(rnd.randrange(3)))
        text = apply_utf16(text, l1, c1, l2, c2, new)
        if rnd.random() < 0.1:
            change(c, version, [{'text': text}])  # the whole text now and then
        else:
            change(c, version, [{'range': rng(l1, c1, l2, c2), 'rangeLength': 0, 'text': new}])
        del units
        equal(published(c.diagnostics(URI, version)), expected(BINARY, text), 'after edit %d' % version)
    still_serving(c)


def apply_utf16(text, l1, c1, l2, c2, new):
    """The client's view of an edit: positions clamped, never inside a surrogate pair."""
    def offset(line, char):
        lines = text.split('\n')
        if line >= len(lines):
            return len(text)
        start = sum(len(x) + 1 for x in lines[:line])
        n = 0
        for i, ch in enumerate(lines[line]):
            w = 2 if ord(ch) > 0xFFFF else 1
            if n + w > char:
                return start + i
            n += w
        return start + len(lines[line])
    a, b = sorted((offset(l1, c1), offset(l2, c2)))
    return text[:a] + new + text[b:]


@test
def several_changes_in_one_notification_apply_in_order():
    c = started()
    open_doc(c, 'a\nb\n')
    change(c, 2, [{'range': rng(0, 1, 0, 1), 'text': ' {'}, {'range': rng(1, 0, 1, 1), 'text': '}'},
                  {'range': rng(0, 0, 0, 0), 'text': ']'}])
    equal(published(c.diagnostics(URI, 2)), expected(BINARY, '] a {\n}\n'), '] a {\\n}\\n')


@test
def a_burst_of_changes_is_checked_after_its_last():
    c = started()
    open_doc(c, '')
    c.diagnostics(URI, 1)
    burst = b''.join(frame({'jsonrpc': '2.0', 'method': 'textDocument/didChange',
                            'params': {'textDocument': {'uri': URI, 'version': v},
                                       'contentChanges': [{'range': rng(0, v, 0, v), 'text': '{'}]}})
                     for v in range(2, 22))
    c.send_raw(burst)
    still_serving(c)  # a request: what it answers comes after the diagnostics of every change
    versions = [m['params']['version'] for m in c.notifications
                if m.get('method') == 'textDocument/publishDiagnostics']
    equal(versions[-1:], [21], 'the last change published before the answer')
    check(len(versions) < 20, 'not every change of the burst checked: %r' % versions)
    equal(published(c.diagnostics(URI, 21)), expected(BINARY, '{' * 20), 'twenty braces')


@test
def a_line_ending_after_a_message_holds_nothing_back():
    c = started()
    c.send_raw(frame({'jsonrpc': '2.0', 'method': 'textDocument/didOpen',
                      'params': {'textDocument': {'uri': URI, 'languageId': 'tcl', 'version': 1,
                                                  'text': 'puts [x\n'}}}) + b'\r\n')
    check(c.diagnostics(URI, 1, timeout=10), 'published with no message after the open')
    still_serving(c)


@test
def ranges_past_the_end_are_clamped():
    c = started()
    open_doc(c, 'set a {\n')
    change(c, 2, [{'range': rng(40, 3, 99, 0), 'text': '}}'}])
    equal(published(c.diagnostics(URI, 2)), expected(BINARY, 'set a {\n}}'), 'appended at the end')
    change(c, 3, [{'range': rng(0, 500, 0, 900), 'text': ']'}])
    equal(published(c.diagnostics(URI, 3)), expected(BINARY, 'set a {]\n}}'), 'at the end of line 1')
    change(c, 4, [{'range': rng(1, 2, 0, 7), 'text': ''}])
    equal(published(c.diagnostics(URI, 4)), expected(BINARY, 'set a {'), 'reversed ends')


# Settings -----------------------------------------------------------------------------------

SETTINGS_TEXT = '#{\nset a [x}\nputs "a"x\\  \nset t x"y\n'


@test
def settings_from_initialization_and_configuration():
    for opts, settings in [({'delimcheck': {'warnBackslashBlank': True, 'hashLines': False}},
                            {'warnBackslashBlank': True, 'hashLines': False}),
                           ({'balancing': False, 'anyQuoteOpens': True},
                            {'balancing': False, 'anyQuoteOpens': True})]:
        c = started(options=opts)
        open_doc(c, SETTINGS_TEXT)
        want = expected(BINARY, SETTINGS_TEXT, settings)
        check(want != expected(BINARY, SETTINGS_TEXT), 'the settings change the reports')
        equal(published(c.diagnostics(URI)), want, 'initializationOptions %r' % opts)
        c.close()
    c = started()
    open_doc(c, SETTINGS_TEXT, version=3)
    equal(published(c.diagnostics(URI, 3)), expected(BINARY, SETTINGS_TEXT), 'the defaults')
    c.notify('workspace/didChangeConfiguration', {'settings': {'delimcheck': {'reportInString': False,
                                                                            'balancing': False}}})
    equal(published(c.diagnostics(URI, 3)),
          expected(BINARY, SETTINGS_TEXT, {'reportInString': False, 'balancing': False}), 're-checked on change')
    c.notify('workspace/didChangeConfiguration', {'settings': {'balancing': 'no', 'hashLines': False}})
    log = c.wait_for(lambda m: m.get('method') == 'window/logMessage')
    check('balancing' in log['params']['message'], 'a setting of the wrong type is logged: %r' % log)
    equal(published(c.diagnostics(URI, 3)),
          expected(BINARY, SETTINGS_TEXT, {'balancing': False, 'hashLines': False}),
          'the good setting taken, the bad one keeps its value, the absent one its default')
    still_serving(c)

    # A search begun under the old settings, still waiting for its pause, is not published.
    c = started(options={'hashLines': False})
    open_doc(c, 'puts x\n# {\n')
    check(c.diagnostics(URI, 1, first=True), 'the brace in the comment is open without hash lines')
    c.notify('workspace/didChangeConfiguration', {'settings': {'hashLines': True}})
    time.sleep(0.5)
    still_serving(c)
    last = [m['params']['diagnostics'] for m in c.notifications
            if m.get('method') == 'textDocument/publishDiagnostics']
    equal(last[-1:], [[]], 'the last publication is under the new settings')


# Code actions -------------------------------------------------------------------------------

def code_actions(c, diagnostics, only=None, uri=URI):
    context = {'diagnostics': diagnostics}
    if only is not None:
        context['only'] = only
    r = c.request('textDocument/codeAction', {'textDocument': {'uri': uri}, 'range': rng(0, 0, 0, 0),
                                              'context': context})
    return r['result']


def repairs(actions):
    """The repairs among the actions, without the directive that every report is offered."""
    return [a for a in actions if not a['title'].startswith('Ignore ')]


@test
def code_actions_only_for_a_repair():
    c = started()
    faults = '# two lines\nputs [a "b]\n"c\n'
    open_doc(c, faults)
    ds = c.diagnostics(URI)
    check(ds, 'faults')
    equal(fixes(BINARY, faults), [], 'no one edit mends them, together or apart')
    equal(repairs(code_actions(c, ds)), [], 'no repair to offer')
    open_doc(c, LOST_BRACE, version=2)
    equal(code_actions(c, c.diagnostics(URI, 2), only=['refactor']), [], 'not the kind asked for')
    equal(code_actions(c, [], uri='file:///not/open.tcl'), [], 'a document never opened')
    still_serving(c)


# A repair on a line of wide characters: "insert ] at line 2 char 21", character 17 in UTF-16.
WIDE_FIX = 'set a {\n    puts "\u00e9\U0001F600" [x\n}\n'


@test
def quick_fixes_mend_the_text():
    for encodings, enc in [(None, 'utf-16'), (['utf-8'], 'utf-8')]:
        for text in (LOST_BRACE, WIDE_FIX):
            caps = {'workspace': {'workspaceEdit': {'documentChanges': True}}}
            if encodings:
                caps['general'] = {'positionEncodings': encodings}
            c = started(capabilities=caps)
            open_doc(c, text, version=4)
            ds = c.diagnostics(URI, 4)
            want = fixes(BINARY, text, enc)
            equal(len(want), 1, 'one repair')
            for d in ds:  # the report and its likely fault alike
                actions = repairs(code_actions(c, [d]))
                equal([(a['title'], a['kind'], a['diagnostics']) for a in actions], [(want[0], 'quickfix', [d])],
                      '%s: the action for %r' % (enc, d['message']))
                [doc_edit] = actions[0]['edit']['documentChanges']
                equal(doc_edit['textDocument'], {'uri': URI, 'version': 4}, 'the version it applies to')
                mended = apply_edits(text, doc_edit['edits'], enc)
                equal(expected(BINARY, mended), [], '%s: the text mended by %r' % (enc, doc_edit['edits']))
            # As Neovim 0.7 sends a diagnostic back: its byte column for the character.
            shifted = dict(ds[0], range={'start': {'line': ds[0]['range']['start']['line'], 'character': 999},
                                         'end': ds[0]['range']['end']})
            equal(len(repairs(code_actions(c, [shifted]))), 1, 'matched by line, code and message')
            c.close()
    c = started()  # a client without documentChanges gets changes
    open_doc(c, WIDE_FIX)
    [action] = repairs(code_actions(c, c.diagnostics(URI)[:1]))
    edits = action['edit']['changes'][URI]
    equal(edits, [{'range': rng(1, 17, 1, 17), 'newText': ']'}], 'in UTF-16')
    equal(expected(BINARY, apply_edits(WIDE_FIX, edits, 'utf-16')), [], 'mended')


@test
def directives_and_the_project_file_as_the_user_types():
    import tempfile
    with tempfile.TemporaryDirectory() as d:
        with open(os.path.join(d, 'delimcheck.toml'), 'w') as f:
            f.write('ignore = ["extra-after-string"]\n')
        uri = 'file://' + d + '/a%20b.tcl'
        c = started()
        open_doc(c, 'set a ]\nputs "x"y\n', uri=uri)
        ds = c.diagnostics(uri)
        # Information-level diagnostics mark the likely fault's line; the reports are the rest.
        equal([d['code'] for d in ds if d['severity'] < 3], ['unmatched-closer'],
              'the project file leaves out the warning')
        actions = [a for a in code_actions(c, ds, uri=uri) if a['title'].startswith('Ignore ')]
        equal([a['title'] for a in actions], ['Ignore unmatched-closer on this line'], 'the action')
        edits = actions[0]['edit']['changes'][uri]
        text = apply_edits('set a ]\nputs "x"y\n', edits, 'utf-16')
        equal(text, 'set a ] ;# delimcheck: ignore=unmatched-closer\nputs "x"y\n', 'the directive written')
        change(c, 2, [{'text': text}], uri=uri)
        equal(c.diagnostics(uri, 2), [], 'the directive applies as the user types')
        change(c, 3, [{'text': '# delimcheck: nonsense\nset a 1\n]\n'}], uri=uri)
        # Information-level diagnostics mark the likely fault's line; the reports are the rest.
        equal(sorted(d['code'] for d in c.diagnostics(uri, 3) if d['severity'] < 3), ['bad-directive', 'unmatched-closer'],
              'a malformed directive is said')
        c.close()


@test
def the_project_files_checking_keys_per_document():
    """Each document is checked with the options of its nearest project file, under the client's
    settings as the command line's options stand over it, and a project file changed on disk is
    read again: at once when the client tells of it, else at the next open."""
    import tempfile
    with tempfile.TemporaryDirectory() as d:
        os.mkdir(os.path.join(d, 'sub'))
        toml = os.path.join(d, 'sub', '.delimcheck.toml')
        with open(toml, 'w') as f:
            f.write('backslash-blank = true\nhash-lines = false\n')
        near, far = 'file://' + d + '/sub/a.tcl', 'file://' + d + '/b.tcl'
        keys = {'warnBackslashBlank': True, 'hashLines': False}
        check(expected(BINARY, SETTINGS_TEXT, keys) != expected(BINARY, SETTINGS_TEXT), 'the keys change the reports')
        c = started(options={'balancing': False})
        open_doc(c, SETTINGS_TEXT, uri=near)
        equal(published(c.diagnostics(near)), expected(BINARY, SETTINGS_TEXT, dict(keys, balancing=False)),
              'the project file below the client settings')
        open_doc(c, SETTINGS_TEXT, uri=far)
        equal(published(c.diagnostics(far)), expected(BINARY, SETTINGS_TEXT, {'balancing': False}),
              'no project file: the client settings alone')
        with open(toml, 'w') as f:
            f.write('any-quote-opens = true\n')
        c.notify('workspace/didChangeWatchedFiles', {'changes': [{'uri': 'file://' + toml, 'type': 2}]})
        equal(published(c.diagnostics(near, 1)),
              expected(BINARY, SETTINGS_TEXT, {'anyQuoteOpens': True, 'balancing': False}), 'the changed file at once')
        # Its change is none of the document above its directory, which is not checked again;
        # the answer to a request comes after every check that is due.
        still_serving(c)
        equal([m['params']['uri'] for m in c.notifications if m.get('method') == 'textDocument/publishDiagnostics'
               and m['params']['uri'] == far], [], 'the document outside the directory')
        c.close()

        c = started()
        open_doc(c, SETTINGS_TEXT, uri=near)
        equal(published(c.diagnostics(near)), expected(BINARY, SETTINGS_TEXT, {'anyQuoteOpens': True}), 'opened')
        os.remove(toml)
        open_doc(c, SETTINGS_TEXT, uri=near, version=2)
        equal(published(c.diagnostics(near, 2)), expected(BINARY, SETTINGS_TEXT), 'gone, read again at the next open')
        with open(toml, 'w') as f:
            f.write('hash-lines = 1\n')
        open_doc(c, SETTINGS_TEXT, uri=near, version=3)
        log = c.wait_for(lambda m: m.get('method') == 'window/logMessage')
        check('.delimcheck.toml' in log['params']['message'], 'a bad project file is logged: %r' % log)
        equal(published(c.diagnostics(near, 3)), expected(BINARY, SETTINGS_TEXT), 'and the defaults apply')
        still_serving(c)
        c.close()


@test
def a_project_file_changed_through_a_link():
    """An editor may name the changed project file by its real path and the document through a
    link to its directory, or the other way: the document is checked again all the same."""
    import tempfile
    for opened, told in [('link', 'real'), ('real', 'link'), ('link/sub', 'real')]:
        with tempfile.TemporaryDirectory() as d:
            os.makedirs(os.path.join(d, 'real', 'sub'))
            os.symlink(os.path.join(d, 'real'), os.path.join(d, 'link'))
            with open(os.path.join(d, 'real', 'delimcheck.toml'), 'w') as f:
                f.write('backslash-blank = true\n')
            uri = 'file://%s/%s/a.tcl' % (d, opened)
            c = started()
            open_doc(c, SETTINGS_TEXT, uri=uri)
            equal(published(c.diagnostics(uri)), expected(BINARY, SETTINGS_TEXT, {'warnBackslashBlank': True}),
                  'opened through %s' % opened)
            with open(os.path.join(d, 'real', 'delimcheck.toml'), 'w') as f:
                f.write('any-quote-opens = true\n')
            c.notify('workspace/didChangeWatchedFiles',
                     {'changes': [{'uri': 'file://%s/%s/delimcheck.toml' % (d, told), 'type': 2}]})
            equal(published(c.diagnostics(uri, 1)), expected(BINARY, SETTINGS_TEXT, {'anyQuoteOpens': True}),
                  'opened through %s, told through %s' % (opened, told))
            c.close()


WATCHERS = [{'globPattern': '**/delimcheck.toml'}, {'globPattern': '**/.delimcheck.toml'}]


def registrations(c):
    """The server's requests to register a capability among the messages kept so far."""
    return [m for m in c.notifications if m.get('method') == 'client/registerCapability']


@test
def the_server_asks_a_client_that_can_to_watch_the_project_files():
    """After `initialized`, once, and only when the client says it registers watchers: its answer,
    a result or an error, is taken without harm and never waited for."""
    can = {'workspace': {'didChangeWatchedFiles': {'dynamicRegistration': True}}}
    for capabilities, answer in [(can, {'result': None}),
                                 (can, {'error': {'code': -32603, 'message': 'no watchers here'}}),
                                 (can, None)]:
        c = Client(BINARY)
        c.initialize(capabilities)
        c.notify('initialized')  # a second time: still one request
        still_serving(c)
        asked = registrations(c)
        equal(len(asked), 1, 'one request: %r' % c.notifications)
        m = asked[0]
        check(isinstance(m.get('id'), (int, str)), 'a request, with an id: %r' % m)
        equal(m['params'], {'registrations': [{'id': 'delimcheck-project-files',
                                              'method': 'workspace/didChangeWatchedFiles',
                                              'registerOptions': {'watchers': WATCHERS}}]}, 'the registration')
        c.notifications.clear()
        # Neither an answer nor its absence holds anything back; an error is said in the log.
        if answer is not None:
            c.send(dict(answer, id=m['id']))
        still_serving(c)
        logs = [n['params']['message'] for n in c.notifications if n.get('method') == 'window/logMessage']
        equal(logs, ['the client does not watch the project files: no watchers here'] if answer and 'error' in answer
              else [], 'what is logged')
        open_doc(c, '}\n')
        equal([d['code'] for d in c.diagnostics(URI) if d['severity'] < 3], ['unmatched-closer'],
              'served after the answer %r' % answer)
        equal(registrations(c), [], 'asked once')
        c.request('shutdown')
        c.notify('exit')
        equal(c.proc.wait(10), 0, 'exit')

    # A client that says nothing of it, or says it cannot, is not asked: Neovim before 0.9
    # answers such a request with a warning in its log, others with an error.
    for capabilities in [{}, {'workspace': {}}, {'workspace': {'didChangeWatchedFiles': {}}},
                         {'workspace': {'didChangeWatchedFiles': {'dynamicRegistration': False}}},
                         {'workspace': {'didChangeWatchedFiles': {'dynamicRegistration': 'yes'}}},
                         {'workspace': {'didChangeWatchedFiles': True}}]:
        c = started(capabilities=capabilities)
        still_serving(c)
        equal(registrations(c), [], 'not asked with %r' % capabilities)
        c.close()

    # An answer to a request never made, with an id the server might use, is dropped too.
    c = started()
    c.send({'id': 'delimcheck/watch-project-files', 'result': None})
    c.send({'id': 1, 'error': {'code': -32601, 'message': 'x'}})
    still_serving(c)
    equal(c.notifications, [], 'nothing said of stray answers')
    c.close()


def apply_edits(text, edits, encoding):
    """Edits that do not overlap, in order, applied from the last."""
    for e in reversed(edits):
        r = e['range']
        if encoding == 'utf-16':
            text = apply_utf16(text, r['start']['line'], r['start']['character'], r['end']['line'],
                               r['end']['character'], e['newText'])
        else:
            data = text.encode('utf-8')
            lines = data.split(b'\n')

            def offset(p):
                return sum(len(x) + 1 for x in lines[:p['line']]) + p['character']
            data = data[:offset(r['start'])] + e['newText'].encode('utf-8') + data[offset(r['end']):]
            text = data.decode('utf-8')
    return text


def big_faulty_text():
    """100,000 lines, clean but for one lost closing brace in the middle: its search takes the
    worker a while, long enough for the messages sent with the request to come first."""
    block = 'proc p%d {a b} {\n    if {$a > $b} {\n        set x [list $a "$b"]\n        foreach y $x {\n' \
            '            puts $y\n        }\n    }\n}\n'
    lines = ''.join(block % i for i in range(12500)).split('\n')
    i = len(lines) // 2
    while lines[i].strip() != '}':
        i += 1
    del lines[i]
    return '\n'.join(lines)


BIG = big_faulty_text()
CANCELLED = -32800


def code_action_message(rid, diagnostics, line=0, only=None):
    context = {'diagnostics': diagnostics}
    if only is not None:
        context['only'] = only
    return {'jsonrpc': '2.0', 'id': rid, 'method': 'textDocument/codeAction',
            'params': {'textDocument': {'uri': URI}, 'range': rng(line, 0, line, 0), 'context': context}}


@test
def code_actions_wait_for_the_search_and_never_block_the_reader():
    c = started()
    open_doc(c, BIG)
    first = c.diagnostics(URI, first=True)
    report = first[0]
    # Sent together: an action that can only be [] is answered before the search is in; the one
    # for the report waits for it; a request after it is answered meanwhile.
    c.send_raw(frame(code_action_message(100, [], line=3)) + frame(code_action_message(101, [report])) +
               frame({'jsonrpc': '2.0', 'id': 102, 'method': 'delimcheck/noSuchMethod'}))
    order = []
    while len([m for m in order if 'id' in m]) < 3:
        order.append(c.read())
    kinds = [('answer %d' % m['id']) if 'id' in m else m.get('method') for m in order]
    equal(kinds[:2], ['answer 100', 'answer 102'], 'answered before the search is in: %r' % kinds)
    check(kinds.index('textDocument/publishDiagnostics') < kinds.index('answer 101'),
          'the waiting one after the searched publication: %r' % kinds)
    searched = [m for m in order if m.get('method') == 'textDocument/publishDiagnostics'][0]['params']['diagnostics']
    [action] = repairs(next(m for m in order if m.get('id') == 101)['result'])
    equal(action['diagnostics'], [searched[0]], 'the report as published after the search')
    equal(expected(BINARY, apply_edits(BIG, action['edit']['changes'][URI], 'utf-16'))[:1], [], 'it mends the text')

    # By range alone: the cursor on the report's line, or on the likely line, with no
    # diagnostics in the context, as VS Code asks for its lightbulb.
    for d in searched:
        line = d['range']['start']['line']
        [by_range] = c.request('textDocument/codeAction', code_action_message(0, [], line=line)['params'])['result']
        equal(by_range['title'], action['title'], 'by range on line %d' % line)
    equal(c.request('textDocument/codeAction', code_action_message(0, [], line=3)['params'])['result'], [],
          'a line with nothing')
    equal(c.request('textDocument/codeAction', code_action_message(0, [searched[0]], only=['quickfix.delimcheck'])
                    ['params'])['result'], [], 'a sub-kind does not ask for quickfix')
    equal(repairs(c.request('textDocument/codeAction', code_action_message(0, [searched[0]], only=['quickfix.other', 'quickfix'])
                            ['params'])['result']), [action], 'quickfix asked for among others')

    # A change while a request waits: answered for the text it asked about, with nothing.
    def typed(version):
        return frame({'jsonrpc': '2.0', 'method': 'textDocument/didChange',
                      'params': {'textDocument': {'uri': URI, 'version': version},
                                 'contentChanges': [{'range': rng(0, 0, 0, 0), 'text': '#'}]}})
    c.send_raw(typed(2) + frame(code_action_message(103, [report])) + typed(3))
    equal(c.answer(103), {'jsonrpc': '2.0', 'id': 103, 'result': []}, 'superseded by the change')
    still_serving(c)
    c.close()


@test
def a_waiting_request_can_be_cancelled():
    c = started()
    open_doc(c, BIG)
    [report, *_] = c.diagnostics(URI, first=True)
    c.send_raw(frame(code_action_message(200, [report])) +
               frame({'jsonrpc': '2.0', 'method': '$/cancelRequest', 'params': {'id': 200}}) +
               frame({'jsonrpc': '2.0', 'method': '$/cancelRequest', 'params': {'id': 999}}))
    m = c.read()
    while 'id' not in m:
        m = c.read()
    equal((m['id'], error_code(m)), (200, CANCELLED), 'RequestCancelled')
    still_serving(c)
    c.diagnostics(URI, 1, first=True)  # the search's publication still comes
    still_serving(c)


@test
def exit_during_a_search_is_prompt():
    for args in [('--lsp',), ('--lsp', '--stdio'), ('--stdio',)]:
        c = Client(BINARY, args=args)
        c.initialize()
        open_doc(c, BIG)
        [report, *_] = c.diagnostics(URI, first=True)
        c.send_raw(frame(code_action_message(300, [report])))  # hurries the search
        time.sleep(0.02)
        start = time.monotonic()
        c.notify('exit')
        equal(c.proc.wait(10), 1, 'exit without shutdown, %r' % (args,))
        took = time.monotonic() - start
        # A guard against waiting for the whole search, not a timing: a sanitizer build runs
        # several times slower, and bench/lsp measures how prompt exit is.
        check(took < 8.0, 'exit took %.3f s during a search' % took)


@test
def notifications_after_shutdown_are_dropped():
    c = started()
    c.request('shutdown')
    open_doc(c, '}\n')
    c.notify('workspace/didChangeConfiguration', {'settings': {'balancing': 5}})
    equal(error_code(c.request('textDocument/codeAction', {})), INVALID_REQUEST, 'a request is refused')
    check(not c.notifications, 'nothing published or logged after shutdown: %r' % c.notifications)
    c.notify('exit')
    equal(c.proc.wait(10), 0, 'exit after shutdown')


@test
def settings_that_are_null_or_absent_go_back_to_their_defaults():
    text = SETTINGS_TEXT
    changed = {'hashLines': False, 'balancing': False}
    check(expected(BINARY, text, changed) != expected(BINARY, text), 'the settings change the reports')
    for cleared in [None, {}, {'delimcheck': None}, {'delimcheck': {'hashLines': None, 'balancing': None}},
                    {'delimcheck': {}}, {'otherServer': {'x': 1}}]:
        c = started(options={'delimcheck': changed})
        open_doc(c, text)
        equal(published(c.diagnostics(URI)), expected(BINARY, text, changed), 'set at initialization')
        c.notify('workspace/didChangeConfiguration', {'settings': cleared})
        equal(published(c.diagnostics(URI)), expected(BINARY, text), 'cleared by %r' % (cleared,))
        c.close()


# Lone carriage returns end lines for the client; wide characters before an opener that a
# message names.
CR_TEXT = 'set a {\rputs "\u00e9\U0001F600" [x\r\nset b {\u00e9 \U0001F600 {\r}\n'


@test
def lone_carriage_returns_and_columns_in_words():
    for offered, enc in [(None, 'utf-16'), (['utf-8'], 'utf-8')]:
        c = started(capabilities={'general': {'positionEncodings': offered}} if offered else {})
        open_doc(c, CR_TEXT)
        got = c.diagnostics(URI)
        equal(published(got), expected(BINARY, CR_TEXT, encoding=enc), enc)
        check(any('char' in d['message'] for d in got), 'a message names a column: %r' % got)
        check(max(d['range']['start']['line'] for d in got) >= 3, 'lines after the lone CRs')
        c.close()
    c = started()  # edits across a lone CR
    open_doc(c, 'a\rb\rc {\n')
    change(c, 2, [{'range': rng(1, 0, 2, 0), 'text': ''}])
    equal(published(c.diagnostics(URI, 2)), expected(BINARY, 'a\rc {\n'), 'line b deleted')


# Bad input ----------------------------------------------------------------------------------

def answered_with_error(c, code, raw, what):
    c.send_raw(raw)
    m = c.read()
    equal((m.get('id'), error_code(m)), (None, code), what)
    still_serving(c)


@test
def broken_frames():
    c = started()
    body = b'{"jsonrpc":"2.0","method":"initialized"}'
    answered_with_error(c, PARSE_ERROR, b'Content-Type: x\r\n\r\n' + body, 'no Content-Length')
    answered_with_error(c, PARSE_ERROR, b'Content-Length: many\r\n\r\n' + body, 'not a number')
    answered_with_error(c, PARSE_ERROR, b'Content-Length: -12\r\n\r\n' + body, 'negative')
    answered_with_error(c, PARSE_ERROR, b'X: ' + b'y' * 100000 + b'\r\nContent-Length: 2\r\n\r\n{}', 'a long line')
    huge = 257 * 1024 * 1024
    answered_with_error(c, PARSE_ERROR, b'Content-Length: %d\r\n\r\n' % huge + b' ' * huge, 'above 256 MiB')
    answered_with_error(c, PARSE_ERROR, frame(b'{"jsonrpc":"2.0","id":'), 'not JSON')
    answered_with_error(c, PARSE_ERROR, frame(b'\xff\xfe{}'), 'not UTF-8')
    answered_with_error(c, PARSE_ERROR, frame(b'"\\udc80"'), 'a lone surrogate')
    answered_with_error(c, PARSE_ERROR, frame(b'[' * 100000), 'deep, unfinished')
    answered_with_error(c, INVALID_REQUEST, frame(b'[' * 100000 + b']' * 100000), 'deep, finished')
    answered_with_error(c, INVALID_REQUEST, frame(b'[1,2]'), 'a batch')
    answered_with_error(c, INVALID_REQUEST, frame(b'{"jsonrpc":"2.0","id":{"a":1},"method":"shutdown"}'),
                        'an object for an id')
    c.send_raw(frame(b'{"jsonrpc":"2.0","id":9,"method":7}'))
    m = c.read()
    equal((m.get('id'), error_code(m)), (9, INVALID_REQUEST), 'a method that is not a string is answered with its id')
    still_serving(c)


@test
def wrong_types_in_parameters():
    c = started()
    for params in ['x', {'textDocument': 'x'}, {'textDocument': {'uri': 1}},
                   {'textDocument': {'uri': URI}, 'context': {'diagnostics': 'x'}}]:
        equal(error_code(c.request('textDocument/codeAction', params)), INVALID_PARAMS, 'codeAction %r' % params)
    for method, params in [('textDocument/didOpen', {'textDocument': {'uri': URI, 'version': 1, 'text': 5}}),
                           ('textDocument/didOpen', []),
                           ('textDocument/didChange', {'textDocument': {'uri': URI, 'version': 'x'},
                                                       'contentChanges': []}),
                           ('textDocument/didChange', {'textDocument': {'uri': URI, 'version': 2},
                                                       'contentChanges': [{'range': {'start': 'a'}, 'text': 'x'}]}),
                           ('textDocument/didClose', {'textDocument': None})]:
        c.notify(method, params)
        log = c.wait_for(lambda m: True)
        equal((log.get('method'), log['params']['type']), ('window/logMessage', 1), '%s %r' % (method, params))
    still_serving(c)


@test
def changes_to_documents_never_opened():
    c = started()
    change(c, 2, [{'text': '}'}], uri='file:///never.tcl')
    log = c.wait_for(lambda m: True)
    equal(log.get('method'), 'window/logMessage', 'a change to a document never opened')
    check('file:///never.tcl' in log['params']['message'], 'names it')
    c.notify('textDocument/didClose', {'textDocument': {'uri': 'file:///never.tcl'}})
    equal(c.wait_for(lambda m: True).get('method'), 'window/logMessage', 'closing one')
    still_serving(c)


@test
def a_bad_change_leaves_the_document_as_it_was():
    c = started()
    open_doc(c, '{\n')
    c.diagnostics(URI, 1)
    change(c, 2, [{'range': rng(0, 0, 0, 0), 'text': '}'}, {'range': rng(0, 0, 0, 0), 'text': 5}])
    c.wait_for(lambda m: m.get('method') == 'window/logMessage')
    change(c, 3, [{'range': rng(1, 0, 1, 0), 'text': ']'}])
    equal(published(c.diagnostics(URI, 3)), expected(BINARY, '{\n]'), 'the first change not applied either')


@test
def a_document_of_50_megabytes():
    c = started()
    block = 'proc p%d {a b} {\n    if {$a > $b} {\n        return [list $a "$b \u00e9"]\n    }\n}\n'
    text = WIDE + ''.join(block % i for i in range(50_000_000 // len(block)))
    check(len(text.encode('utf-8')) > 50_000_000, 'fifty megabytes')
    open_doc(c, text)
    ds = c.diagnostics(URI, timeout=120)
    equal(published(ds), expected(BINARY, text), 'its reports')
    change(c, 2, [{'range': rng(0, 0, 0, 0), 'text': '}'}])
    ds2 = c.diagnostics(URI, 2, timeout=120)
    equal(ds2[0]['message'], 'Unmatching }', 'an edit at its start')
    still_serving(c)


@test
def reports_past_the_first_thousand():
    c = started()
    text = '}\n' * 100_000
    open_doc(c, text)
    ds = c.diagnostics(URI, timeout=60, first=True)
    equal(published(ds), expected(BINARY, text, search=False)[:1000], 'the first thousand, as json gives them')
    log = c.wait_for(lambda m: m.get('method') == 'window/logMessage', timeout=60)
    check('99000 more reports' in log['params']['message'], 'the rest counted: ' + log['params']['message'])
    # The searched publication, so that the server is not writing to a client that is busy
    # writing to it; the word is not said again.
    c.wait_for(lambda m: m.get('method') == 'textDocument/publishDiagnostics', timeout=60)
    still_serving(c)
    check(not any(m.get('method') == 'window/logMessage' for m in c.notifications),
          'said once for the document, not again for the searched publication')
    # Fifty megabytes of stray closers: checked whole, described no further than that.
    change(c, 2, [{'range': rng(0, 0, 100_000, 0), 'text': '}\n' * 25_000_000}])
    equal(len(c.diagnostics(URI, 2, timeout=60, first=True)), 1000, 'the first thousand of 25 million')
    still_serving(c)


@test
def input_ending_inside_a_message():
    for tail in [b'Content-Length: 100\r\n\r\n{"jsonrpc"', b'Content-Len', b'Content-Length: 99999999999999999999\r\n\r\n']:
        c = started()
        c.send_raw(tail)
        if tail.endswith(b'\r\n\r\n'):
            equal(error_code(c.read()), PARSE_ERROR, 'refused at once')
        equal(c.close(), 1, 'ends cleanly: %r' % tail)


def main():
    failed = 0
    only = sys.argv[2:]
    for t in TESTS:
        if only and t.__name__ not in only:
            continue
        try:
            t()
            print('ok   %s' % t.__name__)
        except Exception:
            failed += 1
            print('FAIL %s' % t.__name__)
            traceback.print_exc(file=sys.stdout)
    print('%d of %d failed' % (failed, len(TESTS)))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
