// Puts the page together as one file: the page's script inline, and the worker's source as a
// string in it, started from a blob, so that nothing is fetched and file:// works.
'use strict';
const fs = require('fs');
const [html, main, worker, out] = process.argv.slice(2);
const inline = (s) => s.replace(/<\/script/gi, '<\\/script');
const workerSource = JSON.stringify(fs.readFileSync(worker, 'utf8'));
const script = `window.DELIMCHECK_WORKER_SOURCE=${workerSource};\n${fs.readFileSync(main, 'utf8')}`;
const page = fs.readFileSync(html, 'utf8').replace('<!--SCRIPT-->', () => `<script>${inline(script)}</script>`);
fs.writeFileSync(out, page);
