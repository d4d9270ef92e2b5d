"""A small LSP client over pipes for the tests: framing, requests with their answers, and the
notifications that arrive meanwhile."""

import json
import os
import select
import subprocess
import time

# A sanitizer build runs many times slower than a release: CI scales every wait by this there.
TIME_SCALE = float(os.environ.get('DELIMCHECK_TEST_TIME_SCALE', '1'))


def frame(message):
    body = json.dumps(message, ensure_ascii=False).encode('utf-8') if not isinstance(message, bytes) else message
    return b'Content-Length: %d\r\n\r\n' % len(body) + body


class Client:
    def __init__(self, binary, timeout=30, args=('--lsp',)):
        # Its standard error is the test's, where a sanitizer's report is seen and never blocks it.
        self.proc = subprocess.Popen([binary, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.buf = b''
        self.timeout = timeout
        self.next_id = 1
        self.notifications = []

    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def send(self, message):
        message.setdefault('jsonrpc', '2.0')
        self.send_raw(frame(message))

    def notify(self, method, params=None):
        self.send({'method': method, 'params': params if params is not None else {}})

    def _fill(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
            raise TimeoutError('no message from the server in time')
        chunk = os.read(self.proc.stdout.fileno(), 1 << 20)
        if not chunk:
            raise EOFError('the server closed its output')
        self.buf += chunk

    def read(self, timeout=None):
        """The next message the server sends."""
        deadline = time.monotonic() + (timeout or self.timeout) * TIME_SCALE
        while b'\r\n\r\n' not in self.buf:
            self._fill(deadline)
        head, rest = self.buf.split(b'\r\n\r\n', 1)
        length = int(head.split(b':', 1)[1])
        self.buf = rest
        while len(self.buf) < length:
            self._fill(deadline)
        body, self.buf = self.buf[:length], self.buf[length:]
        return json.loads(body)

    def request(self, method, params=None, timeout=None):
        """Sends a request and returns its answer (result or error), keeping the notifications
        that come before it."""
        rid = self.next_id
        self.next_id += 1
        self.send({'id': rid, 'method': method, 'params': params if params is not None else {}})
        return self.answer(rid, timeout)

    def answer(self, rid, timeout=None):
        while True:
            m = self.read(timeout)
            if 'method' in m:
                self.notifications.append(m)
            elif m.get('id') == rid:
                return m
            else:
                raise AssertionError('an answer to something else: %r' % m)

    def wait_for(self, predicate, timeout=None):
        """The first notification, kept or new, that the predicate accepts; those before it are
        dropped."""
        while True:
            while self.notifications:
                m = self.notifications.pop(0)
                if predicate(m):
                    return m
            self.notifications.append(self.read(timeout))

    def diagnostics(self, uri, version=None, timeout=None, first=False):
        """The diagnostics of a version. A version with reports is published twice: at once, then
        with the search for the edit that mends its first fault; unless `first`, the second."""
        def wanted(m):
            return (m.get('method') == 'textDocument/publishDiagnostics' and m['params']['uri'] == uri and
                    (version is None or m['params'].get('version') == version))
        m = self.wait_for(wanted, timeout)
        if m['params']['diagnostics'] and not first:
            version = m['params'].get('version')
            m = self.wait_for(wanted, timeout)
        return m['params']['diagnostics']

    def initialize(self, capabilities=None, options=None):
        params = {'processId': None, 'rootUri': None, 'capabilities': capabilities or {}}
        if options is not None:
            params['initializationOptions'] = options
        r = self.request('initialize', params)
        self.notify('initialized')
        return r

    def close(self):
        """Ends the input and returns the exit status."""
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        return self.proc.wait(self.timeout)
