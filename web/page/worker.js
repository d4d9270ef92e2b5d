// The checks, off the page's thread. A "check" gives a text's diagnostics (the json format's
// objects) and its listing, fast: its input is a pipe, which the checker does not read again
// to look for a repair. A "repair" reads it as a file, for the repair and its diff, which may
// take a while; the page asks another worker for it once typing stops.
import { run } from 'delimcheck';

const decoder = new TextDecoder();
const encoder = new TextEncoder();
// The text's bytes, in a buffer kept from one message to the next: encoding into it costs a
// third of encoding into a new one each time, with no garbage to collect.
let buffer = new Uint8Array(0);
function bytesOf(text) {
  if (buffer.length < text.length * 3) buffer = new Uint8Array(text.length * 3 + 65536);
  return buffer.subarray(0, encoder.encodeInto(text, buffer).written);
}

// The editor's text as last sent: the page sends it whole once, then only its changes.
let text = '';
function update(data) {
  if (data.text !== undefined) {
    text = data.text;
    return true;
  }
  const parts = [];
  let at = 0;
  for (const [from, to, inserted] of data.changes) {
    if (from < at || to > text.length) return false;
    parts.push(text.slice(at, from), inserted);
    at = to;
  }
  parts.push(text.slice(at));
  const next = parts.join('');
  if (next.length !== data.length) return false;
  text = next;
  return true;
}

let runMs = 0; // of a message's time, that of the module's runs, for the measurements
function runText(args, stdin, stdinPipe) {
  const t = performance.now();
  const r = run(args, { stdin, stdinPipe });
  runMs += performance.now() - t;
  if (r.status === 2) throw new Error(decoder.decode(r.stderr).trim() || 'the check failed');
  return decoder.decode(r.stdout);
}

self.onmessage = (event) => {
  const { id, kind, letters, listing } = event.data;
  const started = performance.now();
  runMs = 0;
  try {
    if (!update(event.data)) {
      text = '';
      self.postMessage({ id, kind, resync: true });
      return;
    }
    const bytes = bytesOf(text);
    const flags = letters ? ['-' + letters] : [];
    const pipe = kind !== 'repair';
    const diagnostics = JSON.parse(runText([...flags, '--format=json'], bytes, pipe));
    const listed = kind === 'check' && listing ? runText(['-' + (letters || '') + listing], bytes, true) : '';
    const diff = kind === 'repair' && diagnostics.some((d) => d.fix) ? runText([...flags, '--diff'], bytes, false) : '';
    // When it started and ended, on the clock the page shares, for the measurements.
    const clock = performance.timeOrigin;
    self.postMessage({ id, kind, diagnostics, listing: listed, diff, ms: performance.now() - started, runMs,
      startedAt: clock + started, endedAt: clock + performance.now() });
  } catch (e) {
    self.postMessage({ id, kind, error: String((e && e.message) || e), ms: performance.now() - started });
  }
};
self.postMessage({ ready: true });
