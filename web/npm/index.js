'use strict';
// delimcheck's checker as WebAssembly: the command line run in memory, and check(), the json
// format's diagnostics of one text.

const createDelimcheck = require('./delimcheck-module.js');

let instance = null;

// The module, made on first use. Compiled synchronously: Node and a worker allow it, and the
// API stays synchronous.
function module_() {
  if (instance === null) {
    const m = { print() {}, printErr() {} };
    createDelimcheck(m);
    m.FS.mkdirTree('/.delimcheck');
    makePipe(m.FS);
    instance = m;
  }
  return instance;
}

const STDIN = '/.delimcheck/stdin';
const PIPE = '/.delimcheck/pipe';
let pipeBytes = new Uint8Array(0);

// Standard input as a pipe: it cannot be read again, so the checker looks for no repair, as
// the native program does when its standard input is a pipe.
function makePipe(FS) {
  const device = FS.makedev(64, 0);
  FS.registerDevice(device, {
    open() {},
    close() {},
    read(stream, buffer, offset, length, position) {
      const n = Math.max(0, Math.min(length, pipeBytes.length - position));
      buffer.set(pipeBytes.subarray(position, position + n), offset);
      return n;
    },
  });
  FS.mkdev(PIPE, device);
}
const encoder = new TextEncoder();

function bytesOf(text) {
  if (text === undefined || text === null) return new Uint8Array(0);
  if (typeof text === 'string') return encoder.encode(text);
  if (text instanceof Uint8Array) return text;
  if (text instanceof ArrayBuffer) return new Uint8Array(text);
  throw new TypeError('delimcheck: a text is a string, a Uint8Array or an ArrayBuffer');
}

// Runs a command line as the native program would (args without the program's name).
// options.stdin: what standard input holds (options.stdinPipe: as a pipe, not a file); options.files: [absolute path, bytes or null for a
// directory] pairs, put into the module's file system first; options.cwd: the working
// directory there. Returns { status, stdout, stderr } with the outputs as Uint8Array.
function run(args, options = {}) {
  let m;
  try {
    m = module_();
  } catch (e) {
    return failed(e);
  }
  const FS = m.FS;
  const pointers = [];
  try {
    for (const [path, data] of options.files || []) {
      if (data === null) {
        FS.mkdirTree(path);
      } else {
        FS.mkdirTree(path.slice(0, path.lastIndexOf('/')) || '/');
        FS.writeFile(path, data);
      }
    }
    if (options.cwd) {
      FS.mkdirTree(options.cwd);
      FS.chdir(options.cwd);
    }
    if (options.stdinPipe) pipeBytes = bytesOf(options.stdin);
    else FS.writeFile(STDIN, bytesOf(options.stdin));
    const string = (a) => {
      const size = m.lengthBytesUTF8(a) + 1;
      const p = m._malloc(size);
      pointers.push(p);
      m.stringToUTF8(a, p, size);
      return p;
    };
    const argv = ['delimcheck', ...args];
    const table = m._malloc(4 * (argv.length + 1));
    pointers.push(table);
    argv.forEach((a, i) => {
      m.HEAPU32[(table >> 2) + i] = string(a);
    });
    m.HEAPU32[(table >> 2) + argv.length] = 0;
    const status = m._dc_run(argv.length, table, string(options.stdinPipe ? PIPE : STDIN));
    const stdout = m.HEAPU8.slice(m._dc_out(), m._dc_out() + m._dc_out_size());
    const stderr = m.HEAPU8.slice(m._dc_err(), m._dc_err() + m._dc_err_size());
    FS.writeFile(STDIN, new Uint8Array(0));
    pipeBytes = new Uint8Array(0);
    return { status, stdout, stderr };
  } catch (e) {
    // An abort (memory ran out) leaves the module unusable: the next call makes a new one.
    instance = null;
    return failed(e);
  } finally {
    if (instance !== null) for (const p of pointers) m._free(p);
  }
}

function failed(e) {
  const what = e instanceof WebAssembly.RuntimeError || /memory/i.test(String(e && e.message)) ? 'out of memory' : String(e && e.message || e);
  return { status: 2, stdout: new Uint8Array(0), stderr: encoder.encode(`delimcheck: ${what}\n`) };
}

// In Node: the files named, as run() takes them; a directory as one, and one that cannot be
// read left out, so that the run finds it missing, as the native program would.
function operandFiles(names, cwd) {
  const fs = require('fs');
  const path = require('path');
  const files = [];
  for (const name of new Set(names)) {
    const full = path.resolve(cwd, name);
    try {
      if (fs.statSync(full).isDirectory()) files.push([full, null]);
      else files.push([full, fs.readFileSync(full)]);
    } catch {
      // not there, or not readable
    }
  }
  return files;
}

// The checking options as the letters of the command line.
function letters(options) {
  let s = '';
  if (options.hashLines === false) s += 'c';
  if (options.warnBackslashBlank) s += 'e';
  if (options.balancing === false) s += 'g';
  if (options.stringReports === false) s += 'i';
  if (options.anyQuoteOpens) s += 't';
  return s;
}

function checkedRun(extra, text, options) {
  const l = letters(options || {});
  const r = run([...(l ? ['-' + l] : []), ...extra], { stdin: text });
  if (r.status === 2) throw new Error(new TextDecoder().decode(r.stderr).trim() || 'delimcheck failed');
  return new TextDecoder().decode(r.stdout);
}

// The diagnostics of one text, as the json format gives them (with likely and fix where found).
function check(text, options = {}) {
  return JSON.parse(checkedRun(['--format=json'], text, options));
}

// The text format's output for a text, with a listing mode: 's', 'm', 'l' or 'j'.
function listing(text, mode, options = {}) {
  if (!/^[smlj]$/.test(mode)) throw new TypeError('delimcheck: a listing mode is s, m, l or j');
  return checkedRun(['-' + mode], text, options);
}

// The repair of a text as a unified diff ('' when there is none that leaves it clean).
function diff(text, options = {}) {
  return checkedRun(['--diff'], text, options);
}

// The checker's version, as --version gives it.
function version() {
  return new TextDecoder().decode(run(['--version']).stdout).trim().replace(/^delimcheck /, '');
}

module.exports = { check, listing, diff, run, version, operandFiles };
