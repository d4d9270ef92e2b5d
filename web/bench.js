// Measurements of the WebAssembly build, for bench/wasm.
//   node web/bench.js node NATIVE FILE RUNS   the module in Node against the native program
//   node web/bench.js page SCRIPT KEYS        keystrokes on SCRIPT in the page, in Chromium
'use strict';
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');

const seconds = (t) => Number(process.hrtime.bigint() - t) / 1e9;
const min = (xs) => Math.min(...xs);
const percentile = (xs, p) => [...xs].sort((a, b) => a - b)[Math.min(xs.length - 1, Math.ceil((p / 100) * xs.length) - 1)];

// Rounds of the native program and the module, alternating, each on the same file: the module's
// time is its run alone, the file already in its memory, as the native program's file is in
// the page cache.
function node(native, file, runs) {
  const wasm = require('./dist/npm-package/index.js');
  const files = [[path.resolve(file), fs.readFileSync(file)]];
  const results = [];
  for (const args of [[], ['--hints'], ['--format=json']]) {
    const n = [];
    const w = [];
    wasm.run([...args, path.resolve(file)], { files, cwd: '/' }); // the file in place, the module warm
    for (let i = 0; i < runs; ++i) {
      let t = process.hrtime.bigint();
      const r = spawnSync(native, [...args, path.resolve(file)], { stdio: ['ignore', 'ignore', 'inherit'] });
      n.push(seconds(t));
      if (r.status !== 0) throw new Error(`native: status ${r.status}`);
      t = process.hrtime.bigint();
      wasm.run([...args, path.resolve(file)], { cwd: '/' });
      w.push(seconds(t));
    }
    results.push({ args: args.join(' ') || '(none)', native: min(n), wasm: min(w), ratio: min(w) / min(n) });
  }
  const mib = fs.statSync(file).size / 1048576;
  console.log(`| options | native s | wasm s | wasm MiB/s | ratio |`);
  console.log(`|---|---:|---:|---:|---:|`);
  for (const r of results) {
    console.log(`| ${r.args} | ${r.native.toFixed(3)} | ${r.wasm.toFixed(3)} | ${(mib / r.wasm).toFixed(0)} | ${r.ratio.toFixed(2)} |`);
  }
}

// The pauses between keys, the same in every run: a linear congruential generator.
let seed = 1;
const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
const load = () => fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');

// Keystrokes typed into the script one at a time, each waited for: the time from the keystroke
// (its keydown) to its diagnostics shown in the editor, and to the end of the next frame drawn;
// from the change's sending to the worker to its diagnostics arriving on the page, and the parts
// of that. The next key comes once that frame is drawn, after a pause of up to 20 ms.
async function page(script, keys) {
  const loadBefore = load();
  const { serve } = require('./test/server.js');
  const { launch } = require('./test/browser.js');
  const server = await serve(path.join(__dirname, 'dist', 'site'));
  const browser = await launch();
  try {
    const p = await browser.context.newPage();
    await p.goto(`http://127.0.0.1:${server.address().port}/index.html`);
    const text = fs.readFileSync(script, 'utf8');
    const lines = text.split('\n').length - 1;
    await p.evaluate((t) => {
      const v = window.delimcheckPage.view;
      v.dispatch({ changes: { from: 0, to: v.state.doc.length, insert: t } });
    }, text);
    await p.waitForFunction(() => window.delimcheckPage.timings.length > 0 && window.delimcheckPage.pendingCount() === 0);
    const before = await p.evaluate(() => window.delimcheckPage.timings.length);
    // Typed in the middle of the script: a brace, then its removal, and so on.
    await p.evaluate((at) => {
      const v = window.delimcheckPage.view;
      v.dispatch({ selection: { anchor: v.state.doc.line(at).from } });
      v.focus();
    }, Math.floor(lines / 2));
    const drawnBefore = await p.evaluate(() => window.delimcheckPage.drawnTimings.length);
    for (let i = 0; i < keys; ++i) {
      const n = before + i + 1;
      await p.keyboard.press(i % 2 === 0 ? '{' : 'Backspace');
      await p.waitForFunction(([k, d]) => window.delimcheckPage.timings.length >= k && window.delimcheckPage.pendingCount() === 0
        && window.delimcheckPage.drawnTimings.length >= d, [n, drawnBefore + i + 1]);
      // The wait above ends at an animation frame; a typist's keys come at any time in a frame.
      await new Promise((resolve) => setTimeout(resolve, random() * 20));
    }
    const t = (await p.evaluate(() => window.delimcheckPage.timings)).slice(before);
    const inWorker = (await p.evaluate(() => window.delimcheckPage.workerTimings)).slice(before);
    const inRun = (await p.evaluate(() => window.delimcheckPage.runTimings)).slice(before);
    const shown = (await p.evaluate(() => window.delimcheckPage.shownTimings)).slice(-t.length);
    const drawn = (await p.evaluate(() => window.delimcheckPage.drawnTimings)).slice(-t.length);
    const key = (await p.evaluate(() => window.delimcheckPage.keyTimings)).slice(-t.length);
    const toWorker = (await p.evaluate(() => window.delimcheckPage.toWorkerTimings)).slice(-t.length);
    const back = (await p.evaluate(() => window.delimcheckPage.backTimings)).slice(-t.length);
    console.log(`load average ${loadBefore} before, ${load()} after`);
    const f = (xs) => `${percentile(xs, 50).toFixed(1)} | ${percentile(xs, 99).toFixed(1)} | ${Math.max(...xs).toFixed(1)}`;
    console.log(`| script | keystrokes | what | median ms | p99 ms | max ms |`);
    console.log(`|---|---:|---|---:|---:|---:|`);
    const doc = `${lines} lines, ${(Buffer.byteLength(text) / 1024).toFixed(0)} KiB`;
    console.log(`| ${doc} | ${shown.length} | keystroke to its diagnostics shown | ${f(shown)} |`);
    console.log(`| ${doc} | ${key.length} | of which the keydown to the editor's change | ${f(key)} |`);
    console.log(`| ${doc} | ${drawn.length} | keystroke to the next frame drawn | ${f(drawn)} |`);
    console.log(`| ${doc} | ${t.length} | change sent to diagnostics back | ${f(t)} |`);
    console.log(`| ${doc} | ${toWorker.length} | of which on the way to the worker | ${f(toWorker)} |`);
    console.log(`| ${doc} | ${inWorker.length} | of which in the worker | ${f(inWorker)} |`);
    console.log(`| ${doc} | ${inRun.length} | of which in the module's run | ${f(inRun)} |`);
    console.log(`| ${doc} | ${back.length} | of which the answer waiting for the page's thread | ${f(back)} |`);
  } finally {
    await browser.close();
    server.close();
  }
}

const [mode, ...rest] = process.argv.slice(2);
if (mode === 'node') node(rest[0], rest[1], Number(rest[2] || 5));
else if (mode === 'page') page(rest[0], Number(rest[1] || 200)).catch((e) => { console.error(e); process.exit(1); });
else { console.error('usage: bench.js node NATIVE FILE RUNS | page SCRIPT KEYS'); process.exit(2); }
