// The WebAssembly build against the native program, byte for byte: output and exit status, in
// text and json, for each checking option and listing mode, over the fixtures and the real
// scripts.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');
const { root, native, small, realScripts } = require('./corpus.js');
const wasm = require('../dist/npm-package/index.js');

const skip = !fs.existsSync(native) && `no native program at ${native}`;

// Every checking letter alone, and the listing modes, in text; the letters in json; and the
// other surfaces the package offers.
const commands = [
  [], ['-c'], ['-e'], ['-g'], ['-i'], ['-t'], ['-cegit'], ['-s'], ['-m'], ['-l'], ['-j'], ['-q', '-e'], ['-tl'],
  ['--hints'], ['--status'],
  ['--format=json'], ['--format=json', '-c'], ['--format=json', '-e'], ['--format=json', '-g'],
  ['--format=json', '-i'], ['--format=json', '-t'], ['--format=json', '-egt', '--status'],
  ['--format=gcc'], ['--format=github'], ['--format=sarif', '-e'], ['--format=pretty'], ['--diff'], ['--diff', '-g'],
];


function compare(args, names, stdin) {
  const n = spawnSync(native, [...args, ...names], { cwd: root, input: stdin || '', maxBuffer: 1 << 28 });
  if (n.error) throw n.error;
  // The native program reads standard input from a pipe here: the module's is one too.
  const w = wasm.run([...args, ...names], { files: wasm.operandFiles(names, root), cwd: root, stdin, stdinPipe: true });
  const label = `delimcheck ${args.join(' ')} (${names.length} files)`;
  // Buffers compared as bytes, shown as text when they differ.
  assert.strictEqual(Buffer.from(w.stdout).toString('latin1'), n.stdout.toString('latin1'), label);
  assert.strictEqual(Buffer.from(w.stderr).toString('latin1'), n.stderr.toString('latin1'), label);
  assert.strictEqual(w.status, n.status, label);
}

test('the fixtures and examples, each command', { skip }, () => {
  for (const args of commands) compare(args, small);
});

test('standard input, a missing file and a directory', { skip }, () => {
  const lost = fs.readFileSync(path.join(root, 'examples', 'lost-brace.tcl'));
  for (const args of [[], ['--format=json'], ['--diff'], ['-s']]) compare(args, [], lost);
  for (const args of [[], ['--status'], ['--format=json'], ['--format=sarif']]) compare(args, ['no-such-file.tcl', 'examples', small[0]]);
});

test('bytes that are not text: NUL bytes, invalid UTF-8, CR line ends', { skip }, () => {
  const inputs = [
    Buffer.from('puts {a\0b}\n\0{\n'),
    Buffer.from([0x70, 0x75, 0x74, 0x73, 0x20, 0x7b, 0xff, 0xfe, 0x0a, 0xc3, 0x28, 0x5d, 0x0a]),
    Buffer.from('proc p {} {\r\n  if {1} {\r\n    puts "x\r\n}\r\n'),
  ];
  for (const input of inputs) for (const args of [[], ['--format=json'], ['-j'], ['--diff'], ['--format=pretty']]) compare(args, [], input);
});

test('usage errors and the version', { skip }, () => {
  for (const args of [['--format=xml'], ['-s', '--format=json'], ['--h'], ['-x', '-'], ['--version'], ['--help']]) compare(args, []);
});

const real = realScripts().map((f) => path.relative(root, f));
test('the real scripts, each command', { skip: skip || (real.length === 0 && 'no real scripts here') }, () => {
  for (const args of commands) compare(args, real);
});

test('check() returns the json format\'s objects', () => {
  const text = fs.readFileSync(path.join(root, 'examples', 'lost-brace.tcl'), 'utf8');
  const [d, ...rest] = wasm.check(text);
  assert.deepStrictEqual(rest, []);
  assert.strictEqual(d.file, '-');
  assert.strictEqual(d.code, 'missing-closer');
  assert.deepStrictEqual(d.likely && d.likely.line, 11);
  assert.deepStrictEqual(d.fix.edits, [{ line: 11, column: 1, end_line: 11, end_column: 1, text: '    }\n' }]);
  // The options by name: each is the letter it says.
  const table = [
    [{ hashLines: false }, '# {\n', ['missing-closer']],
    [{}, '# {\n', []],
    [{ warnBackslashBlank: true }, 'puts a \\ \nputs b\n', ['backslash-blank']],
    [{ balancing: false }, 'a [b}]\n', ['wrong-closer']],
    [{}, 'a [b}]\n', ['wrong-closer-balanced', 'unmatched-closer']],
    [{ stringReports: false }, 'puts "a]"\n', []],
    [{}, 'puts "a]"\n', ['string-stray-closer']],
    [{ anyQuoteOpens: true }, 'puts a"b\n', ['missing-closer']],
    [{}, 'puts a"b\n', []],
  ];
  for (const [options, input, codes] of table) {
    assert.deepStrictEqual(wasm.check(input, options).map((x) => x.code), codes, `${JSON.stringify(options)} ${JSON.stringify(input)}`);
  }
  assert.strictEqual(wasm.diff(text).split('\n')[0], '--- -');
  assert.throws(() => wasm.listing(text, 'x'), TypeError);
});

test('a 50 MB text is checked, and memory is given back to the next', () => {
  const line = 'proc p {a b} { if {$a} { puts [list $b "x"] } }\n';
  const big = line.repeat(Math.ceil((50 * 1048576) / line.length)) + '{\n';
  const diagnostics = wasm.check(big);
  assert.deepStrictEqual(diagnostics.map((x) => x.code), ['missing-closer']);
  assert.deepStrictEqual(wasm.check('puts ok\n'), []);
});
