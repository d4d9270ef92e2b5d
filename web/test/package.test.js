// The packed tarball, installed into an empty directory: npx delimcheck there gives the native
// program's output and exit status, and its TypeScript types check a program that uses check().
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');
const { root, native, small } = require('./corpus.js');

const dist = path.join(__dirname, '..', 'dist', 'npm');
const tarball = fs.existsSync(dist) && fs.readdirSync(dist).find((n) => n.endsWith('.tgz'));
const skip = (!tarball && 'no packed tarball: run web/build') || (!fs.existsSync(native) && `no native program at ${native}`);

test('the packed package, installed and run with npx', { skip, timeout: 120000 }, async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'delimcheck-npm-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.writeFileSync(path.join(dir, 'package.json'), '{"name": "uses-delimcheck", "private": true}\n');
  const install = spawnSync('npm', ['install', '--no-audit', '--no-fund', '--offline', path.join(dist, tarball)], { cwd: dir, encoding: 'utf8' });
  assert.strictEqual(install.status, 0, install.stderr);
  // The files named as absolute paths, and one relative to the directory npx runs in.
  fs.copyFileSync(path.join(root, 'examples', 'lost-brace.tcl'), path.join(dir, 'here.tcl'));
  const files = [...small.map((f) => path.join(root, f)), 'here.tcl', 'missing.tcl'];
  const commands = [[], ['-egt'], ['-q', '-l'], ['--format=json', '-i'], ['--format=gcc', '--status'], ['--diff'],
    ['--hints', '--status'], ['--format=sarif']];
  await t.test('each command gives the native output and status', () => {
    for (const args of commands) {
      const n = spawnSync(native, [...args, ...files], { cwd: dir });
      const w = spawnSync('npx', ['--no-install', 'delimcheck', ...args, ...files], { cwd: dir });
      const label = args.join(' ');
      assert.strictEqual(w.stdout.toString('latin1'), n.stdout.toString('latin1'), label);
      assert.strictEqual(w.stderr.toString('latin1'), n.stderr.toString('latin1'), label);
      assert.strictEqual(w.status, n.status, label);
    }
  });
  await t.test('standard input, from a pipe and from a file', () => {
    const lost = fs.readFileSync(path.join(dir, 'here.tcl'));
    for (const args of [['--format=json'], ['--diff'], ['-s']]) {
      const n = spawnSync(native, args, { cwd: dir, input: lost });
      const w = spawnSync('npx', ['--no-install', 'delimcheck', ...args], { cwd: dir, input: lost });
      assert.strictEqual(w.stdout.toString(), n.stdout.toString(), `pipe ${args}`);
      const fd = () => fs.openSync(path.join(dir, 'here.tcl'), 'r');
      const nf = spawnSync(native, args, { cwd: dir, stdio: [fd(), 'pipe', 'pipe'] });
      const wf = spawnSync('npx', ['--no-install', 'delimcheck', ...args], { cwd: dir, stdio: [fd(), 'pipe', 'pipe'] });
      assert.strictEqual(wf.stdout.toString(), nf.stdout.toString(), `file ${args}`);
    }
  });
  await t.test('the options this build leaves to the native program are refused', () => {
    for (const [option, ...rest] of [['--fix', 'here.tcl'], ['--recursive', '.'], ['--lsp'], ['--files-from=-']]) {
      const w = spawnSync('npx', ['--no-install', 'delimcheck', option, ...rest], { cwd: dir, encoding: 'utf8', input: 'here.tcl\n' });
      assert.strictEqual(w.status, 2, option);
      assert.strictEqual(w.stderr, `delimcheck: ${option.replace(/=.*/, '')} is not available in this build\n`);
      assert.strictEqual(fs.readFileSync(path.join(dir, 'here.tcl'), 'utf8'), fs.readFileSync(path.join(root, 'examples', 'lost-brace.tcl'), 'utf8'));
    }
  });
  const tsc = path.join(__dirname, '..', 'node_modules', 'typescript', 'bin', 'tsc');
  await t.test('the TypeScript types', { skip: !fs.existsSync(tsc) && 'no typescript' }, () => {
    fs.writeFileSync(path.join(dir, 'use.ts'), [
      "import { check, diff, Diagnostic } from 'delimcheck';",
      "const found: Diagnostic[] = check('proc p {} {\\n', { balancing: false, hashLines: true });",
      'const line: number | undefined = found[0].likely?.line;',
      'const edits = found[0].fix?.edits.map((e) => [e.line, e.end_column, e.text]);',
      "const patch: string = diff(new Uint8Array([123, 10]));",
      'console.log(line, edits, patch);',
      '',
    ].join('\n'));
    const ok = spawnSync(process.execPath, [tsc, '--strict', '--noEmit', '--esModuleInterop', '--module', 'commonjs', 'use.ts'], { cwd: dir, encoding: 'utf8' });
    assert.strictEqual(ok.status, 0, ok.stdout + ok.stderr);
    // A wrong option is caught by the types.
    fs.writeFileSync(path.join(dir, 'bad.ts'), "import { check } from 'delimcheck';\ncheck('x', { balance: false });\n");
    const bad = spawnSync(process.execPath, [tsc, '--strict', '--noEmit', '--module', 'commonjs', 'bad.ts'], { cwd: dir, encoding: 'utf8' });
    assert.notStrictEqual(bad.status, 0);
    assert.match(bad.stdout, /balance/);
  });
});
