// The checks, off the page's thread. A "check" gives a text's diagnostics (the json format's
// objects) and its listing, fast: its input is a pipe, which the checker does not read again
// to look for a repair. A "repair" reads it as a file, for the repair and its diff, which may
// take a while; the page asks another worker for it once typing stops.
import { run } from 'delimcheck';

const decoder = new TextDecoder();
const encoder = new TextEncoder();
// The editor's text as last sent (the page sends it whole once, then only its changes), and its
// bytes, buffer[0, size), in a buffer kept from one message to the next: encoding into it costs a
// third of encoding into a new one each time, with no garbage to collect. While the text is all
// ASCII, its positions are its bytes' offsets, and ASCII changes are made to the bytes in place
// instead of encoding the whole text again.
let text = '';
let buffer = new Uint8Array(0);
let size = 0;
let ascii = true;
const isAscii = (s) => !/[^\x00-\x7f]/.test(s);
function room(bytes) {
  if (buffer.length >= bytes) return;
  const bigger = new Uint8Array(bytes + (bytes >> 2) + 65536);
  bigger.set(buffer.subarray(0, size));
  buffer = bigger;
}
function encodeAll() {
  room(text.length * 3);
  size = encoder.encodeInto(text, buffer).written;
  ascii = size === text.length;
}
function update(data) {
  if (data.text !== undefined) {
    text = data.text;
    encodeAll();
    return true;
  }
  const parts = [];
  let at = 0;
  let grows = 0;
  let asciiChanges = ascii;
  for (const [from, to, inserted] of data.changes) {
    if (from < at || to > text.length) return false;
    parts.push(text.slice(at, from), inserted);
    at = to;
    grows += Math.max(0, inserted.length - (to - from));
    asciiChanges = asciiChanges && isAscii(inserted);
  }
  parts.push(text.slice(at));
  const next = parts.join('');
  if (next.length !== data.length) return false;
  text = next;
  if (!asciiChanges) {
    encodeAll();
    return true;
  }
  // The last change first, so that the positions of those before it still hold.
  room(size + grows);
  for (let i = data.changes.length - 1; i >= 0; --i) {
    const [from, to, inserted] = data.changes[i];
    buffer.copyWithin(from + inserted.length, to, size);
    size += inserted.length - (to - from);
    encoder.encodeInto(inserted, buffer.subarray(from, from + inserted.length));
  }
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
    const bytes = buffer.subarray(0, size);
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
