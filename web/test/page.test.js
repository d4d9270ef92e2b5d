// The page in Chromium: a lost brace found, its likely line marked, its repair applied; a share
// link that brings the text back; files it must refuse; and the page from file:// too.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { serve } = require('./server.js');
const { launch, executablePath } = require('./browser.js');

const site = path.join(__dirname, '..', 'dist', 'site');
const shots = process.env.DELIMCHECK_SCREENSHOTS || path.join(__dirname, '..', 'dist');
const skip = !fs.existsSync(executablePath) && `no Chromium at ${executablePath}`;

// The while on line 5 lost its closing brace; the indentation places it before line 11's "close".
const lost = [
  '# Count the words of each file named on the command line.',
  'proc count_words {path} {',
  '    set f [open $path]',
  '    set n 0',
  '    while {[gets $f line] >= 0} {',
  '        foreach word [split $line] {',
  '            if {$word ne ""} {',
  '                incr n',
  '            }',
  '        }',
  '    close $f',
  '    return $n',
  '}',
  '',
  'report $argv',
  '',
].join('\n');

async function setText(page, text) {
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Delete');
  await page.keyboard.insertText(text);
}
const editorText = (page) => page.evaluate(() => window.delimcheckPage.view.state.doc.toString());
const problems = (page) => page.locator('#problems li');

test('the page in Chromium', { skip, timeout: 120000 }, async (t) => {
  const server = await serve(site);
  const base = `http://127.0.0.1:${server.address().port}/index.html`;
  const browser = await launch();
  t.after(async () => { await browser.close(); server.close(); });
  const page = await browser.context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));

  await t.test('a lost brace: reported, its likely line marked, the repair applied', async () => {
    await page.goto(base);
    await setText(page, lost);
    await page.locator('#problems li', { hasText: '} missing, opened on line 2 char 25' }).waitFor();
    assert.strictEqual(await problems(page).count(), 1);
    // The likely line: marked in the gutter and shaded, the line before "close $f".
    await page.locator('.cm-likely-gutter').waitFor();
    assert.strictEqual(await page.locator('.cm-likely-line').count(), 1);
    assert.strictEqual(await page.locator('.cm-likely-line').innerText(), '    close $f');
    assert.match(await page.locator('#problems li .likely').innerText(), /^likely at line 11:/);
    // Underlined in the editor.
    assert.strictEqual(await page.locator('.cm-lintRange-error').count(), 1);
    // The repair as a diff, once typing has stopped, then applied.
    await page.locator('#diff', { hasText: 'close $f' }).waitFor();
    assert.match(await page.locator('#diff').innerText(), /^\+    }$/m);
    await page.screenshot({ path: path.join(shots, 'screenshot.png') });
    await page.getByRole('button', { name: 'Apply the repair' }).click();
    await page.locator('#problems li.clean', { hasText: 'No problems.' }).waitFor();
    assert.strictEqual(await page.locator('.cm-likely-gutter').count(), 0);
    assert.strictEqual((await editorText(page)).split('\n')[10], '    }');
  });

  await t.test('the options and the listing change what is checked', async () => {
    // A brace in a hash line is no delimiter, unless -c makes # an ordinary byte.
    await setText(page, '# a comment with a {\nputs x\n');
    await page.locator('#problems li.clean').waitFor();
    await page.getByLabel('-c no hash lines').check();
    await page.locator('#problems li', { hasText: '} missing, opened on line 1 char 20' }).waitFor();
    await page.getByLabel('-c no hash lines').uncheck();
    await page.locator('#problems li.clean').waitFor();
    await setText(page, 'proc p {} {\n  puts [x]\n}\n');
    await page.getByRole('combobox', { name: 'Listing' }).selectOption('s');
    await page.locator('#listing', { hasText: '1 : {}{' }).waitFor();
    assert.strictEqual(await page.locator('#listing').innerText(), '    1 : {}{\n    2 :   []\n    3 : }\n');
    await page.getByRole('combobox', { name: 'Listing' }).selectOption('m');
    await page.locator('#listing', { hasText: '1 : {' }).waitFor();
    assert.strictEqual(await page.locator('#listing').innerText(), '    1 : {\n    3 : }\n');
    await page.getByRole('combobox', { name: 'Listing' }).selectOption('');
  });

  await t.test('edits made while the worker checks reach it as changes, and it checks their text', async () => {
    // The listing of every line shows what the worker holds; a page sent the final text whole
    // must show the same, and the same problems. ASCII edits to an ASCII text change the
    // worker's bytes in place; others make it encode the text again.
    await setText(page, lost);
    await page.getByRole('combobox', { name: 'Listing' }).selectOption('s');
    await page.locator('#listing', { hasText: '13 : }' }).waitFor();
    const fresh = await browser.context.newPage();
    await fresh.goto(base);
    await fresh.getByRole('combobox', { name: 'Listing' }).selectOption('s');
    const bursts = [
      [
        { from: 40, to: 95 },
        [{ from: 3, insert: '[' }, { from: 120, to: 124, insert: '}\n"x' }],
        { from: -1, insert: '\nproc q {} {\n\tputs ]\n' }, // before the last newline
        { from: 0, to: 2 },
        [{ from: 0, insert: '{' }, { from: 5, to: 9 }, { from: -1, to: -1, insert: '}}' }],
      ],
      [
        { from: 10, insert: 'caf\u00e9 {\u{1F600}' },
        [{ from: 1, insert: '"' }, { from: 30, to: 33, insert: '\u00e0]' }],
        { from: 2, to: 3 },
      ],
    ];
    for (const edits of bursts) {
      const before = await page.evaluate(() => ({ ...window.delimcheckPage.sent }));
      // In one task: the first goes at once, the others wait for its answer and go together.
      await page.evaluate((list) => {
        const v = window.delimcheckPage.view;
        const at = (n) => (n < 0 ? n + v.state.doc.length : n);
        for (const e of list) {
          const changes = [].concat(e).map((c) => ({ ...c, from: at(c.from), to: c.to === undefined ? undefined : at(c.to) }));
          v.dispatch({ changes });
        }
      }, edits);
      await page.waitForFunction(() => window.delimcheckPage.pendingCount() === 0);
      const after = await page.evaluate(() => ({ ...window.delimcheckPage.sent }));
      assert.strictEqual(after.whole, before.whole, 'no edit sent the whole text');
      assert.ok(after.changes >= before.changes + 2, `changes sent: ${after.changes - before.changes}`);
      const text = await editorText(page);
      const listing = await page.locator('#listing').innerText();
      // Where and what, without the likely line, which a repair found once typing stops changes.
      const found = (await problems(page).allInnerTexts()).map((p) => p.split('\n')[0]);
      assert.ok(found.length >= 1, found.join('\n'));

      const checks = await fresh.evaluate((t) => {
        const v = window.delimcheckPage.view;
        v.dispatch({ changes: { from: 0, to: v.state.doc.length, insert: t } });
        return window.delimcheckPage.timings.length;
      }, text);
      await fresh.waitForFunction((n) => window.delimcheckPage.pendingCount() === 0 && window.delimcheckPage.timings.length > n, checks);
      assert.strictEqual(await fresh.locator('#listing').innerText(), listing);
      assert.deepStrictEqual((await problems(fresh).allInnerTexts()).map((p) => p.split('\n')[0]), found);
    }
    await fresh.close();
    await page.getByRole('combobox', { name: 'Listing' }).selectOption('');
  });

  await t.test('a share link brings the same text back', async () => {
    // Set as a whole, not typed: a CR, a tab and characters beyond ASCII must all come back.
    const text = 'set s "caf\u00e9 \u{1F600}"\r\nproc p {} {\n\tputs [list a b\n}\n';
    await page.evaluate((t) => {
      const v = window.delimcheckPage.view;
      v.dispatch({ changes: { from: 0, to: v.state.doc.length, insert: t } });
    }, text);
    await page.getByRole('button', { name: 'Share link' }).click();
    await page.locator('#share-section').waitFor();
    const link = await page.locator('#share-link').inputValue();
    assert.match(link, /#z=[A-Za-z0-9_-]+$/);
    const other = await browser.context.newPage();
    await other.goto(link);
    await other.waitForFunction(() => window.delimcheckPage && window.delimcheckPage.view.state.doc.length > 30);
    assert.strictEqual(await editorText(other), text);
    await other.locator('#problems li', { hasText: 'Expecting ] got }' }).waitFor();
    await other.close();
  });

  await t.test('binary, non-UTF-8 and oversized files are refused with a message', async () => {
    await setText(page, 'puts ok\n');
    await page.locator('#problems li.clean').waitFor();
    const cases = [
      { name: 'nul.tcl', buffer: Buffer.from('puts a\0b\n'), message: /NUL bytes/ },
      { name: 'latin1.tcl', buffer: Buffer.from([0x70, 0x75, 0x74, 0x73, 0x20, 0xe9, 0x0a]), message: /not UTF-8/ },
      { name: 'big.tcl', buffer: Buffer.alloc(17 * 1024 * 1024, 'x'), message: /too big/ },
    ];
    for (const c of cases) {
      await page.locator('#open').setInputFiles({ name: c.name, mimeType: 'text/plain', buffer: c.buffer });
      await page.locator('#message', { hasText: c.message }).waitFor();
      assert.strictEqual(await editorText(page), 'puts ok\n', c.name);
    }
    await page.locator('#open').setInputFiles({ name: 'ok.tcl', mimeType: 'text/plain', buffer: Buffer.from('puts {\n') });
    await page.locator('#problems li', { hasText: '} missing' }).waitFor();
    assert.strictEqual(await page.locator('#message').innerText(), '');
  });

  await t.test('from file://, with nothing fetched', async () => {
    const offline = await browser.context.newPage();
    const requests = [];
    offline.on('request', (r) => requests.push(r.url()));
    await offline.goto(`file://${path.join(site, 'index.html')}`);
    await offline.locator('#problems li', { hasText: 'missing, opened on line' }).waitFor();
    assert.deepStrictEqual(requests.filter((u) => !/^(file|blob|data):/.test(u)), []);
    await offline.close();
  });

  assert.deepStrictEqual(errors, []);
});
