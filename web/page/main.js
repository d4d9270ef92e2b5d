// The page: an editor whose text is checked as it changes, in a worker, and the results shown
// beside it and in it.
import { EditorState, StateEffect, StateField, RangeSet, Compartment, Prec } from '@codemirror/state';
import {
  EditorView, keymap, lineNumbers, gutter, GutterMarker, Decoration, highlightActiveLine, highlightSpecialChars,
  ViewPlugin,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { setDiagnostics, lintGutter, forEachDiagnostic } from '@codemirror/lint';
import { StreamLanguage, syntaxHighlighting, defaultHighlightStyle, bracketMatching } from '@codemirror/language';
import { searchKeymap, highlightSelectionMatches } from '@codemirror/search';
import { tcl } from '@codemirror/legacy-modes/mode/tcl';

/* global DELIMCHECK_VERSION */
const $ = (id) => document.getElementById(id);
// The page keeps what an editor holds well; bigger files are for the command line.
const MAX_BYTES = 16 * 1024 * 1024;
// A check that takes longer than this is stopped, and its worker replaced.
const CHECK_TIMEOUT_MS = 10000;

const sample = `# Count the words of each file named on the command line.
proc count_words {path} {
    set f [open $path]
    set n 0
    while {[gets $f line] >= 0} {
        foreach word [split $line] {
            if {$word ne ""} {
                incr n
            }
        }
    close $f
    return $n
}
`;

// ---- the workers, started from their source in the page ----------------------------------
// One checks as the text changes; the other looks for the repair once typing stops, so that a
// long search never holds up the next check.
const REPAIR_DELAY_MS = 300;
const workers = { check: null, repair: null };
let nextId = 1;
const pending = { check: null, repair: null }; // { id, timer, sent, doc }
let queued = false;
// The check worker keeps the text it was last sent (workerDoc) and is sent only what changed
// since (unsent): copying a long text out of the editor and posting it at every keystroke cost
// the page's thread some 2 ms on 20,000 lines. null: the worker has no text of ours, and gets
// it whole.
let workerDoc = null;
let unsent = null;
const sent = { whole: 0, changes: 0 }; // how the check worker was sent its texts, for the tests
let repairTimer = null;
const workerTimings = []; // of which in the worker
const runTimings = []; // of which in the module's runs
// of which the message's way to the worker, and the answer's back to the page's thread
const toWorkerTimings = [];
const backTimings = [];
const timings = []; // milliseconds from a text's sending to its diagnostics, for the measurements
// and from a change to its diagnostics shown, the oldest change a check answers counted, from
// its keystroke's keydown when a key made it; and the same to the end of the next frame drawn.
const shownTimings = [];
const drawnTimings = [];
const keyTimings = []; // of which from the keydown to the editor's change
let changedAt = null;
let keyAt = null;

function startWorker(kind) {
  const url = URL.createObjectURL(new Blob([window.DELIMCHECK_WORKER_SOURCE], { type: 'text/javascript' }));
  const w = new Worker(url);
  w.onmessage = (e) => answer(kind, e.data);
  w.onerror = (e) => {
    showMessage(`The checker failed: ${e.message || 'unknown error'}`);
    restartWorker(kind);
  };
  workers[kind] = w;
}
function restartWorker(kind) {
  if (kind === 'check') workerDoc = null;
  if (workers[kind]) workers[kind].terminate();
  if (pending[kind]) clearTimeout(pending[kind].timer);
  pending[kind] = null;
  startWorker(kind);
}

// ---- the editor ------------------------------------------------------------------------------
const setLikely = StateEffect.define();
class LikelyMarker extends GutterMarker {
  constructor(reason) { super(); this.reason = reason; }
  eq(other) { return other.reason === this.reason; }
  toDOM() {
    const s = document.createElement('span');
    s.className = this.reason ? 'cm-likely-gutter' : 'cm-likely-spacer';
    s.textContent = '▶';
    s.title = `likely fault: ${this.reason}`;
    s.setAttribute('aria-label', `likely fault: ${this.reason}`);
    return s;
  }
}
// The likely line: a mark in its own gutter, and the line shaded.
const likelyField = StateField.define({
  create: () => ({ markers: RangeSet.empty, lines: Decoration.none }),
  update(value, tr) {
    for (const e of tr.effects) if (e.is(setLikely)) return e.value;
    if (!tr.docChanged) return value;
    return { markers: value.markers.map(tr.changes), lines: value.lines.map(tr.changes) };
  },
  provide: (f) => EditorView.decorations.from(f, (v) => v.lines),
});
const likelyGutter = gutter({
  class: 'cm-likely',
  markers: (view) => view.state.field(likelyField).markers,
  initialSpacer: () => new LikelyMarker(''),
});

// The editor's text changed: its changes are kept for the worker, and sent if it is idle.
function changed(u) {
  if (!u.docChanged) return;
  if (workerDoc !== null) unsent = unsent ? unsent.compose(u.changes) : u.changes;
  if (changedAt === null) {
    const now = performance.now();
    changedAt = keyAt !== null && now - keyAt < 1000 ? keyAt : now;
    keyTimings.push(now - changedAt);
  }
  keyAt = null;
  if (touchesShown(u)) shownKey = null;
  schedule();
}

const language = new Compartment();
const view = new EditorView({
  parent: $('editor'),
  state: EditorState.create({
    doc: sample,
    extensions: [
      // The checker counts lines by \n alone: a lone \r stays in its line here too.
      EditorState.lineSeparator.of('\n'),
      // The browser's own cursor and selection, not drawSelection's: redrawing and restarting its
      // blinking cursor after each keystroke cost the page's thread a layout and four style
      // recalculations, some 4 ms of a keystroke's diagnostics on a long text.
      lineNumbers(), likelyGutter, lintGutter(), highlightSpecialChars(), history(),
      highlightActiveLine(), bracketMatching(), highlightSelectionMatches(), likelyField,
      language.of(StreamLanguage.define(tcl)), syntaxHighlighting(defaultHighlightStyle, { fallback: true }),
      keymap.of([...defaultKeymap, ...historyKeymap, ...searchKeymap]),
      EditorView.contentAttributes.of({ 'aria-label': 'Script to check' }),
      // A plugin's update comes before the editor redraws, so the worker checks while it does.
      ViewPlugin.define(() => ({ update: changed })),
      // Before the keymap's handler, which may make the change: when the key came.
      Prec.highest(EditorView.domEventHandlers({ keydown: (e) => { keyAt = e.timeStamp; return false; } })),
      EditorView.domEventHandlers({ drop: dropped, dragover: (e) => dragging(e, true), dragleave: (e) => dragging(e, false) }),
    ],
  }),
});

// A line and a column in bytes of UTF-8, as the checker gives them, as a position here.
function position(doc, lineNumber, column) {
  if (lineNumber > doc.lines) return doc.length;
  const line = doc.line(Math.max(1, lineNumber));
  const text = line.text;
  let bytes = 0;
  let i = 0;
  while (i < text.length && bytes < column - 1) {
    const c = text.codePointAt(i);
    bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    i += c >= 0x10000 ? 2 : 1;
  }
  return line.from + Math.min(i, text.length);
}

// ---- checking --------------------------------------------------------------------------------
function letters() {
  return [...document.querySelectorAll('input[data-letter]')].filter((c) => c.checked).map((c) => c.dataset.letter).join('');
}
// No debounce: a change is sent at once when the worker is idle, and changes made while it
// checks are sent together when it answers, so a keystroke waits for at most one check before
// its own, and never for a timer.
function schedule() {
  clearTimeout(repairTimer);
  send();
}
// What the check worker needs to hold the editor's text: the changes since the text it holds,
// as [from, to, inserted] in that text's positions, ascending; else the whole text.
function textMessage(kind, doc) {
  if (kind === 'check' && workerDoc !== null && unsent !== null && unsent.length === workerDoc.length
    && unsent.newLength === doc.length) {
    const changes = [];
    let inserted = 0;
    unsent.iterChanges((fromA, toA, fromB, toB, text) => {
      changes.push([fromA, toA, text.toString()]);
      inserted += toB - fromB;
    });
    // A text mostly replaced (a file opened, a repair applied) goes whole.
    if (inserted <= doc.length / 2) return { changes, length: doc.length };
  } else if (kind === 'check' && workerDoc === doc) {
    return { changes: [], length: doc.length };
  }
  return { text: doc.toString() };
}
function post(kind) {
  const doc = view.state.doc;
  const message = textMessage(kind, doc);
  if (kind === 'check') {
    workerDoc = doc;
    unsent = null;
    sent[message.text === undefined ? 'changes' : 'whole'] += 1;
  }
  const id = nextId++;
  const timer = setTimeout(() => {
    showMessage(kind === 'check' ? 'The check took too long and was stopped.' : 'The search for a repair took too long and was stopped.', true);
    restartWorker(kind);
  }, CHECK_TIMEOUT_MS);
  pending[kind] = { id, timer, sent: performance.now(), doc };
  workers[kind].postMessage({ id, kind, ...message, letters: letters(), listing: $('listing-mode').value });
}
function send() {
  if (!workers.check) return;
  if (pending.check) { queued = true; return; }
  if (view.state.doc.length > MAX_BYTES) {
    workerDoc = null;
    unsent = null;
    showMessage('This text is too big for the page to check as you type; the command line (npx delimcheck) checks it.', true);
    return;
  }
  post('check');
}

function answer(kind, data) {
  if (data.ready) { if (kind === 'check') send(); return; }
  const p = pending[kind];
  if (!p || data.id !== p.id) return;
  clearTimeout(p.timer);
  pending[kind] = null;
  // The worker's copy did not fit the changes (it never should): it gets the whole text again.
  if (data.resync) { workerDoc = null; send(); return; }
  const current = p.doc === view.state.doc;
  if (kind === 'repair') {
    if (!data.error && current) show(data, true);
    return;
  }
  const took = performance.now() - p.sent;
  timings.push(took);
  if (data.endedAt) {
    const clock = performance.timeOrigin;
    toWorkerTimings.push(data.startedAt - (clock + p.sent));
    backTimings.push(clock + performance.now() - data.endedAt);
  }
  workerTimings.push(data.ms);
  runTimings.push(data.runMs || 0);
  if (data.error) {
    showMessage(`The check failed: ${data.error}`, true);
  } else if (current) {
    if (messageFromCheck) showMessage('');
    show(data, false);
    if (changedAt !== null) {
      const at = changedAt;
      shownTimings.push(performance.now() - at);
      changedAt = null;
      // The frame's drawing follows its animation frame callbacks in the same task.
      requestAnimationFrame(() => setTimeout(() => drawnTimings.push(performance.now() - at)));
    }
    // Once typing stops, the repair of what was found.
    clearTimeout(repairTimer);
    if (data.diagnostics.length > 0) {
      repairTimer = setTimeout(() => {
        if (p.doc === view.state.doc && !pending.check) post('repair');
      }, REPAIR_DELAY_MS);
    }
  }
  $('status').textContent = `checked in ${took.toFixed(1)} ms`;
  if (queued || !current) { queued = false; send(); }
}

let current = { diagnostics: [], diff: '' };
let shownKey = null;
// Whether a change reaches a diagnostic or the likely line, which the editor's moving of them
// may have dropped or bent: then the next answer is shown anew, even when it is the same.
function touchesShown(u) {
  let touched = false;
  u.changes.iterChangedRanges((fromA, toA) => {
    if (touched) return;
    forEachDiagnostic(u.startState, (d, from, to) => { if (from <= toA + 1 && to >= fromA - 1) touched = true; });
    u.startState.field(likelyField).markers.between(Math.max(0, fromA - 1), toA + 1, () => { touched = true; });
  });
  return touched;
}
// A check's answer replaces everything; a repair's keeps the listing. The same diagnostics as
// those shown, as most keystrokes give, leave the editor and the list as they are: the editor
// has already moved them with the edit, and rebuilding them costs the page a new layout.
function show(data, repaired) {
  if (repaired) data.listing = current.listing;
  current = data;
  const key = JSON.stringify(data.diagnostics);
  if (key !== shownKey) {
    shownKey = key;
    showDiagnostics(data);
  }
  showRepair(data);
  const listing = $('listing-mode').value;
  $('listing-section').hidden = !listing;
  if ($('listing').textContent !== data.listing) $('listing').textContent = data.listing;
}

function showDiagnostics(data) {
  const doc = view.state.doc;
  const cm = data.diagnostics.map((d) => {
    let from = position(doc, d.line, d.column);
    let to = Math.min(doc.length, from + 1);
    // At the end of a line or of the input (a closer that never came): the character before.
    if (to <= from || doc.sliceString(from, to) === '\n') { to = from; from = Math.max(0, from - 1); }
    const related = (d.related || []).map((r) => `; line ${r.line} char ${r.column}: ${r.message}`).join('');
    return { from, to, severity: d.severity, message: `${d.message}${related}`, source: d.code };
  });
  const markers = [];
  const lines = [];
  const likelyLines = new Set();
  for (const d of data.diagnostics) {
    if (!d.likely || likelyLines.has(d.likely.line) || d.likely.line > doc.lines) continue;
    likelyLines.add(d.likely.line);
    const from = doc.line(d.likely.line).from;
    markers.push(new LikelyMarker(d.likely.reason).range(from));
    lines.push(Decoration.line({ class: 'cm-likely-line' }).range(from));
  }
  markers.sort((a, b) => a.from - b.from);
  lines.sort((a, b) => a.from - b.from);
  view.dispatch(setDiagnostics(view.state, cm), {
    effects: setLikely.of({ markers: RangeSet.of(markers), lines: Decoration.set(lines) }),
  });
  listProblems(data.diagnostics);
}

function listProblems(diagnostics) {
  const list = $('problems');
  list.replaceChildren();
  if (diagnostics.length === 0) {
    const li = document.createElement('li');
    li.textContent = 'No problems.';
    li.className = 'clean';
    list.append(li);
    return;
  }
  for (const d of diagnostics) {
    const li = document.createElement('li');
    li.className = d.severity;
    const b = document.createElement('button');
    b.type = 'button';
    const where = document.createElement('span');
    where.className = 'where';
    where.textContent = `${d.line}:${d.column} `;
    b.append(where, document.createTextNode(d.message));
    if (d.likely) {
      const l = document.createElement('span');
      l.className = 'likely';
      l.textContent = `likely at line ${d.likely.line}: ${d.likely.reason}`;
      b.append(l);
    }
    b.addEventListener('click', () => {
      const at = position(view.state.doc, d.likely ? d.likely.line : d.line, d.likely ? d.likely.column : d.column);
      view.dispatch({ selection: { anchor: at }, scrollIntoView: true });
      view.focus();
    });
    li.append(b);
    list.append(li);
  }
}

function showRepair(data) {
  const fix = (data.diagnostics.find((d) => d.fix) || {}).fix;
  $('repair').hidden = !(fix && data.diff);
  if (!fix || !data.diff) return;
  $('repair-description').textContent = fix.description;
  const pre = $('diff');
  pre.replaceChildren();
  for (const line of data.diff.split('\n')) {
    const span = document.createElement('span');
    if (line.startsWith('+') && !line.startsWith('+++')) span.className = 'add';
    else if (line.startsWith('-') && !line.startsWith('---')) span.className = 'del';
    span.textContent = `${line}\n`;
    pre.append(span);
  }
}

$('apply').addEventListener('click', () => {
  const fix = (current.diagnostics.find((d) => d.fix) || {}).fix;
  if (!fix) return;
  const doc = view.state.doc;
  const changes = fix.edits.map((e) => ({
    from: position(doc, e.line, e.column), to: position(doc, e.end_line, e.end_column), insert: e.text,
  }));
  view.dispatch({ changes });
  view.focus();
});

for (const c of document.querySelectorAll('input[data-letter]')) c.addEventListener('change', send);
$('listing-mode').addEventListener('change', send);

// ---- opening, dropping, sharing --------------------------------------------------------------
// One message at a time; a check that succeeds clears only a check's own message, not one
// about a file that was refused.
let messageFromCheck = false;
function showMessage(text, fromCheck = false) {
  $('message').textContent = text;
  messageFromCheck = fromCheck;
}

// A file becomes the editor's text only when it is text: UTF-8, no NUL bytes, not too big.
async function load(file) {
  if (file.size > MAX_BYTES) {
    showMessage(`${file.name} is ${(file.size / 1048576).toFixed(1)} MB, too big for the page; the command line (npx delimcheck) checks it.`);
    return;
  }
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (bytes.includes(0)) {
    showMessage(`${file.name} holds NUL bytes: a binary file, not opened.`);
    return;
  }
  let text;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch {
    showMessage(`${file.name} is not UTF-8 text, not opened; the command line checks it byte for byte.`);
    return;
  }
  showMessage('');
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text } });
}
$('open').addEventListener('change', (e) => {
  const f = e.target.files[0];
  if (f) load(f);
  e.target.value = '';
});
function dragging(e, on) {
  if (e.dataTransfer && [...e.dataTransfer.types].includes('Files')) {
    e.preventDefault();
    document.body.classList.toggle('drop-target', on);
  }
  return false;
}
function dropped(e) {
  document.body.classList.remove('drop-target');
  const f = e.dataTransfer && e.dataTransfer.files[0];
  if (!f) return false;
  e.preventDefault();
  load(f);
  return true;
}

const b64 = {
  encode: (bytes) => {
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(s).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  },
  decode: (s) => Uint8Array.from(atob(s.replace(/-/g, '+').replace(/_/g, '/')), (c) => c.charCodeAt(0)),
};
async function through(stream, bytes) {
  return new Uint8Array(await new Response(new Blob([bytes]).stream().pipeThrough(stream)).arrayBuffer());
}
// The text in the fragment, deflated where the browser can (#z=), else as it is (#t=).
async function shareLink() {
  const bytes = new TextEncoder().encode(view.state.doc.toString());
  const fragment = typeof CompressionStream === 'function'
    ? `z=${b64.encode(await through(new CompressionStream('deflate-raw'), bytes))}`
    : `t=${b64.encode(bytes)}`;
  const url = `${location.href.split('#')[0]}#${fragment}`;
  window.history.replaceState(null, '', url);
  $('share-section').hidden = false;
  $('share-link').value = url;
  $('share-link').select();
  try { await navigator.clipboard.writeText(url); $('status').textContent = 'share link copied'; } catch { /* shown instead */ }
  return url;
}
$('share').addEventListener('click', shareLink);
async function restore() {
  const hash = location.hash.slice(1);
  try {
    let bytes = null;
    if (hash.startsWith('z=')) bytes = await through(new DecompressionStream('deflate-raw'), b64.decode(hash.slice(2)));
    else if (hash.startsWith('t=')) bytes = b64.decode(hash.slice(2));
    if (bytes) view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: new TextDecoder().decode(bytes) } });
  } catch {
    showMessage('The share link is damaged: its text could not be read.');
  }
}

$('version').textContent = DELIMCHECK_VERSION;
// For tests and measurements: the editor, the timings, the share link.
window.delimcheckPage = { view, timings, workerTimings, runTimings, toWorkerTimings, backTimings, shownTimings, drawnTimings, keyTimings, sent, shareLink, pendingCount: () => (pending.check ? 1 : 0) };
restore().then(() => { startWorker('check'); startWorker('repair'); });
