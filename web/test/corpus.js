// The inputs the WebAssembly build is compared on: the test fixtures, the examples and the
// real scripts of the benchmarks (Debian's Tcl, Tk and Tcllib), as paths below the project.
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const root = path.resolve(__dirname, '..', '..');
const native = process.env.DELIMCHECK_NATIVE || path.join(root, 'build', 'delimcheck');

function listed(dir, pattern) {
  return fs.readdirSync(path.join(root, dir)).filter((n) => pattern.test(n)).sort().map((n) => `${dir}/${n}`);
}

const small = [...listed('tests/fixtures', /./), ...listed('examples', /\.tcl$/)];

// Absolute paths of the real scripts; [] when the machine has none (bench/install_real_packages
// installs them).
function realScripts() {
  try {
    return execFileSync(path.join(root, 'bench', 'real_scripts'), { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] })
      .split('\n').filter(Boolean);
  } catch {
    return [];
  }
}

module.exports = { root, native, small, realScripts };
