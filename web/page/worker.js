// The checks, off the page's thread: each message is a text and its options, each answer its
// diagnostics (the json format's objects), its listing and its repair as a diff.
import { run } from 'delimcheck';

const decoder = new TextDecoder();

function runText(args, stdin) {
  const r = run(args, { stdin });
  if (r.status === 2) throw new Error(decoder.decode(r.stderr).trim() || 'the check failed');
  return decoder.decode(r.stdout);
}

self.onmessage = (event) => {
  const { id, text, letters, listing } = event.data;
  const started = performance.now();
  try {
    const bytes = typeof text === 'string' ? new TextEncoder().encode(text) : new Uint8Array(text);
    const flags = letters ? ['-' + letters] : [];
    const diagnostics = JSON.parse(runText([...flags, '--format=json'], bytes));
    const listed = listing ? runText(['-' + (letters || '') + listing], bytes) : '';
    const diff = diagnostics.some((d) => d.fix) ? runText([...flags, '--diff'], bytes) : '';
    self.postMessage({ id, diagnostics, listing: listed, diff, ms: performance.now() - started });
  } catch (e) {
    self.postMessage({ id, error: String((e && e.message) || e), ms: performance.now() - started });
  }
};
self.postMessage({ ready: true });
