#!/usr/bin/env node
'use strict';
// delimcheck from the command line, in WebAssembly: the files named are read here and handed to
// the module, whose output and exit status are the native program's.

const fs = require('fs');
const { run, operandFiles } = require('../index.js');

const args = process.argv.slice(2);

// Long options whose value may be the next argument; a start of one names it too.
const valued = ['format', 'color', 'jobs', 'include', 'exclude', 'files-from'];
function takesValue(arg) {
  if (!arg.startsWith('--') || arg.includes('=')) return false;
  const name = arg.slice(2);
  return name.length > 0 && valued.some((v) => v.startsWith(name));
}

// The operands: what follows the options, as the native program reads them.
function operands() {
  for (let i = 0; i < args.length; ++i) {
    const a = args[i];
    if (a === '--') return args.slice(i + 1);
    if (a === '-' || !a.startsWith('-')) return args.slice(i);
    if (takesValue(a)) ++i;
  }
  return [];
}

const names = operands();
const files = operandFiles(names, process.cwd());
let stdin;
if (names.length === 0) {
  try {
    stdin = fs.readFileSync(0);
  } catch {
    stdin = undefined;
  }
}

// A pipe or a terminal stays one, as far as the checker can tell: no repair is looked for.
let stdinPipe = false;
try {
  stdinPipe = !fs.fstatSync(0).isFile();
} catch {
  stdinPipe = true;
}
const result = run(args, { files, stdin, stdinPipe, cwd: process.cwd() });
if (result.stderr.length) process.stderr.write(result.stderr);
process.stdout.write(result.stdout, () => {});
process.exitCode = result.status;
