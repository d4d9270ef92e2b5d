// Debian's Chromium, driven by playwright-core: no browser is downloaded.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';

async function launch() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'delimcheck-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
    viewport: { width: 1280, height: 760 },
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

module.exports = { launch, executablePath };
