// Drives a real VS Code (code-server, in Debian's chromium through playwright-core) with the
// extension: a test inside the extension host that must pass, one that must fail, and a smoke
// run through the UI by keyboard that mends a script, saves it and keeps a screenshot.
// Usage: node test/run.mjs CODE_SERVER_ENTRY PLAYWRIGHT_CORE_DIR DELIMCHECK VSIX OUT_DIR
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const [entry, playwrightDir, delimcheck, vsix, outDir] = process.argv.slice(2).map((p) => path.resolve(p));
const here = path.dirname(fileURLToPath(import.meta.url));
const extensionDir = path.dirname(here);
const { chromium } = createRequire(import.meta.url)(playwrightDir);

const FAULTY = 'proc greet {name} {\n    if {$name ne ""} {\n        puts "hello, $name"\n\n    puts done\n}\n';
const CLEAN = 'proc greet {name} {\n    puts "hello, $name"\n}\n';
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'delimcheck-vscode-'));
const dir = (...p) => { const d = path.join(scratch, ...p); fs.mkdirSync(d, { recursive: true }); return d; };
const env = {
  ...process.env,
  HOME: dir('home'), XDG_CONFIG_HOME: dir('config'), XDG_DATA_HOME: dir('data'), XDG_CACHE_HOME: dir('cache'),
  XDG_STATE_HOME: dir('state'), XDG_RUNTIME_DIR: dir('runtime'), TMPDIR: dir('tmp'),
  // npm's own settings stay the user's.
  NPM_CONFIG_USERCONFIG: path.join(os.homedir(), '.npmrc'),
  PATH: process.env.PATH,
};
const userData = dir('user-data');
const extensions = dir('extensions');
fs.mkdirSync(path.join(userData, 'User'), { recursive: true });
fs.writeFileSync(path.join(userData, 'User', 'settings.json'), JSON.stringify({
  'delimcheck.path': delimcheck,
  'chat.disableAIFeatures': true,
  'workbench.startupEditor': 'none',
  'workbench.tips.enabled': false,
  'workbench.welcomePage.walkthroughs.openOnInstall': false,
  'security.workspace.trust.enabled': false,
  'telemetry.telemetryLevel': 'off',
  'extensions.autoUpdate': false,
  'extensions.autoCheckUpdates': false,
  'update.mode': 'none',
  'files.autoSave': 'off',
}, null, 2));

function workspace(name, file, text) {
  const d = dir('workspaces', name);
  fs.writeFileSync(path.join(d, file), text);
  return d;
}

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.once('error', reject);
    s.listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); });
  });
}

function healthy(port) {
  return new Promise((resolve) => {
    http.get({ host: '127.0.0.1', port, path: '/healthz', timeout: 2000 }, (res) => { res.resume(); resolve(res.statusCode === 200); })
      .on('error', () => resolve(false));
  });
}

const log = (...a) => console.log('[vscode]', ...a);
let server;

async function startServer(port) {
  const logFile = fs.openSync(path.join(scratch, 'code-server.log'), 'a');
  // Its own process group, so that stopping it stops its extension hosts and servers too.
  server = spawn(process.execPath, [entry, '--bind-addr', `127.0.0.1:${port}`, '--auth', 'none',
    '--disable-telemetry', '--disable-update-check', '--disable-workspace-trust', '--disable-getting-started-override',
    '--user-data-dir', userData, '--extensions-dir', extensions],
  { env, detached: true, stdio: ['ignore', logFile, logFile] });
  for (let i = 0; i < 600; ++i) {
    if (await healthy(port)) return;
    if (server.exitCode !== null) throw new Error('code-server ended: see ' + path.join(scratch, 'code-server.log'));
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error('code-server did not start');
}

function stopServer() {
  if (server && server.exitCode === null) {
    try { process.kill(-server.pid, 'SIGTERM'); } catch { /* gone */ }
  }
}

async function hostTest(context, port, folder) {
  const page = await context.newPage();
  const exit = new Promise((resolve) => page.exposeFunction('codeAutomationExit', (code) => resolve(code)));
  const remote = (p) => `vscode-remote://127.0.0.1:${port}${p}`;
  const payload = JSON.stringify([['extensionDevelopmentPath', remote(extensionDir)],
    ['extensionTestsPath', remote(path.join(extensionDir, 'out', 'test', 'suite.js'))]]);
  const url = `http://127.0.0.1:${port}/?folder=${encodeURIComponent(folder)}&payload=${encodeURIComponent(payload)}`;
  await page.goto(url);
  const code = await Promise.race([exit, new Promise((r) => setTimeout(() => r('timeout'), 90000))]);
  await page.close();
  return code;
}

async function statusProblems(page) {
  return page.evaluate(() => {
    const e = document.querySelector('[id="status.problems"]');
    return e ? (e.getAttribute('aria-label') || e.textContent || '') : '';
  });
}

async function waitProblems(page, test, what) {
  for (let i = 0; i < 400; ++i) {
    const s = await statusProblems(page);
    if (test(s)) return s;
    await page.waitForTimeout(100);
  }
  throw new Error(`status bar: no "${what}" (it says "${await statusProblems(page)}")`);
}

async function smoke(context, port, folder, file) {
  const page = await context.newPage();
  await page.setViewportSize({ width: 1280, height: 800 });
  await page.goto(`http://127.0.0.1:${port}/?folder=${encodeURIComponent(folder)}`);
  await page.waitForSelector('.monaco-workbench', { timeout: 60000 });
  await page.waitForTimeout(2000);
  await page.keyboard.press('Control+P');
  await page.waitForSelector('.quick-input-widget', { state: 'visible' });
  await page.keyboard.type(path.basename(file));
  await page.waitForSelector(`.quick-input-list .monaco-list-row[aria-label*="${path.basename(file)}"]`,
    { timeout: 30000 });
  await page.waitForTimeout(300);
  await page.keyboard.press('Enter');
  await page.waitForSelector('.monaco-editor .view-lines', { timeout: 30000 });
  await waitProblems(page, (s) => /Errors: 1\b/.test(s), 'Errors: 1');
  // Once the search is in, the likely line carries the repair: wait for its mark.
  await page.waitForTimeout(1500);
  await page.keyboard.press('F8');
  await page.waitForSelector('.marker-widget', { timeout: 10000 }).catch(() => {});
  await page.keyboard.press('Escape');
  await page.keyboard.press('Control+.');
  await page.waitForSelector('.action-widget', { state: 'visible', timeout: 15000 });
  await page.waitForTimeout(500);
  await page.screenshot({ path: path.join(outDir, 'vscode-quick-fix.png') });
  await page.keyboard.press('Enter');
  await waitProblems(page, (s) => /No Problems/i.test(s), 'No Problems');
  await page.keyboard.press('Control+S');
  for (let i = 0; i < 100 && fs.readFileSync(file, 'utf8') === FAULTY; ++i) await page.waitForTimeout(100);
  await page.screenshot({ path: path.join(outDir, 'vscode-mended.png') });
  await page.close();
  const check = spawnSync(delimcheck, ['--status', file], { encoding: 'utf8' });
  if (check.status !== 0) throw new Error(`the saved file does not check clean:\n${check.stdout}${check.stderr}`);
}

async function main() {
  fs.mkdirSync(outDir, { recursive: true });
  const install = spawnSync(process.execPath, [entry, '--user-data-dir', userData, '--extensions-dir', extensions,
    '--install-extension', vsix], { env, encoding: 'utf8' });
  if (install.status !== 0) throw new Error(`installing the .vsix failed:\n${install.stdout}${install.stderr}`);
  log('installed', path.basename(vsix));
  const port = await freePort();
  await startServer(port);
  log('code-server on 127.0.0.1:' + port);
  const context = await chromium.launchPersistentContext(dir('chromium'), {
    executablePath: '/usr/bin/chromium', headless: true, args: CHROMIUM_FLAGS,
  });
  let failures = 0;
  try {
    const faulty = workspace('faulty', 'faulty.tcl', FAULTY);
    let code = await hostTest(context, port, faulty);
    log('extension host, a faulty script mended:', code === 0 ? 'ok' : `FAIL (${code})`);
    failures += code !== 0;
    code = await hostTest(context, port, workspace('clean', 'clean.tcl', CLEAN));
    log('extension host, a test that must fail:', code !== 0 && code !== 'timeout' ? `ok (failed with ${code})` : `FAIL (${code})`);
    failures += !(code !== 0 && code !== 'timeout');
    const ui = workspace('ui', 'mend-me.tcl', FAULTY);
    try {
      await smoke(context, port, ui, path.join(ui, 'mend-me.tcl'));
      log('UI smoke run: ok; screenshots in', outDir);
    } catch (e) {
      failures += 1;
      log('UI smoke run: FAIL', e.message);
      const pages = context.pages();
      if (pages.length) await pages[pages.length - 1].screenshot({ path: path.join(outDir, 'vscode-failure.png') }).catch(() => {});
    }
  } finally {
    await context.close();
    stopServer();
  }
  if (failures) {
    log('code-server log:', path.join(scratch, 'code-server.log'));
    process.exit(1);
  }
  fs.rmSync(scratch, { recursive: true, force: true });
}

process.on('SIGINT', () => { stopServer(); process.exit(130); });
main().catch((e) => { console.error(e); stopServer(); process.exit(1); });
